#include "frame/clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace qelp {

void SystemClock::SleepMilliseconds(int32_t ms) {
    // A negative time sleeps its magnitude, as the console always has.
    const int64_t left = ms < 0 ? -static_cast<int64_t>(ms) : ms;
    if (left > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(left));
}

std::string SystemClock::LocalTimestamp() {
    // A fixed format with seconds, the same on every machine, so logs compare and sort.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return buf;
}

int64_t SystemClock::MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

SystemClock& SystemClock::instance() {
    static SystemClock clock;
    return clock;
}

} // namespace qelp
