// The command hand-over and the result wait, against a driver played by a test thread (so
// the order of every file operation is under the test's control) inside a real, idle
// process that stands in for the driver in the process list.
#include "exchange/exchange.h"
#include "frame/fileio.h"
#include "frame/profile.h"
#include "frame/program.h"
#include "link/config.h"
#include "link/transfer.h"
#include "operations/operations.h"
#include "support/linkfixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <thread>
#include <unistd.h>

using namespace qelptest;

namespace {

class Transfer : public ::testing::Test, protected LinkOn<TestHost, ManualClock> {
protected:
    Transfer() : exchange(driver.exchangeDir) {
        // The stand-in driver: an idle process under the installation's unique name. sleep
        // needs its argument, which a driver launch never gives, so it is started directly.
        std::filesystem::copy_file("/bin/sleep", driver.exePath,
                                   std::filesystem::copy_options::overwrite_existing);
        qelp::ReadLinkConfiguration(program);
        pid = Spawn(driver.exePath, {driver.exePath, "300"}); // listed once it returns
        program.link.driverRunning = true;
        WriteFile(ServerCommandFile(program), "@RUN\r\n@EXT RESET\r\n@END\r\n");
    }
    ~Transfer() override {
        if (player.joinable())
            player.join();
        KillChild(pid); // nothing when a test already did; a collected pid is never killed
    }
    // Runs the driver's side of one command on a thread.
    void play(std::function<void()> script) { player = std::thread(std::move(script)); }
    std::string x(const std::string& name) const { return exchange + name; }
    void put(const std::string& name, const std::string& bytes) {
        qelp::fileio::WriteFileReplacing(x(name), bytes);
    }
    bool has(const std::string& name) const { return qelp::fileio::IsRegularFile(x(name)); }
    void takeCommand() {
        ASSERT_TRUE(WaitUntil([&] { return has("cmd.sig"); }));
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
    std::vector<std::string> log(size_t from = 0) const { return messagesFrom(from); }

    std::string exchange;
    pid_t pid = -1;
    std::thread player;
};

} // namespace

TEST_F(Transfer, IdleDriverGetsTheCommandAfterTheOldExchangeIsCleared) {
    const char* const stale[] = {"abort.dat", "abort.sig", "msg.dat",    "msg.sig",
                                 "reply.dat", "reply.sig", "result.dat", "result.sig"};
    for (const char* name : stale)
        put(name, "stale");
    put("cmd.sig", "stale");
    EXPECT_EQ(qelp::SendCommandFile(program, 2000), 0);
    for (const char* name : stale)
        EXPECT_FALSE(has(name)) << name;
    EXPECT_EQ(ReadFile(x("cmd.dat")), "@RUN\r\n@EXT RESET\r\n@END\r\n");
    EXPECT_EQ(ReadFile(x("cmd.sig")), "");
}

// The busy wait runs on the manual clock: it ends exactly when the flag goes, the bound
// passes or the driver ends.
TEST_F(Transfer, BusyWaitEndsWhenTheFlagGoesTheBoundPassesOrTheDriverEnds) {
    put("busy.flg", "");
    clock.onSleep = [&](int64_t now) {
        if (now == 300)
            qelp::fileio::RemoveFile(x("busy.flg"));
    };
    size_t before = log().size();
    EXPECT_EQ(qelp::SendCommandFile(program, 2000), 0);
    EXPECT_EQ(clock.now, 300);
    EXPECT_EQ(log(before).at(1), "Driver idle.");

    // A flag that stays: the hand-over is given up and the old exchange stays in place.
    put("busy.flg", "");
    put("result.sig", "old");
    clock.now = 0;
    before = log().size();
    EXPECT_EQ(qelp::SendCommandFile(program, 200), -1);
    EXPECT_EQ(clock.now, 200);
    EXPECT_EQ(log(before), (std::vector<std::string>{"Driver is busy, waiting until idle...",
                                                     "Busy file timeout",
                                                     "Timeout: driver still busy or not running"}));
    EXPECT_TRUE(has("result.sig"));
    before = log().size(); // a busy-wait time of 0 makes no check at all
    EXPECT_EQ(qelp::SendCommandFile(program, 0), -1);
    EXPECT_EQ(log().size() - before, 3u);

    // The driver ends during the wait: said at once, and a driver lost while busy does not
    // unlink; not running at all, nothing is handed over and the link is down.
    clock.now = 0;
    clock.onSleep = [&](int64_t now) {
        if (now == 150)
            KillChild(pid);
    };
    before = log().size();
    EXPECT_FALSE(qelp::SendAndEvaluate(program, 2000));
    EXPECT_EQ(clock.now, 150);
    EXPECT_EQ(log(before),
              (std::vector<std::string>{"Driver is busy, waiting until idle...",
                                        "Driver process not running!", "Busy file timeout",
                                        "Timeout: driver still busy or not running",
                                        "Unable to send command (driver busy?)"}));
    EXPECT_TRUE(program.link.driverRunning);
    EXPECT_EQ(qelp::SendCommandFile(program, 2000), -2);
    EXPECT_FALSE(program.link.driverRunning);
}

// The driver is played on the console's own event passes, so every step lands between two
// passes of the result wait.
TEST_F(Transfer, ResultAndMessagesCountOnlyWhileTheyShould) {
    int step = 0;
    bool readEarly = true, shownEarly = true;
    ui.onEvents = [&](qelp::Program&) {
        if (++step == 1) {
            ask("not now", 4); // no busy flag yet
        } else if (step == 2) {
            shownEarly = ui.windowsShown != 0;
            put("busy.flg", "");
            qelp::fileio::RemoveFile(x("msg.sig"));
            put("result.dat", "[General]\r\nRESULT=0\r\nOUTPUT=done\r\n");
            put("result.sig", "");
        } else if (step == 3) {
            readEarly = !has("result.dat"); // still busy: the console must go on waiting
            qelp::fileio::RemoveFile(x("busy.flg"));
        }
    };
    EXPECT_TRUE(qelp::SendAndEvaluate(program, 2000));
    EXPECT_FALSE(shownEarly);
    EXPECT_FALSE(readEarly);
    EXPECT_EQ(step, 3);
    EXPECT_EQ(program.result.commandOutput, "done");
    EXPECT_FALSE(has("result.dat") || has("result.sig"));
    EXPECT_EQ(ui.abortHistory, (std::vector<bool>{true, false}));
}

TEST_F(Transfer, AnsweredQuestionReachesTheDriverAsReply) {
    play([&] {
        takeCommand();
        ask("Dispense anyway?", 3);
        ASSERT_TRUE(WaitUntil([&] { return has("reply.sig"); }));
        finish(qelp::profile::ReadProfileString("Reply", "Button", x("reply.dat")) == "2" ? 4 : 0);
    });
    ui.autoAnswer = 2; // "No"
    EXPECT_FALSE(qelp::SendAndEvaluate(program, 2000));
    player.join();
    EXPECT_EQ(ReadFile(x("reply.dat")), "[Reply]\r\nButton=2\r\n");
    EXPECT_EQ(ReadFile(x("reply.sig")), "[Main]\r\nNothing=0\r\n");
    EXPECT_EQ(program.message.replyPending, 0);
    EXPECT_TRUE(InOrder(log(), {"Logging data in file: " + x("msg.dat"), "Msg=Dispense anyway?",
                                "Logging data in file: " + x("reply.dat"), "Button=2",
                                "End of logged data.", "Error: Driver returns 4 on command."}));
}

TEST_F(Transfer, AbortIsSignalledAndTheWaitGoesOnUntilTheResult) {
    play([&] {
        takeCommand();
        ASSERT_TRUE(WaitUntil([&] { return has("abort.sig"); }));
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
}

// A window still open when the wait ends (by a result, or by the driver's death noticed at
// the process check) is asked to close.
TEST_F(Transfer, WaitEndsByResultOrDeathAndAsksAnOpenWindowToClose) {
    ui.windowCanClose = false;
    for (bool dies : {false, true}) {
        SCOPED_TRACE(dies ? "driver dies" : "result");
        program.message.messageWindowCloseRequest = false;
        play([&] {
            takeCommand();
            ask("pending", 3);
            ASSERT_TRUE(WaitUntil([&] { return !has("msg.sig"); }));
            dies ? KillChild(pid) : finish(0);
        });
        EXPECT_EQ(qelp::SendAndEvaluate(program, 2000), !dies);
        player.join();
        EXPECT_TRUE(program.message.messageWindowOpen);
        EXPECT_TRUE(program.message.messageWindowCloseRequest);
    }
}

TEST_F(Transfer, SecondCommandDuringAWaitIsRefusedAndTheFirstCompletes) {
    bool refused = false;
    ui.onEvents = [&](qelp::Program& p) {
        if (!refused && ui.eventPasses > 2) {
            refused = !qelp::CleanCanister(p, 3);
            finish(0);
        }
    };
    EXPECT_TRUE(qelp::SendAndEvaluate(program, 2000));
    EXPECT_TRUE(refused);
    EXPECT_EQ(CountOf(log(), qelp::kCommandRefusedLine), 1);
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
        ASSERT_TRUE(WaitUntil([&] { return has("reply.sig"); }));
        plant("msg.dat");
        put("msg.sig", "");
        ASSERT_TRUE(WaitUntil([&] { return !has("msg.sig"); }));
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
        EXPECT_TRUE(WaitUntil([&] { return CountOf(log(), gone) == 1; }));
        std::filesystem::rename(away, exchange);
        EXPECT_TRUE(WaitUntil(
            [&] { return CountOf(log(), "Exchange directory " + exchange + " is back") == 1; }));
        finish(0);
    });
    EXPECT_TRUE(qelp::SendAndEvaluate(program, 2000));
    player.join();
    EXPECT_EQ(CountOf(log(), gone), 1);
}
