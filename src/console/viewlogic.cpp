#include "console/viewlogic.h"

#include "frame/codepage.h"
#include "frame/fileio.h"
#include "frame/textutil.h"

#include <algorithm>
#include <fstream>
#include <utility>

namespace qelp {

LevelState LevelStateOf(const CanisterState& c) {
    if (c.contentMl <= c.minMl)
        return LevelState::Minimum;
    if (c.contentMl <= c.warnMl)
        return LevelState::Warning;
    return LevelState::Normal;
}

const char* LevelStateWord(LevelState state) {
    switch (state) {
    case LevelState::Minimum:
        return "minimum";
    case LevelState::Warning:
        return "warning";
    case LevelState::Normal:
        break;
    }
    return "ok";
}

std::string LevelText(const CanisterState& c, char decimalSeparator) {
    return c.colorantName + ": " + FormatGeneral(c.contentMl, decimalSeparator) + " of " +
           FormatGeneral(c.sizeMl, decimalSeparator) + " ml, " + LevelStateWord(LevelStateOf(c));
}

double LevelFraction(double valueMl, double sizeMl) {
    if (!(sizeMl > 0) || !(valueMl > 0))
        return 0;
    return std::min(1.0, valueMl / sizeMl);
}

bool LogLineMatches(const std::string& line, const LogFilter& filter) {
    if (filter.errorsOnly && line.find("Error") == std::string::npos)
        return false;
    return filter.text.empty() ||
           FoldCaseUtf8(line).find(FoldCaseUtf8(filter.text)) != std::string::npos;
}

namespace {

uint64_t FileSize(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = file ? std::streamoff(file.tellg()) : 0;
    return size > 0 ? static_cast<uint64_t>(size) : 0;
}

std::string ReadRange(const std::string& path, uint64_t from, uint64_t count) {
    std::ifstream file(path, std::ios::binary);
    std::string bytes(count, '\0');
    if (!file.seekg(static_cast<std::streamoff>(from)))
        return {};
    file.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(std::max<std::streamsize>(file.gcount(), 0)));
    return bytes;
}

// The end of the line end at `at` (CR LF, LF or a lone CR), or 0 when there is none.
size_t LineEndAfter(const std::string& bytes, size_t at) {
    if (bytes[at] == '\n')
        return at + 1;
    if (bytes[at] == '\r')
        return at + 1 < bytes.size() && bytes[at + 1] == '\n' ? at + 2 : at + 1;
    return 0;
}

} // namespace

LogTail::LogTail(const std::string& path, size_t chunkBytes)
    : m_path(fileio::NativePath(path)), m_chunk(std::max<size_t>(chunkBytes, 16)) {}

void LogTail::start() {
    m_started = true;
    m_head.clear();
    m_tail.clear();
    m_end = FileSize(m_path);
    // A line still being written at the end stays for readNew to complete.
    const uint64_t from = m_end > m_chunk ? m_end - m_chunk : 0;
    const std::string last = ReadRange(m_path, from, m_end - from);
    const size_t cut = last.find_last_of("\r\n");
    size_t keep = cut == std::string::npos ? (from == 0 ? last.size() : 0) : last.size() - cut - 1;
    // A CR at the very end may be the first half of a CR LF.
    if (!last.empty() && last.back() == '\r')
        keep = 1;
    m_tail = last.substr(last.size() - keep);
    m_begin = m_end - keep;
}

std::vector<std::string> LogTail::readEarlier(size_t lines) {
    if (!m_started)
        start();
    std::vector<std::vector<std::string>> groups; // newest group first
    size_t found = 0;
    while (found < lines && !atStart()) {
        const uint64_t from = m_begin > m_chunk ? m_begin - m_chunk : 0;
        // m_head is the first line of the bytes already read, with its line end, but
        // perhaps without its start: it is completed by what comes before it.
        const std::string bytes = ReadRange(m_path, from, m_begin - from) + m_head;
        m_begin = from;
        std::vector<std::string> group;
        size_t lineStart = 0;
        bool first = true;
        for (size_t i = 0; i < bytes.size();) {
            const size_t next = LineEndAfter(bytes, i);
            if (next == 0) {
                ++i;
                continue;
            }
            if (first && from > 0) {
                m_head = bytes.substr(0, next);
            } else {
                group.push_back(
                    Cp1252ToUtf8(std::string_view(bytes).substr(lineStart, i - lineStart)));
            }
            first = false;
            lineStart = i = next;
        }
        if (first) // no line end at all: the whole chunk is part of one line
            m_head = from > 0 ? bytes : std::string();
        if (from == 0) {
            if (first && !bytes.empty())
                group.push_back(Cp1252ToUtf8(bytes));
            m_head.clear();
        }
        found += group.size();
        groups.push_back(std::move(group));
    }
    std::vector<std::string> out;
    out.reserve(found);
    for (auto group = groups.rbegin(); group != groups.rend(); ++group)
        for (std::string& line : *group)
            out.push_back(std::move(line));
    return out;
}

std::vector<std::string> LogTail::readNew(bool& restarted) {
    restarted = false;
    if (!m_started)
        start();
    const uint64_t size = FileSize(m_path);
    if (size < m_end) {
        restarted = true;
        start();
        return {};
    }
    std::string bytes = m_tail + ReadRange(m_path, m_end, size - m_end);
    m_end = size;
    std::vector<std::string> out;
    size_t lineStart = 0;
    for (size_t i = 0; i < bytes.size();) {
        // A CR at the very end waits: its LF may follow.
        const size_t next = bytes[i] == '\r' && i + 1 == bytes.size() ? 0 : LineEndAfter(bytes, i);
        if (next == 0) {
            ++i;
            continue;
        }
        out.push_back(Cp1252ToUtf8(std::string_view(bytes).substr(lineStart, i - lineStart)));
        lineStart = i = next;
    }
    m_tail = bytes.substr(lineStart);
    return out;
}

} // namespace qelp
