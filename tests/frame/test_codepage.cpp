// Windows-1252 <-> UTF-8: the conversion at the edge between the single-byte exchange files
// and the Unicode screens.
#include "frame/codepage.h"

#include <gtest/gtest.h>

#include <string>

using namespace qelp;

TEST(Codepage, ColorantNameTravelsBothWays) {
    EXPECT_EQ(Cp1252ToUtf8("Gr\xFCn"), "Gr\xC3\xBCn");
    EXPECT_EQ(Utf8ToCp1252("Gr\xC3\xBCn"), "Gr\xFCn");
    EXPECT_EQ(Cp1252ToUtf8("plain ASCII 0-9\r\n"), "plain ASCII 0-9\r\n");
    EXPECT_EQ(Cp1252ToUtf8(""), "");
    EXPECT_EQ(Utf8ToCp1252(""), "");
}

TEST(Codepage, TheWindowsRangeMapsToItsOwnCharacters) {
    // 0x80 to 0x9F are where Windows-1252 differs from Latin-1.
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC"); // euro sign
    EXPECT_EQ(Cp1252ToUtf8("\x8A"), "\xC5\xA0");     // S caron
    EXPECT_EQ(Cp1252ToUtf8("\x96"), "\xE2\x80\x93"); // en dash
    EXPECT_EQ(Cp1252ToUtf8("\x99"), "\xE2\x84\xA2"); // trade mark
    EXPECT_EQ(Cp1252ToUtf8("\x9F"), "\xC5\xB8");     // Y diaeresis
    // Undefined bytes become the C1 control of the same value, as on Windows.
    EXPECT_EQ(Cp1252ToUtf8("\x81"), "\xC2\x81");
    EXPECT_EQ(Cp1252ToUtf8("\x9D"), "\xC2\x9D");
    // The Latin-1 half.
    EXPECT_EQ(Cp1252ToUtf8("\xA0"), "\xC2\xA0");
    EXPECT_EQ(Cp1252ToUtf8("\xFF"), "\xC3\xBF");
    EXPECT_EQ(Utf8ToCp1252("\xE2\x82\xAC 5"), "\x80 5");
    EXPECT_EQ(Utf8ToCp1252("\xC5\xB8"), "\x9F");
}

TEST(Codepage, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    std::string utf8 = Cp1252ToUtf8(all);
    EXPECT_EQ(Utf8ToCp1252(utf8), all);
    for (int b = 0; b < 256; ++b) {
        std::string one(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(one)), one) << "byte " << b;
    }
}

TEST(Codepage, CharactersWithoutAByteBecomeOneQuestionMarkEach) {
    EXPECT_EQ(Utf8ToCp1252("\xCE\xA9"), "?"); // Greek Omega
    EXPECT_EQ(Utf8ToCp1252("a\xE4\xB8\xAD"
                           "b"),
              "a?b");                                   // a CJK character
    EXPECT_EQ(Utf8ToCp1252("\xF0\x9F\x98\x80!"), "?!"); // a 4-byte emoji
    EXPECT_EQ(Utf8ToCp1252("\xC2\x80"), "?");           // U+0080: 0x80 is the euro
}

TEST(Codepage, InvalidUtf8BytesBecomeQuestionMarks) {
    EXPECT_EQ(Utf8ToCp1252("\x80"
                           "A"),
              "?A");                        // lone continuation byte
    EXPECT_EQ(Utf8ToCp1252("A\xC3"), "A?"); // truncated at the end
    EXPECT_EQ(Utf8ToCp1252("\xC3"
                           "A"),
              "?A"); // truncated by an ASCII byte
    EXPECT_EQ(Utf8ToCp1252("\xE2\x82"
                           "B"),
              "??B");                                         // 3-byte form cut short
    EXPECT_EQ(Utf8ToCp1252("\xFF\xFE"), "??");                // never valid in UTF-8
    EXPECT_EQ(Utf8ToCp1252("\xF8\x88\x80\x80\x80"), "?????"); // 5-byte form
}

TEST(Codepage, OverlongFormsDoNotSmuggleInAsciiCharacters) {
    // An overlong encoding is invalid UTF-8: it must not turn into '/', NUL or a letter,
    // which the file and command layers treat specially.
    EXPECT_EQ(Utf8ToCp1252("\xC0\xAF"), "??");           // overlong '/'
    EXPECT_EQ(Utf8ToCp1252("\xC1\x81"), "??");           // overlong 'A'
    EXPECT_EQ(Utf8ToCp1252("\xE0\x80\x80"), "???");      // overlong NUL
    EXPECT_EQ(Utf8ToCp1252("\xE0\x81\x9C"), "???");      // overlong backslash
    EXPECT_EQ(Utf8ToCp1252("\xF0\x80\x81\x81"), "????"); // overlong 'A', 4 bytes
    // The shortest forms of the same characters still convert.
    EXPECT_EQ(Utf8ToCp1252("/A"), "/A");
    EXPECT_EQ(Utf8ToCp1252("\xC2\xA0"), "\xA0");
}
