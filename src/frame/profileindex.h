#pragma once
// The index of a profile file's keys, shared by the in-memory snapshot and the file reader
// that caches indexes of large files. Internal to the frame.
#include "frame/fileio.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace qelp::profile {

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

FileIndex buildIndex(std::string_view bytes);
std::string findInIndex(const FileIndex& index, std::string_view section, std::string_view key);

} // namespace qelp::profile
