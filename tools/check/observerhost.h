#pragma once
// The system side of the file observer, one source file per host: the change notifications
// and what a look at one file shows. fileobserver.cpp builds the observers on these.
#include "fileobserver.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qelpcheck {

// What one look at a file shows. A file replaced by another (renamed into place) has
// another identity even when its size and time are the same.
struct FileLook {
    bool present = false;
    uint64_t identity = 0;
    int64_t size = 0;
    int64_t modifiedNs = 0;
    bool operator==(const FileLook&) const = default;
};

// The directory (UTF-8, ending in the separator) exists and is a directory.
bool IsWatchableDirectory(const std::string& directory);

// The file (UTF-8) as it is now, links not followed.
FileLook LookAt(const std::string& path);

// An observer told by the system's change notifications of every change to the named files
// in the directory, or null when the directory's file system offers none.
std::unique_ptr<FileObserver> CreateNotifiedObserver(const std::string& directory,
                                                     std::vector<std::string> names);

} // namespace qelpcheck
