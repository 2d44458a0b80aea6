// The simulated machine in process: result codes, amounts, questions and aborts, with a
// scripted operator instead of the exchange directory.
#include "machine.h"

#include <gtest/gtest.h>

#include <deque>

using namespace qelpsim;

namespace {

// Answers questions from a list (nothing: aborted) and lets `workUnits` pieces of work run
// before the next one is aborted.
struct Operator : CommandContext {
    bool work(int) override { return workUnits-- > 0; }
    std::optional<int> ask(const OperatorMessage& m) override {
        asked.push_back(m);
        std::optional<int> a = answers.empty() ? std::nullopt : answers.front();
        if (!answers.empty())
            answers.pop_front();
        return a;
    }
    void note(const std::string&) override {}
    int workUnits = 1000;
    std::deque<std::optional<int>> answers;
    std::vector<OperatorMessage> asked;
};

struct Sim {
    explicit Sim(const std::string& ini = {}, char separator = '.')
        : machine(ParseSimConfig(ini, "/", '.').machine, separator) {}
    CommandResult run(const std::string& line, std::deque<std::optional<int>> answers = {}) {
        op.answers = std::move(answers);
        op.asked.clear();
        ParsedCommand p = ParseCommandFile("@RUN\r\n" + line + "\r\n@END\r\n");
        return p.command ? machine.execute(*p.command, op) : machine.refuse(p.error);
    }
    double content(int id) const { return machine.canisters().at(id - 1).contentMl; }
    Machine machine;
    Operator op;
};

} // namespace

TEST(Machine, CodesOutputsAndContents) {
    Sim sim;
    // What the console's own tests against the simulator do not already show.
    const std::tuple<const char*, int, const char*> cases[] = {
        {"@EXT PURGE 0", 0, "32"},
        {"@EXT PURGECOL oxide red", 0, "2"},
        // Canister 3 (Oxide Red): 1420 - 2 - 2 = 1416 of 2000 ml.
        {"@EXT FILLCANISTER PREPARE 3", 0, "584"},
        {"@EXT FILLCANISTER SET 3 2000", 0, "2000"},
        {"@EXT FILLCANISTER ADD 0 1", 7, ""}, // one full canister refuses them all
        {"@EXT SHOWSERVICEWINDOW service", 0, ""},
        {"@EXT PURGE 17", 2, ""},
        {"@EXT SETCANCOLNAME 0 \"A\"", 2, ""},
        // The whole recipe is checked before anything moves.
        {"@CNT \"Titanium White\" 1 \"Green\" 1", 2, ""},
        {"@CNX 14 1 1 5000", 4, ""},
        {"@CAN \"Quart\" 946 120\n@CNX 1 950", 8, ""},
        {"@LQT 2\n@CAN \"Quart\" 946 120\n@CNX 1 450", 0, "900"}, // the limit is per can
    };
    for (const auto& [line, code, output] : cases) {
        SCOPED_TRACE(line);
        CommandResult r = sim.run(line);
        EXPECT_EQ(r.code, code);
        EXPECT_EQ(r.output, output);
        EXPECT_EQ(r.errors.empty(), code == 0);
    }
    EXPECT_DOUBLE_EQ(sim.content(1), 3200 - 2 - 900);
    EXPECT_DOUBLE_EQ(sim.content(14), 140 - 2);
    // Every failure goes into the machine's error log, which keeps the newest 50.
    for (int i = 101; i <= 160; ++i)
        sim.run("@EXT PURGE " + std::to_string(i));
    ASSERT_EQ(sim.machine.errorLog().size(), 50u);
    EXPECT_NE(sim.machine.errorLog().front().find("Canister 111 "), std::string::npos);
    EXPECT_NE(sim.machine.errorLog().back().find("Canister 160 "), std::string::npos);
}

TEST(Machine, DosingQuestionsAndAborts) {
    Sim sim("[Canisters]\r\nCanister_2_Density=1.6\r\n", ',');
    // 12.5 + 2 and 4 fractions of 29.574/48 ml for two cans; 16 g at 1.6 g/ml.
    CommandResult r = sim.run("@UNT 29.574 48\n@LQT 2\n@CNX 3 12.5 7 4 3 2");
    EXPECT_EQ(r.output, "22,796625");
    EXPECT_DOUBLE_EQ(r.canisters.at(2).dosedUl, 17867.625);
    EXPECT_DOUBLE_EQ(r.canisters.at(6).dosedUl, 4929);
    EXPECT_DOUBLE_EQ(r.canisters.at(0).dosedUl, 0);
    EXPECT_DOUBLE_EQ(sim.run("@WGH 1\n@CNT \"oxide YELLOW\" 16").canisters.at(1).dosedUl, 10000);

    // Canister 14 holds 140 ml with a minimum of 100: No, abort, then Yes.
    EXPECT_EQ(sim.run("@CNX 14 50", {button::kNo}).code, code::kDeclined);
    ASSERT_EQ(sim.op.asked.size(), 1u);
    EXPECT_EQ(sim.op.asked[0].code, question::kBelowMinimum);
    EXPECT_EQ(sim.op.asked[0].parameters, (std::vector<std::string>{"14", "Medium Yellow"}));
    EXPECT_EQ(sim.run("@CNX 14 50", {std::nullopt}).code, code::kAborted);
    EXPECT_EQ(sim.run("@CNX 14 50", {button::kYes}).code, 0);
    EXPECT_DOUBLE_EQ(sim.content(14), 90);
    EXPECT_EQ(sim.run("@EXT PURGE 14", {button::kNo}).code, code::kDeclined);
    // The lid punch asks for Ok.
    EXPECT_EQ(sim.run("@CNX 1 1\n@PNC 1", {button::kCancel}).code, code::kDeclined);
    EXPECT_EQ(sim.op.asked.at(0).code, question::kPunchConfirm);
    EXPECT_EQ(sim.run("@CNX 1 1\n@PNC 1", {button::kOk}).code, 0);

    // An abort after the first colorant keeps what was dosed.
    const double before1 = sim.content(1), before3 = sim.content(3);
    sim.op.workUnits = 2; // the start of dosing and the first colorant
    r = sim.run("@CNX 1 10 3 5");
    EXPECT_EQ(r.code, code::kAborted);
    EXPECT_EQ(r.output, "10");
    EXPECT_DOUBLE_EQ(sim.content(1), before1 - 10);
    EXPECT_DOUBLE_EQ(sim.content(3), before3);
}
