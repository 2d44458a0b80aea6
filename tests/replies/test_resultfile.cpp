// The result file reader: result code, output, canisters in the user's number format, the
// merge into the canister table with its two log lines, the capped text lists, and files
// that are missing, empty, junk or huge.
#include "frame/registry.h"
#include "link/config.h"
#include "replies/resultfile.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace qelp;
using namespace qelptest;

namespace {

class ResultFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(f.dir.file("exchange"));
        ASSERT_TRUE(RegistryStore(f.host.registryPath())
                        .WriteText(kConfigKey, "CommandPath", f.dir.file("exchange")));
        ReadLinkConfiguration(f.program);
    }
    std::string at(const std::string& name) const { return f.dir.file("exchange/" + name); }
    // Writes result.dat and result.sig, runs the reader and returns what it logged.
    std::vector<std::string> read(const std::string& profileText) {
        WriteFile(at("result.dat"), profileText);
        WriteFile(at("result.sig"), "");
        const size_t before = f.logMessages().size();
        ReadResultFile(f.program);
        const std::vector<std::string> all = f.logMessages();
        return std::vector<std::string>(all.begin() + static_cast<long>(before), all.end());
    }
    // The same without the copied file and its markers.
    std::vector<std::string> readerLines(const std::string& profileText) {
        std::vector<std::string> lines = read(profileText);
        const auto end = std::find(lines.begin(), lines.end(), "End of logged data.");
        EXPECT_NE(end, lines.end());
        return std::vector<std::string>(end + 1, lines.end());
    }
    void useCommaLocale() {
        f.host.decimalSeparator = ',';
        f.program.decimalSeparator = ',';
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

TEST_F(ResultFile, ResultCodeOnlyFromDigitsThatFit) {
    const std::pair<std::string, int32_t> cases[] = {
        {"0", 0},           {"0012", 12},
        {"-3", -1},         {"", -1},
        {"  7  ", 7},       {"1e3", -1},
        {"12a", -1},        {"2147483647", 2147483647},
        {"2147483648", -1}, {"99999999999999999999", -1},
    };
    for (const auto& [text, code] : cases) {
        const std::vector<std::string> lines = readerLines("[General]\r\nRESULT=" + text + "\r\n");
        EXPECT_EQ(f.program.driverResultCode, code) << text;
        // Only digits out of range get a line of their own.
        const bool tooBig = code == -1 && text.size() >= 10;
        EXPECT_EQ(lines, tooBig ? std::vector<std::string>{"Warning: Result code " + text +
                                                           " is out of range; read as -1"}
                                : std::vector<std::string>{});
    }
}

TEST_F(ResultFile, GeneralSectionLoggedReadAndCleanedUp) {
    WriteFile(at("msg.dat"), "");
    WriteFile(at("busy.flg"), "");
    const std::vector<std::string> expected = {"Logging data in file: " + at("result.dat"),
                                               "[general]", "result=0", "Output=  12 pumps  ",
                                               "End of logged data."};
    EXPECT_EQ(read("[general]\r\nresult=0\r\nOutput=  12 pumps  \r\n"), expected);
    EXPECT_EQ(f.program.driverResultCode, 0);
    EXPECT_EQ(f.program.commandOutput, "12 pumps");
    EXPECT_FALSE(Exists(at("result.dat")));
    EXPECT_FALSE(Exists(at("result.sig")));
    EXPECT_TRUE(Exists(at("msg.dat")));
    EXPECT_TRUE(Exists(at("busy.flg")));

    // Every call replaces the whole last result.
    read("[General]\r\nRESULT=0\r\nOUTPUT=x\r\n[CanisterContents]\r\nCanister_1_ml=5\r\n"
         "[Features]\r\nText1=a\r\n[Errorlog]\r\nError1=b\r\n[Version]\r\nText1=c\r\n");
    read("[General]\r\nRESULT=3\r\n");
    EXPECT_EQ(f.program.driverResultCode, 3);
    EXPECT_EQ(f.program.commandOutput, "");
    EXPECT_TRUE(f.program.resultCanisters.empty());
    EXPECT_TRUE(f.program.featureLines.empty());
    EXPECT_TRUE(f.program.errorLogLines.empty());
    EXPECT_TRUE(f.program.versionLines.empty());
}

TEST_F(ResultFile, CanistersFromConsecutiveKeys) {
    EXPECT_TRUE(readerLines("[CanisterContents]\r\nCanister_1_ml=1500.5\r\n"
                            "Canister_1_size_ml=2000\r\nCanister_1_warn_ml=300\r\n"
                            "Canister_1_min_ml=100\r\nCanister_1_dosed_ul=-12.75\r\n"
                            "Canister_1_colorantName=  Oxide Red  \r\n"
                            "Canister_2_ml=0\r\nCanister_2_colorantName=Blue\r\n"
                            "Canister_4_ml=4\r\n")
                    .empty());
    // Canister 4 lies behind the gap; missing figures count as 0 without a word.
    const std::vector<CanisterState> expected = {
        {1, 0, "Oxide Red", 2000, 1500.5, 300, 100, -12.75}, {2, 0, "Blue", 0, 0, 0, 0, 0}};
    EXPECT_EQ(f.program.resultCanisters, expected);

    // No upper limit on the count.
    std::string many = "[CanisterContents]\r\n";
    for (int i = 1; i <= 300; ++i)
        many += "Canister_" + std::to_string(i) + "_ml=" + std::to_string(i) + ".5\r\n";
    read(many);
    ASSERT_EQ(f.program.resultCanisters.size(), 300u);
    EXPECT_EQ(f.program.resultCanisters[299].canId, 300);
    EXPECT_EQ(f.program.resultCanisters[299].contentMl, 300.5);
}

TEST_F(ResultFile, NonNumericFigureCountsAsZeroWithOneLine) {
    // In a '.' locale "12,5" is no number; nor is text or a grouped figure.
    const std::vector<std::string> lines =
        readerLines("[CanisterContents]\r\nCanister_1_ml=12,5\r\nCanister_1_size_ml=lots\r\n"
                    "Canister_1_warn_ml=300\r\nCanister_1_min_ml=1.000,5\r\nCanister_2_ml=7.5\r\n");
    const std::vector<std::string> expected = {
        "Warning: Result value Canister_1_ml=\"12,5\" is not a number; counted as 0",
        "Warning: Result value Canister_1_size_ml=\"lots\" is not a number; counted as 0",
        "Warning: Result value Canister_1_min_ml=\"1.000,5\" is not a number; counted as 0",
    };
    EXPECT_EQ(lines, expected);
    ASSERT_EQ(f.program.resultCanisters.size(), 2u);
    EXPECT_EQ(f.program.resultCanisters[0].contentMl, 0);
    EXPECT_EQ(f.program.resultCanisters[0].warnMl, 300);
    EXPECT_EQ(f.program.resultCanisters[1].contentMl, 7.5);
}

TEST_F(ResultFile, MergeCarriesContentAndDosedAmount) {
    const std::string result = "[CanisterContents]\r\nCanister_1_ml=1\r\nCanister_2_ml=2\r\n"
                               "Canister_3_ml=975.25\r\nCanister_3_dosed_ul=24750\r\n"
                               "Canister_3_size_ml=1\r\nCanister_3_colorantName=Other\r\n"
                               "Canister_4_ml=4\r\nCanister_5_ml=800\r\nCanister_5_dosed_ul=0\r\n";
    // An empty table takes nothing.
    EXPECT_TRUE(readerLines(result).empty());
    EXPECT_TRUE(f.program.canisterTable.empty());

    f.program.canisterTable = {Can(5, 800, 3), Can(3, 1000, 9), Can(8, 50, 11), Can(3, 1, 1)};
    const std::vector<std::string> expected = {"Content in CanID 3 changed to 975.25",
                                               "Dosed UL in last command for CanID 3 was 24750"};
    EXPECT_EQ(readerLines(result), expected);
    const std::vector<CanisterState> table = {
        Can(5, 800, 0),        // same content: no line; the dosed amount becomes 0
        Can(3, 975.25, 24750), // size and name stay the table's
        Can(8, 50, 11),        // not in the result: untouched
        Can(3, 1, 1),          // only the first entry with the number changes
    };                         // canisters 1, 2 and 4 are not added
    EXPECT_EQ(f.program.canisterTable, table);
}

TEST_F(ResultFile, CommaLocaleReadsAndLogsWithComma) {
    useCommaLocale();
    f.program.canisterTable = {Can(1, 10, 0), Can(2, 20, 0)};
    const std::vector<std::string> expected = {
        "Content in CanID 1 changed to 7,25",
        "Dosed UL in last command for CanID 1 was -5",
        "Dosed UL in last command for CanID 2 was 0,125",
    };
    EXPECT_EQ(readerLines("[CanisterContents]\r\nCanister_1_ml=7,25\r\nCanister_1_dosed_ul=-5\r\n"
                          "Canister_1_size_ml=1000\r\n"
                          "Canister_2_ml=20,0\r\nCanister_2_dosed_ul=0,125\r\n"),
              expected);
    EXPECT_EQ(f.program.resultCanisters[0].sizeMl, 1000);
    EXPECT_EQ(f.program.canisterTable[0].contentMl, 7.25);
    EXPECT_EQ(f.program.canisterTable[1].dosedUl, 0.125);
}

TEST_F(ResultFile, ListsStopAtFirstEmptyAndAtTheirCaps) {
    read("[Features]\r\n" + Keys("Text", 1, 7) + Keys("Text", 9, 20) + "[Errorlog]\r\n" +
         Keys("Error", 1, 51) + "[Version]\r\n" + Keys("Text", 1, 120));
    ASSERT_EQ(f.program.featureLines.size(), 7u);
    EXPECT_EQ(f.program.featureLines[6], "line 7");
    ASSERT_EQ(f.program.errorLogLines.size(), 50u);
    EXPECT_EQ(f.program.errorLogLines[49], "line 50");
    ASSERT_EQ(f.program.versionLines.size(), 100u);
    EXPECT_EQ(f.program.versionLines[99], "line 100");

    // 120 features give 100; a value of blanks ends a list too.
    read("[Features]\r\n" + Keys("Text", 1, 120) + "[Errorlog]\r\nError1=a\r\nError2=   \r\n" +
         "Error3=c\r\n");
    EXPECT_EQ(f.program.featureLines.size(), 100u);
    EXPECT_EQ(f.program.errorLogLines, std::vector<std::string>{"a"});
}

TEST_F(ResultFile, MissingFileGivesNoResultAndKeepsTable) {
    f.program.canisterTable = {Can(1, 10, 4)};
    f.program.featureLines = {"old"};
    WriteFile(at("result.sig"), "");
    const std::vector<std::string> expected = {"Logging data in file: " + at("result.dat"),
                                               "- Error: No file found....", "End of logged data."};
    const size_t before = f.logMessages().size();
    ReadResultFile(f.program);
    const std::vector<std::string> all = f.logMessages();
    EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()),
              expected);
    EXPECT_EQ(f.program.driverResultCode, -1);
    EXPECT_TRUE(f.program.featureLines.empty());
    EXPECT_EQ(f.program.canisterTable, std::vector<CanisterState>{Can(1, 10, 4)});
    EXPECT_FALSE(Exists(at("result.sig")));
}

TEST_F(ResultFile, EmptyJunkLongAndHugeFiles) {
    read("");
    EXPECT_EQ(f.program.driverResultCode, -1);

    std::mt19937 rng(1234);
    std::string junk(64 * 1024, '\0');
    for (char& c : junk)
        c = static_cast<char>(rng() & 0xFF);
    read(junk);
    EXPECT_EQ(f.program.driverResultCode, -1);
    EXPECT_TRUE(f.program.resultCanisters.empty());
    EXPECT_FALSE(Exists(at("result.dat")));

    const char mixed[] = "\0\0[[General]\r\n=\r\n[General]\r\nRESULT=4\r\n\xff\xfe";
    read(std::string(mixed, sizeof mixed - 1));
    EXPECT_EQ(f.program.driverResultCode, 4);

    // Values of 150 characters come back as their first 99.
    const std::string longText(150, 'x');
    read("[General]\r\nOUTPUT=" + longText + "\r\n[CanisterContents]\r\nCanister_1_ml=1\r\n" +
         "Canister_1_colorantName=" + longText + "\r\n[Features]\r\nText1=" + longText + "\r\n");
    EXPECT_EQ(f.program.commandOutput, std::string(99, 'x'));
    EXPECT_EQ(f.program.resultCanisters.at(0).colorantName, std::string(99, 'x'));
    EXPECT_EQ(f.program.featureLines, std::vector<std::string>{std::string(99, 'x')});

    // 10 MB: read to the end.
    std::string big = "[General]\r\nRESULT=0\r\n[Filler]\r\n";
    const std::string filler = "Junk=" + std::string(1000, 'j') + "\r\n";
    while (big.size() < 10 * 1024 * 1024)
        big += filler;
    read(big + "[Features]\r\nText1=found\r\n");
    EXPECT_EQ(f.program.driverResultCode, 0);
    EXPECT_EQ(f.program.featureLines, std::vector<std::string>{"found"});
}
