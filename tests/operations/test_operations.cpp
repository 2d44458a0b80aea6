// Every command operation end to end: built, handed to the real simulator, answered and
// evaluated.
#include "exchange/exchange.h"
#include "frame/program.h"
#include "link/supervision.h"
#include "operations/operations.h"
#include "support/linkfixture.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace qelptest;

namespace {

class Operations : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(qelp::StartDriver(f.program)); }
    LinkFixture f;
};

} // namespace

#define OP(call) [](Program& p) { return call; }
#define CHECK(condition) [](const Program& p) { return condition; }

// What each operation takes from the driver's answer; the command lines themselves are the
// builders' (their golden files) and the screens' (one click per operation), the counts and
// canister sizes the console's (machine information) and the start's (the canister table).
TEST_F(Operations, EachEvaluatesTheDriversAnswer) {
    using qelp::Program;
    using K = qelp::MachineInfoKind;
    using M = qelp::FillCanisterMode;
    // clang-format off
    const std::tuple<bool (*)(Program&), int, bool (*)(const Program&)> cases[] = {
        {OP(QueryMachineInfo(p, K::Features)), 0, CHECK(!p.result.featureLines.empty())},
        {OP(QueryVersion(p)), 0, CHECK(!p.result.versionLines.empty())},
        // The table takes the content the driver reports: 1530 ml less the 2 of a purge.
        {OP(PurgeCanister(p, 7)), 0, CHECK(p.canisters.canisterTable[6].contentMl == 1528)},
        {OP(PurgeColorant(p, "Deep Oxide Red")), 2, nullptr},
        {OP(CleanColorant(p, "Gr\xfcn 2")), 2, nullptr},
        {OP(FillCanister(p, M::Add, 4, 1500)), 7, nullptr},
        {OP(FillCanister(p, M::Set, 12, -250)), 1, nullptr},
        {OP(ShowServiceWindow(p, "s3cr et")), 6, nullptr},
        // Names travel as Windows-1252 bytes both ways; the table's names change only
        // through the console's own action.
        {OP(SetCanisterColorantName(p, 5, "Oxide \"Red\" \x80")), 0,
         CHECK(p.result.resultCanisters[4].colorantName == "Oxide \"Red\" \x80" &&
               p.canisters.canisterTable[4].colorantName == "Phthalo Blue")},
    };
    // clang-format on
    for (const auto& [operation, code, evaluated] : cases) {
        EXPECT_EQ(operation(f.program), code == 0) << code;
        EXPECT_EQ(f.program.result.driverResultCode, code);
        EXPECT_TRUE(!evaluated || evaluated(f.program)) << f.program.result.commandOutput;
    }
}

TEST_F(Operations, DosingMovesTheDosedAmountsIntoTheTableAsTheOperatorDecides) {
    qelp::Program& p = f.program;
    const std::vector<qelp::CanisterState>& table = p.canisters.canisterTable; // canister n at n-1
    qelp::DosingRecipe recipe{0, 1, 1, 1, "", "", "", 0, 0}; // millilitres for one can
    const double before3 = table[2].contentMl;
    EXPECT_TRUE(qelp::DoseRecipe(p, recipe, {{3, 12.5, 35, ""}, {7, 4, 39, ""}}));
    EXPECT_DOUBLE_EQ(table[2].contentMl, before3 - 12.5);
    EXPECT_DOUBLE_EQ(table[2].dosedUl, 12500);
    EXPECT_DOUBLE_EQ(table[6].dosedUl, 4000);
    EXPECT_EQ(table[3].dosedUl, 0);

    // The driver asks before punching the lid: "Cancel" ends the dosing, "Ok" lets it go on.
    p.recipe.sendPunch = true;
    p.recipe.punchMode = 1;
    for (int32_t button : {8, 4}) {
        f.ui.autoAnswer = button;
        EXPECT_EQ(qelp::DoseRecipe(p, recipe, {{1, 2, 33, ""}}), button == 4);
        EXPECT_EQ(f.program.result.driverResultCode, button == 4 ? 0 : 5);
        EXPECT_DOUBLE_EQ(table[0].dosedUl, button == 4 ? 2000 : 0);
    }
    EXPECT_EQ(f.ui.windowsShown, 2);
}

TEST_F(Operations, PreparedCommandFilesAreSentAsTheyStand) {
    qelp::Program& p = f.program;
    // A name that differs only in letter case is another file here and is copied; the
    // server command file under another name (a link) goes out as it stands, not copied.
    const std::string upper = p.link.serverCommandDirectory + "CMD.DAT";
    WriteFile(upper, "@RUN\r\n@EXT RESET HARD\r\n@END\r\n");
    EXPECT_TRUE(qelp::SendPreparedCommandFile(p, upper));
    EXPECT_EQ(ReadFile(ServerCommandFile(p)), ReadFile(upper));
    WriteFile(ServerCommandFile(p), "@RUN\r\n@EXT PURGE 4\r\n@END\r\n");
#ifndef _WIN32 // links need a privilege on Windows
    const std::string alias = f.dir.file("alias.cmd");
    ASSERT_EQ(::symlink(ServerCommandFile(p).c_str(), alias.c_str()), 0);
    struct stat before {};
    struct stat after {};
    ASSERT_EQ(::stat(ServerCommandFile(p).c_str(), &before), 0);
    EXPECT_TRUE(qelp::SendPreparedCommandFile(p, alias));
    ASSERT_EQ(::stat(ServerCommandFile(p).c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
#endif

    // A missing file or an empty path sends nothing and leaves the server file alone.
    const size_t logged = f.logMessages().size();
    EXPECT_FALSE(qelp::SendPreparedCommandFile(p, f.dir.file("missing.cmd")));
    EXPECT_FALSE(qelp::SendPreparedCommandFile(p, ""));
    EXPECT_EQ(f.logMessages().size(), logged);
    EXPECT_EQ(ReadFile(ServerCommandFile(p)), "@RUN\r\n@EXT PURGE 4\r\n@END\r\n");

    // Without the frame the file still goes out unchanged; the driver decides.
    const std::string prepared = f.dir.file("prepared.cmd");
    WriteFile(prepared, "@EXT VERSION\r\n");
    qelp::SendPreparedCommandFile(p, prepared);
    EXPECT_EQ(ReadFile(ServerCommandFile(p)), "@EXT VERSION\r\n");
    EXPECT_EQ(CountOf(f.messagesFrom(logged), "Command file send to driver"), 1);
}

TEST_F(Operations, CommandThatCannotGoOutIsNotSent) {
    // A busy driver leaves the unsent command in the server file.
    const std::string cmd = ServerCommandFile(f.program);
    f.program.tuning.commandBusyWaitMs = 150;
    WriteFile(f.driver.exchangeDir + "busy.flg", "");
    EXPECT_FALSE(qelp::CleanCanister(f.program, 6));
    EXPECT_EQ(ReadFile(cmd), "@RUN\r\n@EXT CLEAN 6\r\n@END\r\n");

    // The server command file's place is taken by a directory: the build fails, and the
    // previous command is not sent again in its place.
    std::remove(cmd.c_str());
    ASSERT_TRUE(std::filesystem::create_directory(cmd));
    const size_t before = f.logMessages().size();
    EXPECT_FALSE(qelp::PurgeCanister(f.program, 1));
    EXPECT_EQ(CountOf(f.messagesFrom(before), "Command file send to driver"), 0);
}
