#pragma once
// What the operator views show, without widgets: a canister's level state and its spoken
// text, and the event log's lines read from the end backwards and followed as it grows.
#include "frame/types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qelp {

// --- Canister levels. ---
enum class LevelState { Normal, Warning, Minimum };
// At or below the minimum level: Minimum; else at or below the warning level: Warning.
LevelState LevelStateOf(const CanisterState& canister);
// "ok", "warning" or "minimum".
const char* LevelStateWord(LevelState state);
// "Red Oxide: 1390 of 2000 ml, warning": numbers in the user's number format, Windows-1252.
std::string LevelText(const CanisterState& canister, char decimalSeparator);
// The bar's fill, content / size, within [0, 1]; 0 for a canister without a size.
double LevelFraction(double valueMl, double sizeMl);

// --- Event log. ---
struct LogFilter {
    std::string text;        // UTF-8; matched without regard to letter case, empty matches all
    bool errorsOnly = false; // only lines that contain "Error"
};
bool LogLineMatches(const std::string& utf8Line, const LogFilter& filter);

// Reads a text file from its end backwards in bounded chunks, and what is appended to it
// afterwards, decoding Windows-1252 to UTF-8; lines end at CR LF, LF or a lone CR. Only the
// file's size and position are kept, so a log of any size opens at once.
class LogTail {
public:
    // path is a program path (Windows-1252), like the log's in the program state.
    explicit LogTail(const std::string& path, size_t chunkBytes = 256 * 1024);

    // Lines before the earliest read so far, oldest first: at least `lines` of them unless
    // the start of the file comes first (at most one chunk past what that needs). The first
    // call starts at the file's present end.
    std::vector<std::string> readEarlier(size_t lines);
    // Complete lines appended since the last call, oldest first. A file that became shorter
    // was replaced or emptied: then `restarted` is set and reading begins again at its start.
    std::vector<std::string> readNew(bool& restarted);
    // True once readEarlier has reached the start of the file.
    bool atStart() const { return m_started && m_begin == 0 && m_head.empty(); }

private:
    void start();

    std::string m_path;
    size_t m_chunk;
    bool m_started = false;
    uint64_t m_begin = 0; // bytes before this offset are not read yet (backwards)
    uint64_t m_end = 0;   // bytes from this offset on are not read yet (forwards)
    std::string m_head;   // bytes of a line cut by the last backward chunk
    std::string m_tail;   // bytes of a line still being written
};

} // namespace qelp
