// The simulator binary driven from outside, the way the console drives a driver.
#include "frame/fileio.h"
#include "frame/profile.h"
#include "simharness.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace simtest;

namespace {

// The handshake rules every finished command must have kept.
void expectCleanHandshake(const CommandRun& run) {
    EXPECT_TRUE(run.finished);
    EXPECT_TRUE(run.violations.empty()) << run.violations.front();
    const auto& ev = run.events;
    int busyUp = EventIndex(ev, "+busy.flg");
    int taken = EventIndex(ev, "-cmd.sig");
    int resultData = EventIndex(ev, "+result.dat");
    int resultSignal = EventIndex(ev, "+result.sig");
    int busyDown = EventIndex(ev, "-busy.flg");
    ASSERT_GE(busyUp, 0);
    EXPECT_LT(busyUp, taken) << "the busy flag must be up before the command is taken";
    EXPECT_LT(taken, resultData);
    EXPECT_LT(resultData, resultSignal) << "result.dat must be complete before result.sig";
    EXPECT_LT(resultSignal, busyDown) << "busy.flg may go only after result.sig";
    EXPECT_EQ(busyDown, static_cast<int>(ev.size()) - 1) << "nothing may follow busy.flg";
}

std::string msgValue(const std::string& message, const char* section, const char* key) {
    return qelp::profile::LookupInText(message, section, key);
}

} // namespace

TEST(SimProcess, StartsBusyBecomesReadyAndKeepsTheHandshake) {
    SimProcess sim;
    sim.raiseBusyFlag();
    sim.start();
    ASSERT_TRUE(sim.waitFor("busy.flg", false)) << "the simulator never became ready";

    CommandRun reset = sim.send("@EXT RESET");
    expectCleanHandshake(reset);
    EXPECT_EQ(reset.code, 0);
    EXPECT_FALSE(qelptest::Exists(sim.ex("cmd.sig")));

    CommandRun sizes = sim.send("@EXT MACHINE_INFO CANISTERSIZE");
    expectCleanHandshake(sizes);
    EXPECT_EQ(sizes.value("General", "OUTPUT"), "16");
    for (int i = 1; i <= 16; ++i) {
        SCOPED_TRACE(i);
        EXPECT_GT(CanisterValue(sizes.result, i, "size_ml"), 0);
        EXPECT_GE(CanisterValue(sizes.result, i, "ml"), 0);
        EXPECT_FALSE(
            sizes.value("CanisterContents", "Canister_" + std::to_string(i) + "_colorantName")
                .empty());
    }
    EXPECT_TRUE(sizes.value("CanisterContents", "Canister_17_ml").empty());

    // The ini and the log are named after the copy, so copies can run side by side.
    std::string log = sim.logText();
    EXPECT_NE(log.find(sim.name() + " started"), std::string::npos);
    EXPECT_NE(log.find("@EXT MACHINE_INFO CANISTERSIZE"), std::string::npos);
    EXPECT_NE(log.find("RESULT 0"), std::string::npos);
}

TEST(SimProcess, EveryMaintenanceVerb) {
    SimProcess sim;
    sim.startReady();
    struct Case {
        const char* line;
        int code;
        const char* output; // nullptr: not checked
    };
    const Case cases[] = {
        {"@EXT RESET HARD", 0, ""},
        {"@EXT MACHINE_INFO FEATURES", 0, "31"},
        {"@EXT MACHINE_INFO PUMPCOUNT", 0, "16"},
        {"@EXT MACHINE_INFO CANISTERCOUNT", 0, "16"},
        {"@EXT VERSION", 0, "4.2.7"},
        {"@EXT PURGE 3", 0, "2"},
        {"@EXT PURGE 0", 0, "32"},
        {"@EXT CLEAN 2", 0, "0.5"},
        {"@EXT CLEAN 0", 0, "8"},
        {"@EXT PURGECOL Oxide Red", 0, "2"},
        {"@EXT CLEANCOL lamp black", 0, "0.5"},
        {"@EXT FILLCANISTER PREPARE 3", 0, nullptr},
        {"@EXT FILLCANISTER SET 3 1800", 0, "1800"},
        {"@EXT FILLCANISTER ADD 3 100", 0, "1900"},
        {"@EXT FILLCANISTER ADD 3 101", 7, nullptr},
        {"@EXT SHOWSERVICEWINDOW", 0, ""},
        {"@EXT SHOWSERVICEWINDOW service", 0, ""},
        {"@EXT SHOWSERVICEWINDOW letmein", 6, nullptr},
        {"@EXT SETCANCOLNAME 3 \"Iron Oxide Red\"", 0, ""},
        {"@EXT PURGE 17", 2, nullptr},
        {"@EXT PURGECOL Unobtainium", 2, nullptr},
        {"@EXT SELFDESTRUCT", 1, nullptr},
        {"@EXT MACHINE_INFO ", 1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        CommandRun run = sim.send(c.line);
        expectCleanHandshake(run);
        EXPECT_EQ(run.code, c.code);
        if (c.output) {
            EXPECT_EQ(run.value("General", "OUTPUT"), c.output);
        }
        if (c.code != 0) {
            EXPECT_FALSE(run.value("Errorlog", "Error1").empty());
        }
    }
    // After all that, canister 3 (Oxide Red): 1420 - 2 - 2 - 0.5 - 2 = 1413.5, then set to
    // 1800, plus 100; and it carries its new name.
    CommandRun sizes = sim.send("@EXT MACHINE_INFO CANISTERSIZE");
    EXPECT_DOUBLE_EQ(CanisterValue(sizes.result, 3, "ml"), 1900);
    EXPECT_EQ(sizes.value("CanisterContents", "Canister_3_colorantName"), "Iron Oxide Red");
    EXPECT_DOUBLE_EQ(CanisterValue(sizes.result, 4, "ml"), 1780 - 2 - 0.5 - 0.5);
    // The failures are in the machine's error log.
    CommandRun features = sim.send("@EXT MACHINE_INFO FEATURES");
    EXPECT_FALSE(features.value("Errorlog", "Error6").empty());
    EXPECT_TRUE(features.value("Errorlog", "Error7").empty());
}

TEST(SimProcess, DosingReportsContentsAndDosedMicrolitres) {
    SimProcess sim;
    sim.startReady();
    CommandRun run = sim.send("@WGH 0\n@UNT 29.574 48\n@LQT 2\n@PRD \"Morvex BL\"\n@BAS \"W05\"\n"
                              "@CAN \"2L AshTray\" 2000 180\n@CNX 3 12.5 7 4\n@PNC 2");
    expectCleanHandshake(run);
    ASSERT_EQ(run.code, 0) << run.result;
    EXPECT_TRUE(run.messages.empty());
    // 12.5 and 4 fractions of 29.574/48 ml, for two cans.
    EXPECT_DOUBLE_EQ(CanisterValue(run.result, 3, "dosed_ul"), 15403.125);
    EXPECT_DOUBLE_EQ(CanisterValue(run.result, 3, "ml"), 1420 - 15.403125);
    EXPECT_DOUBLE_EQ(CanisterValue(run.result, 7, "dosed_ul"), 4929);
    EXPECT_DOUBLE_EQ(CanisterValue(run.result, 1, "dosed_ul"), 0);
    EXPECT_EQ(run.value("General", "OUTPUT"), "20.332125");
}

TEST(SimProcess, RegionalDecimalSeparator) {
    SimProcess sim;
    sim.set("Machine", "DecimalSeparator", ",");
    sim.startReady();
    CommandRun run = sim.send("@CNX 2 12.25");
    ASSERT_EQ(run.code, 0);
    EXPECT_EQ(run.value("CanisterContents", "Canister_2_ml"), "1637,75");
    EXPECT_EQ(run.value("CanisterContents", "Canister_2_dosed_ul"), "12250");
    EXPECT_EQ(run.value("General", "OUTPUT"), "12,25");
}

TEST(SimProcess, MinimumLevelQuestionAnsweredBothWays) {
    SimProcess sim;
    sim.startReady();
    // Canister 14 (Medium Yellow) holds 140 ml with a minimum of 100 ml.
    CommandRun no = sim.send("@CNX 14 50", [](const std::string&) { return 2; });
    expectCleanHandshake(no);
    ASSERT_EQ(no.messages.size(), 1u);
    EXPECT_EQ(msgValue(no.messages[0], "Msg", "DlgType"), "1");
    EXPECT_EQ(msgValue(no.messages[0], "Msg", "Buttons"), "3");
    EXPECT_EQ(msgValue(no.messages[0], "MsgValues", "Parm1"), "14");
    EXPECT_EQ(msgValue(no.messages[0], "MsgValues", "Parm2"), "Medium Yellow");
    EXPECT_EQ(no.code, 5);
    EXPECT_TRUE(no.value("CanisterContents", "Canister_14_ml").empty());
    EXPECT_FALSE(qelptest::Exists(sim.ex("reply.sig"))) << "a used reply is taken away";

    CommandRun yes = sim.send("@CNX 14 50", [](const std::string&) { return 1; });
    expectCleanHandshake(yes);
    EXPECT_EQ(yes.code, 0);
    EXPECT_DOUBLE_EQ(CanisterValue(yes.result, 14, "ml"), 90);
}

TEST(SimProcess, AbortEndsLongWorkAndOpenQuestions) {
    SimProcess sim;
    sim.set("Timing", "FastMode", "0");
    sim.set("Timing", "StartupMs", "0");
    sim.set("Timing", "ResetMs", "600000"); // ten minutes: only the abort can end it
    sim.startReady();
    ASSERT_TRUE(
        qelp::fileio::WriteFileReplacing(sim.ex("cmd.dat"), "@RUN\r\n@EXT RESET\r\n@END\r\n"));
    ASSERT_TRUE(qelp::fileio::WriteFileReplacing(sim.ex("cmd.sig"), ""));
    ASSERT_TRUE(sim.waitFor("cmd.sig", false));
    ASSERT_TRUE(qelptest::Exists(sim.ex("busy.flg")));
    qelp::profile::WriteProfileString("ANY", "EMPTY", "ABORTME", sim.ex("abort.dat"));
    qelptest::WriteFile(sim.ex("abort.sig"), "");
    ASSERT_TRUE(sim.waitFor("busy.flg", false));
    std::string result = qelptest::ReadFile(sim.ex("result.dat"));
    EXPECT_EQ(qelp::profile::LookupInText(result, "General", "RESULT"), "3");
    EXPECT_TRUE(qelptest::Exists(sim.ex("result.sig")));
    EXPECT_FALSE(qelptest::Exists(sim.ex("abort.sig"))) << "an honoured abort is consumed";

    SimProcess fast;
    fast.startReady();
    CommandRun question = fast.send("@CNX 14 50", [](const std::string&) { return kAbort; });
    expectCleanHandshake(question);
    EXPECT_EQ(question.code, 3);
    CommandRun after = fast.send("@EXT MACHINE_INFO CANISTERSIZE");
    EXPECT_DOUBLE_EQ(CanisterValue(after.result, 14, "ml"), 140);
}

TEST(SimProcess, RestartKeepsTheMachineState) {
    SimProcess sim;
    sim.startReady();
    ASSERT_EQ(sim.send("@EXT FILLCANISTER SET 5 777.5").code, 0);
    ASSERT_EQ(sim.send("@EXT SETCANCOLNAME 6 \"Viridian\"").code, 0);
    sim.kill();
    EXPECT_TRUE(qelptest::Exists(sim.programDirectory() + sim.name() + ".state"));

    sim.startReady();
    CommandRun sizes = sim.send("@EXT MACHINE_INFO CANISTERSIZE");
    EXPECT_DOUBLE_EQ(CanisterValue(sizes.result, 5, "ml"), 777.5);
    EXPECT_EQ(sizes.value("CanisterContents", "Canister_6_colorantName"), "Viridian");
    EXPECT_DOUBLE_EQ(CanisterValue(sizes.result, 4, "ml"), 1780);
}

TEST(SimProcess, ConfiguredCanistersAndPolling) {
    SimProcess sim;
    sim.set("Link", "UseInotify", "0");
    sim.set("Link", "PollIntervalMs", "20");
    sim.set("Canisters", "Count", "3");
    sim.set("Canisters", "Canister_2_Colorant", "Chrome Green");
    sim.set("Canisters", "Canister_2_ContentMl", "250");
    sim.startReady();
    CommandRun sizes = sim.send("@EXT MACHINE_INFO CANISTERSIZE");
    expectCleanHandshake(sizes);
    EXPECT_EQ(sizes.value("General", "OUTPUT"), "3");
    EXPECT_EQ(sizes.value("CanisterContents", "Canister_2_colorantName"), "Chrome Green");
    EXPECT_DOUBLE_EQ(CanisterValue(sizes.result, 2, "ml"), 250);
    EXPECT_TRUE(sizes.value("CanisterContents", "Canister_4_ml").empty());
    EXPECT_NE(sim.logText().find("polled"), std::string::npos);
}

TEST(SimProcess, MissingExchangeDirectoryIsWaitedFor) {
    SimProcess sim;
    std::filesystem::remove_all(sim.exchangeDirectory());
    sim.start();
    // The log says what is wrong while the simulator waits.
    for (int i = 0; i < 1000 && sim.logText().find("does not exist") == std::string::npos; ++i)
        ::usleep(5000);
    EXPECT_NE(sim.logText().find("does not exist"), std::string::npos);
    EXPECT_TRUE(sim.running());
    std::filesystem::create_directory(sim.exchangeDirectory());
    EXPECT_EQ(sim.send("@EXT RESET").code, 0);
}

TEST(SimProcess, EndsWhenItsDirectoryIsRemoved) {
    SimProcess sim;
    sim.startReady();
    ASSERT_TRUE(sim.running());
    std::filesystem::remove_all(sim.programDirectory());
    EXPECT_EQ(sim.waitForExit(), 0);
}

TEST(SimProcess, MalformedCommandFilesAreAnsweredAndLogged) {
    SimProcess sim;
    sim.startReady();
    qelp::fileio::WriteFileReplacing(sim.ex("cmd.sig"), ""); // a signal without a command
    ASSERT_TRUE(sim.waitFor("result.sig"));
    ASSERT_TRUE(sim.waitFor("busy.flg", false));
    EXPECT_EQ(
        qelp::profile::LookupInText(qelptest::ReadFile(sim.ex("result.dat")), "General", "RESULT"),
        "1");
    CommandRun broken = sim.send("@CNX 1 1,5");
    EXPECT_EQ(broken.code, 1);
    EXPECT_NE(broken.value("Errorlog", "Error1").find("1,5"), std::string::npos);
    EXPECT_NE(sim.logText().find("Refused:"), std::string::npos);
    EXPECT_EQ(sim.send("@EXT RESET").code, 0); // and it goes on
}
