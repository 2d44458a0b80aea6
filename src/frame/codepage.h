#pragma once
// Exchange files, command files and the event log are single-byte text in the code page a
// Windows driver writes, Windows-1252. The core keeps those bytes untouched in its strings;
// only the screens convert, at their edge, to and from Unicode.
#include <cstdint>
#include <string>
#include <string_view>

namespace qelp {

// Every byte maps to one character; the five bytes that Windows-1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value, as Windows does.
std::string Cp1252ToUtf8(std::string_view bytes);
// Characters without a Windows-1252 byte become '?'. Invalid UTF-8 bytes also become '?'.
std::string Utf8ToCp1252(std::string_view utf8);
// Appends one Unicode code point as UTF-8.
void AppendUtf8(std::string& out, uint32_t codePoint);
// UTF-8 text with its capital letters made small, for matching without regard to letter
// case: ASCII and the Latin-1 letters (every letter Windows-1252 text can hold but the few
// in 0x80-0x9F). Other bytes pass unchanged, so the result is valid where the input was.
std::string FoldCaseUtf8(std::string_view utf8);

} // namespace qelp
