// The dosing command: keyword lines, numbers in any locale, can type names, "lastdose.txt".
#include "builders/dosing.h"
#include "exchange/exchange.h"
#include "link/config.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace qelp;
using namespace qelptest;

namespace {

std::string Golden(const std::string& name) {
    return ReadFile(std::string(QELP_SOURCE_DIR) + "/tests/golden/dosing/" + name);
}

const DosingRecipe kExample = {0, 29.574, 48, 1, "Morvex BL", "W05", "2L AshTray", 2000, 180};
const std::vector<RecipeColorant> kColorants = {{3, 12.5, 35, "Black"}, {7, 4, 39, "Red"}};

class Dosing : public ::testing::Test {
protected:
    void SetUp() override {
        ReadLinkConfiguration(f.program);
        f.program.recipe.sendPunch = true;
        f.program.recipe.punchMode = 2;
    }
    std::string commandFile() const { return ReadFile(ServerCommandFile(f.program)); }
    std::string lastDose() const { return f.program.link.serverCommandDirectory + "lastdose.txt"; }
    std::string lineStarting(const std::string& keyword) const {
        for (const std::string& l : SplitCrLf(commandFile()))
            if (l.rfind(keyword, 0) == 0)
                return l;
        return "(none)";
    }
    ProgramFixture f;
};

} // namespace

TEST_F(Dosing, RecipesMatchGoldenFilesAndCopy) {
    DosingRecipe recipe = kExample;
    WriteFile(lastDose(), std::string(10000, 'o')); // replaced completely
    ASSERT_TRUE(CreateDosingCommand(f.program, recipe, kColorants));
    EXPECT_EQ(commandFile(), Golden("example.cmd"));
    EXPECT_EQ(ReadFile(lastDose()), Golden("example.cmd"));
    EXPECT_EQ(f.logMessages().back(), "Dosing command created");

    recipe.canHeight = 0; // names, shelf and an unknown height
    f.program.recipe.sendColorantNames = true;
    f.program.recipe.useShelf = true;
    f.program.recipe.shelfDose = -3;
    f.program.recipe.shelfPost = -1;
    ASSERT_TRUE(CreateDosingCommand(f.program, recipe, kColorants));
    EXPECT_EQ(commandFile(), Golden("names_shelf_unk.cmd"));

    // Minimal: optional lines left out, no can line without a size.
    recipe = {1, 0.5, 0, -2, "", "", "Big can"};
    f.program.recipe.sendPunch = f.program.recipe.sendColorantNames = f.program.recipe.useShelf =
        false;
    ASSERT_TRUE(CreateDosingCommand(f.program, recipe, {}));
    EXPECT_EQ(commandFile(), Golden("minimal.cmd"));
    EXPECT_EQ(recipe.canType, "Big can");

    // A directory with content at the copy's name can be neither deleted nor replaced.
    std::filesystem::remove(lastDose());
    std::filesystem::create_directories(lastDose() + "/inner");
    const size_t before = f.logMessages().size();
    EXPECT_FALSE(CreateDosingCommand(f.program, recipe, {}));
    EXPECT_EQ(f.messagesFrom(before),
              std::vector<std::string>{"Error: Cannot copy command file " +
                                       ServerCommandFile(f.program) + " to " + lastDose()});
}

TEST_F(Dosing, CanLineAndGeneratedCanTypeRoundingHalfToEven) {
    // A height of 0 or less is unknown; a size of 0 or less gives no can line and no name.
    // clang-format off
    const std::tuple<int32_t, int32_t, const char*> cases[] = {
        {2500, 140, "2.5L"}, {1000, 140, "1L"}, {250, 140, "0.2L"}, {1049, 140, "1L"},
        {350, 140, "0.4L"}, {450, 140, "0.4L"}, {1051, 140, "1.1L"}, {50, 140, "0L"},
        {51, 140, "0.1L"}, {3750, 140, "3.8L"}, {19950, 140, "20L"},
        {2147483647, 140, "2147483.6L"}, {2000, -5, "2L"}, {-100, 140, ""}};
    // clang-format on
    f.program.recipe.sendColorantNames = true;
    for (const auto& [size, height, name] : cases) {
        SCOPED_TRACE(size);
        DosingRecipe recipe = {0, 29.574, 48, 1, "P", "B", "", size, height};
        ASSERT_TRUE(CreateDosingCommand(f.program, recipe, {}));
        EXPECT_EQ(recipe.canType, name);
        const std::string can = "@CAN \"" + std::string(name) + "\" " + std::to_string(size);
        EXPECT_EQ(lineStarting("@CAN"), !*name ? "(none)" : can + (height > 0 ? " 140" : " *UNK"));
    }
    EXPECT_EQ(lineStarting("@CN"), "@CNT"); // names asked for, none in the list
}

TEST_F(Dosing, NumbersUseDotInCommaLocale) {
    f.host.decimalSeparator = f.program.session.decimalSeparator = ',';
    DosingRecipe recipe = {0, 0.5, 1.0 / 3.0, 1, "P", "B", "", 2500, 180};
    const std::vector<RecipeColorant> colorants = {
        {3, 12.25, 0, ""}, {9, 0.1, 0, ""}, {11, -2.5, 0, ""}, {12, 1234567.125, 0, ""}};
    ASSERT_TRUE(CreateDosingCommand(f.program, recipe, colorants));
    EXPECT_EQ(lineStarting("@UNT"), "@UNT 0.5 0.333333333333333");
    EXPECT_EQ(lineStarting("@CNX"), "@CNX 3 12.25 9 0.1 11 -2.5 12 1234567.125");
    EXPECT_EQ(recipe.canType, "2.5L");
    EXPECT_EQ(commandFile().find(','), std::string::npos);
}
