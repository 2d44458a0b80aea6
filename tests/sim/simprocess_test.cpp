// The simulator as a process: what its faults leave in the exchange directory, its state
// file across a restart, and its own directory and the exchange directory coming and going.
// The file hand-shake and the spoiled result files are carried by the console's tests
// against it.
#include "simharness.h"
#include "simulator.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace simtest;

TEST(SimProcess, DyingLeavesTheExchangeAsItWasInThePhaseChosen) {
    struct Case {
        const char* phase;
        const char* key; // OnCommand or OnVerb
        const char* selection;
        const char* command;
        const char* result; // RESULT of the result.dat left behind; "": none
        bool question;      // a question is left signalled
    };
    const Case cases[] = {
        {"AfterBusy", "OnCommand", "2", "@EXT PURGE 14", "", false},
        {"AfterResultDat", "OnVerb", "PURGE", "@EXT PURGE 14", "0", false},
        {"InQuestion", "OnVerb", "DOSE", "@CNX 14 50", "", true}, // the minimum-level question
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.phase);
        SimProcess sim;
        sim.set("Faults", c.key, c.selection);
        sim.set("Faults", "DieAt", c.phase);
        ASSERT_TRUE(sim.start());
        EXPECT_EQ(Ini(sim.send("@EXT RESET"), "General", "RESULT"), "0");
        sim.handOver(c.command);
        EXPECT_EQ(sim.waitForExit(), qelpsim::kDiedExitStatus);
        EXPECT_TRUE(sim.exists("busy.flg"));
        EXPECT_FALSE(sim.exists("cmd.sig"));
        EXPECT_FALSE(sim.exists("result.sig"));
        EXPECT_EQ(Ini(sim.read("result.dat"), "General", "RESULT"), c.result);
        EXPECT_EQ(sim.exists("msg.sig"), c.question);
        EXPECT_EQ(Ini(sim.read("msg.dat"), "Msg", "Code"), c.question ? "201" : "");
    }
}

TEST(SimProcess, StateSurvivesARestartAndAValueThatDoesNotFitIsSkippedAlone) {
    SimProcess sim;
    sim.set("Link", "UseInotify", "0");
    sim.set("Link", "PollIntervalMs", "20");
    sim.set("Canisters", "Count", "3");
    sim.set("Canisters", "Canister_2_Colorant", "Chrome Green");
    sim.set("Canisters", "Canister_2_ContentMl", "250");
    ASSERT_TRUE(sim.start());
    EXPECT_EQ(Ini(sim.send("@CNX 1 10 2 10"), "General", "RESULT"), "0");
    EXPECT_EQ(Ini(sim.send("@EXT SETCANCOLNAME 3 \"Viridian\""), "General", "RESULT"), "0");
    EXPECT_EQ(Ini(sim.send("@EXT PURGE 9"), "General", "RESULT"), "2");
    EXPECT_NE(sim.logText().find("polled"), std::string::npos);

    sim.kill();
    const std::string statePath = sim.install.exePath + ".state";
    std::string state = qelptest::ReadFile(statePath);
    state = qelp::profile::SetInText(state, "Canisters", "Canister_1_ContentMl", "lots");
    qelptest::WriteFile(
        statePath, qelp::profile::SetInText(state, "Canisters", "Canister_3_ContentMl", "2001"));
    ASSERT_TRUE(sim.start());
    const std::string sizes = sim.send("@EXT MACHINE_INFO CANISTERSIZE");
    EXPECT_EQ(Ini(sizes, "General", "OUTPUT"), "3");
    EXPECT_EQ(Ini(sizes, "CanisterContents", "Canister_1_ml"), "3200");
    EXPECT_EQ(Ini(sizes, "CanisterContents", "Canister_2_ml"), "240");
    EXPECT_EQ(Ini(sizes, "CanisterContents", "Canister_3_ml"), "1420");
    EXPECT_EQ(Ini(sizes, "CanisterContents", "Canister_2_colorantName"), "Chrome Green");
    EXPECT_EQ(Ini(sizes, "CanisterContents", "Canister_3_colorantName"), "Viridian");
    const std::string features = sim.send("@EXT MACHINE_INFO FEATURES");
    EXPECT_NE(Ini(features, "Errorlog", "Error1").find("below its warning"), std::string::npos);
    EXPECT_NE(Ini(features, "Errorlog", "Error2").find("Canister 9 "), std::string::npos);
}

TEST(SimProcess, FollowsItsExchangeDirectoryAndEndsWithItsOwn) {
    SimProcess sim;
    std::filesystem::remove_all(sim.install.exchangeDir);
    ASSERT_TRUE(sim.start(false));
    EXPECT_TRUE(sim.waitForLog("does not exist")); // said while it waits
    std::filesystem::create_directory(sim.install.exchangeDir);
    ASSERT_TRUE(sim.waitForLog("(watched)"));
    // A signal without a command file is refused like a malformed command.
    qelp::fileio::WriteFileReplacing(sim.ex("cmd.sig"), "");
    ASSERT_TRUE(sim.waitFor("result.sig"));
    EXPECT_EQ(Ini(sim.read("result.dat"), "General", "RESULT"), "1");
#ifndef _WIN32 // under Wine a removed directory stays while the driver's watch on it is open
    std::filesystem::remove_all(sim.install.exchangeDir);
    ASSERT_TRUE(sim.waitForLog("has disappeared"));
    std::filesystem::create_directory(sim.install.exchangeDir);
    ASSERT_TRUE(sim.waitForLog("is back"));
#endif
    EXPECT_EQ(Ini(sim.send("@EXT VERSION"), "General", "OUTPUT"), "4.2.7");
    // The log is named after the copy, so copies can run side by side.
    EXPECT_NE(sim.logText().find(sim.install.exeName + qelptest::kExeSuffix + " started"),
              std::string::npos);
#ifndef _WIN32 // Windows keeps the directory of a running program from being removed
    std::filesystem::remove_all(sim.install.driverDir);
    EXPECT_EQ(sim.waitForExit(), 0);
#endif
}
