// The simulator as a process: what its faults leave in the exchange directory, its state
// file across a restart, and its own directory and the exchange directory coming and going.
// The file hand-shake and the spoiled result files are carried by the console's tests
// against it.
#include "driverharness.h"
#include "frame/fileio.h"
#include "frame/profile.h"
#include "simulator.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace {
constexpr auto& Ini = qelp::profile::LookupInText; // a value of a file's text

class SimProcess {
public:
    SimProcess() : install(dir.path()) {}
    ~SimProcess() { qelptest::KillChild(m_pid); }

    // Sets a value of the ini (fast mode and the exchange directory are there already).
    void set(const char* section, const char* key, const std::string& value) {
        qelp::profile::WriteProfileString(section, key, value, install.iniPath);
    }

    // As the console launches a driver: busy flag up, in its own directory, no arguments.
    // With ready, waits until the busy flag is gone.
    bool start(bool ready = true) {
        qelptest::WriteFile(ex("busy.flg"), "");
        m_pid = qelptest::Spawn(install.exePath, {install.exePath}, install.driverDir);
        return m_pid > 0 && (!ready || waitFor("busy.flg", false));
    }
    void kill() { qelptest::KillChild(m_pid); }
    // The exit status once it ends by itself; -1 while it still runs.
    int waitForExit() { return qelptest::WaitForExit(m_pid); }

    std::string ex(const std::string& file) const { return install.exchangeDir + file; }
    bool exists(const std::string& file) const { return qelptest::Exists(ex(file)); }
    std::string read(const std::string& file) const { return qelptest::ReadFile(ex(file)); }
    bool waitFor(const std::string& file, bool present = true) const {
        return qelptest::WaitUntil([&] { return exists(file) == present; });
    }
    std::string logText() const { return qelptest::ReadFile(install.exePath + ".log"); }
    bool waitForLog(const std::string& text) const {
        return qelptest::WaitUntil([&] { return logText().find(text) != std::string::npos; });
    }

    // Clears the previous result and question, writes the command file (lines separated by
    // '\n') and signals it.
    void handOver(const std::string& lines) {
        for (const char* file :
             {"msg.dat", "msg.sig", "reply.dat", "reply.sig", "result.dat", "result.sig"})
            std::remove(ex(file).c_str());
        std::string text = "@RUN\r\n";
        for (char c : lines + "\n")
            text += c == '\n' ? std::string("\r\n") : std::string(1, c);
        qelp::fileio::WriteFileReplacing(ex("cmd.dat"), text + "@END\r\n");
        qelp::fileio::WriteFileReplacing(ex("cmd.sig"), "");
    }
    // Hands the command over and waits until the result is signalled and the busy flag is
    // gone (the order of the simulator's file operations is qelp-check's to prove). Returns
    // result.dat, or "" when no result came in time.
    std::string send(const std::string& lines) {
        if (!waitFor("busy.flg", false))
            return {};
        handOver(lines);
        const bool done =
            qelptest::WaitUntil([&] { return exists("result.sig") && !exists("busy.flg"); });
        return done ? read("result.dat") : std::string();
    }

    qelptest::TempDir dir;
    qelptest::DriverInstall install;

private:
    pid_t m_pid = -1;
};
} // namespace

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
