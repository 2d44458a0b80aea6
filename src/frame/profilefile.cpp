// The profile files' own reader and writer, for hosts without the Win32 private-profile
// functions: the same rules as those functions, applied to the file's bytes.
#include "frame/fileio.h"
#include "frame/profile.h"
#include "frame/profileindex.h"
#include "frame/textutil.h"

#include <mutex>

namespace qelp::profile {

namespace {

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

bool writeIfChanged(const std::string& file, const std::string& before, bool existed,
                    const std::string& after) {
    if (existed && after == before)
        return true; // untouched, byte for byte and time stamp
    return fileio::WriteFileReplacing(file, after);
}

} // namespace

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

size_t IndexCacheBytes() {
    std::lock_guard<std::mutex> lock(g_indexMutex);
    return g_indexBytes;
}

bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& file) {
    // An empty key names nothing the reader could find again.
    if (TrimSpace(key).empty())
        return false;
    std::string text;
    const bool existed = fileio::IsRegularFile(file);
    if (existed && !fileio::ReadFileBytes(file, text))
        return false; // an existing file we cannot read is never overwritten blindly
    return writeIfChanged(file, text, existed, SetInText(text, section, key, value));
}

bool DeleteProfileEntry(std::string_view section, std::optional<std::string_view> key,
                        const std::string& file) {
    std::string text;
    if (!fileio::IsRegularFile(file))
        return true; // nothing to delete, and no file is created for it
    if (!fileio::ReadFileBytes(file, text))
        return false;
    return writeIfChanged(file, text, true, DeleteInText(text, section, key));
}

} // namespace qelp::profile
