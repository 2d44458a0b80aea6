// Windows-1252 <-> UTF-8 at the edge between the exchange files and the screens.
#include "frame/codepage.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

using namespace qelp;

TEST(Codepage, BothWaysAndBadInputBecomesQuestionMarks) {
    EXPECT_EQ(Cp1252ToUtf8("\x80\x8A\x99"),
              "\xE2\x82\xAC\xC5\xA0\xE2\x84\xA2");                       // euro, S caron, TM
    EXPECT_EQ(Cp1252ToUtf8("\x81\xA0\xFF"), "\xC2\x81\xC2\xA0\xC3\xBF"); // undefined -> C1
    EXPECT_EQ(Utf8ToCp1252("\xE2\x82\xAC 5\xC5\xB8"), "\x80 5\x9F");
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
    // Overlong forms must not smuggle in '/', NUL, 'A' or a backslash.
    const char* const cases[] = {"\xCE\xA9",     "?",     "\xF0\x9F\x98\x80!", "?!",
                                 "\xC2\x80",     "?",     "\x80\x41",          "?A",
                                 "A\xC3",        "A?",    "\xE2\x82\x42",      "??B",
                                 "\xFF\xFE",     "??",    "\xC0\xAF",          "??",
                                 "\xC1\x81",     "??",    "\xE0\x80\x80",      "???",
                                 "\xE0\x81\x9C", "???",   "\xF0\x80\x81\x81",  "????",
                                 "/A\xC2\xA0",   "/A\xA0"};
    for (size_t i = 0; i < std::size(cases); i += 2) // pairs of UTF-8 input and the result
        EXPECT_EQ(Utf8ToCp1252(cases[i]), cases[i + 1]) << cases[i + 1];
}
