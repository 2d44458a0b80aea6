#pragma once
// The file primitives under every file the program writes. Writers replace files through a
// temporary file in the same directory and a rename, so another process never sees half a
// file and a symbolic link planted at the target is replaced, never written through.
#include <cstdint>
#include <string>
#include <string_view>

namespace qelp::fileio {

// The system's name for a program path. The program's texts, paths included, are
// Windows-1252, as the registry store, the profile files and the log hold them; Linux names
// files in UTF-8, Windows takes those bytes as they are through its ANSI calls. The
// functions here take system names; whatever opens a file by a program path converts first.
std::string NativePath(const std::string& path);

// A regular file (following links) is at the path.
bool IsRegularFile(const std::string& path);
// A directory is at the path.
bool IsDirectory(const std::string& path);

// The largest file any reader takes in. Every file the program reads (registry store,
// profile and exchange files, command files and lists) is a few kilobytes; a larger one is
// junk or hostile and is refused before a byte of it is read, so it can neither exhaust
// memory nor freeze the program.
inline constexpr int64_t kMaxReadBytes = 16 * 1024 * 1024;

enum class ReadResult {
    Ok,
    Missing,    // nothing there, or it cannot be opened
    NotRegular, // a directory, fifo, device ...
    Link,       // a symbolic link, where links are refused
    TooLarge,   // over kMaxReadBytes
};

struct FileStamp;

// Reads a regular file whole, up to kMaxReadBytes. With followLinks false a symbolic link
// at the path is refused instead of followed (links in the directory part still count).
// The stamp, when asked for, comes from the same open.
ReadResult ReadFileChecked(const std::string& path, std::string& out, bool followLinks = true,
                           FileStamp* stamp = nullptr);

// The log line for a refused read (Link, TooLarge), naming the file; empty for the rest.
std::string RefusalText(ReadResult result, const std::string& path);

// ReadFileChecked with links followed: true only for Ok.
bool ReadFileBytes(const std::string& path, std::string& out);

// The file a chain of symbolic links at path ends in (path itself when it is no link). A
// writer that must keep an administrator's link replaces this file instead of the link.
std::string ResolveLinks(const std::string& path);

// Replaces the file at path with exactly these bytes (temporary file, then rename).
// False when the directory is missing or not writable; the old file is then untouched.
bool WriteFileReplacing(const std::string& path, std::string_view bytes);

// Replaces `to` with a copy of `from` in the same way. False when `from` cannot be read
// or `to` cannot be written.
bool CopyFileReplacing(const std::string& from, const std::string& to);

// Every operator in the installation's group shares its data directory, so what a program
// creates there must stay writable by the group: clears the group bits of the umask, for
// the files this layer creates from now on and for every other file the process creates.
// Called at a program's start, before other threads exist.
void ShareNewFilesWithGroup();

// Appends the bytes to the file, creating it when missing. The file is opened and closed
// for this one call. Refuses to follow a symbolic link at the path. All or nothing: when
// the write falls short (a full disk), the file is cut back to its size before the call,
// so no half line is left for the next append to be glued onto.
bool AppendBytes(const std::string& path, std::string_view bytes);

// Removes the file. False when nothing was removed (missing file included).
bool RemoveFile(const std::string& path);

// Creates one directory level. True when it was created.
bool MakeDirectory(const std::string& path);

// The running executable's full path, as the system names it (links resolved on Linux);
// empty when the system cannot tell.
std::string OwnExecutablePath();

// Makes standard output pass bytes through as they are, so that a tool prints a value's
// bytes and LF line ends alike on every host (Windows would turn LF into CR LF).
void UseBinaryStandardOutput();

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
// readLimit of 0 or more, a larger file is stamped but not read (out stays empty); a file
// over kMaxReadBytes is never read.
bool ReadFileBytesStamped(const std::string& path, std::string& out, FileStamp& stamp,
                          int64_t readLimit = -1);

} // namespace qelp::fileio
