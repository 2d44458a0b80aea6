// The file primitives on POSIX systems.
#include "frame/fileio.h"

#include "frame/codepage.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace qelp::fileio {

std::string NativePath(const std::string& path) {
    return Cp1252ToUtf8(path);
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Reads a regular file opened as fd whose fstat is st.
static void readOpen(int fd, const struct stat& st, std::string& out) {
    // Read what fstat announced; a file that grows meanwhile is read on to its end.
    const size_t expected = st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0;
    out.resize(expected);
    size_t done = 0;
    while (done < expected) {
        ssize_t n = ::read(fd, out.data() + done, expected - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    out.resize(done);
    if (done == expected) {
        char buf[65536];
        for (;;) {
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            out.append(buf, static_cast<size_t>(n));
            // Growing past the read limit while being read: the caller refuses it.
            if (out.size() > static_cast<size_t>(kMaxReadBytes))
                break;
        }
    }
}

ReadResult ReadFileChecked(const std::string& path, std::string& out, bool followLinks,
                           FileStamp* stamp) {
    out.clear();
    // O_NONBLOCK: a fifo planted under a file name must not block the reader until some
    // writer appears; it is refused below like any other file that is not regular. Reads of
    // regular files are not affected by the flag.
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLinks ? 0 : O_NOFOLLOW);
    int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        struct stat st {};
        if (!followLinks && errno == ELOOP && ::lstat(path.c_str(), &st) == 0 &&
            S_ISLNK(st.st_mode))
            return ReadResult::Link;
        return ReadResult::Missing;
    }
    struct stat st {};
    ReadResult result = ReadResult::Missing;
    if (::fstat(fd, &st) == 0) {
        if (stamp) {
            stamp->device = st.st_dev;
            stamp->inode = st.st_ino;
            stamp->size = st.st_size;
            stamp->mtimeNs =
                static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        }
        if (!S_ISREG(st.st_mode)) {
            result = ReadResult::NotRegular;
        } else if (st.st_size > kMaxReadBytes) {
            result = ReadResult::TooLarge;
        } else {
            readOpen(fd, st, out);
            result = ReadResult::Ok;
            // A file that grew past the limit while it was read is refused all the same.
            if (static_cast<int64_t>(out.size()) > kMaxReadBytes) {
                out.clear();
                out.shrink_to_fit();
                result = ReadResult::TooLarge;
            }
        }
    }
    ::close(fd);
    return result;
}

bool ReadFileBytesStamped(const std::string& path, std::string& out, FileStamp& stamp,
                          int64_t readLimit) {
    out.clear();
    // One open for the stamp and, when the size allows, the read.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (ok) {
        stamp.device = st.st_dev;
        stamp.inode = st.st_ino;
        stamp.size = st.st_size;
        stamp.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        ok = S_ISREG(st.st_mode);
        const int64_t limit = readLimit < 0 ? kMaxReadBytes : std::min(readLimit, kMaxReadBytes);
        if (ok && st.st_size <= limit)
            readOpen(fd, st, out);
        if (static_cast<int64_t>(out.size()) > kMaxReadBytes) {
            out.clear();
            ok = false;
        }
        ok = ok && (readLimit >= 0 || st.st_size <= kMaxReadBytes);
    }
    ::close(fd);
    return ok;
}

std::string ResolveLinks(const std::string& path) {
    std::string at = path;
    // As many hops as the kernel itself follows; a loop ends here and the write then fails
    // on the link itself rather than replacing it.
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return at;
        std::string target(static_cast<size_t>(PATH_MAX), '\0');
        ssize_t n = ::readlink(at.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size())
            return at;
        target.resize(static_cast<size_t>(n));
        if (target.front() != '/') {
            size_t slash = at.rfind('/');
            if (slash != std::string::npos)
                target = at.substr(0, slash + 1) + target;
        }
        at = target;
    }
    return at;
}

// Set by ShareNewFilesWithGroup; -1 while the umask is the one the process started with.
static std::atomic<int> g_sharedUmask{-1};

// The process's umask, read once: reading it means setting it, which would race with another
// thread creating a file. The program changes it only through ShareNewFilesWithGroup.
static mode_t processUmask() {
    if (const int shared = g_sharedUmask.load(); shared >= 0)
        return static_cast<mode_t>(shared);
    static const mode_t mask = [] {
        mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }();
    return mask;
}

void ShareNewFilesWithGroup() {
    const mode_t shared = ::umask(0) & ~static_cast<mode_t>(S_IRWXG);
    ::umask(shared);
    g_sharedUmask = static_cast<int>(shared);
}

static bool writeAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool WriteFileReplacing(const std::string& path, std::string_view bytes) {
    if (path.empty() || path.back() == '/')
        return false;
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    // The temporary name starts with a dot so that a driver scanning for its own file names
    // never mistakes it for one; mkstemp opens it exclusively, so a planted link is never
    // followed.
    std::string tmpl = (slash == std::string::npos ? std::string() : dir) + ".qelp-tmp-XXXXXX";
    int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, bytes);
    // A replaced file keeps its permissions (a private registry store stays private); a new
    // one gets what a plain open would give it, 0666 less the umask.
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        ::fchmod(fd, old.st_mode & 07777);
    } else {
        ::fchmod(fd, 0666 & ~processUmask());
    }
    if (::close(fd) != 0)
        ok = false;
    if (ok && ::rename(tmpl.c_str(), path.c_str()) != 0)
        ok = false;
    if (!ok)
        ::unlink(tmpl.c_str());
    return ok;
}

bool AppendBytes(const std::string& path, std::string_view bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && writeAll(fd, bytes);
    // Whatever part of a failed append reached the file is cut away again. The program is
    // the file's only writer, so the size before the call is where its end belongs.
    if (!ok && S_ISREG(st.st_mode))
        while (::ftruncate(fd, st.st_size) != 0 && errno == EINTR) {
        }
    if (::close(fd) != 0)
        ok = false;
    return ok;
}

bool RemoveFile(const std::string& path) {
    // unlink never removes a directory, as DeleteFile would leave one under a file's name.
    return !path.empty() && ::unlink(path.c_str()) == 0;
}

void UseBinaryStandardOutput() {} // POSIX streams never translate line ends

std::string OwnExecutablePath() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

bool MakeDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) == 0;
}

} // namespace qelp::fileio
