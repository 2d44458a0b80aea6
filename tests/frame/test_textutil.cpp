// The small text helpers: path pieces, the digits test, 32-bit digit parsing, the general
// number form, locale number reading and half-to-even rounding.
#include "frame/textutil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace qelp;

TEST(PathPieces, SplitAtTheLastSeparator) {
    EXPECT_EQ(DirectoryOf("/a/b/drv.exe"), "/a/b/");
    EXPECT_EQ(FileNameOf("/a/b/drv.exe"), "drv.exe");
    EXPECT_EQ(DirectoryOf("/drv"), "/");
    EXPECT_EQ(FileNameOf("/drv"), "drv");
    // A trailing separator: the whole path is the directory, the file name is empty.
    EXPECT_EQ(DirectoryOf("/a/b/"), "/a/b/");
    EXPECT_EQ(FileNameOf("/a/b/"), "");
}

TEST(PathPieces, PathWithoutSeparatorIsReturnedWholeByBoth) {
    EXPECT_EQ(DirectoryOf("drv.exe"), "drv.exe");
    EXPECT_EQ(FileNameOf("drv.exe"), "drv.exe");
    EXPECT_EQ(DirectoryOf(""), "");
    EXPECT_EQ(FileNameOf(""), "");
}

TEST(PathPieces, OnlyTheHostSeparatorSplits) {
    // On Linux a backslash is an ordinary file-name character.
    ASSERT_EQ(kPathSeparator, '/');
    EXPECT_EQ(DirectoryOf("C:\\a\\drv.exe"), "C:\\a\\drv.exe");
    EXPECT_EQ(FileNameOf("C:\\a\\drv.exe"), "C:\\a\\drv.exe");
    EXPECT_EQ(FileNameOf("/x/C:\\a\\drv.exe"), "C:\\a\\drv.exe");
}

TEST(PathPieces, WithTrailingSeparatorAddsOnlyWhenMissing) {
    EXPECT_EQ(WithTrailingSeparator("/a"), "/a/");
    EXPECT_EQ(WithTrailingSeparator("/a/"), "/a/");
    EXPECT_EQ(WithTrailingSeparator(""), "/");
}

TEST(IsAllDigits, AcceptsOnlyNonEmptyDigitRuns) {
    EXPECT_TRUE(IsAllDigits("0042"));
    EXPECT_TRUE(IsAllDigits("0"));
    EXPECT_TRUE(IsAllDigits("99999999999999999999999"));
    for (const char* text : {"", "-1", "+1", " 2", "2 ", "1.5", "1,5", "12a", "a12", "0x1", "\t3",
                             "\xEF\xBC\x91" /* fullwidth 1 */})
        EXPECT_FALSE(IsAllDigits(text)) << '"' << text << '"';
    EXPECT_FALSE(IsAllDigits(std::string("1\0"
                                         "2",
                                         3)));
}

TEST(ParseDigits32, ReadsDigitsThatFitASigned32BitInteger) {
    EXPECT_EQ(ParseDigits32("0012"), 12);
    EXPECT_EQ(ParseDigits32("0"), 0);
    EXPECT_EQ(ParseDigits32("2147483647"), std::numeric_limits<int32_t>::max());
    // Leading zeros do not count towards the size.
    EXPECT_EQ(ParseDigits32("0000000000000000002147483647"), 2147483647);
}

TEST(ParseDigits32, RejectsOverflowAndAnythingButDigits) {
    EXPECT_EQ(ParseDigits32("2147483648"), std::nullopt);
    EXPECT_EQ(ParseDigits32("4294967296"), std::nullopt);
    // Large enough to overflow a 64-bit accumulator as well.
    EXPECT_EQ(ParseDigits32("99999999999999999999999"), std::nullopt);
    EXPECT_EQ(ParseDigits32("-1"), std::nullopt);
    EXPECT_EQ(ParseDigits32(""), std::nullopt);
    EXPECT_EQ(ParseDigits32(" 1"), std::nullopt);
}

TEST(TextHelpers, CaseAndTrimming) {
    EXPECT_EQ(ToUpperAscii("drv.exe"), "DRV.EXE");
    // Bytes outside ASCII are left as they are (0xFC is a Windows-1252 u-umlaut).
    EXPECT_EQ(ToUpperAscii("gr\xFCn"), "GR\xFCN");
    EXPECT_TRUE(EqualsIgnoreCase("Result", "rESULT"));
    EXPECT_FALSE(EqualsIgnoreCase("Result", "Results"));
    EXPECT_FALSE(EqualsIgnoreCase("a[", "A{")); // '[' and '{' differ by the case bit
    EXPECT_EQ(TrimBlanks("  12 "), "12");
    EXPECT_EQ(TrimBlanks("\t12 "), "\t12"); // blanks only
    EXPECT_EQ(TrimBlanks("   "), "");
    EXPECT_EQ(TrimSpace(" \t12\t "), "12");
    EXPECT_EQ(RemoveNuls(std::string("\0a\0b\0", 5)), "ab");
}

TEST(TextHelpers, ReplaceAllDoesNotRescanReplacedText) {
    std::string text = "aaa";
    ReplaceAll(text, "a", "aa");
    EXPECT_EQ(text, "aaaaaa");
    text = "a-b-c";
    ReplaceAll(text, "-", "");
    EXPECT_EQ(text, "abc");
    text = "abc";
    ReplaceAll(text, "", "x"); // an empty pattern changes nothing
    EXPECT_EQ(text, "abc");
}

TEST(FormatGeneral, WholeValuesHaveNoSeparatorAndFractionsNoTrailingZeros) {
    EXPECT_EQ(FormatGeneral(0, '.'), "0");
    EXPECT_EQ(FormatGeneral(-0.0, '.'), "0");
    EXPECT_EQ(FormatGeneral(12, '.'), "12");
    EXPECT_EQ(FormatGeneral(100, '.'), "100");
    EXPECT_EQ(FormatGeneral(-250, '.'), "-250");
    EXPECT_EQ(FormatGeneral(2.50, '.'), "2.5");
    EXPECT_EQ(FormatGeneral(1234567.891, '.'), "1234567.891");
}

TEST(FormatGeneral, ValuesBelowOneKeepTheirLeadingZero) {
    EXPECT_EQ(FormatGeneral(0.5, '.'), "0.5");
    EXPECT_EQ(FormatGeneral(-0.25, '.'), "-0.25");
    EXPECT_EQ(FormatGeneral(0.001, '.'), "0.001");
}

TEST(FormatGeneral, FifteenSignificantDigitsHideBinaryNoise) {
    EXPECT_EQ(FormatGeneral(0.1 + 0.2, '.'), "0.3");
    EXPECT_EQ(FormatGeneral(1.0 / 3.0, '.'), "0.333333333333333");
    EXPECT_EQ(FormatGeneral(123456789012345.0, '.'), "123456789012345");
}

TEST(FormatGeneral, UsesTheGivenSeparator) {
    EXPECT_EQ(FormatGeneral(12.5, ','), "12,5");
    EXPECT_EQ(FormatGeneral(-0.75, ','), "-0,75");
    EXPECT_EQ(FormatGeneral(1234567, ','), "1234567"); // no digit grouping
    EXPECT_EQ(FormatInvariant(12.5), "12.5");
}

TEST(ParseLocaleNumber, ReadsNumbersWithTheGivenSeparator) {
    EXPECT_EQ(ParseLocaleNumber("12.5", '.'), 12.5);
    EXPECT_EQ(ParseLocaleNumber("12,5", ','), 12.5);
    EXPECT_EQ(ParseLocaleNumber("  -3 ", '.'), -3.0);
    EXPECT_EQ(ParseLocaleNumber("\t7\t", '.'), 7.0);
    EXPECT_EQ(ParseLocaleNumber("+4", '.'), 4.0);
    EXPECT_EQ(ParseLocaleNumber(".5", '.'), 0.5);
    EXPECT_EQ(ParseLocaleNumber("5.", '.'), 5.0);
    EXPECT_EQ(ParseLocaleNumber("1e3", '.'), 1000.0);
    EXPECT_EQ(ParseLocaleNumber("2,5E-1", ','), 0.25);
    EXPECT_EQ(ParseLocaleNumber("1e+2", '.'), 100.0);
}

TEST(ParseLocaleNumber, RejectsOtherSeparatorsGroupingAndJunk) {
    // A '.' number read with a ',' locale is not silently taken as something else.
    EXPECT_EQ(ParseLocaleNumber("12.5", ','), std::nullopt);
    EXPECT_EQ(ParseLocaleNumber("12,5", '.'), std::nullopt);
    EXPECT_EQ(ParseLocaleNumber("1.234,5", ','), std::nullopt);
    EXPECT_EQ(ParseLocaleNumber("1,234.5", '.'), std::nullopt);
    for (const char* text : {"", "   ", "-", "+", ".", "1.2.3", "1e", "1e+", "e5", "12a", "0x10",
                             "nan", "inf", "- 1", "1 2", "++1"})
        EXPECT_EQ(ParseLocaleNumber(text, '.'), std::nullopt) << '"' << text << '"';
}

TEST(ParseLocaleNumber, RejectsValuesThatAreNotFinite) {
    EXPECT_EQ(ParseLocaleNumber("1e999", '.'), std::nullopt);
    EXPECT_EQ(ParseLocaleNumber("-1e999", '.'), std::nullopt);
}

TEST(ParseLocaleNumber, ReadsBackWhatFormatGeneralWrites) {
    for (double value : {0.0, 12.0, -3.25, 0.001, 1234567.891, 1.0 / 3.0}) {
        for (char sep : {'.', ','}) {
            std::optional<double> back = ParseLocaleNumber(FormatGeneral(value, sep), sep);
            ASSERT_TRUE(back.has_value()) << value;
            EXPECT_NEAR(*back, value, std::fabs(value) * 1e-14) << value;
        }
    }
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven(0.5), 0.0);
    EXPECT_EQ(RoundHalfEven(1.5), 2.0);
    EXPECT_EQ(RoundHalfEven(2.5), 2.0);
    EXPECT_EQ(RoundHalfEven(3.5), 4.0);
    EXPECT_EQ(RoundHalfEven(-0.5), 0.0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2.0);
    EXPECT_EQ(RoundHalfEven(-2.5), -2.0);
}

TEST(RoundHalfEven, OtherValuesGoToTheNearest) {
    EXPECT_EQ(RoundHalfEven(2.4), 2.0);
    EXPECT_EQ(RoundHalfEven(2.6), 3.0);
    EXPECT_EQ(RoundHalfEven(2.5000001), 3.0);
    EXPECT_EQ(RoundHalfEven(-2.6), -3.0);
    EXPECT_EQ(RoundHalfEven(7.0), 7.0);
    EXPECT_EQ(RoundHalfEven(1e300), 1e300);
}
