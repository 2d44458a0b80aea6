// The dosing command: keyword lines, number forms in any locale, the generated can type
// name, "lastdose.txt", and the failures that must keep the dosing from being sent.
#include "commands/dosing.h"
#include "link/config.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace qelp;
using namespace qelptest;

namespace {

std::string Golden(const std::string& name) {
    const std::string path = std::string(QELP_SOURCE_DIR) + "/tests/golden/dosing/" + name;
    EXPECT_TRUE(Exists(path)) << path;
    return ReadFile(path);
}

DosingRecipe ExampleRecipe() {
    DosingRecipe r;
    r.unitType = 0;
    r.unitSize = 29.574;
    r.unitFraction = 48;
    r.numberOfCans = 1;
    r.product = "Morvex BL";
    r.basePaint = "W05";
    r.canType = "2L AshTray";
    r.canSize = 2000;
    r.canHeight = 180;
    return r;
}

std::vector<RecipeColorant> ExampleColorants() {
    return {{3, 12.5, 35, "Black"}, {7, 4, 39, "Red"}};
}

class Dosing : public ::testing::Test {
protected:
    void SetUp() override {
        ReadLinkConfiguration(f.program);
        f.program.sendPunch = true;
        f.program.punchMode = 2;
    }
    std::string commandFile() const { return ReadFile(f.program.serverCommandFile()); }
    std::string lastDosePath() const { return f.program.serverCommandDirectory + "lastdose.txt"; }
    // The command file's lines without their CR LF.
    std::vector<std::string> lines() const { return SplitCrLf(commandFile()); }
    std::string lineStarting(const std::string& keyword) const {
        for (const std::string& l : lines())
            if (l.rfind(keyword, 0) == 0)
                return l;
        return "(none)";
    }
    bool logged(const std::string& message) const {
        const std::vector<std::string> log = f.logMessages();
        return std::find(log.begin(), log.end(), message) != log.end();
    }
    ProgramFixture f;
};

} // namespace

// --- The file as a whole ---

TEST_F(Dosing, ExampleRecipeMatchesGoldenFileAndCopy) {
    DosingRecipe recipe = ExampleRecipe();
    ASSERT_TRUE(CreateDosingCommand(f.program, recipe, ExampleColorants()));
    EXPECT_EQ(commandFile(), Golden("example.cmd"));
    EXPECT_EQ(ReadFile(lastDosePath()), Golden("example.cmd"));
    EXPECT_EQ(f.logMessages().back(), "Dosing command created");
    EXPECT_EQ(recipe.canType, "2L AshTray");
}

TEST_F(Dosing, NamesShelfAndUnknownHeightMatchGoldenFile) {
    DosingRecipe recipe = ExampleRecipe();
    recipe.canHeight = 0;
    f.program.sendColorantNames = true;
    f.program.useShelf = true;
    f.program.shelfPre = 0;
    f.program.shelfDose = -3;
    f.program.shelfPost = -1;
    ASSERT_TRUE(CreateDosingCommand(f.program, recipe, ExampleColorants()));
    EXPECT_EQ(commandFile(), Golden("names_shelf_unk.cmd"));
}

TEST_F(Dosing, MinimalRecipeLeavesOptionalLinesOut) {
    DosingRecipe recipe;
    recipe.unitType = 1;
    recipe.unitSize = 0.5;
    recipe.unitFraction = 0;
    recipe.numberOfCans = -2;
    recipe.canType = "Big can"; // no can line without a size
    f.program.sendPunch = false;
    ASSERT_TRUE(CreateDosingCommand(f.program, recipe, {}));
    EXPECT_EQ(commandFile(), Golden("minimal.cmd"));
    EXPECT_EQ(recipe.canType, "Big can");

    // The same with names: the bare keyword, no trailing blank. A negative size writes
    // no can line and generates no name either.
    f.program.sendColorantNames = true;
    recipe.canType.clear();
    recipe.canSize = -100;
    ASSERT_TRUE(CreateDosingCommand(f.program, recipe, {}));
    EXPECT_EQ(lineStarting("@CN"), "@CNT");
    EXPECT_EQ(lineStarting("@CAN"), "(none)");
    EXPECT_EQ(recipe.canType, "");
}

// --- Keyword lines ---

TEST_F(Dosing, NamesWrittenInQuotesAsStored) {
    DosingRecipe recipe = ExampleRecipe();
    recipe.product = "   ";
    recipe.basePaint = "Base \"A\" \xe9";
    f.program.sendColorantNames = true;
    std::vector<RecipeColorant> colorants = {{1, 1, 0, "Say \"hi\""}, {2, 2, 0, ""}};
    ASSERT_TRUE(CreateDosingCommand(f.program, recipe, colorants));
    EXPECT_EQ(lineStarting("@PRD"), "@PRD \"   \"");
    EXPECT_EQ(lineStarting("@BAS"), "@BAS \"Base \"A\" \xe9\"");
    EXPECT_EQ(lineStarting("@CNT"), "@CNT \"Say \"hi\"\" 1 \"\" 2");
}

TEST_F(Dosing, GeneratedCanTypeRoundsHalfToEven) {
    const std::pair<int32_t, const char*> cases[] = {
        {2500, "2.5L"}, {1000, "1L"},   {250, "0.2L"}, {1250, "1.2L"}, {1049, "1L"},
        {350, "0.4L"},  {450, "0.4L"},  {150, "0.2L"}, {1051, "1.1L"}, {50, "0L"},
        {51, "0.1L"},   {3750, "3.8L"}, {5, "0L"},     {19950, "20L"}, {2147483647, "2147483.6L"},
    };
    for (const auto& [size, name] : cases) {
        SCOPED_TRACE(size);
        DosingRecipe recipe = ExampleRecipe();
        recipe.canType.clear();
        recipe.canSize = size;
        recipe.canHeight = 140;
        ASSERT_TRUE(CreateDosingCommand(f.program, recipe, {}));
        EXPECT_EQ(recipe.canType, name);
        EXPECT_EQ(lineStarting("@CAN"),
                  "@CAN \"" + std::string(name) + "\" " + std::to_string(size) + " 140");
    }
}

TEST_F(Dosing, NumbersUseDotInCommaLocale) {
    f.host.decimalSeparator = ',';
    f.program.decimalSeparator = ',';
    DosingRecipe recipe = ExampleRecipe();
    recipe.canType.clear();
    recipe.canSize = 2500;
    recipe.unitSize = 0.5;
    recipe.unitFraction = 1.0 / 3.0;
    const std::vector<RecipeColorant> colorants = {{3, 12.25, 0, ""},
                                                   {7, 4, 0, ""},
                                                   {9, 0.1, 0, ""},
                                                   {11, -2.5, 0, ""},
                                                   {12, 1234567.125, 0, ""}};
    ASSERT_TRUE(CreateDosingCommand(f.program, recipe, colorants));
    EXPECT_EQ(lineStarting("@UNT"), "@UNT 0.5 0.333333333333333");
    EXPECT_EQ(lineStarting("@CNX"), "@CNX 3 12.25 7 4 9 0.1 11 -2.5 12 1234567.125");
    EXPECT_EQ(recipe.canType, "2.5L");
    EXPECT_EQ(commandFile().find(','), std::string::npos);
}

TEST_F(Dosing, ListOrderAndSignsKept) {
    DosingRecipe recipe = ExampleRecipe();
    recipe.numberOfCans = -1;
    recipe.canHeight = -5;
    f.program.useShelf = true;
    f.program.shelfPre = -2;
    f.program.shelfDose = 15;
    f.program.shelfPost = -3;
    f.program.punchMode = -7;
    std::vector<RecipeColorant> colorants = {{9, 1, 0, ""}, {2, 2, 0, ""}, {5, 3, 0, ""}};
    colorants[0].amount = 8; // a changed amount keeps its place
    ASSERT_TRUE(CreateDosingCommand(f.program, recipe, colorants));
    EXPECT_EQ(lineStarting("@LQT"), "@LQT -1");
    EXPECT_EQ(lineStarting("@CAN"), "@CAN \"2L AshTray\" 2000 *UNK");
    EXPECT_EQ(lineStarting("@CNX"), "@CNX 9 8 2 2 5 3");
    EXPECT_EQ(lineStarting("@SHL"), "@SHL -2 15 -3");
    EXPECT_EQ(lineStarting("@PNC"), "@PNC -7");
    // The shelf line follows the colorant line, the punch line comes last before @END.
    const std::vector<std::string> l = lines();
    ASSERT_GE(l.size(), 4u);
    EXPECT_EQ(l[l.size() - 4].rfind("@CNX", 0), 0u);
    EXPECT_EQ(l[l.size() - 3].rfind("@SHL", 0), 0u);
    EXPECT_EQ(l[l.size() - 2].rfind("@PNC", 0), 0u);
    EXPECT_EQ(l.back(), "@END");
}

// --- lastdose.txt and failures ---

TEST_F(Dosing, LastDoseReplacedByNewCopy) {
    WriteFile(lastDosePath(), std::string(10000, 'o'));
    DosingRecipe recipe = ExampleRecipe();
    ASSERT_TRUE(CreateDosingCommand(f.program, recipe, ExampleColorants()));
    EXPECT_EQ(ReadFile(lastDosePath()), commandFile());

    // A shorter second dosing replaces both files completely.
    DosingRecipe small;
    f.program.sendPunch = false;
    ASSERT_TRUE(CreateDosingCommand(f.program, small, {}));
    EXPECT_EQ(ReadFile(lastDosePath()), commandFile());
    EXPECT_EQ(commandFile(), "@RUN\r\n@WGH 0\r\n@UNT 0 0\r\n@LQT 0\r\n@CNX\r\n@END\r\n");
}

TEST_F(Dosing, FailuresAreNotReportedCreated) {
    DosingRecipe recipe = ExampleRecipe();
    // A directory with content sits at the copy's name: it can be neither deleted nor
    // replaced by a file.
    std::filesystem::create_directories(lastDosePath() + "/inner");
    EXPECT_FALSE(CreateDosingCommand(f.program, recipe, ExampleColorants()));
    EXPECT_TRUE(logged("Error: Cannot copy command file " + f.program.serverCommandFile() + " to " +
                       lastDosePath()));

    f.program.serverCommandDirectory = f.dir.file("missing/");
    EXPECT_FALSE(CreateDosingCommand(f.program, recipe, ExampleColorants()));
    EXPECT_TRUE(logged("Error: Cannot write command file " + f.dir.file("missing/cmd.dat")));
    EXPECT_FALSE(logged("Dosing command created"));
}
