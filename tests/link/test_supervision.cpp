// Starting, adopting and stopping a real simulator process.
#include "exchange/exchange.h"
#include "frame/program.h"
#include "frame/registry.h"
#include "link/config.h"
#include "link/supervision.h"
#include "link/transfer.h"
#include "support/linkfixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

using namespace qelptest;

namespace {

// A host whose termination never ends anything: a driver the console lacks the rights to
// stop.
class StubbornHost : public TestHost {
public:
    using TestHost::TestHost;
    bool TerminateProcessByName(const std::string&) override { return true; }
};

// A host whose kill lands a moment after the call, like a driver that takes its time to end.
class SlowDeathHost : public TestHost {
public:
    using TestHost::TestHost;
    ~SlowDeathHost() override {
        if (m_killer.joinable())
            m_killer.join();
    }
    bool TerminateProcessByName(const std::string&) override {
        if (m_killer.joinable())
            m_killer.join();
        m_killer = std::thread([pid = victim] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            if (pid > 0)
                ::kill(pid, SIGKILL);
        });
        return true;
    }
    int victim = -1; // -1: the kill never lands

private:
    std::thread m_killer;
};

// A later run of the console on the same machine: fresh program state, same host.
struct SecondRun {
    explicit SecondRun(TestHost& host) : program(host, ui) {
        ui.attach(program);
        qelp::StartProgram(program);
    }
    FakeUi ui;
    qelp::Program program;
};

void waitForBusy(qelp::Program& program) {
    for (int i = 0; i < 2500 && !qelp::IsDriverBusy(program); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

std::vector<std::string> messagesOf(const qelp::Program& program, size_t from = 0) {
    std::vector<std::string> out;
    for (const std::string& line : SplitCrLf(ReadFile(program.files.logFilePath)))
        out.push_back(line.substr(line.find(" > ") + 3));
    out.erase(out.begin(), out.begin() + static_cast<long>(std::min(from, out.size())));
    return out;
}

} // namespace

TEST(Supervision, FreshStartLaunchesResetsAndBuildsTheCanisterTable) {
    LinkFixture f;
    // Leftovers of an earlier session must not survive a fresh start.
    for (const char* name : {"abort.dat", "abort.sig", "msg.dat", "msg.sig", "reply.dat",
                             "reply.sig", "result.dat", "result.sig", "cmd.dat", "cmd.sig"})
        WriteFile(f.driver.exchangeDir + name, "[General]\r\nRESULT=7\r\n");

    ASSERT_TRUE(qelp::StartDriver(f.program));
    EXPECT_TRUE(f.program.link.driverRunning);
    EXPECT_EQ(f.driver.processCount(), 1);

    auto log = f.logMessages();
    EXPECT_TRUE(InOrder(log, {"Starting QELP Client",
                              "Reading config",
                              "QELP Client Path: " + f.driver.driverDir,
                              "QELP Client Exe : " + f.driver.exeName,
                              "QELP Client Commands: " + f.driver.exchangeDir,
                              "QELP Server Path: " + f.dir.path() + "ServerCmd/",
                              "QELP Dispenser Family: 3",
                              "QELP client versions supported: 2,3",
                              "QELP server versions supported: 1,2,3",
                              "Protocol versions: Server [1,2,3] Client [2,3] Negotiated active "
                              "version [3]",
                              "Client started",
                              "Reset command created",
                              "Driver idle.",
                              "Logging data in file: " + f.dir.path() + "ServerCmd/cmd.dat",
                              "@RUN",
                              "@EXT RESET",
                              "@END",
                              "End of logged data.",
                              "Command file send to driver",
                              "Logging data in file: " + f.driver.exchangeDir + "result.dat",
                              "End of logged data.",
                              "MachineInfo command created",
                              "@EXT MACHINE_INFO CANISTERSIZE",
                              "Command file send to driver"}));
    EXPECT_EQ(CountOf(log, "Client already running"), 0);

    ASSERT_EQ(f.program.canisters.canisterTable.size(), 16u);
    for (size_t i = 0; i < 16; ++i) {
        const qelp::CanisterState& c = f.program.canisters.canisterTable[i];
        EXPECT_EQ(c.pasteId, static_cast<int>(i) + 33);
        EXPECT_EQ(c.dosedUl, 0);
        EXPECT_EQ(c.canId, f.program.result.resultCanisters[i].canId);
        EXPECT_EQ(c.colorantName, f.program.result.resultCanisters[i].colorantName);
        EXPECT_GT(c.sizeMl, 0);
    }
    // The result pair was consumed; no stale file of the earlier session is left.
    for (const char* name : {"abort.dat", "abort.sig", "msg.dat", "msg.sig", "reply.dat",
                             "reply.sig", "result.dat", "result.sig"})
        EXPECT_FALSE(Exists(f.driver.exchangeDir + name)) << name;
}

TEST(Supervision, RunningIdleDriverIsAdoptedWithoutRelaunch) {
    LinkFixture f;
    ASSERT_TRUE(qelp::StartDriver(f.program));
    const int pid = f.driver.firstPid();

    // A second console run (fresh program state) finds the driver running and idle.
    SecondRun run(f.host);
    qelp::Program& second = run.program;
    const size_t before = f.logMessages().size();
    ASSERT_TRUE(qelp::StartDriver(second));
    auto log = f.messagesFrom(before);
    EXPECT_TRUE(InOrder(log, {"Client already running", "Reset command created", "Driver idle."}));
    EXPECT_EQ(CountOf(log, "Client started"), 0);
    EXPECT_EQ(f.driver.firstPid(), pid);
    EXPECT_EQ(f.driver.processCount(), 1);
    EXPECT_EQ(second.canisters.canisterTable.size(), 16u);
}

TEST(Supervision, DriverHangingBusyAtStartIsReplacedByAFreshOne) {
    // The third command the driver takes hangs with its busy flag held.
    LinkFixture f("[Faults]\r\nOnCommand=3\r\nHang=1\r\n");
    ASSERT_TRUE(qelp::StartDriver(f.program));
    const int hungPid = f.driver.firstPid();
    WriteFile(ServerCommandFile(f.program), "@RUN\r\n@EXT PURGE 1\r\n@END\r\n");
    ASSERT_EQ(qelp::SendCommandFile(f.program, 2000), 0);
    waitForBusy(f.program);
    ASSERT_TRUE(qelp::IsDriverBusy(f.program));

    SecondRun run(f.host);
    qelp::Program& second = run.program;
    const size_t before = f.logMessages().size();
    ASSERT_TRUE(qelp::StartDriver(second));
    auto log = f.messagesFrom(before);
    EXPECT_TRUE(InOrder(log, {"Driver shows busy during startup. Attempting to terminate driver...",
                              "Client started", "Command file send to driver"}));
    EXPECT_EQ(CountOf(log, "Client already running"), 0);
    EXPECT_NE(f.driver.firstPid(), hungPid);
    EXPECT_EQ(f.driver.processCount(), 1);
}

TEST(Supervision, BusyDriverThatSurvivesTerminationFailsTheStartAfterTheBound) {
    TempDir dir;
    DriverInstall driver(dir.path(), "[Faults]\r\nOnCommand=3\r\nHang=1\r\n");
    StubbornHost host(dir.path());
    FakeUi ui;
    qelp::Program program(host, ui);
    ui.attach(program);
    qelp::StartProgram(program);
    ASSERT_TRUE(qelp::StartDriver(program));
    WriteFile(ServerCommandFile(program), "@RUN\r\n@EXT PURGE 1\r\n@END\r\n");
    ASSERT_EQ(qelp::SendCommandFile(program, 2000), 0);
    waitForBusy(program);

    program.tuning.terminateWaitLimitMs = 200;
    const size_t before = messagesOf(program).size();
    EXPECT_FALSE(qelp::StartDriver(program));
    EXPECT_FALSE(program.link.driverRunning);
    auto log = messagesOf(program, before);
    EXPECT_TRUE(InOrder(log, {"Driver shows busy during startup. Attempting to terminate driver...",
                              "Error: Driver still running 200 ms after termination. Start "
                              "abandoned."}));
    EXPECT_EQ(CountOf(log, "Client started"), 0);
    EXPECT_GT(ui.eventPasses, 0); // the wait kept serving window events
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
    EXPECT_EQ(CountOf(log, "Client started"), 0);
    EXPECT_EQ(f.driver.processCount(), 0);
    EXPECT_EQ(store.ReadAsText("Software\\QELP", "ActiveVersion"), "3");

    // Unknown family and a failed negotiation each stop the start as well.
    store.WriteText("Software\\QELP", "Driver", f.driver.exePath);
    store.WriteText("Software\\QELP", "DispenserFamily", "-3");
    store.WriteText("Software\\QELP", "ClientQELPVersion", "7");
    size_t before = f.logMessages().size();
    EXPECT_FALSE(qelp::StartDriver(f.program));
    log = f.messagesFrom(before);
    EXPECT_TRUE(InOrder(log, {"Client Dispenser family unknown.",
                              "Error: QELP server and client have no matching protocol version. "
                              "Cannot negotiate protocol version to use!",
                              "ERROR: Cannot negotiate protocol versions: Server [1,2,3] Client "
                              "[7] Negotiated active version [-1]"}));
    EXPECT_EQ(f.driver.processCount(), 0);
    EXPECT_EQ(store.ReadAsText("Software\\QELP", "ActiveVersion"), "-1");
}

TEST(Supervision, DriverThatNeverGetsReadyFailsTheStartAndKeepsRunning) {
    LinkFixture f("[Faults]\r\nNeverReady=1\r\n");
    f.program.tuning.startupResetBusyWaitMs = 300;
    EXPECT_FALSE(qelp::StartDriver(f.program));
    EXPECT_FALSE(f.program.link.driverRunning);
    EXPECT_TRUE(
        InOrder(f.logMessages(),
                {"Client started", "Reset command created", "Driver is busy, waiting until idle...",
                 "Busy file timeout", "Timeout: driver still busy or not running",
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
    for (int i = 0; i < 200 && f.driver.processCount() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(f.driver.processCount(), 0);
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
    TempDir dir;
    DriverInstall driver(dir.path());
    SlowDeathHost host(dir.path());
    FakeUi ui;
    qelp::Program program(host, ui);
    ui.attach(program);
    qelp::StartProgram(program);
    ASSERT_TRUE(qelp::StartDriver(program));
    host.victim = driver.firstPid();
    qelp::StopDriver(program);
    EXPECT_FALSE(host.IsProcessRunning(driver.exeName));
    ASSERT_TRUE(qelp::StartDriver(program));
    auto log = messagesOf(program);
    EXPECT_EQ(CountOf(log, "Client started"), 2);
    EXPECT_EQ(CountOf(log, "Client already running"), 0);

    // Killed an instant before it would be looked for: it counts as gone at once.
    ASSERT_EQ(::kill(driver.firstPid(), SIGKILL), 0);
    EXPECT_FALSE(host.IsProcessRunning(driver.exeName));

    ASSERT_TRUE(qelp::StartDriver(program));
    host.victim = -1;
    program.tuning.terminateWaitLimitMs = 200;
    qelp::StopDriver(program);
    EXPECT_EQ(messagesOf(program).back(),
              "Error: Driver still running 200 ms after termination. It may still be ending.");
    EXPECT_FALSE(Exists(driver.exchangeDir + "busy.flg"));
    EXPECT_FALSE(program.link.driverRunning);
}
