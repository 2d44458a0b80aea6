#include "frame/eventlog.h"

#include "frame/program.h"

namespace qelp {

namespace {
std::string formatLine(Program& program, const std::string& message) {
    return program.clock.LocalTimestamp() + " > " + message + "\r\n";
}
} // namespace

void WriteLogLine(Program& program, const std::string& message) {
    // A log that cannot be written (read-only directory, a planted link) loses the line;
    // the operator still sees it on the status line and the program goes on.
    program.host.AppendToFile(program.files.logFilePath, formatLine(program, message));
    program.ui.setStatusLine(message);
}

bool ReadExchangeFile(Program& program, const std::string& path, std::string& bytes) {
    bytes.clear();
    // A link or an oversized file is refused with its own log line and then reads as a
    // missing file.
    return program.host.ReadPlainFile(path, bytes);
}

void LogFileContents(Program& program, const std::string& path) {
    std::string bytes;
    const bool found = ReadExchangeFile(program, path, bytes);
    LogFileBytes(program, path, found ? &bytes : nullptr);
}

void LogFileBytes(Program& program, const std::string& path, const std::string* bytes) {
    WriteLogLine(program, "Logging data in file: " + path);
    if (bytes) {
        // Each copied line gets its own time stamp; all of them go out in one append, which
        // is what keeping the log open for the copy amounts to. An append is all or nothing,
        // so a full disk may lose the copy but never tears a line or a marker. A line ends at CR
        // LF, at a lone CR, or at a lone LF (files written on Linux end their lines that way).
        std::string out;
        size_t pos = 0;
        while (pos < bytes->size()) {
            size_t end = bytes->find_first_of("\r\n", pos);
            if (end == std::string::npos) {
                out += formatLine(program, bytes->substr(pos));
                break;
            }
            out += formatLine(program, bytes->substr(pos, end - pos));
            pos = end +
                  (((*bytes)[end] == '\r' && end + 1 < bytes->size() && (*bytes)[end + 1] == '\n')
                       ? 2
                       : 1);
        }
        if (!out.empty())
            program.host.AppendToFile(program.files.logFilePath, out);
    } else {
        WriteLogLine(program, "- Error: No file found....");
    }
    WriteLogLine(program, "End of logged data.");
}

} // namespace qelp
