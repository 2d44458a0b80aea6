// Starting, adopting and stopping a real simulator process.
#include "exchange/exchange.h"
#include "frame/program.h"
#include "frame/registry.h"
#include "link/supervision.h"
#include "link/transfer.h"
#include "support/linkfixture.h"

#include <gtest/gtest.h>

using namespace qelptest;

namespace {

// Can refuse to end anything (a driver the console lacks the rights to stop), and notes what
// touches the busy flag and what a launch finds in it.
class WatchingHost : public TestHost {
public:
    using TestHost::TestHost;
    bool TerminateProcessByName(const std::string& name) override {
        return stubborn || TestHost::TerminateProcessByName(name);
    }
    int DeleteFileAt(const std::string& path) override {
        note(path);
        return TestHost::DeleteFileAt(path);
    }
    void WriteProfileString(const std::string& section, const std::string& key,
                            const std::string& value, const std::string& file) override {
        note(file);
        TestHost::WriteProfileString(section, key, value, file);
    }
    int LaunchProcess(const std::string& exe, const std::string& dir, int show) override {
        flagAtLaunch = ReadFile(busyPath);
        return TestHost::LaunchProcess(exe, dir, show);
    }
    bool stubborn = false;
    int busyTouches = 0;
    std::string busyPath, flagAtLaunch;

private:
    void note(const std::string& path) {
        if (path.size() >= 8 && path.compare(path.size() - 8, 8, "busy.flg") == 0)
            ++busyTouches, busyPath = path;
    }
};

// The machine's clock until `manual` is set; then the manual clock.
struct SwitchClock : ManualClock {
    void SleepMilliseconds(int32_t ms) override {
        if (!manual)
            return qelp::SystemClock::instance().SleepMilliseconds(ms);
        ManualClock::SleepMilliseconds(ms);
    }
    int64_t MonotonicMs() override {
        return manual ? now : qelp::SystemClock::instance().MonotonicMs();
    }
    bool manual = false;
};

// A console on a WatchingHost and SwitchClock; a second Program on the same host is a later
// run of the console on the same machine.
struct Console : LinkOn<WatchingHost, SwitchClock> {
    using LinkOn::LinkOn;
    // Hands the driver a command it hangs on, holding its busy flag.
    void hang() {
        WriteFile(ServerCommandFile(program), "@RUN\r\n@EXT PURGE 1\r\n@END\r\n");
        ASSERT_EQ(qelp::SendCommandFile(program, 2000), 0);
        ASSERT_TRUE(WaitUntil([&] { return qelp::IsDriverBusy(program); }));
    }
};

} // namespace

TEST(Supervision, FreshStartLaunchesResetsAndBuildsTheCanisterTable) {
    Console f;
    ASSERT_TRUE(qelp::StartDriver(f.program));
    EXPECT_EQ(f.driver.processCount(), 1);
    // The launch finds a fresh busy flag, so every send waits until the driver is ready.
    EXPECT_EQ(f.host.flagAtLaunch, "[Any]\r\nDummy=0\r\n");
    EXPECT_TRUE(InOrder(f.messagesFrom(0),
                        {"Starting QELP Client", "Client started", "Reset command created",
                         "Driver idle.", "@EXT RESET", "Command file send to driver",
                         "Logging data in file: " + f.driver.exchangeDir + "result.dat",
                         "MachineInfo command created", "@EXT MACHINE_INFO CANISTERSIZE",
                         "Command file send to driver"}));
    ASSERT_EQ(f.program.canisters.canisterTable.size(), 16u);
    for (size_t i = 0; i < 16; ++i) // ids, names and sizes: in the operations tests
        EXPECT_EQ(f.program.canisters.canisterTable[i].pasteId, static_cast<int>(i) + 33);

    // A later run finds the driver running and idle, and adopts it without touching its busy
    // flag; dispenser family 0 is a family like any other.
    qelp::RegistryStore(f.dir.path() + "registry.reg")
        .WriteText("Software\\QELP", "DispenserFamily", "0");
    FakeUi ui;
    qelp::Program second(f.host, ui); // an adopting start shows no message
    qelp::StartProgram(second);
    const size_t before = f.messagesFrom(0).size();
    f.host.busyTouches = 0;
    f.host.flagAtLaunch = "not launched";
    ASSERT_TRUE(qelp::StartDriver(second));
    auto log = f.messagesFrom(before);
    EXPECT_TRUE(InOrder(log, {"Client already running", "Reset command created", "Driver idle."}));
    EXPECT_EQ(f.host.busyTouches, 0);
    EXPECT_EQ(f.host.flagAtLaunch, "not launched");
    EXPECT_EQ(second.canisters.canisterTable.size(), 16u);
}

// A driver busy at start is ended and replaced; one that survives the kill fails the start
// once the bound has passed on the console's clock.
TEST(Supervision, DriverBusyAtStartIsReplacedOrFailsTheStartAfterTheBound) {
    Console f("[Faults]\r\nOnCommand=3\r\nHang=1\r\n");
    ASSERT_TRUE(qelp::StartDriver(f.program));
    const int hungPid = f.driver.firstPid();
    f.hang();
    size_t before = f.messagesFrom(0).size();
    ASSERT_TRUE(qelp::StartDriver(f.program));
    auto log = f.messagesFrom(before);
    EXPECT_TRUE(InOrder(log, {"Driver shows busy during startup. Attempting to terminate driver...",
                              "Client started", "Command file send to driver"}));
    EXPECT_NE(f.driver.firstPid(), hungPid);
    EXPECT_EQ(f.driver.processCount(), 1);

    f.hang();
    f.host.stubborn = true;
    f.clock.manual = true;
    before = f.messagesFrom(0).size();
    EXPECT_FALSE(qelp::StartDriver(f.program));
    EXPECT_FALSE(f.program.link.driverRunning);
    EXPECT_EQ(f.clock.now, 10000);
    EXPECT_EQ(f.messagesFrom(before).back(),
              "Error: Driver still running 10000 ms after termination. Start abandoned.");
    EXPECT_GT(f.ui.eventPasses, 0); // the wait kept serving window events
}

TEST(Supervision, ConfigurationFailuresAreReportedAndNothingStarts) {
    LinkFixture f;
    qelp::RegistryStore store(f.dir.path() + "registry.reg");
    store.WriteText("Software\\QELP", "Driver", f.driver.driverDir + "missing-driver");
    EXPECT_FALSE(qelp::StartDriver(f.program));
    auto log = f.logMessages();
    EXPECT_TRUE(InOrder(log, {"Client executable does not exist!",
                              "Client Communication path does not exist!",
                              "Protocol versions: Server [1,2,3] Client [2,3] Negotiated active "
                              "version [3]"}));
    EXPECT_EQ(f.driver.processCount(), 0);

    // Unknown family and a failed negotiation each stop the start as well.
    store.WriteText("Software\\QELP", "Driver", f.driver.exePath);
    store.WriteText("Software\\QELP", "DispenserFamily", "-3");
    store.WriteText("Software\\QELP", "ClientQELPVersion", "7");
    size_t before = f.logMessages().size();
    EXPECT_FALSE(qelp::StartDriver(f.program));
    log = f.messagesFrom(before);
    EXPECT_TRUE(InOrder(log, {"Client Dispenser family unknown.",
                              "ERROR: Cannot negotiate protocol versions: Server [1,2,3] Client "
                              "[7] Negotiated active version [-1]"}));
    EXPECT_EQ(f.driver.processCount(), 0);
}

TEST(Supervision, DriverThatNeverGetsReadyFailsTheStartAndKeepsRunning) {
    Console f("[Faults]\r\nNeverReady=1\r\n");
    f.clock.manual = true; // the whole start-up wait passes at once
    EXPECT_FALSE(qelp::StartDriver(f.program));
    EXPECT_FALSE(f.program.link.driverRunning);
    EXPECT_EQ(f.clock.now, f.program.tuning.startupResetBusyWaitMs);
    EXPECT_TRUE(InOrder(f.messagesFrom(0), {"Client started", "Reset command created",
                                            "Unable to send command (driver busy?)"}));
    EXPECT_EQ(f.driver.processCount(), 1);
    EXPECT_TRUE(Exists(f.driver.exchangeDir + "busy.flg"));
}

TEST(Supervision, StopTerminatesTheDriverAndClearsTheExchangeDirectory) {
    LinkFixture f;
    ASSERT_TRUE(qelp::StartDriver(f.program));
    for (const char* name : {"abort.dat", "msg.dat", "reply.sig", "result.dat", "busy.flg"})
        WriteFile(f.driver.exchangeDir + name, "x");
    WriteFile(f.driver.exchangeDir + "unrelated.txt", "kept");
    qelp::StopDriver(f.program);
    EXPECT_FALSE(f.program.link.driverRunning);
    EXPECT_EQ(f.driver.processCount(), 0); // the stop waits until it has ended
    for (const char* name : {"abort.dat", "msg.dat", "reply.sig", "result.dat", "busy.flg"})
        EXPECT_FALSE(Exists(f.driver.exchangeDir + name)) << name;
    EXPECT_TRUE(Exists(f.driver.exchangeDir + "unrelated.txt"));

    // Stopping with no driver running still clears the files.
    WriteFile(f.driver.exchangeDir + "cmd.sig", "");
    f.program.link.driverRunning = true;
    qelp::StopDriver(f.program);
    EXPECT_FALSE(Exists(f.driver.exchangeDir + "cmd.sig"));
    EXPECT_FALSE(f.program.link.driverRunning);
}

// A stop waits until the driver has ended, so a start right after it launches a fresh one
// instead of adopting the one on its way out; a driver that outlives the bound is logged.
TEST(Supervision, StopWaitsForTheDriverToEndAndADyingOneIsNeverAdopted) {
    Console f;
    ASSERT_TRUE(qelp::StartDriver(f.program));
    const int pid = f.driver.firstPid();
    f.host.stubborn = true;
    f.clock.manual = true;
    f.clock.onSleep = [&](int64_t now) { // the kill lands 300 ms late
        if (now == 300 && (KillProcess(pid), true))
            WaitUntil([&] { return !f.host.IsProcessRunning(f.driver.exeName); });
    };
    qelp::StopDriver(f.program);
    EXPECT_EQ(f.clock.now, 300);
    f.clock.manual = false;
    ASSERT_TRUE(qelp::StartDriver(f.program));
    EXPECT_EQ(CountOf(f.messagesFrom(0), "Client started"), 2); // not adopted

    f.clock.manual = true;
    f.clock.now = 0;
    f.clock.onSleep = nullptr;
    qelp::StopDriver(f.program);
    EXPECT_EQ(f.messagesFrom(0).back(),
              "Error: Driver still running 10000 ms after termination. It may still be ending.");
    EXPECT_FALSE(Exists(f.driver.exchangeDir + "busy.flg"));
    EXPECT_FALSE(f.program.link.driverRunning);
}
