// The file primitives on Windows. Paths are the program's single-byte texts and go to the
// ANSI functions as they are. Every open shares reading, writing and deleting, so that the
// console never locks the driver out of a file the two of them use.
#include "frame/fileio.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>

namespace qelp::fileio {

std::string NativePath(const std::string& path) {
    return path;
}

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A file another program holds open without sharing its deletion cannot be replaced or
// removed at this moment; the driver keeps such a file open for milliseconds, so a short
// retry rides it out. The bound keeps a file held for good from freezing the console.
constexpr int kBusyRetries = 25;
constexpr DWORD kBusyRetryMs = 10;

bool heldByAnother(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}

DWORD attributesOf(const std::string& path) {
    return path.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesA(path.c_str());
}

int64_t fileTimeNs(const FILETIME& t) {
    const uint64_t ticks = (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    return static_cast<int64_t>(ticks) * 100;
}

void stampOf(const BY_HANDLE_FILE_INFORMATION& info, FileStamp& stamp) {
    stamp.device = info.dwVolumeSerialNumber;
    stamp.inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    stamp.size =
        static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    stamp.mtimeNs = fileTimeNs(info.ftLastWriteTime);
}

// Reads on to the end of the file, stopping once it is past the read limit.
bool readOpen(HANDLE file, std::string& out) {
    char buf[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(file, buf, sizeof buf, &n, nullptr))
            return false;
        if (n == 0)
            return true;
        out.append(buf, n);
        if (out.size() > static_cast<size_t>(kMaxReadBytes))
            return true;
    }
}

bool writeAll(HANDLE file, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD n = 0;
        if (!::WriteFile(file, bytes.data() + done, chunk, &n, nullptr) || n == 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

bool IsRegularFile(const std::string& path) {
    const DWORD attributes = attributesOf(path);
    // Hidden and system files do not count, as they do not for a directory listing.
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                           FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE));
}

bool IsDirectory(const std::string& path) {
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

ReadResult ReadFileChecked(const std::string& path, std::string& out, bool followLinks,
                           FileStamp* stamp) {
    out.clear();
    const DWORD attributes = attributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ReadResult::Missing;
    if (!followLinks && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return ReadResult::Link;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))
        return ReadResult::NotRegular;
    const DWORD flags =
        FILE_FLAG_SEQUENTIAL_SCAN | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                flags, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return ReadResult::Missing;
    ReadResult result = ReadResult::Missing;
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(file, &info)) {
        FileStamp own;
        stampOf(info, own);
        if (stamp)
            *stamp = own;
        if (::GetFileType(file) != FILE_TYPE_DISK) {
            result = ReadResult::NotRegular; // a pipe or a device under a file's name
        } else if (own.size > kMaxReadBytes) {
            result = ReadResult::TooLarge;
        } else if (readOpen(file, out)) {
            result = ReadResult::Ok;
            // A file that grew past the limit while it was read is refused all the same.
            if (static_cast<int64_t>(out.size()) > kMaxReadBytes) {
                out.clear();
                out.shrink_to_fit();
                result = ReadResult::TooLarge;
            }
        } else {
            out.clear();
        }
    }
    ::CloseHandle(file);
    return result;
}

bool ReadFileBytesStamped(const std::string& path, std::string& out, FileStamp& stamp,
                          int64_t readLimit) {
    out.clear();
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    bool ok = ::GetFileInformationByHandle(file, &info) && ::GetFileType(file) == FILE_TYPE_DISK;
    if (ok) {
        stampOf(info, stamp);
        const int64_t limit = readLimit < 0 ? kMaxReadBytes : std::min(readLimit, kMaxReadBytes);
        if (stamp.size <= limit)
            ok = readOpen(file, out);
        if (static_cast<int64_t>(out.size()) > kMaxReadBytes) {
            out.clear();
            ok = false;
        }
        ok = ok && (readLimit >= 0 || stamp.size <= kMaxReadBytes);
    }
    ::CloseHandle(file);
    return ok;
}

std::string ResolveLinks(const std::string& path) {
    // Links are an administrator's rarity on Windows; the store is replaced where it is.
    return path;
}

bool WriteFileReplacing(const std::string& path, std::string_view bytes) {
    if (path.empty() || path.back() == '\\' || path.back() == '/')
        return false;
    const size_t slash = path.find_last_of("\\/");
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    // A name of our own in the same directory, starting with a dot so that a driver scanning
    // for its file names never takes it for one; CREATE_NEW never opens a planted file.
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = dir + ".qelp-tmp-" + std::to_string(::GetCurrentProcessId()) + "-" +
                    std::to_string(counter++);
        file = ::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = writeAll(file, bytes);
    if (!::CloseHandle(file))
        ok = false;
    // Replace and write-through: the new file is in place, complete, before the call returns.
    // A target the driver holds open for a moment is retried, not given up at once.
    for (int attempt = 0; ok; ++attempt) {
        if (::MoveFileExA(temporary.c_str(), path.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        if (attempt >= kBusyRetries || !heldByAnother(::GetLastError()))
            ok = false;
        else
            ::Sleep(kBusyRetryMs);
    }
    ::DeleteFileA(temporary.c_str());
    return false;
}

bool AppendBytes(const std::string& path, std::string_view bytes) {
    // A link at the path is refused, not written through.
    const DWORD attributes = attributesOf(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    HANDLE file = ::CreateFileA(path.c_str(), FILE_APPEND_DATA | GENERIC_WRITE, kShareAll, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    bool ok = ::GetFileSizeEx(file, &size) && ::SetFilePointerEx(file, {}, nullptr, FILE_END) &&
              writeAll(file, bytes);
    // Whatever part of a failed append reached the file is cut away again; the program is
    // the file's only writer, so the size before the call is where its end belongs.
    if (!ok && size.QuadPart >= 0 && ::SetFilePointerEx(file, size, nullptr, FILE_BEGIN))
        ::SetEndOfFile(file);
    if (!::CloseHandle(file))
        ok = false;
    return ok;
}

bool RemoveFile(const std::string& path) {
    if (path.empty())
        return false;
    for (int attempt = 0;; ++attempt) {
        if (::DeleteFileA(path.c_str()))
            return true;
        const DWORD error = ::GetLastError();
        // A read-only file or a directory is no busy file: no point in waiting.
        const DWORD attributes = attributesOf(path);
        if (attempt >= kBusyRetries || !heldByAnother(error) ||
            attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
            return false;
        ::Sleep(kBusyRetryMs);
    }
}

void UseBinaryStandardOutput() {
    ::_setmode(::_fileno(stdout), _O_BINARY);
}

std::string OwnExecutablePath() {
    char buf[MAX_PATH * 4];
    const DWORD n = ::GetModuleFileNameA(nullptr, buf, sizeof buf);
    return n == 0 || n >= sizeof buf ? std::string() : std::string(buf, n);
}

// Windows has no umask: a file takes its directory's permissions, which the installer sets.
void ShareNewFilesWithGroup() {}

bool MakeDirectory(const std::string& path) {
    return ::CreateDirectoryA(path.c_str(), nullptr) != 0;
}

} // namespace qelp::fileio
