#include "frame/profile.h"
#include "machine.h"

#include <gtest/gtest.h>

using namespace qelpsim;

namespace {

// Plays the exchange loop: records work and questions, answers from a script, and can
// report an abort at a chosen work step.
class FakeContext : public CommandContext {
public:
    bool work(int ms) override {
        workCalls.push_back(ms);
        return abortAtWork != static_cast<int>(workCalls.size());
    }
    std::optional<int> ask(const OperatorMessage& message) override {
        asked.push_back(message);
        if (answers.empty())
            return std::nullopt; // no answer scripted: the operator aborts
        std::optional<int> a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
    void note(const std::string&) override {}

    std::vector<int> workCalls;
    std::vector<OperatorMessage> asked;
    std::vector<std::optional<int>> answers;
    int abortAtWork = 0; // 1-based work call that is aborted; 0 none
};

MachineConfig smallMachine() {
    MachineConfig m;
    m.canisters = {{"White", 2000, 1000, 300, 100, 2.0},
                   {"Red", 2000, 150, 300, 100, 1.25},
                   {"Blue", 1000, 500, 200, 50, 1.0}};
    m.pumpCount = 3;
    m.timing.fast = true;
    return m;
}

class MachineTest : public ::testing::Test {
protected:
    MachineTest() : machine(smallMachine(), '.') {
        machine.setClock([] { return "T"; });
    }

    CommandResult run(const std::string& body) {
        ParsedCommand p = ParseCommandFile("@RUN\r\n" + body + "\r\n@END\r\n");
        EXPECT_TRUE(p.command) << body << ": " << p.error;
        return p.command ? machine.execute(*p.command, ctx) : CommandResult{};
    }
    double content(int id) const { return machine.canisters()[id - 1].contentMl; }
    static double dosed(const CommandResult& r, int id) {
        for (const CanisterReport& c : r.canisters)
            if (c.id == id)
                return c.dosedUl;
        return -1;
    }

    Machine machine;
    FakeContext ctx;
};

} // namespace

TEST(DosingArithmetic, UnitsFractionsCansAndDensity) {
    DoseRecipe r;
    r.unitSize = 29.574;
    r.unitFraction = 48;
    EXPECT_DOUBLE_EQ(Machine::RecipeMillilitres(r, 48, 1.5), 29.574); // one whole unit
    r.cans = 3;
    EXPECT_DOUBLE_EQ(Machine::RecipeMillilitres(r, 12.5, 1.5), 23.1046875);
    r.unitType = 1; // grams, turned into millilitres by the density
    EXPECT_DOUBLE_EQ(Machine::RecipeMillilitres(r, 12.5, 1.5), 15.403125);
}

TEST_F(MachineTest, DosingTakesTheRecipeFromTheCanisters) {
    CommandResult r = run("@WGH 0\r\n@UNT 29.574 48\r\n@LQT 2\r\n@CNX 1 12.5 3 4 1 2");
    ASSERT_EQ(r.code, code::kOk);
    EXPECT_DOUBLE_EQ(content(1), 1000 - 17.867625); // canister 1 twice: 14.5 fractions
    EXPECT_DOUBLE_EQ(content(3), 500 - 4.929);
    EXPECT_DOUBLE_EQ(content(2), 150);
    ASSERT_EQ(r.canisters.size(), 3u); // every canister, so that the console reads them all
    EXPECT_DOUBLE_EQ(dosed(r, 1), 17867.625);
    EXPECT_DOUBLE_EQ(dosed(r, 3), 4929);
    EXPECT_EQ(dosed(r, 2), 0);
    EXPECT_EQ(r.output, "22.796625");
    EXPECT_TRUE(ctx.asked.empty());

    CommandResult grams = run("@WGH 1\r\n@UNT 1 1\r\n@CNT \"white\" 10 \"BLUE\" 3");
    ASSERT_EQ(grams.code, code::kOk);
    EXPECT_DOUBLE_EQ(dosed(grams, 1), 5000); // 10 g at 2 g/ml; names ignore letter case
    EXPECT_DOUBLE_EQ(dosed(grams, 3), 3000);
}

TEST_F(MachineTest, RecipesThatCannotBeDispensedDoseNothing) {
    const std::pair<const char*, int> cases[] = {
        {"@CNT \"White\" 1 \"Green\" 1", code::kUnknownTarget},
        {"@CNX 1 1 4 1", code::kUnknownTarget},
        {"@CNX 1 5 2 200", code::kNotEnough},
        {"@CAN \"Quart\" 946 120\r\n@CNX 1 950", code::kCanTooSmall},
    };
    for (const auto& [body, expected] : cases) {
        SCOPED_TRACE(body);
        CommandResult r = run(body);
        EXPECT_EQ(r.code, expected);
        EXPECT_FALSE(r.errors.empty());
        EXPECT_TRUE(r.canisters.empty());
    }
    EXPECT_DOUBLE_EQ(content(1), 1000);
    EXPECT_TRUE(ctx.asked.empty());
    // The can limit is per can: two cans may take twice as much.
    EXPECT_EQ(run("@LQT 2\r\n@CAN \"Quart\" 946 120\r\n@CNX 1 450").code, code::kOk);
}

TEST_F(MachineTest, MinimumLevelQuestionDecidesTheDose) {
    ctx.answers = {button::kNo};
    EXPECT_EQ(run("@CNX 2 60 1 1").code, code::kDeclined);
    ASSERT_EQ(ctx.asked.size(), 1u);
    const OperatorMessage& q = ctx.asked[0];
    EXPECT_EQ(q.dialogType, "1");
    EXPECT_EQ(q.buttons, button::kYes | button::kNo);
    EXPECT_EQ(q.code, question::kBelowMinimum);
    EXPECT_EQ(q.parameters, (std::vector<std::string>{"2", "Red"}));
    EXPECT_DOUBLE_EQ(content(2), 150);
    EXPECT_DOUBLE_EQ(content(1), 1000);

    ctx.answers = {std::nullopt};
    EXPECT_EQ(run("@CNX 2 60").code, code::kAborted);
    EXPECT_DOUBLE_EQ(content(2), 150);

    ctx.answers = {button::kYes};
    EXPECT_EQ(run("@CNX 2 60").code, code::kOk);
    EXPECT_DOUBLE_EQ(content(2), 90);

    ctx.answers = {button::kNo}; // purging asks the same
    EXPECT_EQ(run("@EXT PURGE 2").code, code::kDeclined);
    EXPECT_DOUBLE_EQ(content(2), 90);
}

TEST_F(MachineTest, PunchConfirmationAsksOkOrCancel) {
    ctx.answers = {button::kCancel};
    EXPECT_EQ(run("@CAN \"1L\" 1000 *UNK\r\n@CNX 1 1\r\n@PNC 1").code, code::kDeclined);
    ASSERT_EQ(ctx.asked.size(), 1u);
    EXPECT_EQ(ctx.asked[0].dialogType, "4");
    EXPECT_EQ(ctx.asked[0].buttons, button::kOk | button::kCancel);
    EXPECT_DOUBLE_EQ(content(1), 1000);
    ctx.answers = {button::kOk};
    EXPECT_EQ(run("@CNX 1 1\r\n@PNC 1").code, code::kOk);
    EXPECT_EQ(run("@CNX 1 1\r\n@PNC 2").code, code::kOk); // punched without asking
    EXPECT_EQ(ctx.asked.size(), 2u);
    EXPECT_DOUBLE_EQ(content(1), 998);
}

TEST_F(MachineTest, AbortKeepsOnlyWhatWasDone) {
    ctx.abortAtWork = 3; // can handling, colorant 1, then the abort during colorant 2
    CommandResult r = run("@CNX 1 10 3 5");
    EXPECT_EQ(r.code, code::kAborted);
    EXPECT_DOUBLE_EQ(dosed(r, 1), 10000);
    EXPECT_DOUBLE_EQ(dosed(r, 3), 0);
    EXPECT_DOUBLE_EQ(content(3), 500);
    EXPECT_EQ(r.output, "10");
    for (const char* body : {"@EXT PURGE 1", "@EXT FILLCANISTER SET 1 5", "@EXT RESET"}) {
        ctx.workCalls.clear();
        ctx.abortAtWork = 1;
        EXPECT_EQ(run(body).code, code::kAborted) << body;
    }
    EXPECT_DOUBLE_EQ(content(1), 990);
}

TEST_F(MachineTest, WorkTimesFollowTheConfiguration) {
    MachineConfig config = smallMachine();
    config.timing.fast = false;
    config.timing.doseMs = 1500;
    config.timing.dosePerColorantMs = 600;
    config.timing.resetHardMs = 2800;
    Machine slow(config, '.');
    slow.execute(*ParseCommandFile("@RUN\r\n@CNX 1 1 3 1\r\n@END").command, ctx);
    slow.execute(*ParseCommandFile("@RUN\r\n@EXT RESET HARD\r\n@END").command, ctx);
    EXPECT_EQ(ctx.workCalls, (std::vector<int>{1500, 600, 600, 2800}));
    ctx.workCalls.clear();
    run("@CNX 1 1 3 1"); // fast mode: no time at all
    EXPECT_EQ(ctx.workCalls, (std::vector<int>{0, 0, 0}));
}

TEST_F(MachineTest, PurgeCleanAndFill) {
    CommandResult all = run("@EXT PURGE 0");
    EXPECT_EQ(all.code, code::kOk);
    EXPECT_EQ(all.output, "6");
    EXPECT_DOUBLE_EQ(dosed(all, 3), 2000);
    EXPECT_EQ(run("@EXT CLEANCOL blue").code, code::kOk);
    EXPECT_DOUBLE_EQ(content(3), 497.5);
    for (const char* body :
         {"@EXT PURGE 4", "@EXT CLEAN -1", "@EXT PURGECOL Green", "@EXT FILLCANISTER SET 7 10",
          "@EXT FILLCANISTER PREPARE 9", "@EXT SETCANCOLNAME 0 \"A\""})
        EXPECT_EQ(run(body).code, code::kUnknownTarget) << body;

    EXPECT_EQ(run("@EXT FILLCANISTER ADD 3 400.5").code, code::kOk);
    EXPECT_DOUBLE_EQ(content(3), 898);
    EXPECT_EQ(run("@EXT FILLCANISTER ADD 3 102.5").code, code::kOverfill);
    EXPECT_EQ(run("@EXT FILLCANISTER PREPARE 3").output, "102"); // room left
    // Canister 0 fills every canister; one that cannot take it stops the whole command.
    EXPECT_EQ(run("@EXT FILLCANISTER SET 0 1500").code, code::kOverfill);
    EXPECT_DOUBLE_EQ(content(2), 148);
    EXPECT_EQ(run("@EXT FILLCANISTER SET 0 800").code, code::kOk);
    EXPECT_DOUBLE_EQ(content(2), 800);
}

TEST_F(MachineTest, ServiceWindowCanWaitForTheOperator) {
    MachineConfig config = smallMachine();
    config.serviceWindowAsks = true;
    Machine asking(config, '.');
    Command open = *ParseCommandFile("@RUN\r\n@EXT SHOWSERVICEWINDOW\r\n@END").command;
    ctx.answers = {button::kOk, std::nullopt};
    EXPECT_EQ(asking.execute(open, ctx).code, code::kOk);
    ASSERT_EQ(ctx.asked.size(), 1u);
    EXPECT_EQ(ctx.asked[0].buttons, button::kOk);
    EXPECT_EQ(asking.execute(open, ctx).code, code::kAborted);
}

TEST_F(MachineTest, ErrorLogKeepsTheNewestFifty) {
    for (int i = 1; i <= 60; ++i)
        run("@EXT PURGE " + std::to_string(100 + i));
    ASSERT_EQ(machine.errorLog().size(), 50u);
    EXPECT_EQ(machine.errorLog().front(), "T Canister 111 does not exist");
    EXPECT_EQ(machine.refuse("the command file is empty").code, code::kMalformed);
    EXPECT_EQ(machine.errorLog().back(), "T Command refused: the command file is empty");
    EXPECT_EQ(run("@EXT MACHINE_INFO FEATURES").errors, machine.errorLog());
}

TEST_F(MachineTest, StateSurvivesAsText) {
    EXPECT_FALSE(machine.stateChanged());
    run("@CNX 1 12.25");
    run("@EXT SETCANCOLNAME 3 \"Deep Blue\"");
    run("@EXT PURGE 8");
    EXPECT_TRUE(machine.stateChanged());

    Machine restarted(smallMachine(), '.');
    EXPECT_TRUE(restarted.applyStateText(machine.stateText()).empty());
    EXPECT_DOUBLE_EQ(restarted.canisters()[0].contentMl, 987.75);
    EXPECT_EQ(restarted.canisters()[2].colorant, "Deep Blue");
    EXPECT_EQ(restarted.errorLog(), machine.errorLog());

    // A state that does not fit the configured canisters is skipped, value by value.
    std::string state =
        qelp::profile::SetInText(machine.stateText(), "Canisters", "Canister_3_ContentMl", "1500");
    state = qelp::profile::SetInText(state, "Canisters", "Canister_2_ContentMl", "lots");
    Machine picky(smallMachine(), '.');
    EXPECT_EQ(picky.applyStateText(state).size(), 2u);
    EXPECT_DOUBLE_EQ(picky.canisters()[2].contentMl, 500);
    EXPECT_DOUBLE_EQ(picky.canisters()[1].contentMl, 150);
    EXPECT_DOUBLE_EQ(picky.canisters()[0].contentMl, 987.75);
}
