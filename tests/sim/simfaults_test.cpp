// The simulator's fault injection, each fault aimed at one command the way a console test
// aims it: the start-up commands go through, the chosen one misbehaves.
#include "frame/fileio.h"
#include "frame/profile.h"
#include "simharness.h"
#include "simulator.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace simtest;

namespace {

bool waitForLog(SimProcess& sim, const std::string& text) {
    for (int i = 0; i < kPatienceMs / 5; ++i) {
        if (sim.logText().find(text) != std::string::npos)
            return true;
        ::usleep(5000);
    }
    return false;
}

// The hand-over alone, for tests that watch the simulator rather than wait for a result.
void handOver(SimProcess& sim, const std::string& line) {
    for (const char* name : {"abort.sig", "abort.dat", "result.sig", "result.dat"})
        ::unlink(sim.ex(name).c_str());
    qelp::fileio::WriteFileReplacing(sim.ex("cmd.dat"), "@RUN\r\n" + line + "\r\n@END\r\n");
    qelp::fileio::WriteFileReplacing(sim.ex("cmd.sig"), "");
}

} // namespace

TEST(SimFaults, NeverReadyKeepsTheBusyFlagAndTakesNothing) {
    SimProcess sim;
    sim.set("Faults", "NeverReady", "1");
    sim.raiseBusyFlag();
    sim.start();
    ASSERT_TRUE(waitForLog(sim, "staying busy"));
    handOver(sim, "@EXT RESET");
    ASSERT_TRUE(waitForLog(sim, "while not ready; ignored"));
    EXPECT_TRUE(qelptest::Exists(sim.ex("busy.flg")));
    EXPECT_TRUE(qelptest::Exists(sim.ex("cmd.sig")));
    EXPECT_FALSE(qelptest::Exists(sim.ex("result.sig")));
    EXPECT_TRUE(sim.running());
}

TEST(SimFaults, DiesAfterTakingTheBusyFlagOfTheChosenCommand) {
    SimProcess sim;
    sim.set("Faults", "OnCommand", "3");
    sim.set("Faults", "DieAt", "AfterBusy");
    sim.startReady();
    EXPECT_EQ(sim.send("@EXT RESET").code, 0);
    EXPECT_EQ(sim.send("@EXT MACHINE_INFO CANISTERSIZE").code, 0);
    CommandRun third = sim.send("@EXT PURGE 1");
    EXPECT_FALSE(third.finished);
    EXPECT_EQ(sim.waitForExit(), qelpsim::kDiedExitStatus);
    EXPECT_TRUE(qelptest::Exists(sim.ex("busy.flg")));
    EXPECT_FALSE(qelptest::Exists(sim.ex("cmd.sig")));
    EXPECT_FALSE(qelptest::Exists(sim.ex("result.dat")));
}

TEST(SimFaults, DiesBetweenResultDataAndSignal) {
    SimProcess sim;
    sim.set("Faults", "OnVerb", "PURGE");
    sim.set("Faults", "DieAt", "AfterResultDat");
    sim.startReady();
    EXPECT_EQ(sim.send("@EXT RESET").code, 0);
    CommandRun purge = sim.send("@EXT PURGE 1");
    EXPECT_FALSE(purge.finished);
    EXPECT_EQ(sim.waitForExit(), qelpsim::kDiedExitStatus);
    EXPECT_EQ(
        qelp::profile::LookupInText(qelptest::ReadFile(sim.ex("result.dat")), "General", "RESULT"),
        "0");
    EXPECT_FALSE(qelptest::Exists(sim.ex("result.sig")));
    EXPECT_TRUE(qelptest::Exists(sim.ex("busy.flg")));
}

TEST(SimFaults, DiesWhileAQuestionIsOpen) {
    SimProcess sim;
    sim.set("Faults", "OnVerb", "DOSE");
    sim.set("Faults", "DieAt", "InQuestion");
    sim.startReady();
    EXPECT_EQ(sim.send("@EXT PURGE 14").code, 0); // another verb: untouched
    CommandRun dose = sim.send("@CNX 14 50");     // asks about the minimum level
    EXPECT_FALSE(dose.finished);
    EXPECT_EQ(sim.waitForExit(), qelpsim::kDiedExitStatus);
    EXPECT_EQ(qelp::profile::LookupInText(qelptest::ReadFile(sim.ex("msg.dat")), "Msg", "Code"),
              "201");
    // The question was signalled (and perhaps already picked up by the test's console).
    EXPECT_EQ(dose.messages.size() + (qelptest::Exists(sim.ex("msg.sig")) ? 1 : 0), 1u);
    EXPECT_TRUE(qelptest::Exists(sim.ex("busy.flg")));
}

TEST(SimFaults, HangsInACommandUntilItsDirectoryGoes) {
    SimProcess sim;
    sim.set("Faults", "OnVerb", "PURGE");
    sim.set("Faults", "Hang", "1");
    sim.startReady();
    EXPECT_EQ(sim.send("@EXT RESET").code, 0);
    handOver(sim, "@EXT PURGE 2");
    ASSERT_TRUE(waitForLog(sim, "Fault Hang"));
    qelptest::WriteFile(sim.ex("abort.sig"), ""); // a hung driver does not even abort
    ::usleep(300 * 1000);
    EXPECT_TRUE(qelptest::Exists(sim.ex("busy.flg")));
    EXPECT_TRUE(qelptest::Exists(sim.ex("abort.sig")));
    EXPECT_FALSE(qelptest::Exists(sim.ex("result.sig")));
    EXPECT_TRUE(sim.running());
    std::filesystem::remove_all(sim.programDirectory());
    EXPECT_EQ(sim.waitForExit(), 0);
}

TEST(SimFaults, SpoiledResultFilesOnlyForTheChosenCommand) {
    struct Case {
        const char* fault;
        std::function<void(const CommandRun&)> check;
    };
    const Case cases[] = {
        {"NoResult",
         [](const CommandRun& r) {
             EXPECT_TRUE(r.value("General", "RESULT").empty());
             EXPECT_NE(r.result.find("[General]"), std::string::npos);
             EXPECT_EQ(r.code, -1);
         }},
        {"NonNumeric",
         [](const CommandRun& r) {
             EXPECT_EQ(r.value("General", "RESULT"), "OK");
             EXPECT_EQ(r.code, -1);
         }},
        {"Garbage",
         [](const CommandRun& r) {
             EXPECT_FALSE(r.result.empty());
             EXPECT_TRUE(r.value("General", "RESULT").empty());
         }},
        {"Binary",
         [](const CommandRun& r) {
             EXPECT_EQ(r.result.size(), 4096u);
             EXPECT_NE(r.result.find('\0'), std::string::npos);
         }},
        {"Huge",
         [](const CommandRun& r) {
             EXPECT_GE(r.result.size(), 10u * 1024 * 1024);
             EXPECT_EQ(r.value("General", "RESULT"), "0");
         }},
        {"SignalOnly",
         [](const CommandRun& r) {
             EXPECT_EQ(r.violations, std::vector<std::string>{"result.sig without result.dat"});
             EXPECT_TRUE(r.result.empty());
         }},
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
        c.check(spoiled);
        CommandRun next = sim.send("@EXT VERSION");
        EXPECT_EQ(next.code, 0);
        EXPECT_TRUE(next.violations.empty());
    }
}

TEST(SimFaults, MessageWithAnInvalidDialogType) {
    SimProcess sim;
    sim.set("Faults", "OnVerb", "RESET");
    sim.set("Faults", "InvalidDialog", "1");
    sim.startReady();
    // Taking the message without a reply is all a console does with it.
    CommandRun run = sim.send("@EXT RESET");
    EXPECT_TRUE(run.finished);
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(qelp::profile::LookupInText(run.messages[0], "Msg", "DlgType"), "7");
    EXPECT_EQ(run.code, 0);
}

TEST(SimFaults, BurstOfMessagesNeedsOnlyTheLastAnswer) {
    SimProcess sim;
    sim.set("Faults", "OnVerb", "VERSION");
    sim.set("Faults", "MessageBurst", "3");
    sim.startReady();
    CommandRun run = sim.send("@EXT VERSION", [](const std::string& message) {
        return qelp::profile::LookupInText(message, "Msg", "Code") == "903" ? 4 : kNoAnswer;
    });
    EXPECT_TRUE(run.finished);
    ASSERT_EQ(run.messages.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(qelp::profile::LookupInText(run.messages[i], "Msg", "Code"),
                  std::to_string(901 + i));
        EXPECT_EQ(qelp::profile::LookupInText(run.messages[i], "MsgValues", "Parm1"),
                  std::to_string(i + 1));
    }
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.value("General", "OUTPUT"), "4.2.7");
}

TEST(SimFaults, FixedResultCode) {
    SimProcess sim;
    sim.set("Faults", "OnVerb", "RESET");
    sim.set("Faults", "ResultCode", "42");
    sim.startReady();
    CommandRun reset = sim.send("@EXT RESET");
    EXPECT_TRUE(reset.violations.empty());
    EXPECT_EQ(reset.code, 42);
    EXPECT_FALSE(reset.value("Errorlog", "Error1").empty());
    EXPECT_EQ(sim.send("@EXT MACHINE_INFO PUMPCOUNT").code, 0);
    EXPECT_EQ(sim.send("@EXT RESET HARD").code, 42);
}
