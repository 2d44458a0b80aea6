// The console against a real simulator that misbehaves on the first command after start-up:
// every fault ends the command with a clear log line, and the console goes on.
#include "frame/program.h"
#include "link/supervision.h"
#include "operations/operations.h"
#include "support/linkfixture.h"

#include <gtest/gtest.h>

using namespace qelptest;

namespace {
struct FaultCase {
    const char* faults; // [Faults] lines for the third command
    int32_t code;       // driverResultCode afterwards
    bool linked;        // driverRunning afterwards
};
} // namespace

TEST(DriverFaults, EveryFaultEndsTheCommandAndTheConsoleGoesOn) {
    const FaultCase cases[] = {
        {"ResultCode=9", 9, true},
        {"Result=NoResult", -1, true},
        {"Result=Garbage", -1, true},
        {"Result=Binary", -1, true},
        {"Result=Huge\r\nHugeResultBytes=10485760", 0, true}, // a valid answer, padded
        {"Result=SignalOnly", -1, true},
        {"DieAt=AfterBusy", -2, false},
        {"DieAt=AfterResultDat", -2, false},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.faults);
        LinkFixture f(std::string("[Faults]\r\nOnCommand=3\r\n") + c.faults + "\r\n");
        ASSERT_TRUE(qelp::StartDriver(f.program));
        EXPECT_EQ(qelp::PurgeCanister(f.program, 1), c.code == 0);
        EXPECT_EQ(f.program.result.driverResultCode, c.code);
        EXPECT_EQ(f.program.link.driverRunning, c.linked);
        if (c.code != 0) {
            EXPECT_EQ(f.logMessages().back(),
                      "Error: Driver returns " + std::to_string(c.code) + " on command.");
        }
        EXPECT_FALSE(f.program.session.commandInFlight);
        if (c.linked) { // the next command goes through as usual
            EXPECT_TRUE(qelp::PurgeCanister(f.program, 1));
        }
    }
}
