#include "frame/profile.h"

#include "frame/fileio.h"
#include "frame/textutil.h"

#include <map>
#include <mutex>

namespace qelp::profile {

namespace {

struct LineRef {
    size_t start = 0; // first byte of the line
    size_t end = 0;   // one past the last byte before the terminator
    size_t next = 0;  // first byte of the next line
};

// Calls f(line) for every line; lines end at CR LF, LF or a lone CR. f returns false to stop.
template <class F> void forEachLine(std::string_view text, F&& f) {
    size_t pos = 0;
    while (pos < text.size()) {
        LineRef line;
        line.start = pos;
        size_t i = pos;
        while (i < text.size() && text[i] != '\r' && text[i] != '\n')
            ++i;
        line.end = i;
        if (i < text.size()) {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                i += 2;
            else
                ++i;
        }
        line.next = i;
        pos = i;
        if (!f(line))
            return;
    }
}

// Section name of a section line, or nothing for other lines.
bool sectionNameOf(std::string_view content, std::string& name) {
    std::string s = TrimSpace(content);
    if (s.empty() || s.front() != '[')
        return false;
    size_t close = s.find(']');
    name = TrimSpace(
        std::string_view(s).substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

bool keyLineOf(std::string_view content, std::string& key, std::string& value) {
    size_t eq = content.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = TrimSpace(content.substr(0, eq));
    value = TrimSpace(content.substr(eq + 1));
    return true;
}

std::string unquote(std::string value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// Large files (a runaway driver, junk) are indexed once per version of the file, so that a
// reader asking for hundreds of keys does not parse megabytes hundreds of times. Small files
// are read afresh on every call, which is what keeps the exchange files always current.
constexpr int64_t kIndexThreshold = 256 * 1024;
// The indexes kept, in all. The least recently used goes first when a new one needs room;
// a file too large for the budget is searched in its text on every call instead; and an
// entry goes as soon as its file is found changed or gone. Indexes thus never hold more
// than this, however large or many the files were.
constexpr size_t kIndexCacheBudget = 4 * 1024 * 1024;
// What one map entry costs besides its text (node, pointers, string headers), roughly.
constexpr size_t kIndexNodeBytes = 96;

struct FileIndex {
    fileio::FileStamp stamp;
    // upper-case section -> upper-case key -> value, first occurrences only
    std::map<std::string, std::map<std::string, std::string>> sections;
    size_t bytes = 0;     // estimated memory held
    uint64_t lastUse = 0; // for evicting the least recently used
};

FileIndex buildIndex(std::string_view text) {
    FileIndex index;
    std::map<std::string, std::string>* current = nullptr;
    forEachLine(text, [&](const LineRef& line) {
        std::string_view content = text.substr(line.start, line.end - line.start);
        std::string name, key, value;
        if (sectionNameOf(content, name)) {
            auto [it, fresh] = index.sections.try_emplace(ToUpperAscii(name));
            current = fresh ? &it->second : nullptr;
            if (fresh)
                index.bytes += kIndexNodeBytes + name.size();
        } else if (current && keyLineOf(content, key, value)) {
            if (current->try_emplace(ToUpperAscii(key), unquote(value)).second)
                index.bytes += kIndexNodeBytes + key.size() + value.size();
        }
        return true;
    });
    return index;
}

std::string findInIndex(const FileIndex& index, std::string_view section, std::string_view key) {
    auto s = index.sections.find(ToUpperAscii(section));
    if (s == index.sections.end())
        return {};
    auto k = s->second.find(ToUpperAscii(key));
    return k == s->second.end() ? std::string() : k->second;
}

std::mutex g_indexMutex;
std::map<std::string, FileIndex> g_indexes;
size_t g_indexBytes = 0;
uint64_t g_indexUses = 0;

void dropIndex(std::map<std::string, FileIndex>::iterator it) {
    g_indexBytes -= it->second.bytes;
    g_indexes.erase(it);
}

void dropIndex(const std::string& file) {
    std::lock_guard<std::mutex> lock(g_indexMutex);
    auto it = g_indexes.find(file);
    if (it != g_indexes.end())
        dropIndex(it);
}

} // namespace

std::string LookupInText(std::string_view text, std::string_view section, std::string_view key) {
    bool inSection = false;
    bool seenSection = false;
    std::string result;
    forEachLine(text, [&](const LineRef& line) {
        std::string_view content = text.substr(line.start, line.end - line.start);
        std::string name, k, v;
        if (sectionNameOf(content, name)) {
            if (seenSection)
                return false; // only the first section of that name counts
            inSection = EqualsIgnoreCase(name, section);
            seenSection = inSection;
            return true;
        }
        if (inSection && keyLineOf(content, k, v) && EqualsIgnoreCase(k, key)) {
            result = unquote(v);
            return false;
        }
        return true;
    });
    return result;
}

std::string GetPrivateProfileValue(std::string_view section, std::string_view key,
                                   const std::string& file, size_t bufferSize) {
    if (bufferSize == 0)
        return {};
    std::string value;
    std::string text;
    fileio::FileStamp stamp;
    // One open serves both the size test and, for the usual small file, the read.
    if (!fileio::ReadFileBytesStamped(file, text, stamp, kIndexThreshold) ||
        stamp.size > fileio::kMaxReadBytes) {
        dropIndex(file); // the file went or is refused: its index goes with it
        return {};
    }
    if (stamp.size > kIndexThreshold) {
        std::lock_guard<std::mutex> lock(g_indexMutex);
        auto it = g_indexes.find(file);
        if (it != g_indexes.end() && it->second.stamp == stamp) {
            it->second.lastUse = ++g_indexUses;
            value = findInIndex(it->second, section, key);
        } else {
            if (it != g_indexes.end())
                dropIndex(it); // an index of an older version of the file
            if (!fileio::ReadFileBytesStamped(file, text, stamp))
                return {};
            if (static_cast<size_t>(stamp.size) > kIndexCacheBudget) {
                value = LookupInText(text, section, key);
            } else {
                FileIndex index = buildIndex(text);
                index.stamp = stamp;
                index.lastUse = ++g_indexUses;
                value = findInIndex(index, section, key);
                if (index.bytes <= kIndexCacheBudget) {
                    g_indexBytes += index.bytes;
                    g_indexes[file] = std::move(index);
                    while (g_indexBytes > kIndexCacheBudget) {
                        auto oldest = g_indexes.begin();
                        for (auto at = g_indexes.begin(); at != g_indexes.end(); ++at)
                            if (at->second.lastUse < oldest->second.lastUse)
                                oldest = at;
                        dropIndex(oldest);
                    }
                }
            }
        }
    } else {
        value = LookupInText(text, section, key);
    }
    if (value.size() > bufferSize - 1)
        value.resize(bufferSize - 1);
    return value;
}

namespace {
// The program's cut of a raw value: what a 100-character buffer holds, NULs removed, blanks
// trimmed.
std::string programValue(std::string value) {
    if (value.size() > 99)
        value.resize(99);
    return TrimBlanks(RemoveNuls(value));
}
} // namespace

std::string ReadProfileString(std::string_view section, std::string_view key,
                              const std::string& file) {
    return programValue(GetPrivateProfileValue(section, key, file, 100));
}

size_t IndexCacheBytes() {
    std::lock_guard<std::mutex> lock(g_indexMutex);
    return g_indexBytes;
}

struct ProfileSnapshot::Index {
    FileIndex file;
};

ProfileSnapshot::ProfileSnapshot(std::string_view text) : m_index(new Index{buildIndex(text)}) {}

ProfileSnapshot::~ProfileSnapshot() {
    delete m_index;
}

std::string ProfileSnapshot::Read(std::string_view section, std::string_view key) const {
    return programValue(findInIndex(m_index->file, section, key));
}

std::string SetInText(std::string_view text, std::string_view section, std::string_view key,
                      std::string_view value) {
    const std::string newLine = std::string(key) + "=" + std::string(value);
    bool inSection = false;
    bool sectionFound = false;
    bool done = false;
    size_t lastContentNext = std::string::npos; // after the last non-blank line of the section
    bool lastContentTerminated = true;
    std::string out;

    forEachLine(text, [&](const LineRef& line) {
        std::string_view content = text.substr(line.start, line.end - line.start);
        std::string name, k, v;
        if (sectionNameOf(content, name)) {
            if (inSection)
                return false; // left the section without finding the key
            if (!sectionFound && EqualsIgnoreCase(name, section)) {
                inSection = sectionFound = true;
                lastContentNext = line.next;
                lastContentTerminated = line.next > line.end;
            }
            return true;
        }
        if (!inSection)
            return true;
        if (keyLineOf(content, k, v) && EqualsIgnoreCase(k, key)) {
            // The key keeps its spelling in the file, as with the Win32 writer.
            out.assign(text.substr(0, line.start));
            out += k + "=" + std::string(value);
            out.append(text.substr(line.end));
            done = true;
            return false;
        }
        if (!TrimSpace(content).empty()) {
            lastContentNext = line.next;
            lastContentTerminated = line.next > line.end;
        }
        return true;
    });
    if (done)
        return out;
    if (sectionFound) {
        out.assign(text.substr(0, lastContentNext));
        if (!lastContentTerminated)
            out += "\r\n";
        out += newLine + "\r\n";
        out.append(text.substr(lastContentNext));
        return out;
    }
    out.assign(text);
    if (!out.empty() && out.back() != '\n' && out.back() != '\r')
        out += "\r\n";
    out += "[" + std::string(section) + "]\r\n" + newLine + "\r\n";
    return out;
}

bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& file) {
    std::string text;
    if (fileio::IsRegularFile(file) && !fileio::ReadFileBytes(file, text))
        return false; // an existing file we cannot read is never overwritten blindly
    return fileio::WriteFileReplacing(file, SetInText(text, section, key, value));
}

} // namespace qelp::profile
