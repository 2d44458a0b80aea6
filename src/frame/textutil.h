#pragma once
// Small text helpers shared by every layer: the path pieces, the digits test, number
// formatting in the general form and the half-to-even rounding the console uses.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qelp {

// The host's path separator. Directory values in the program state always end with it.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The path up to and including its last separator; a path without one is returned whole.
std::string DirectoryOf(std::string_view path);
// The text after the last separator; a path without one is returned whole.
std::string FileNameOf(std::string_view path);
// True for a non-empty text made only of the characters '0' to '9'.
bool IsAllDigits(std::string_view text);

// Digits-only text whose value fits a 32-bit signed integer; anything else is empty.
// Leading zeros are allowed ("0012" is 12).
std::optional<int32_t> ParseDigits32(std::string_view text);

std::string ToUpperAscii(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
// Removes blanks (spaces only) at both ends.
std::string TrimBlanks(std::string_view text);
// Removes spaces and tabs at both ends.
std::string TrimSpace(std::string_view text);
std::string RemoveNuls(std::string_view text);
void ReplaceAll(std::string& text, std::string_view from, std::string_view to);
// A path that names its place without a working directory: "/..." on POSIX; on Windows a
// drive and a separator (C:\dir, C:/dir), or a root or network path (\\server\share).
bool IsAbsolutePath(std::string_view path);
// Appends kPathSeparator unless the text already ends with it (the empty text becomes it).
std::string WithTrailingSeparator(std::string_view dir);

// General number form: at most 15 significant digits, no trailing zeros, no decimal
// separator for whole values, a 0 before the separator for values below 1. The separator
// is the one given (the user's locale on screens and in the log, '.' in command files).
std::string FormatGeneral(double value, char decimalSeparator);
inline std::string FormatInvariant(double value) {
    return FormatGeneral(value, '.');
}

// Reads a decimal number written in a locale whose separators are decimalSeparator and
// groupSeparator (0: the locale groups no digits): optional blanks, an optional sign,
// digits with at most one decimal separator, an optional exponent, optional blanks. Whole
// digits may be grouped in threes ("1.234,5" in a German locale): a group separator must
// stand between digits, after one to three digits at first and exactly three afterwards,
// so a figure written in the other locale's form ("12.5" there) is still no number rather
// than 125. Empty when the text is not such a number or not finite.
std::optional<double> ParseLocaleNumber(std::string_view text, char decimalSeparator,
                                        char groupSeparator = 0);

// Rounds to the nearest whole number, a value exactly halfway going to the even one.
double RoundHalfEven(double value);

} // namespace qelp
