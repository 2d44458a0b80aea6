#pragma once
// The command-file list read by "Send Command FileList": a text file naming command files.
#include <string>
#include <string_view>
#include <vector>

namespace qelp {

// Splits the list into its entries, in order:
// - entries are separated by commas and line ends (CR LF, LF or a lone CR);
// - blanks (spaces and tabs) before an entry are skipped;
// - an entry that begins with a double quote runs to the next double quote, commas and
//   blanks included; the quotes are not part of it;
// - an unquoted entry runs to the next comma or line end;
// - entries that are empty or only blanks are dropped.
// Paths are returned as written: a relative entry is later looked up from the program's
// current directory, and the log shows it as the operator wrote it.
std::vector<std::string> ParseCommandFileList(std::string_view text);

} // namespace qelp
