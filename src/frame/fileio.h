#pragma once
// The file primitives under every file the program writes. Writers replace files through a
// temporary file in the same directory and a rename, so another process never sees half a
// file and a symbolic link planted at the target is replaced, never written through.
#include <cstdint>
#include <string>
#include <string_view>

namespace qelp::fileio {

// A regular file (following links) is at the path.
bool IsRegularFile(const std::string& path);
// A directory is at the path.
bool IsDirectory(const std::string& path);

// Reads the whole file. False when it cannot be opened or is not a regular file.
bool ReadFileBytes(const std::string& path, std::string& out);

// Replaces the file at path with exactly these bytes (temporary file, then rename).
// False when the directory is missing or not writable; the old file is then untouched.
bool WriteFileReplacing(const std::string& path, std::string_view bytes);

// Replaces `to` with a copy of `from` in the same way. False when `from` cannot be read
// or `to` cannot be written.
bool CopyFileReplacing(const std::string& from, const std::string& to);

// Appends the bytes to the file, creating it when missing. The file is opened and closed
// for this one call. Refuses to follow a symbolic link at the path.
bool AppendBytes(const std::string& path, std::string_view bytes);

// Removes the file. False when nothing was removed (missing file included).
bool RemoveFile(const std::string& path);

// Creates one directory level. True when it was created.
bool MakeDirectory(const std::string& path);

// Identity of a file's current content as far as the file system tells it; used to
// decide whether a cached parse of a large file is still valid.
struct FileStamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = -1;
    int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};
// Reads the whole file, like ReadFileBytes, and reports its stamp from the same open. With a
// readLimit of 0 or more, a larger file is stamped but not read (out stays empty).
bool ReadFileBytesStamped(const std::string& path, std::string& out, FileStamp& stamp,
                          int64_t readLimit = -1);

} // namespace qelp::fileio
