// The console against a real simulator that misbehaves on the first command after start-up:
// every fault ends the command with a clear log line, and the console goes on.
#include "exchange/exchange.h"
#include "frame/program.h"
#include "link/supervision.h"
#include "link/transfer.h"
#include "operations/operations.h"
#include "support/linkfixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

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
        {"Result=NonNumeric", -1, true},
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

TEST(DriverFaults, AbortEndsASlowCommandAndStopEndsAHungOne) {
    {
        LinkFixture f("[Timing]\r\nStartupMs=0\r\nResetMs=0\r\nQueryMs=0\r\nPurgeMs=60000\r\n",
                      false);
        ASSERT_TRUE(qelp::StartDriver(f.program));
        f.ui.eventPasses = 0; // count the passes of this command's wait only
        f.ui.onEvents = [&](qelp::Program& p) {
            if (f.ui.eventPasses == 3)
                qelp::AbortCommand(p);
        };
        EXPECT_FALSE(qelp::PurgeCanister(f.program, 1));
        EXPECT_EQ(f.program.result.driverResultCode, 3); // the driver's answer to an abort
        EXPECT_TRUE(f.program.link.driverRunning);
    }
    {
        LinkFixture f("[Faults]\r\nOnCommand=3\r\nHang=1\r\n");
        ASSERT_TRUE(qelp::StartDriver(f.program));
        f.ui.eventPasses = 0;
        f.ui.onEvents = [&](qelp::Program& p) {
            if (f.ui.eventPasses == 3)
                qelp::StopDriver(p);
        };
        EXPECT_FALSE(qelp::PurgeCanister(f.program, 1));
        EXPECT_EQ(f.program.result.driverResultCode, -2);
        EXPECT_FALSE(f.program.link.driverRunning);
        EXPECT_EQ(f.driver.processCount(), 0);
    }
}

TEST(DriverFaults, HungDriverTimesTheNextSendOutOrDiesDuringItsBusyWait) {
    for (bool kill : {false, true}) {
        SCOPED_TRACE(kill ? "killed while busy" : "stays busy");
        LinkFixture f("[Faults]\r\nOnCommand=3\r\nHang=1\r\n");
        ASSERT_TRUE(qelp::StartDriver(f.program));
        // The hung command is handed over without waiting for it.
        WriteFile(ServerCommandFile(f.program), "@RUN\r\n@EXT PURGE 1\r\n@END\r\n");
        ASSERT_EQ(qelp::SendCommandFile(f.program, 2000), 0);
        for (int i = 0; i < 2500 && !Exists(f.driver.exchangeDir + "busy.flg"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::thread killer;
        if (kill)
            killer = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                f.driver.killAll();
            });
        f.program.tuning.commandBusyWaitMs = kill ? 5000 : 200;
        const size_t before = f.logMessages().size();
        EXPECT_FALSE(qelp::CleanCanister(f.program, 2));
        if (killer.joinable())
            killer.join();
        std::vector<std::string> expected = {"Clean command created",
                                             "Driver is busy, waiting until idle..."};
        if (kill)
            expected.push_back("Driver process not running!");
        for (const char* line : {"Busy file timeout", "Timeout: driver still busy or not running",
                                 "Unable to send command (driver busy?)"})
            expected.push_back(line);
        EXPECT_EQ(f.messagesFrom(before), expected);
        EXPECT_EQ(ReadFile(ServerCommandFile(f.program)), "@RUN\r\n@EXT CLEAN 2\r\n@END\r\n");
    }
}
