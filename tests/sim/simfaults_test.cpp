// Fault injection, each fault aimed at one command the way a console test aims it: the
// commands before it go through, the chosen one misbehaves.
#include "simharness.h"
#include "simulator.h"

#include <gtest/gtest.h>

using namespace simtest;

TEST(SimFaults, NeverReadyKeepsTheBusyFlagAndTakesNothing) {
    SimProcess sim;
    sim.set("Faults", "NeverReady", "1");
    sim.start();
    ASSERT_TRUE(sim.waitForLog("staying busy"));
    sim.handOver("@EXT RESET");
    ASSERT_TRUE(sim.waitForLog("while not ready; ignored"));
    EXPECT_TRUE(sim.exists("busy.flg"));
    EXPECT_TRUE(sim.exists("cmd.sig"));
    EXPECT_FALSE(sim.exists("result.sig"));
    EXPECT_TRUE(sim.running());
}

TEST(SimFaults, DiesInEachPhaseOfTheChosenCommand) {
    struct Case {
        const char* phase;
        const char* selection; // an OnCommand number, else an OnVerb
        const char* command;
        const char* result;  // RESULT in the result.dat left behind; "": no result.dat
        const char* msgCode; // of the signalled question; "": none
    };
    const Case cases[] = {
        {"AfterBusy", "3", "@EXT PURGE 14", "", ""},
        {"AfterResultDat", "PURGE", "@EXT PURGE 14", "0", ""},
        {"InQuestion", "DOSE", "@CNX 14 50", "", "201"}, // asks about the minimum level
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.phase);
        SimProcess sim;
        sim.set("Faults", isdigit(c.selection[0]) ? "OnCommand" : "OnVerb", c.selection);
        sim.set("Faults", "DieAt", c.phase);
        sim.startReady();
        EXPECT_EQ(sim.send("@EXT RESET").code, 0);
        EXPECT_EQ(sim.send("@EXT MACHINE_INFO CANISTERSIZE").code, 0);
        CommandRun run = sim.send(c.command);
        EXPECT_FALSE(run.finished);
        EXPECT_EQ(sim.waitForExit(), qelpsim::kDiedExitStatus);
        EXPECT_TRUE(sim.exists("busy.flg"));
        EXPECT_FALSE(sim.exists("cmd.sig"));
        EXPECT_FALSE(sim.exists("result.sig"));
        EXPECT_EQ(sim.exists("result.dat"), *c.result != '\0');
        EXPECT_EQ(Ini(sim.read("result.dat"), "General", "RESULT"), c.result);
        // A question is signalled (and perhaps already taken by the test's console side).
        EXPECT_EQ(run.messages.size() + sim.exists("msg.sig"), *c.msgCode ? 1u : 0u);
        EXPECT_EQ(Ini(sim.read("msg.dat"), "Msg", "Code"), c.msgCode);
    }
}

TEST(SimFaults, HangsInACommandUntilItsDirectoryGoes) {
    SimProcess sim;
    sim.set("Faults", "OnVerb", "PURGE");
    sim.set("Faults", "Hang", "1");
    sim.startReady();
    EXPECT_EQ(sim.send("@EXT RESET").code, 0);
    sim.handOver("@EXT PURGE 2");
    ASSERT_TRUE(sim.waitForLog("Fault Hang"));
    qelptest::WriteFile(sim.ex("abort.sig"), ""); // a hung driver does not even abort
    ::usleep(300 * 1000);
    EXPECT_TRUE(sim.exists("busy.flg"));
    EXPECT_TRUE(sim.exists("abort.sig"));
    EXPECT_FALSE(sim.exists("result.sig"));
    EXPECT_TRUE(sim.running());
    std::filesystem::remove_all(sim.program);
    EXPECT_EQ(sim.waitForExit(), 0);
}

TEST(SimFaults, SpoiledResultFilesOnlyForTheChosenCommand) {
    struct Case {
        const char* fault;
        const char* result; // the RESULT value
        int code;
        size_t minSize, maxSize; // of result.dat
        std::string contains;
    };
    const Case cases[] = {
        {"NoResult", "", -1, 1, 4095, "[General]"},
        {"NonNumeric", "OK", -1, 1, 4095, ""},
        {"Garbage", "", -1, 1, 4095, ""},
        {"Binary", "", -1, 4096, 4096, std::string(1, '\0')},
        {"Huge", "0", 0, 10u * 1024 * 1024, SIZE_MAX, ""},
        {"SignalOnly", "", -1, 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        SimProcess sim;
        sim.set("Faults", "OnCommand", "2");
        sim.set("Faults", "Result", c.fault);
        sim.startReady();
        EXPECT_EQ(sim.send("@EXT RESET").code, 0);
        CommandRun spoiled = sim.send("@EXT RESET");
        EXPECT_TRUE(spoiled.finished);
        EXPECT_EQ(spoiled.value("General", "RESULT"), c.result);
        EXPECT_EQ(spoiled.code, c.code);
        EXPECT_GE(spoiled.result.size(), c.minSize);
        EXPECT_LE(spoiled.result.size(), c.maxSize);
        EXPECT_NE(spoiled.result.find(c.contains), std::string::npos);
        EXPECT_EQ(spoiled.violations,
                  (c.maxSize ? std::vector<std::string>{}
                             : std::vector<std::string>{"result.sig without result.dat"}));
        CommandRun next = sim.send("@EXT VERSION");
        EXPECT_EQ(next.code, 0);
        EXPECT_TRUE(next.violations.empty());
    }
}

TEST(SimFaults, InvalidDialogAndFixedResultCodeForTheChosenVerb) {
    SimProcess sim;
    sim.set("Faults", "OnVerb", "RESET");
    sim.set("Faults", "InvalidDialog", "1");
    sim.set("Faults", "ResultCode", "42");
    sim.startReady();
    // Taking the message without a reply is all a console does with it.
    CommandRun reset = sim.send("@EXT RESET");
    EXPECT_TRUE(reset.finished);
    EXPECT_TRUE(reset.violations.empty());
    ASSERT_EQ(reset.messages.size(), 1u);
    EXPECT_EQ(Ini(reset.messages[0], "Msg", "DlgType"), "7");
    EXPECT_EQ(reset.code, 42);
    EXPECT_FALSE(reset.value("Errorlog", "Error1").empty());
    CommandRun other = sim.send("@EXT MACHINE_INFO PUMPCOUNT");
    EXPECT_EQ(other.code, 0);
    EXPECT_TRUE(other.messages.empty());
    EXPECT_EQ(sim.send("@EXT RESET HARD").code, 42);
}

TEST(SimFaults, BurstOfMessagesNeedsOnlyTheLastAnswer) {
    SimProcess sim;
    sim.set("Faults", "OnVerb", "VERSION");
    sim.set("Faults", "MessageBurst", "3");
    sim.startReady();
    CommandRun run = sim.send("@EXT VERSION", [](const std::string& message) {
        return Ini(message, "Msg", "Code") == "903" ? 4 : kNoAnswer;
    });
    EXPECT_TRUE(run.finished);
    ASSERT_EQ(run.messages.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Ini(run.messages[i], "Msg", "Code"), std::to_string(901 + i));
        EXPECT_EQ(Ini(run.messages[i], "MsgValues", "Parm1"), std::to_string(i + 1));
    }
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.value("General", "OUTPUT"), "4.2.7");
}
