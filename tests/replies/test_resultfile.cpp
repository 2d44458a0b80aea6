// The result file reader: code, output, canisters, the merge into the canister table, lists.
#include "link/config.h"
#include "replies/resultfile.h"
#include "testsupport.h"

#include <gtest/gtest.h>

using namespace qelp;
using namespace qelptest;
using Lines = std::vector<std::string>;

namespace {

class ResultFile : public ::testing::Test {
protected:
    void SetUp() override {
        ReadLinkConfiguration(f.program);
        f.program.link.driverCommandDirectory = f.dir.path();
    }
    // Writes result.dat and result.sig, runs the reader and returns the lines it logged
    // after its copy of the file.
    Lines read(const std::string& text) {
        WriteFile(f.dir.file("result.dat"), text);
        WriteFile(f.dir.file("result.sig"), "");
        ReadResultFile(f.program);
        const Lines all = f.logMessages();
        return Lines(std::find(all.rbegin(), all.rend(), "End of logged data.").base(), all.end());
    }
    static CanisterState Can(int32_t id, double content, double dosed) {
        return {id, 32 + id, "Col" + std::to_string(id), 2000, content, 300, 100, dosed};
    }
    ProgramFixture f;
};

std::string Keys(const std::string& prefix, int from, int to) {
    std::string out;
    for (int i = from; i <= to; ++i)
        out += prefix + std::to_string(i) + "=line " + std::to_string(i) + "\r\n";
    return out;
}

} // namespace

TEST_F(ResultFile, ResultCodeOnlyFromAFileAndDigitsThatFit) {
    // clang-format off
    const std::pair<std::string, int32_t> cases[] = {{"0", 0}, {"0012", 12}, {"-3", -1},
        {"", -1}, {"1e3", -1}, {"12a", -1}, {"2147483647", 2147483647},
        {"2147483648", -1}, {"99999999999999999999", -1}, {"  7  ", 7}};
    // clang-format on
    WriteFile(f.dir.file("msg.dat"), "");
    for (const auto& [text, code] : cases) {
        SCOPED_TRACE(text);
        const Lines lines = read("[General]\r\nRESULT=" + text + "\r\n");
        EXPECT_EQ(f.program.result.driverResultCode, code);
        // Only digits out of range get a line of their own.
        const Lines warning = {"Warning: Result code " + text + " is out of range; read as -1"};
        EXPECT_EQ(lines, code == -1 && text.size() >= 10 ? warning : Lines{});
        EXPECT_TRUE(Exists(f.dir.file("msg.dat"))); // the other exchange files stay
    }
    f.program.canisters.canisterTable = {Can(1, 10, 4)};
    WriteFile(f.dir.file("result.sig"), "");
    ReadResultFile(f.program); // no result.dat
    EXPECT_EQ(f.program.result.driverResultCode, -1);
    EXPECT_EQ(f.program.canisters.canisterTable, std::vector<CanisterState>{Can(1, 10, 4)});
    EXPECT_FALSE(Exists(f.dir.file("result.sig")));

    read(""); // an empty file is no result
    EXPECT_EQ(f.program.result.driverResultCode, -1);
    EXPECT_TRUE(f.program.result.resultCanisters.empty());
}

TEST_F(ResultFile, CanistersFromConsecutiveKeysNonNumbersCountZero) {
    // In a '.' locale "12,5" is no number; nor is text or a grouped figure.
    const Lines expected = {
        "Warning: Result value Canister_2_ml=\"12,5\" is not a number; counted as 0",
        "Warning: Result value Canister_2_size_ml=\"lots\" is not a number; counted as 0",
        "Warning: Result value Canister_2_min_ml=\"1.000,5\" is not a number; counted as 0",
    };
    EXPECT_EQ(read("[CanisterContents]\r\nCanister_1_ml=1500.5\r\nCanister_1_size_ml=2000\r\n"
                   "Canister_1_warn_ml=300\r\nCanister_1_min_ml=100\r\n"
                   "Canister_1_dosed_ul=-12.75\r\nCanister_1_colorantName=  Oxide Red  \r\n"
                   "Canister_2_ml=12,5\r\nCanister_2_size_ml=lots\r\nCanister_2_warn_ml=300\r\n"
                   "Canister_2_min_ml=1.000,5\r\nCanister_2_colorantName=Blue\r\n"
                   "Canister_4_ml=4\r\n"),
              expected);
    // Canister 4 lies behind the gap; missing figures count as 0 without a word.
    const std::vector<CanisterState> canisters = {
        {1, 0, "Oxide Red", 2000, 1500.5, 300, 100, -12.75}, {2, 0, "Blue", 0, 0, 300, 0, 0}};
    EXPECT_EQ(f.program.result.resultCanisters, canisters);
}

TEST_F(ResultFile, MergeCarriesContentAndDosedAmount) {
    const std::string result = "[CanisterContents]\r\nCanister_1_ml=1\r\nCanister_2_ml=2\r\n"
                               "Canister_3_ml=975.25\r\nCanister_3_dosed_ul=24750\r\n"
                               "Canister_3_size_ml=1\r\nCanister_3_colorantName=Other\r\n"
                               "Canister_4_ml=4\r\nCanister_5_ml=800\r\nCanister_5_dosed_ul=0\r\n";
    EXPECT_EQ(read(result), Lines{}); // an empty table takes nothing
    EXPECT_TRUE(f.program.canisters.canisterTable.empty());

    f.program.canisters.canisterTable = {Can(5, 800, 3), Can(3, 1000, 9), Can(8, 50, 11),
                                         Can(3, 1, 1)};
    EXPECT_EQ(read(result), (Lines{"Content in CanID 3 changed to 975.25",
                                   "Dosed UL in last command for CanID 3 was 24750"}));
    const std::vector<CanisterState> table = {
        Can(5, 800, 0),        // same content: no line; the dosed amount becomes 0
        Can(3, 975.25, 24750), // size and name stay the table's
        Can(8, 50, 11),        // not in the result: untouched
        Can(3, 1, 1),          // only the first entry with the number changes
    };                         // canisters 1, 2 and 4 are not added
    EXPECT_EQ(f.program.canisters.canisterTable, table);

    // A ',' locale reads and logs with commas.
    f.host.decimalSeparator = f.program.session.decimalSeparator = ',';
    EXPECT_EQ(
        read("[CanisterContents]\r\nCanister_1_ml=7\r\nCanister_2_ml=2\r\n"
             "Canister_3_ml=7,25\r\nCanister_3_dosed_ul=-5\r\nCanister_3_size_ml=1000\r\n"
             "Canister_4_ml=4\r\nCanister_5_ml=800,0\r\nCanister_5_dosed_ul=0,125\r\n"),
        (Lines{"Content in CanID 3 changed to 7,25", "Dosed UL in last command for CanID 3 was -5",
               "Dosed UL in last command for CanID 5 was 0,125"}));
    EXPECT_EQ(f.program.canisters.canisterTable[0].dosedUl, 0.125);
    EXPECT_EQ(f.program.canisters.canisterTable[1].contentMl, 7.25);
}

TEST_F(ResultFile, ListsStopAtFirstEmptyAndAtTheirCaps) {
    read("[Features]\r\n" + Keys("Text", 1, 7) + Keys("Text", 9, 20) + "[Errorlog]\r\n" +
         Keys("Error", 1, 51) + "[Version]\r\n" + Keys("Text", 1, 120));
    ASSERT_EQ(f.program.result.featureLines.size(), 7u);
    EXPECT_EQ(f.program.result.featureLines[6], "line 7");
    ASSERT_EQ(f.program.result.errorLogLines.size(), 50u);
    EXPECT_EQ(f.program.result.errorLogLines[49], "line 50");
    ASSERT_EQ(f.program.result.versionLines.size(), 100u);
    EXPECT_EQ(f.program.result.versionLines[99], "line 100");
    // 120 features give 100; a value of blanks ends a list too.
    read("[Features]\r\n" + Keys("Text", 1, 120) + "[Errorlog]\r\nError1=a\r\nError2=   \r\n" +
         "Error3=c\r\n");
    EXPECT_EQ(f.program.result.featureLines.size(), 100u);
    EXPECT_EQ(f.program.result.errorLogLines, Lines{"a"});
    read("[General]\r\nRESULT=3\r\n"); // every call replaces the whole last result
    EXPECT_TRUE(f.program.result.featureLines.empty() && f.program.result.errorLogLines.empty() &&
                f.program.result.versionLines.empty());
}
