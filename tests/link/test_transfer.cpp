// The command hand-over and the result wait, against a driver played by a test thread (so
// the order of every file operation is under the test's control) inside a real, idle
// process that stands in for the driver in the process list.
#include "exchange/exchange.h"
#include "frame/fileio.h"
#include "frame/profile.h"
#include "frame/program.h"
#include "frame/registry.h"
#include "link/config.h"
#include "link/transfer.h"
#include "operations/operations.h"
#include "support/linkfixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sys/wait.h>
#include <thread>

using namespace qelptest;
using namespace std::chrono_literals;

namespace {

// Counts the process checks, to see when the result wait makes them.
class CountingHost : public TestHost {
public:
    using TestHost::TestHost;
    bool IsProcessRunning(const std::string& name) override {
        ++processChecks;
        return TestHost::IsProcessRunning(name);
    }
    std::atomic<int> processChecks{0};
};

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class Transfer : public ::testing::Test {
protected:
    Transfer() : host(dir.path()), program(host, ui) {
        ui.attach(program);
        qelp::StartProgram(program);
        exchange = dir.path() + "exchange/";
        std::filesystem::create_directories(exchange);
        // The stand-in driver: an idle process under a name unique on the machine. Names are
        // matched by prefix, so all have one length (the 15 characters of comm): pid and
        // counter in fixed-width hex.
        std::filesystem::create_directories(dir.path() + "driver");
        char name[16];
        std::snprintf(name, sizeof name, "xferdrv%06x%02x", static_cast<unsigned>(::getpid()),
                      ++counter & 0xff);
        driverName = name;
        std::filesystem::copy_file("/bin/sleep", dir.path() + "driver/" + driverName);
        qelp::RegistryStore reg(dir.path() + "registry.reg");
        reg.WriteText("Software\\QELP", "Driver", dir.path() + "driver/" + driverName);
        reg.WriteText("Software\\QELP", "CommandPath", exchange);
        qelp::ReadLinkConfiguration(program);
        launchDriver();
        program.link.driverRunning = true;
        WriteFile(ServerCommandFile(program), "@RUN\r\n@EXT RESET\r\n@END\r\n");
    }
    ~Transfer() override {
        if (player.joinable())
            player.join();
        killDriver();
    }
    void launchDriver() {
        // sleep needs its argument, which a driver launch never gives; start it directly.
        const std::string path = dir.path() + "driver/" + driverName;
        pid = Spawn(path, {path, "300"});
        ASSERT_TRUE(waitUntil([&] { return host.IsProcessRunning(driverName); }));
    }
    void killDriver() {
        KillChild(pid);
        pid = -1;
    }
    // Runs the driver's side of one command on a thread.
    void play(std::function<void()> script) { player = std::thread(std::move(script)); }
    std::string x(const std::string& name) const { return exchange + name; }
    void put(const std::string& name, const std::string& bytes) {
        qelp::fileio::WriteFileReplacing(x(name), bytes);
    }
    bool has(const std::string& name) const { return qelp::fileio::IsRegularFile(x(name)); }
    void takeCommand() {
        ASSERT_TRUE(waitUntil([&] { return has("cmd.sig"); }));
        put("busy.flg", "");
        qelp::fileio::RemoveFile(x("cmd.sig"));
    }
    void finish(int code) {
        put("result.dat", "[General]\r\nRESULT=" + std::to_string(code) + "\r\n");
        put("result.sig", "");
        qelp::fileio::RemoveFile(x("busy.flg"));
    }
    void ask(const std::string& text, int buttons, int type = 4) {
        put("msg.dat", "[Msg]\r\nDlgType=" + std::to_string(type) + "\r\nMsg=" + text +
                           "\r\nButtons=" + std::to_string(buttons) + "\r\nCode=17\r\n");
        put("msg.sig", "");
    }
    std::vector<std::string> log() const {
        std::vector<std::string> out;
        for (const std::string& line : SplitCrLf(ReadFile(program.files.logFilePath)))
            out.push_back(line.substr(line.find(" > ") + 3));
        return out;
    }

    static inline int counter = 0;
    TempDir dir;
    CountingHost host{dir.path()};
    FakeUi ui;
    qelp::Program program;
    std::string exchange;
    std::string driverName;
    pid_t pid = -1;
    std::thread player;
};

} // namespace

TEST_F(Transfer, IdleDriverGetsTheCommandAfterTheOldExchangeIsCleared) {
    for (const char* stale : {"abort.dat", "abort.sig", "msg.dat", "msg.sig", "reply.dat",
                              "reply.sig", "result.dat", "result.sig", "cmd.sig"})
        put(stale, "stale");
    EXPECT_EQ(qelp::SendCommandFile(program, 2000), 0);
    for (const char* stale : {"abort.dat", "abort.sig", "msg.dat", "msg.sig", "reply.dat",
                              "reply.sig", "result.dat", "result.sig"})
        EXPECT_FALSE(has(stale)) << stale;
    EXPECT_EQ(ReadFile(x("cmd.dat")), "@RUN\r\n@EXT RESET\r\n@END\r\n");
    EXPECT_EQ(ReadFile(x("cmd.sig")), "");
    auto lines = log();
    std::vector<std::string> tail(lines.end() - 7, lines.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Driver idle.",
                                              "Logging data in file: " + ServerCommandFile(program),
                                              "@RUN", "@EXT RESET", "@END", "End of logged data.",
                                              "Command file send to driver"}));
}

TEST_F(Transfer, BusyWaitEndsWhenTheFlagGoesOrGivesUp) {
    put("busy.flg", "");
    play([&] {
        std::this_thread::sleep_for(300ms);
        qelp::fileio::RemoveFile(x("busy.flg"));
    });
    EXPECT_EQ(qelp::SendCommandFile(program, 2000), 0);
    player.join();
    EXPECT_TRUE(InOrder(log(), {"Driver is busy, waiting until idle...", "Driver idle.",
                                "Command file send to driver"}));

    // A flag that stays: the hand-over is given up and the old exchange stays in place.
    put("busy.flg", "");
    put("result.sig", "old");
    size_t before = log().size();
    EXPECT_EQ(qelp::SendCommandFile(program, 200), -1);
    auto lines = log();
    EXPECT_EQ(
        std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
        (std::vector<std::string>{"Driver is busy, waiting until idle...", "Busy file timeout",
                                  "Timeout: driver still busy or not running"}));
    EXPECT_TRUE(has("result.sig"));

    // A busy-wait time of 0 makes no check at all.
    before = log().size();
    EXPECT_EQ(qelp::SendCommandFile(program, 0), -1);
    EXPECT_EQ(log().size() - before, 3u);
}

TEST_F(Transfer, DriverGoneBeforeOrDuringTheBusyWait) {
    put("busy.flg", "");
    play([&] {
        std::this_thread::sleep_for(150ms);
        killDriver();
    });
    const size_t before = log().size();
    EXPECT_FALSE(qelp::SendAndEvaluate(program, 2000));
    player.join();
    auto lines = log();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
              (std::vector<std::string>{"Driver is busy, waiting until idle...",
                                        "Driver process not running!", "Busy file timeout",
                                        "Timeout: driver still busy or not running",
                                        "Unable to send command (driver busy?)"}));
    EXPECT_TRUE(program.link.driverRunning); // a driver lost while busy does not unlink

    // Not running at all: nothing is handed over and the link is down.
    EXPECT_EQ(qelp::SendCommandFile(program, 2000), -2);
    EXPECT_FALSE(program.link.driverRunning);
    EXPECT_EQ(log().back(), "Unable to send command (driver busy?)");
}

TEST_F(Transfer, ResultCountsOnlyWhenSignalledAndTheBusyFlagIsGone) {
    std::atomic<bool> readEarly{false};
    play([&] {
        takeCommand();
        put("result.dat", "[General]\r\nRESULT=0\r\nOUTPUT=done\r\n");
        put("result.sig", "");
        std::this_thread::sleep_for(200ms);
        readEarly = !has("result.dat"); // the console must still be waiting
        qelp::fileio::RemoveFile(x("busy.flg"));
    });
    EXPECT_TRUE(qelp::SendAndEvaluate(program, 2000));
    player.join();
    EXPECT_FALSE(readEarly);
    EXPECT_EQ(program.result.commandOutput, "done");
    EXPECT_FALSE(has("result.dat"));
    EXPECT_FALSE(has("result.sig"));
    EXPECT_EQ(ui.abortHistory, (std::vector<bool>{true, false}));
}

TEST_F(Transfer, MessageIsServedOnlyWhileTheDriverIsBusy) {
    play([&] {
        ASSERT_TRUE(waitUntil([&] { return has("cmd.sig"); }));
        ask("not now", 4); // no busy flag yet
        std::this_thread::sleep_for(100ms);
        finish(0);
    });
    EXPECT_TRUE(qelp::SendAndEvaluate(program, 2000));
    player.join();
    EXPECT_EQ(ui.windowsShown, 0);
    EXPECT_TRUE(has("msg.sig")); // left for the next send to delete
}

TEST_F(Transfer, AnsweredQuestionReachesTheDriverAsReply) {
    std::string button;
    play([&] {
        takeCommand();
        ask("Dispense anyway?", 3);
        ASSERT_TRUE(waitUntil([&] { return has("reply.sig"); }));
        button = qelp::profile::ReadProfileString("Reply", "Button", x("reply.dat"));
        finish(button == "2" ? 4 : 0);
    });
    ui.autoAnswer = 2; // "No"
    EXPECT_FALSE(qelp::SendAndEvaluate(program, 2000));
    player.join();
    EXPECT_EQ(button, "2");
    EXPECT_EQ(ReadFile(x("reply.dat")), "[Reply]\r\nButton=2\r\n");
    EXPECT_EQ(ReadFile(x("reply.sig")), "[Main]\r\nNothing=0\r\n");
    EXPECT_FALSE(has("msg.sig"));
    EXPECT_EQ(program.message.replyPending, 0);
    EXPECT_TRUE(InOrder(log(), {"Logging data in file: " + x("msg.dat"), "Msg=Dispense anyway?",
                                "Logging data in file: " + x("reply.dat"), "Button=2",
                                "End of logged data.", "Error: Driver returns 4 on command."}));
}

TEST_F(Transfer, SecondQuestionDropsTheFirstAndAnInvalidOneWithdrawsTheWindow) {
    std::atomic<int> repliesSeen{0};
    play([&] {
        takeCommand();
        ask("first", 3);
        ASSERT_TRUE(waitUntil([&] { return !has("msg.sig"); }));
        ask("second", 12);
        ASSERT_TRUE(waitUntil([&] { return has("reply.sig"); }));
        repliesSeen = qelp::profile::ReadProfileString("Reply", "Button", x("reply.dat")) == "8";
        qelp::fileio::RemoveFile(x("reply.sig"));
        ask("third, then withdrawn", 4);
        ASSERT_TRUE(waitUntil([&] { return !has("msg.sig"); }));
        ask("no type", 4, 9);
        ASSERT_TRUE(waitUntil([&] { return !has("msg.sig"); }));
        std::this_thread::sleep_for(50ms);
        finish(0);
    });
    ui.onEvents = [&](qelp::Program& p) {
        // Answer "Cancel" to the second question only.
        if (p.message.messageWindowOpen && ui.shownTexts.size() == 2 &&
            p.message.messageText == "second")
            p.message.replyPending = 8, p.message.messageWindowOpen = false;
    };
    EXPECT_TRUE(qelp::SendAndEvaluate(program, 2000));
    player.join();
    EXPECT_EQ(repliesSeen, 1);
    EXPECT_EQ(ui.shownTexts,
              (std::vector<std::string>{"first", "second", "third, then withdrawn"}));
    EXPECT_EQ(ui.windowsClosedByRequest, 2); // the first by the second, the third by the invalid
    EXPECT_FALSE(program.message.messageWindowOpen);
    EXPECT_EQ(program.message.messageText,
              "third, then withdrawn"); // an invalid message changes nothing
}

TEST_F(Transfer, WindowLeftOpenIsAskedToCloseWhenTheCommandEnds) {
    play([&] {
        takeCommand();
        ask("notice", 4, 3);
        ASSERT_TRUE(waitUntil([&] { return !has("msg.sig"); }));
        finish(0);
    });
    ui.windowCanClose = false;
    EXPECT_TRUE(qelp::SendAndEvaluate(program, 2000));
    player.join();
    EXPECT_TRUE(program.message.messageWindowOpen);
    EXPECT_TRUE(program.message.messageWindowCloseRequest);
}

TEST_F(Transfer, AbortIsSignalledAndTheWaitGoesOnUntilTheResult) {
    play([&] {
        takeCommand();
        ASSERT_TRUE(waitUntil([&] { return has("abort.sig"); }));
        finish(5);
    });
    bool pressed = false;
    ui.onEvents = [&](qelp::Program& p) {
        if (!pressed && ui.eventPasses > 3) {
            pressed = true;
            qelp::AbortCommand(p);
        }
    };
    EXPECT_FALSE(qelp::SendAndEvaluate(program, 2000));
    player.join();
    EXPECT_EQ(log().back(), "Error: Driver returns 5 on command.");
    EXPECT_EQ(qelp::profile::ReadProfileString("ANY", "EMPTY", x("abort.dat")), "ABORTME");
    EXPECT_EQ(ReadFile(x("abort.sig")), "");
    ui.onEvents = nullptr;
    play([&] {
        takeCommand();
        finish(0);
    });
    EXPECT_TRUE(qelp::SendAndEvaluate(program, 2000));
    EXPECT_FALSE(has("abort.dat"));
    EXPECT_FALSE(has("abort.sig"));
}

TEST_F(Transfer, DriverDyingInTheResultWaitIsNoticedAtTheProcessCheck) {
    play([&] {
        takeCommand();
        ask("pending", 3);
        ASSERT_TRUE(waitUntil([&] { return !has("msg.sig"); }));
        killDriver();
    });
    ui.windowCanClose = false;
    EXPECT_FALSE(qelp::SendAndEvaluate(program, 2000));
    player.join();
    EXPECT_EQ(program.result.driverResultCode, -2);
    EXPECT_FALSE(program.link.driverRunning);
    EXPECT_TRUE(program.message.messageWindowCloseRequest);
    EXPECT_EQ(log().back(), "Error: Driver returns -2 on command.");
}

TEST_F(Transfer, ProcessCheckRunsOnPass101AndThenEveryHundredPassesAfterItsReset) {
    // The counter restarts at 0 on the checking pass and counts that pass too, so the
    // checks fall on passes 101, 202, 303 ...
    program.tuning.resultWaitFallbackMs = 1; // passes without events, quickly
    for (int resultPass : {201, 202}) {
        put("busy.flg", "");
        ui.onEvents = [&](qelp::Program&) {
            if (ui.eventPasses == resultPass)
                finish(0);
        };
        ui.eventPasses = 0;
        host.processChecks = 0;
        qelp::WaitForDriverResult(program);
        EXPECT_EQ(ui.eventPasses, resultPass);
        EXPECT_EQ(program.result.driverResultCode, 0);
        EXPECT_EQ(host.processChecks, resultPass == 201 ? 1 : 2) << "result on pass " << resultPass;
    }
}

TEST_F(Transfer, SecondCommandDuringAWaitIsRefusedAndTheFirstCompletes) {
    play([&] {
        takeCommand();
        std::this_thread::sleep_for(100ms);
        finish(0);
    });
    bool refused = false;
    ui.onEvents = [&](qelp::Program& p) {
        if (!refused && ui.eventPasses > 2) {
            refused = !qelp::CleanCanister(p, 3);
        }
    };
    EXPECT_TRUE(qelp::SendAndEvaluate(program, 2000));
    player.join();
    EXPECT_TRUE(refused);
    EXPECT_EQ(CountOf(log(), qelp::kCommandRefusedLine), 1);
    EXPECT_EQ(CountOf(log(), "Clean command created"), 0);
    EXPECT_EQ(ReadFile(ServerCommandFile(program)), "@RUN\r\n@EXT RESET\r\n@END\r\n");
    EXPECT_FALSE(program.session.commandInFlight);
}

// Links planted in the exchange directory read as missing files, with a line each: nothing
// of the outside file reaches the log, the reply or the outside file itself.
TEST_F(Transfer, PlantedLinksReadAsMissingFiles) {
    const std::string secret = dir.path() + "secret";
    WriteFile(secret, "[Msg]\r\nDlgType=4\r\nMsg=secret\r\n[General]\r\nRESULT=0\r\n");
    auto plant = [&](const char* name) {
        qelp::fileio::RemoveFile(x(name));
        ASSERT_EQ(::symlink(secret.c_str(), x(name).c_str()), 0);
    };
    play([&] {
        takeCommand();
        plant("reply.dat");
        ask("Go on?", 4);
        ASSERT_TRUE(waitUntil([&] { return has("reply.sig"); }));
        plant("msg.dat");
        put("msg.sig", "");
        ASSERT_TRUE(waitUntil([&] { return !has("msg.sig"); }));
        plant("result.dat");
        put("result.sig", "");
        qelp::fileio::RemoveFile(x("busy.flg"));
    });
    ui.autoAnswer = 4;
    EXPECT_FALSE(qelp::SendAndEvaluate(program, 2000));
    player.join();
    EXPECT_EQ(program.result.driverResultCode, -1);
    EXPECT_EQ(ui.shownTexts, (std::vector<std::string>{"Go on?"}));
    EXPECT_EQ(ReadFile(x("reply.dat")), "[Reply]\r\nButton=4\r\n");
    EXPECT_EQ(ReadFile(secret), "[Msg]\r\nDlgType=4\r\nMsg=secret\r\n[General]\r\nRESULT=0\r\n");
    const auto lines = log();
    EXPECT_EQ(CountOf(lines, "Msg=secret"), 0);
    for (const char* name : {"reply.dat", "msg.dat", "result.dat"})
        EXPECT_EQ(CountOf(lines, "Error: File " + x(name) + " is a symbolic link; it is not read"),
                  1)
            << name;
}

// The exchange directory going mid-command is said once; the wait goes on and, once the
// directory is back, sees the driver's result in it.
TEST_F(Transfer, ExchangeDirectoryGoneMidCommandIsLoggedOnceAndWatchedAgain) {
    const std::string gone =
        "Error: Exchange directory " + exchange + " has gone; waiting for it to return";
    const std::string away = dir.path() + "away";
    play([&] {
        takeCommand();
        qelp::fileio::RemoveFile(x("busy.flg"));
        std::filesystem::rename(exchange, away);
        EXPECT_TRUE(waitUntil([&] { return CountOf(log(), gone) == 1; }));
        std::filesystem::rename(away, exchange);
        EXPECT_TRUE(waitUntil(
            [&] { return CountOf(log(), "Exchange directory " + exchange + " is back") == 1; }));
        finish(0);
    });
    EXPECT_TRUE(qelp::SendAndEvaluate(program, 2000));
    player.join();
    EXPECT_EQ(CountOf(log(), gone), 1);
}
