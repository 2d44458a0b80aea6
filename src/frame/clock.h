#pragma once
// Time, behind an interface of its own: the bounded waits (a busy driver, a dying driver, a
// message window that will not close) are measured and slept on this clock, so a test can
// run them on a manual clock, exactly and at once.
#include <cstdint>
#include <string>

namespace qelp {

class Clock {
public:
    virtual ~Clock() = default;
    // Blocks |ms| milliseconds; processes no window events.
    virtual void SleepMilliseconds(int32_t ms) = 0;
    // The local date and time for the event log, "yyyy-MM-dd HH:mm:ss".
    virtual std::string LocalTimestamp() = 0;
    // A monotonic clock in milliseconds, for the bounded waits.
    virtual int64_t MonotonicMs() = 0;
};

// The machine's own clock.
class SystemClock : public Clock {
public:
    void SleepMilliseconds(int32_t ms) override;
    std::string LocalTimestamp() override;
    int64_t MonotonicMs() override;
    // One shared instance for the programs that need no other clock.
    static SystemClock& instance();
};

} // namespace qelp
