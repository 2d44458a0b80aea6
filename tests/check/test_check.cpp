// qelp-check against the simulator: the simulator passes every check, and each driver mistake
// the simulator can play is caught by the check that names it, and only a tolerated one
// passes with a warning.
#include "driverharness.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace {

struct CheckRun {
    int status = -1;
    std::map<std::string, std::string> verdicts; // check name -> PASS, FAIL or SKIP
    std::string output;
};

// No work time but the purge's, which is long enough to abort.
CheckRun RunCheck(const std::string& faults, const std::vector<std::string>& args,
                  int purgeMs = 500) {
    qelptest::TempDir dir;
    const std::string timing = "[Timing]\nStartupMs=0\nResetMs=0\nResetHardMs=0\nQueryMs=0\n"
                               "CleanMs=0\nFillMs=0\nServiceWindowMs=0\nSetNameMs=0\nDoseMs=0\n"
                               "DosePerColorantMs=0\nPurgeMs=" +
                               std::to_string(purgeMs) + "\n[Faults]\n";
    qelptest::DriverInstall sim(dir.path(), timing + faults, false);
    const std::string bin = std::string(QELP_BIN_DIR) + "/qelp-check";
    std::vector<std::string> argv{bin,         "--exchange", sim.exchangeDir,
                                  "--timeout", "3",          "--ready-timeout",
                                  "5",         "--json",     dir.file("report.json")};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(sim.exePath);
    CheckRun run;
    run.status =
        qelptest::WaitForExit(qelptest::Spawn(bin, argv, dir.path(), dir.file("out")), 50000);
    run.output = qelptest::ReadFile(dir.file("out"));
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);)
        if (line.size() > 5 && line.find(':') != std::string::npos && line.rfind("WARN", 0) != 0)
            run.verdicts[line.substr(5, line.find(':') - 5)] = line.substr(0, 4);
    // The report tells the same verdicts.
    const std::string report = qelptest::ReadFile(dir.file("report.json"));
    const auto failed = std::count_if(run.verdicts.begin(), run.verdicts.end(),
                                      [](const auto& v) { return v.second == "FAIL"; });
    EXPECT_NE(report.find("\"failed\": " + std::to_string(failed)), std::string::npos) << report;
    return run;
}

TEST(Check, PassesTheSimulatorAndOnlyWarnsOfWhatTheConsoleTolerates) {
    const CheckRun clean = RunCheck("", {});
    EXPECT_EQ(clean.status, 0) << clean.output;
    EXPECT_EQ(clean.verdicts.size(), 22u) << clean.output;
    for (const auto& [name, verdict] : clean.verdicts)
        EXPECT_EQ(verdict, "PASS") << name << "\n" << clean.output;
    EXPECT_EQ(clean.output.find("WARN"), std::string::npos) << clean.output;

    // A result far larger than usual, and notices before the question.
    const std::pair<const char*, const char*> tolerated[] = {
        {"Result=Huge\nHugeResultBytes=100000\nOnVerb=VERSION", "result.dat is 1000"},
        {"MessageBurst=2\nOnVerb=VERSION", nullptr}};
    for (const auto& [faults, warning] : tolerated) {
        const CheckRun run = RunCheck(faults, {"--only", "version"});
        EXPECT_EQ(run.status, 0) << faults << "\n" << run.output;
        if (warning) {
            EXPECT_NE(run.output.find(std::string("WARN version: ") + warning), std::string::npos)
                << run.output;
        }
    }
}

TEST(Check, EachMisbehaviourFailsTheCheckThatNamesIt) {
    struct Case {
        const char* faults;
        std::vector<std::string> args;
        std::vector<std::string> failing; // exactly these, in name order
        int purgeMs = 500;
    };
    const Case cases[] = {
        {"NeverReady=1", {"--ready-timeout", "1"}, {"readiness"}},
        {"Order=SignalFirst\nOnVerb=VERSION", {"--only", "version"}, {"version"}},
        {"Order=BusyFirst\nOnVerb=CLEAN", {"--only", "clean"}, {"clean"}},
        {"KeepBusy=1\nOnVerb=VERSION", {"--only", "version,dose"}, {"version"}},
        {"Hang=1\nOnVerb=VERSION", {"--only", "version"}, {"version"}},
        {"Result=NoResult\nOnVerb=VERSION", {"--only", "version"}, {"version"}},
        {"Result=NonNumeric\nOnVerb=FILLCANISTER", {"--only", "fill-add"}, {"fill-add"}},
        {"Result=Garbage\nOnVerb=SETCANCOLNAME", {"--only", "colorant-name"}, {"colorant-name"}},
        {"Result=Binary\nOnVerb=SHOWSERVICEWINDOW",
         {"--only", "service-window"},
         {"service-window"}},
        {"Result=SignalOnly\nOnVerb=VERSION", {"--only", "version"}, {"version"}},
        {"ResultCode=5\nOnVerb=RESET", {"--only", "reset-hard"}, {"reset"}},
        {"DieAt=AfterBusy\nOnVerb=VERSION", {"--only", "version"}, {"process", "version"}},
        {"DieAt=AfterResultDat\nOnVerb=PURGE", {"--only", "purge"}, {"process", "purge"}},
        {"DieAt=InQuestion\nOnVerb=DOSE", {"--only", "question"}, {"process", "question"}},
        {"InvalidDialog=1\nOnVerb=DOSE", {"--only", "question"}, {"question"}},
        {"Order=SignalFirst\nOnVerb=DOSE", {"--only", "question"}, {"question"}},
        {"StrictCleanup=1", {"--only", "question,tolerance"}, {"tolerance"}},
        {"IgnoreAbort=1", {"--only", "abort", "--timeout", "1"}, {"abort"}, 5000},
    };
    for (const Case& c : cases) {
        CheckRun run = RunCheck(c.faults, c.args, c.purgeMs);
        EXPECT_EQ(run.status, 1) << c.faults << "\n" << run.output;
        std::vector<std::string> failed;
        for (const auto& [name, verdict] : run.verdicts)
            if (verdict == "FAIL")
                failed.push_back(name);
        EXPECT_EQ(failed, c.failing) << c.faults << "\n" << run.output;
    }
}

} // namespace
