// Every command operation end to end: built, handed to the real simulator, answered and
// evaluated.
#include "exchange/exchange.h"
#include "frame/program.h"
#include "frame/textutil.h"
#include "link/supervision.h"
#include "operations/operations.h"
#include "support/linkfixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace qelptest;

namespace {

class Operations : public ::testing::Test {
protected:
    explicit Operations(const std::string& ini = {}) : f(ini) {}
    void SetUp() override { ASSERT_TRUE(qelp::StartDriver(f.program)); }
    // The command lines the console handed over last, as copied into the log.
    std::vector<std::string> lastCommandLines() const {
        auto log = f.logMessages();
        long send = -1;
        for (long i = static_cast<long>(log.size()) - 1; i >= 0 && send < 0; --i)
            if (log[static_cast<size_t>(i)] == "Command file send to driver")
                send = i;
        long begin = send;
        while (begin > 0 && log[static_cast<size_t>(begin)].rfind("Logging data in file: ", 0) != 0)
            --begin;
        if (send < 2 || begin < 0)
            return {};
        // Between the marker lines: from after "Logging data in file: " to before
        // "End of logged data.", which directly precedes the send line.
        return std::vector<std::string>(log.begin() + begin + 1, log.begin() + send - 1);
    }
    const qelp::CanisterState& table(int canId) {
        for (const auto& c : f.program.canisters.canisterTable)
            if (c.canId == canId)
                return c;
        throw std::runtime_error("no canister " + std::to_string(canId));
    }
    LinkFixture f;
};

class QuestionAsked : public Operations {};

std::vector<std::string> frame(const std::string& line) {
    return {"@RUN", line, "@END"};
}

} // namespace

TEST_F(Operations, MaintenanceCommandsReachTheDriverAndSucceed) {
    qelp::Program& p = f.program;
    EXPECT_TRUE(qelp::ResetDispenser(p, false));
    EXPECT_EQ(lastCommandLines(), frame("@EXT RESET"));
    EXPECT_TRUE(qelp::ResetDispenser(p, true));
    EXPECT_EQ(lastCommandLines(), frame("@EXT RESET HARD"));

    EXPECT_TRUE(qelp::QueryMachineInfo(p, qelp::MachineInfoKind::Features));
    EXPECT_EQ(lastCommandLines(), frame("@EXT MACHINE_INFO FEATURES"));
    EXPECT_FALSE(p.result.featureLines.empty());
    EXPECT_TRUE(qelp::QueryMachineInfo(p, qelp::MachineInfoKind::PumpCount));
    EXPECT_EQ(p.result.commandOutput, "16");
    EXPECT_TRUE(qelp::QueryMachineInfo(p, qelp::MachineInfoKind::CanisterCount));
    EXPECT_EQ(p.result.commandOutput, "16");
    EXPECT_TRUE(qelp::QueryMachineInfo(p, qelp::MachineInfoKind::CanisterSize));
    EXPECT_EQ(p.result.resultCanisters.size(), 16u);
    EXPECT_TRUE(qelp::QueryVersion(p));
    EXPECT_EQ(lastCommandLines(), frame("@EXT VERSION"));
    EXPECT_FALSE(p.result.versionLines.empty());

    EXPECT_TRUE(qelp::ShowServiceWindow(p, ""));
    EXPECT_EQ(lastCommandLines(), frame("@EXT SHOWSERVICEWINDOW"));
    EXPECT_FALSE(qelp::ShowServiceWindow(p, "not the password"));
    EXPECT_EQ(lastCommandLines(), frame("@EXT SHOWSERVICEWINDOW not the password"));
    EXPECT_EQ(f.logMessages().back(), "Error: Driver returns 6 on command.");
}

TEST_F(Operations, CanisterCommandsChangeTheTableThroughTheResult) {
    qelp::Program& p = f.program;
    const double before = table(3).contentMl;
    EXPECT_TRUE(qelp::PurgeCanister(p, 3));
    EXPECT_EQ(lastCommandLines(), frame("@EXT PURGE 3"));
    EXPECT_LT(table(3).contentMl, before);
    EXPECT_TRUE(InOrder(f.logMessages(), {std::string("Content in CanID 3 changed to ") +
                                          qelp::FormatGeneral(table(3).contentMl, '.')}));

    EXPECT_TRUE(qelp::FillCanister(p, qelp::FillCanisterMode::Set, 5, 1000));
    EXPECT_EQ(lastCommandLines(), frame("@EXT FILLCANISTER SET 5 1000"));
    EXPECT_EQ(table(5).contentMl, 1000);
    EXPECT_TRUE(qelp::FillCanister(p, qelp::FillCanisterMode::Add, 5, 250));
    EXPECT_EQ(table(5).contentMl, 1250);
    EXPECT_TRUE(qelp::FillCanister(p, qelp::FillCanisterMode::Prepare, 5, 999));
    EXPECT_EQ(lastCommandLines(), frame("@EXT FILLCANISTER PREPARE 5"));

    const std::string name = table(7).colorantName;
    EXPECT_TRUE(qelp::CleanColorant(p, name));
    EXPECT_EQ(lastCommandLines(), frame("@EXT CLEANCOL " + name));
    EXPECT_TRUE(qelp::PurgeColorant(p, name));
    EXPECT_TRUE(qelp::CleanCanister(p, 0));
    EXPECT_EQ(lastCommandLines(), frame("@EXT CLEAN 0"));

    // Names travel as Windows-1252 bytes, both ways.
    EXPECT_TRUE(qelp::SetCanisterColorantName(p, 2, "Gr\xFCn Oxid"));
    EXPECT_EQ(lastCommandLines(), frame("@EXT SETCANCOLNAME 2 \"Gr\xFCn Oxid\""));
    ASSERT_GE(p.result.resultCanisters.size(), 2u);
    EXPECT_EQ(p.result.resultCanisters[1].colorantName, "Gr\xFCn Oxid");
    // The table's names change only through the console's own action.
    EXPECT_NE(table(2).colorantName, "Gr\xFCn Oxid");

    EXPECT_FALSE(qelp::PurgeCanister(p, 99));
    EXPECT_EQ(f.logMessages().back(), "Error: Driver returns 2 on command.");
}

TEST_F(Operations, DosingMovesContentAndDosedAmountsIntoTheTable) {
    qelp::Program& p = f.program;
    qelp::DosingRecipe recipe;
    recipe.unitType = 0;
    recipe.unitSize = 1; // one millilitre per unit
    recipe.unitFraction = 1;
    recipe.numberOfCans = 1;
    const double before3 = table(3).contentMl, before7 = table(7).contentMl;
    std::vector<qelp::RecipeColorant> lines = {{3, 12.5, 35, table(3).colorantName},
                                               {7, 4, 39, table(7).colorantName}};
    EXPECT_TRUE(qelp::DoseRecipe(p, recipe, lines));
    EXPECT_TRUE(InOrder(lastCommandLines(),
                        {"@RUN", "@WGH 0", "@UNT 1 1", "@LQT 1", "@CNX 3 12.5 7 4", "@END"}));
    EXPECT_DOUBLE_EQ(table(3).contentMl, before3 - 12.5);
    EXPECT_DOUBLE_EQ(table(3).dosedUl, 12500);
    EXPECT_DOUBLE_EQ(table(7).dosedUl, 4000);
    EXPECT_DOUBLE_EQ(table(7).contentMl, before7 - 4);
    EXPECT_EQ(table(4).dosedUl, 0);
    EXPECT_TRUE(InOrder(f.logMessages(), {"Dosed UL in last command for CanID 3 was 12500",
                                          "Dosed UL in last command for CanID 7 was 4000"}));
}

TEST_F(QuestionAsked, AnswerToTheDriversQuestionDecidesTheDosing) {
    qelp::Program& p = f.program;
    qelp::DosingRecipe recipe;
    recipe.unitSize = 1;
    recipe.unitFraction = 1;
    recipe.numberOfCans = 1;
    p.recipe.sendPunch = true;
    p.recipe.punchMode = 1; // "Ask Confirm"
    std::vector<qelp::RecipeColorant> lines = {{1, 2, 33, table(1).colorantName}};

    f.ui.autoAnswer = 8; // "Cancel"
    EXPECT_FALSE(qelp::DoseRecipe(p, recipe, lines));
    EXPECT_EQ(f.ui.windowsShown, 1);
    EXPECT_EQ(p.message.messageDialogType, 4);
    EXPECT_EQ(p.message.messageButtons, 4 | 8);
    EXPECT_EQ(f.logMessages().back(), "Error: Driver returns 5 on command.");
    EXPECT_EQ(table(1).dosedUl, 0);

    f.ui.autoAnswer = 4; // "Ok"
    EXPECT_TRUE(qelp::DoseRecipe(p, recipe, lines));
    EXPECT_EQ(f.ui.windowsShown, 2);
    EXPECT_DOUBLE_EQ(table(1).dosedUl, 2000);
    EXPECT_TRUE(
        InOrder(f.logMessages(), {"Dosing command created",
                                  "Logging data in file: " + f.driver.exchangeDir + "reply.dat",
                                  "Button=4", "End of logged data."}));
}

TEST_F(Operations, PreparedCommandFilesAreSentAsTheyStand) {
    qelp::Program& p = f.program;
    const std::string prepared = f.dir.file("prepared.cmd");
    WriteFile(prepared, "@RUN\r\n@EXT PURGE 4\r\n@END\r\n");
    EXPECT_TRUE(qelp::SendPreparedCommandFile(p, prepared));
    EXPECT_EQ(lastCommandLines(), frame("@EXT PURGE 4"));
    EXPECT_EQ(ReadFile(ServerCommandFile(p)), "@RUN\r\n@EXT PURGE 4\r\n@END\r\n");

    // A name that differs only in letter case is another file here and is copied; the
    // server command file under another name (a link) goes out as it stands, not copied.
    const std::string upper = p.link.serverCommandDirectory + "CMD.DAT";
    WriteFile(upper, "@RUN\r\n@EXT RESET HARD\r\n@END\r\n");
    EXPECT_TRUE(qelp::SendPreparedCommandFile(p, upper));
    EXPECT_EQ(lastCommandLines(), frame("@EXT RESET HARD"));
    WriteFile(ServerCommandFile(p), "@RUN\r\n@EXT PURGE 4\r\n@END\r\n");
    const std::string alias = f.dir.file("alias.cmd");
    ASSERT_EQ(::symlink(ServerCommandFile(p).c_str(), alias.c_str()), 0);
    struct stat before {};
    struct stat after {};
    ASSERT_EQ(::stat(ServerCommandFile(p).c_str(), &before), 0);
    EXPECT_TRUE(qelp::SendPreparedCommandFile(p, alias));
    EXPECT_EQ(lastCommandLines(), frame("@EXT PURGE 4"));
    ASSERT_EQ(::stat(ServerCommandFile(p).c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);

    // A missing file or an empty path sends nothing and leaves the server file alone.
    const size_t logged = f.logMessages().size();
    EXPECT_FALSE(qelp::SendPreparedCommandFile(p, f.dir.file("missing.cmd")));
    EXPECT_FALSE(qelp::SendPreparedCommandFile(p, ""));
    EXPECT_EQ(f.logMessages().size(), logged);
    EXPECT_EQ(ReadFile(ServerCommandFile(p)), "@RUN\r\n@EXT PURGE 4\r\n@END\r\n");

    // Without the frame the file still goes out unchanged; the driver decides.
    WriteFile(prepared, "@EXT VERSION\r\n");
    qelp::SendPreparedCommandFile(p, prepared);
    EXPECT_TRUE(
        InOrder(f.logMessages(), {"Logging data in file: " + ServerCommandFile(p), "@EXT VERSION",
                                  "End of logged data.", "Command file send to driver"}));
}

TEST_F(Operations, BusyDriverLeavesTheUnsentCommandInTheServerFile) {
    qelp::Program& p = f.program;
    p.tuning.commandBusyWaitMs = 150;
    WriteFile(f.driver.exchangeDir + "busy.flg", "");
    EXPECT_FALSE(qelp::CleanCanister(p, 6));
    EXPECT_EQ(ReadFile(ServerCommandFile(p)), "@RUN\r\n@EXT CLEAN 6\r\n@END\r\n");
    EXPECT_EQ(f.logMessages().back(), "Unable to send command (driver busy?)");
    EXPECT_TRUE(p.link.driverRunning);
}

TEST(OperationsRefused, CommandFileThatCannotBeWrittenIsNeverSent) {
    LinkFixture f;
    ASSERT_TRUE(qelp::StartDriver(f.program));
    // The server command file's place is taken by a directory: the build fails, and the
    // previous command is not sent again in its place.
    const std::string cmd = ServerCommandFile(f.program);
    std::remove(cmd.c_str());
    ASSERT_EQ(::mkdir(cmd.c_str(), 0755), 0);
    const size_t before = f.logMessages().size();
    EXPECT_FALSE(qelp::PurgeCanister(f.program, 1));
    auto log = f.messagesFrom(before);
    EXPECT_EQ(CountOf(log, "Command file send to driver"), 0);
    EXPECT_EQ(CountOf(log, "Purge command created"), 0);
}

TEST(OperationsQuestions, BurstOfNoticesShowsEachAndOnlyTheLastIsAnswered) {
    LinkFixture f("[Faults]\r\nOnCommand=3\r\nMessageBurst=3\r\nInvalidDialog=1\r\n");
    ASSERT_TRUE(qelp::StartDriver(f.program));
    // Answer "Ok" once the third notice shows; the earlier ones are replaced unanswered.
    f.ui.onEvents = [&](qelp::Program& p) {
        if (p.message.messageWindowOpen && f.ui.shownTexts.size() == 3)
            p.message.replyPending = 4, p.message.messageWindowOpen = false;
    };
    EXPECT_TRUE(qelp::PurgeCanister(f.program, 1));
    ASSERT_EQ(f.ui.shownTexts.size(), 3u);
    EXPECT_EQ(f.ui.windowsClosedByRequest, 2);
    EXPECT_NE(f.ui.shownTexts[0], f.ui.shownTexts[2]);
    // The message with an invalid dialog type was read and logged, but never shown.
    EXPECT_GE(CountOf(f.logMessages(), "DlgType=7"), 1);
    EXPECT_EQ(CountOf(f.logMessages(), "Button=4"), 1);
}
