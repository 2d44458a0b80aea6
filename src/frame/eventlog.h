#pragma once
// The event log: one time-stamped line per entry, "yyyy-MM-dd HH:mm:ss > message" with
// CR LF, appended to the log file, which is opened and closed for every line. Every
// logged message also goes to the console's status line.
#include <string>

namespace qelp {

class Program;

// Appends the line and shows the message on the status line. A log file that cannot be
// written drops the line; the status line is still updated and the program goes on.
void WriteLogLine(Program& program, const std::string& message);

// Copies a file into the log between the lines "Logging data in file: <path>" and
// "End of logged data.", one log line per file line (lines end at CR LF, LF or a lone CR).
// A missing file gives "- Error: No file found...." between the markers.
void LogFileContents(Program& program, const std::string& path);

// The same, for a file the caller has just read itself (bytes null: no file was found), so
// that a file that is also parsed or copied is read only once.
void LogFileBytes(Program& program, const std::string& path, const std::string* bytes);

// Reads a regular file whole for LogFileBytes; false when there is none. A symbolic link or
// a file over the read limit is refused with a log line naming it and counts as missing.
bool ReadExchangeFile(Program& program, const std::string& path, std::string& bytes);

} // namespace qelp
