// The simulator binary driven from outside, the way the console drives a driver.
#include "simharness.h"

#include <chrono>
#include <gtest/gtest.h>

using namespace simtest;

namespace {

// The order of file operations every finished command must have kept.
void expectCleanHandshake(const CommandRun& run) {
    EXPECT_TRUE(run.finished);
    EXPECT_TRUE(run.violations.empty()) << run.violations.front();
    auto at = [&run](const char* event) {
        auto it = std::find(run.events.begin(), run.events.end(), event);
        return it == run.events.end() ? -1 : static_cast<int>(it - run.events.begin());
    };
    int busyUp = at("+busy.flg"), taken = at("-cmd.sig"), resultData = at("+result.dat");
    int resultSignal = at("+result.sig"), busyDown = at("-busy.flg");
    ASSERT_GE(busyUp, 0);
    EXPECT_LT(busyUp, taken) << "the busy flag must be up before the command is taken";
    EXPECT_LT(taken, resultData);
    EXPECT_LT(resultData, resultSignal) << "result.dat must be complete before result.sig";
    EXPECT_LT(resultSignal, busyDown) << "busy.flg may go only after result.sig";
    EXPECT_EQ(busyDown, static_cast<int>(run.events.size()) - 1) << "nothing may follow it";
}

} // namespace

std::function<int(const std::string&)> press(int button) {
    return [button](const std::string&) { return button; };
}

TEST(SimProcess, EveryCommandKeepsTheHandshake) {
    SimProcess sim;
    ASSERT_TRUE(sim.startReady()) << "the simulator never became ready";
    qelp::fileio::WriteFileReplacing(sim.ex("cmd.sig"), ""); // a signal without a command
    ASSERT_TRUE(sim.waitFor("result.sig"));
    ASSERT_TRUE(sim.waitFor("busy.flg", false));
    EXPECT_EQ(Ini(sim.read("result.dat"), "General", "RESULT"), "1");
    struct Case {
        const char* line;
        int code;
        const char* output; // nullptr: not checked
    };
    const Case cases[] = {
        {"@EXT RESET", 0, ""},
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
        // Canister 3 (Oxide Red): 1420 - 2 - 2 - 0.5 - 2 = 1413.5 of 2000 ml.
        {"@EXT FILLCANISTER PREPARE 3", 0, "586.5"},
        {"@EXT FILLCANISTER SET 3 1800", 0, "1800"},
        {"@EXT FILLCANISTER ADD 3 100", 0, "1900"},
        {"@EXT FILLCANISTER ADD 3 101", 7, ""},
        {"@EXT FILLCANISTER ADD 0 101", 7, ""}, // only canister 3 cannot take it
        {"@EXT SHOWSERVICEWINDOW", 0, ""},
        {"@EXT SHOWSERVICEWINDOW service", 0, ""},
        {"@EXT SHOWSERVICEWINDOW letmein", 6, ""},
        {"@EXT SETCANCOLNAME 3 \"Iron Oxide Red\"", 0, ""},
        {"@EXT PURGE 17", 2, ""},
        {"@EXT CLEAN -1", 2, ""},
        {"@EXT PURGECOL Unobtainium", 2, ""},
        {"@EXT FILLCANISTER SET 17 10", 2, ""},
        {"@EXT FILLCANISTER PREPARE 17", 2, ""},
        {"@EXT SETCANCOLNAME 0 \"A\"", 2, ""},
        {"@EXT SELFDESTRUCT", 1, ""},
        {"@EXT MACHINE_INFO ", 1, ""},
        {"@CNX 1 1,5", 1, ""},
        // The whole recipe is checked before anything moves.
        {"@CNT \"Titanium White\" 1 \"Green\" 1", 2, ""},
        {"@CNX 1 1 17 1", 2, ""},
        {"@CNX 14 1 1 5000", 4, ""},
        {"@CAN \"Quart\" 946 120\n@CNX 1 950", 8, ""},
        {"@LQT 2\n@CAN \"Quart\" 946 120\n@CNX 1 450", 0, "900"}, // the limit is per can
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        CommandRun run = sim.send(c.line);
        expectCleanHandshake(run);
        EXPECT_EQ(run.code, c.code);
        EXPECT_EQ(run.value("General", "OUTPUT"), c.output);
        if (c.code != 0) {
            EXPECT_FALSE(run.value("Errorlog", "Error1").empty());
            EXPECT_TRUE(run.value("CanisterContents", "Canister_1_ml").empty());
        }
    }
    CommandRun sizes = sim.send("@EXT MACHINE_INFO CANISTERSIZE");
    expectCleanHandshake(sizes);
    EXPECT_EQ(sizes.value("General", "OUTPUT"), "16");
    for (int i = 1; i <= 16; ++i) { // every canister, for the console stops at the first gap
        SCOPED_TRACE(i);
        EXPECT_GT(sizes.canister(i, "size_ml"), 0);
        EXPECT_GE(sizes.canister(i, "ml"), 0);
        EXPECT_NE(
            sizes.value("CanisterContents", "Canister_" + std::to_string(i) + "_colorantName"), "");
    }
    EXPECT_TRUE(sizes.value("CanisterContents", "Canister_17_ml").empty());
    EXPECT_DOUBLE_EQ(sizes.canister(1, "ml"), 3200 - 2 - 0.5 - 900);
    EXPECT_DOUBLE_EQ(sizes.canister(3, "ml"), 1900);
    EXPECT_EQ(sizes.value("CanisterContents", "Canister_3_colorantName"), "Iron Oxide Red");
    EXPECT_DOUBLE_EQ(sizes.canister(4, "ml"), 1780 - 2 - 0.5 - 0.5);
    EXPECT_DOUBLE_EQ(sizes.canister(14, "ml"), 140 - 2 - 0.5);
    EXPECT_DOUBLE_EQ(sim.send("@EXT FILLCANISTER SET 0 800").canister(16, "ml"), 800);

    // Each failure went into the machine's error log, which keeps the newest 50.
    CommandRun features = sim.send("@EXT MACHINE_INFO FEATURES");
    EXPECT_NE(features.value("Errorlog", "Error17"), "");
    EXPECT_EQ(features.value("Errorlog", "Error18"), "");
    for (int i = 101; i <= 160; ++i)
        sim.send("@EXT PURGE " + std::to_string(i));
    features = sim.send("@EXT MACHINE_INFO FEATURES");
    EXPECT_NE(features.value("Errorlog", "Error1").find("Canister 111 "), std::string::npos);
    EXPECT_NE(features.value("Errorlog", "Error50").find("Canister 160 "), std::string::npos);
    EXPECT_EQ(features.value("Errorlog", "Error51"), "");
    // The log is named after the copy, so copies can run side by side.
    std::string log = sim.logText();
    EXPECT_NE(log.find(sim.name + " started"), std::string::npos);
    EXPECT_NE(log.find("@EXT MACHINE_INFO CANISTERSIZE"), std::string::npos);
    EXPECT_NE(log.find("RESULT 0"), std::string::npos);
    EXPECT_NE(log.find("Refused:"), std::string::npos);
}

TEST(SimProcess, DosingAndQuestions) {
    SimProcess sim;
    sim.set("Machine", "DecimalSeparator", ",");
    sim.set("Machine", "ServiceWindowAsks", "1");
    sim.startReady();
    CommandRun dose = sim.send("@WGH 0\n@UNT 29.574 48\n@LQT 2\n@PRD \"Morvex BL\"\n@BAS \"W05\"\n"
                               "@CAN \"2L AshTray\" 2000 180\n@CNX 3 12.5 7 4 3 2\n@PNC 2");
    expectCleanHandshake(dose);
    ASSERT_EQ(dose.code, 0) << dose.result;
    EXPECT_TRUE(dose.messages.empty());
    // 12.5 + 2 and 4 fractions of 29.574/48 ml, for two cans, with the regional separator.
    EXPECT_DOUBLE_EQ(dose.canister(3, "dosed_ul", ','), 17867.625);
    EXPECT_DOUBLE_EQ(dose.canister(3, "ml", ','), 1420 - 17.867625);
    EXPECT_DOUBLE_EQ(dose.canister(7, "dosed_ul", ','), 4929);
    EXPECT_DOUBLE_EQ(dose.canister(1, "dosed_ul", ','), 0);
    EXPECT_EQ(dose.value("General", "OUTPUT"), "22,796625");

    // Canister 14 (Medium Yellow) holds 140 ml with a minimum of 100 ml.
    CommandRun no = sim.send("@CNX 14 50", press(2));
    expectCleanHandshake(no);
    ASSERT_EQ(no.messages.size(), 1u);
    EXPECT_EQ(Ini(no.messages[0], "Msg", "DlgType"), "1");
    EXPECT_EQ(Ini(no.messages[0], "Msg", "Buttons"), "3");
    EXPECT_EQ(Ini(no.messages[0], "MsgValues", "Parm1"), "14");
    EXPECT_EQ(Ini(no.messages[0], "MsgValues", "Parm2"), "Medium Yellow");
    EXPECT_EQ(no.code, 5);
    EXPECT_TRUE(no.value("CanisterContents", "Canister_14_ml").empty());
    EXPECT_FALSE(sim.exists("reply.sig")) << "a used reply is taken away";
    CommandRun aborted = sim.send("@CNX 14 50", press(kAbort));
    expectCleanHandshake(aborted);
    EXPECT_EQ(aborted.code, 3);
    CommandRun yes = sim.send("@CNX 14 50", press(1));
    expectCleanHandshake(yes);
    EXPECT_EQ(yes.code, 0);
    EXPECT_DOUBLE_EQ(yes.canister(14, "ml", ','), 90);      // nothing was dosed before
    EXPECT_EQ(sim.send("@EXT PURGE 14", press(2)).code, 5); // purging asks the same

    CommandRun cancel = sim.send("@CAN \"1L\" 1000 *UNK\n@CNX 1 1\n@PNC 1", press(8));
    EXPECT_EQ(cancel.code, 5);
    ASSERT_EQ(cancel.messages.size(), 1u);
    EXPECT_EQ(Ini(cancel.messages[0], "Msg", "DlgType"), "4");
    EXPECT_EQ(Ini(cancel.messages[0], "Msg", "Buttons"), "12");
    EXPECT_EQ(sim.send("@CNX 1 1\n@PNC 1", press(4)).code, 0);
    EXPECT_EQ(sim.send("@EXT SHOWSERVICEWINDOW", press(4)).messages.size(), 1u);
    EXPECT_EQ(sim.send("@EXT SHOWSERVICEWINDOW", press(kAbort)).code, 3);
    CommandRun sizes = sim.send("@EXT MACHINE_INFO CANISTERSIZE");
    EXPECT_DOUBLE_EQ(sizes.canister(14, "ml", ','), 90);
    EXPECT_DOUBLE_EQ(sizes.canister(1, "ml", ','), 3199);
}

TEST(SimProcess, AbortEndsWorkAndKeepsWhatWasDosed) {
    SimProcess sim;
    sim.set("Timing", "FastMode", "0");
    sim.set("Timing", "StartupMs", "0");
    sim.set("Timing", "DoseMs", "0");
    sim.set("Timing", "DosePerColorantMs", "1500");
    sim.startReady();
    sim.handOver("@CNX 1 10 3 5");
    ASSERT_TRUE(sim.waitForLog("ml dosed")); // the first colorant is done, the second under way
    sim.abort();
    ASSERT_TRUE(sim.waitFor("busy.flg", false));
    EXPECT_TRUE(sim.exists("result.sig"));
    EXPECT_FALSE(sim.exists("abort.sig")) << "an honoured abort is consumed";
    CommandRun run;
    run.result = sim.read("result.dat");
    EXPECT_EQ(run.value("General", "RESULT"), "3");
    EXPECT_EQ(run.value("General", "OUTPUT"), "10");
    EXPECT_DOUBLE_EQ(run.canister(1, "dosed_ul"), 10000);
    EXPECT_DOUBLE_EQ(run.canister(1, "ml"), 3190);
    EXPECT_DOUBLE_EQ(run.canister(3, "dosed_ul"), 0);
    EXPECT_DOUBLE_EQ(run.canister(3, "ml"), 1420);
}

TEST(SimProcess, ConfiguredCanistersPollingAndRestart) {
    SimProcess sim;
    sim.set("Link", "UseInotify", "0");
    sim.set("Link", "PollIntervalMs", "20");
    sim.set("Canisters", "Count", "3");
    sim.set("Canisters", "Canister_2_Colorant", "Chrome Green");
    sim.set("Canisters", "Canister_2_ContentMl", "250");
    sim.set("Canisters", "Canister_2_Density", "1.6");
    sim.startReady();
    // 16 g at 1.6 g/ml and 19.5 g at 1.95 g/ml; names in any letter case.
    CommandRun grams = sim.send("@WGH 1\n@CNT \"chrome GREEN\" 16 \"titanium white\" 19.5");
    expectCleanHandshake(grams);
    EXPECT_DOUBLE_EQ(grams.canister(2, "ml"), 240);
    EXPECT_DOUBLE_EQ(grams.canister(1, "ml"), 3190);
    EXPECT_TRUE(grams.value("CanisterContents", "Canister_4_ml").empty());
    ASSERT_EQ(sim.send("@EXT SETCANCOLNAME 3 \"Viridian\"").code, 0);
    ASSERT_EQ(sim.send("@EXT PURGE 9").code, 2);
    EXPECT_NE(sim.logText().find("polled"), std::string::npos);

    sim.kill(); // a value of the state file that does not fit is skipped alone
    std::string statePath = sim.program + sim.name + ".state";
    ASSERT_TRUE(qelptest::Exists(statePath));
    std::string state = qelptest::ReadFile(statePath);
    state = qelp::profile::SetInText(state, "Canisters", "Canister_1_ContentMl", "lots");
    qelptest::WriteFile(
        statePath, qelp::profile::SetInText(state, "Canisters", "Canister_3_ContentMl", "2001"));
    sim.startReady();
    CommandRun sizes = sim.send("@EXT MACHINE_INFO CANISTERSIZE");
    EXPECT_EQ(sizes.value("General", "OUTPUT"), "3");
    EXPECT_DOUBLE_EQ(sizes.canister(1, "ml"), 3200);
    EXPECT_DOUBLE_EQ(sizes.canister(2, "ml"), 240);
    EXPECT_DOUBLE_EQ(sizes.canister(3, "ml"), 1420);
    EXPECT_EQ(sizes.value("CanisterContents", "Canister_2_colorantName"), "Chrome Green");
    EXPECT_EQ(sizes.value("CanisterContents", "Canister_3_colorantName"), "Viridian");
    CommandRun features = sim.send("@EXT MACHINE_INFO FEATURES");
    EXPECT_NE(features.value("Errorlog", "Error1").find("below its warning level"),
              std::string::npos);
    EXPECT_NE(features.value("Errorlog", "Error2").find("Canister 9 "), std::string::npos);
}

TEST(SimProcess, FollowsItsExchangeDirectoryAndEndsWithItsOwn) {
    SimProcess sim;
    sim.set("Link", "PollIntervalMs", "1000");
    // Five commands in a row take less than two poll intervals only when notified.
    auto fiveQuickResets = [&sim] {
        auto begin = std::chrono::steady_clock::now();
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(sim.send("@EXT RESET").code, 0);
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(2000));
    };
    std::filesystem::remove_all(sim.exchange);
    sim.start(false);
    EXPECT_TRUE(sim.waitForLog("does not exist")); // said while it waits
    std::filesystem::create_directory(sim.exchange);
    ASSERT_TRUE(sim.waitForLog("(watched)"));
    fiveQuickResets();
    std::filesystem::remove_all(sim.exchange);
    ASSERT_TRUE(sim.waitForLog("has disappeared"));
    std::filesystem::create_directory(sim.exchange);
    ASSERT_TRUE(sim.waitForLog("is back"));
    fiveQuickResets();
    std::filesystem::remove_all(sim.program);
    EXPECT_EQ(sim.waitForExit(), 0);
}
