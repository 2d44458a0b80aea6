#include "frame/posixhost.h"

#include "frame/codepage.h"
#include "frame/fileio.h"
#include "frame/profile.h"
#include "frame/registry.h"
#include "frame/textutil.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <spawn.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qelp {

namespace {

std::string readSmallFile(const std::string& path) {
    std::string bytes;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return bytes;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0 && bytes.size() < 65536)
        bytes.append(buf, static_cast<size_t>(n));
    ::close(fd);
    return bytes;
}

// Every path and process name crosses here into the system's UTF-8.
std::string native(const std::string& cp1252) {
    return fileio::NativePath(cp1252);
}

std::string baseName(const std::string& path) {
    size_t at = path.rfind('/');
    return at == std::string::npos ? path : path.substr(at + 1);
}

// The process entry's name as the host lists it: NULs removed, blanks trimmed.
std::string cleanName(const std::string& raw) {
    return TrimBlanks(RemoveNuls(raw));
}

bool prefixMatches(const std::string& candidate, const std::string& upperName) {
    return candidate.size() >= upperName.size() &&
           ToUpperAscii(candidate.substr(0, upperName.size())) == upperName;
}

// Closes every descriptor above 2 in the child of a spawn. glibc 2.34 has a file action
// for it; elsewhere each descriptor open now is closed by name.
void closeAboveStandardStreams(posix_spawn_file_actions_t& actions) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#else
    DIR* fds = ::opendir("/proc/self/fd");
    if (!fds)
        return;
    const int own = ::dirfd(fds);
    while (dirent* entry = ::readdir(fds)) {
        const int fd = IsAllDigits(entry->d_name) ? std::atoi(entry->d_name) : -1;
        if (fd > 2 && fd != own)
            posix_spawn_file_actions_addclose(&actions, fd);
    }
    ::closedir(fds);
#endif
}

} // namespace

// inotify on the directory and, when the driver's pid is known, a pidfd that turns readable
// when the driver ends, both behind one epoll descriptor that a waiter polls. A dead driver
// thus wakes the result wait at once instead of at its next timeout.
class ExchangeWatch : public DirectoryWatch {
public:
    ExchangeWatch(const std::string& directory, int pid) : m_directory(directory), m_pid(pid) {
        m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
        m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        // Only names appearing and going matter to the console: it tests which files exist
        // and reads a data file only after its signal file appeared. Writes into a file
        // would just wake it for nothing.
        uint32_t mask =
            IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF;
        bool watching = m_epoll >= 0 && m_inotify >= 0 &&
                        ::inotify_add_watch(m_inotify, directory.c_str(), mask) >= 0 &&
                        add(m_inotify);
        if (pid > 0) {
            m_pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
            watching = (m_pidfd >= 0 && add(m_pidfd)) || watching;
        }
        if (!watching) {
            closeAll();
        }
    }
    ~ExchangeWatch() override { closeAll(); }
    std::intptr_t nativeHandle() const override { return m_epoll; }
    void drain() override {
        if (m_inotify < 0)
            return;
        alignas(inotify_event) char buf[8192];
        ssize_t n;
        while ((n = ::read(m_inotify, buf, sizeof buf)) > 0) {
            for (ssize_t at = 0; at < n;) {
                const auto* ev = reinterpret_cast<const inotify_event*>(buf + at);
                // The directory went (or moved): this watch will never fire again.
                if (ev->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF))
                    m_broken = true;
                at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            }
        }
    }
    // Still usable for the same directory and driver process.
    bool serves(const std::string& directory, int pid) const {
        return !m_broken && m_epoll >= 0 && directory == m_directory && pid == m_pid;
    }

private:
    bool add(int fd) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = fd;
        return ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &ev) == 0;
    }
    void closeAll() {
        for (int* fd : {&m_epoll, &m_inotify, &m_pidfd}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
    }
    std::string m_directory;
    int m_pid = -1;
    bool m_broken = false;
    int m_epoll = -1;
    int m_inotify = -1;
    int m_pidfd = -1;
};

// What a waiter holds: the host keeps the watch itself from one wait to the next.
class SharedWatch : public DirectoryWatch {
public:
    explicit SharedWatch(std::shared_ptr<ExchangeWatch> watch) : m_watch(std::move(watch)) {}
    std::intptr_t nativeHandle() const override { return m_watch->nativeHandle(); }
    void drain() override { m_watch->drain(); }

private:
    std::shared_ptr<ExchangeWatch> m_watch;
};

namespace {} // namespace

namespace {
// State letter and comm of a process, both from /proc/PID/stat in one read. Empty state when
// the process is gone.
void readStat(int pid, char& state, std::string& comm) {
    state = 0;
    comm.clear();
    std::string stat = readSmallFile("/proc/" + std::to_string(pid) + "/stat");
    // "pid (comm) S ...": comm may itself hold parentheses, so the last ')' ends it.
    size_t open = stat.find('(');
    size_t close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open ||
        close + 2 >= stat.size())
        return;
    comm = stat.substr(open + 1, close - open - 1);
    state = stat[close + 2];
}

bool zombieOrGone(char state) {
    return state == 0 || state == 'Z' || state == 'X' || state == 'x';
}

// A process on its way out: killed (SIGKILL pending, the moment kill() returns) or already
// tearing itself down (PF_EXITING), though not yet a zombie. Such a process can never serve
// another command, so it must not count as a running driver that a start could adopt.
bool dying(int pid) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/";
    const std::string stat = readSmallFile(dir + "stat");
    // Fields after the comm: state, ppid, pgrp, session, tty_nr, tpgid, flags.
    size_t at = stat.rfind(')');
    for (int field = 0; field < 7 && at != std::string::npos; ++field)
        at = stat.find(' ', at + 1);
    constexpr unsigned long kExiting = 0x4; // PF_EXITING
    if (at != std::string::npos && (std::strtoul(stat.c_str() + at + 1, nullptr, 10) & kExiting))
        return true;
    const std::string status = readSmallFile(dir + "status");
    for (const char* field : {"\nSigPnd:", "\nShdPnd:"}) {
        size_t line = status.find(field);
        if (line == std::string::npos)
            continue;
        const unsigned long long pending =
            std::strtoull(status.c_str() + line + std::strlen(field), nullptr, 16);
        if (pending & (1ULL << (SIGKILL - 1)))
            return true;
    }
    return false;
}
} // namespace

bool IsZombieOrGone(int pid) {
    char state;
    std::string comm;
    readStat(pid, state, comm);
    return zombieOrGone(state);
}

bool NamesMatch(const ProcessNames& names, const std::string& name) {
    const std::string wanted = ToUpperAscii(cleanName(name));
    // An empty name would match every process; the program never means that, and killing
    // the first process of the host is never what an operator wants.
    if (wanted.empty())
        return false;
    const std::string comm = cleanName(names.comm);
    std::vector<std::string> full;
    if (!names.exe.empty())
        full.push_back(cleanName(baseName(names.exe)));
    if (!names.argv.empty() && !names.argv[0].empty())
        full.push_back(cleanName(baseName(names.argv[0])));
    // An interpreted program runs as its interpreter; the kernel names the process after the
    // script it was started as, and the script's path is one of the interpreter's arguments.
    // Only that argument counts: a program that merely opens a file of the driver's name
    // (an editor, a copy) is not the driver.
    for (size_t i = 1; i < names.argv.size() && !comm.empty(); ++i) {
        std::string script = cleanName(baseName(names.argv[i]));
        if (script.substr(0, 15) == comm) {
            full.push_back(script);
            break;
        }
    }
    full.erase(std::remove(full.begin(), full.end(), std::string()), full.end());
    if (!full.empty())
        return std::any_of(full.begin(), full.end(),
                           [&](const std::string& n) { return prefixMatches(n, wanted); });
    // Nothing but comm can be read (a kernel thread, a process that hides its command line
    // from us): comm is cut at 15 characters, so a full-length comm stands for any longer
    // name that begins with it.
    if (prefixMatches(comm, wanted))
        return true;
    return comm.size() == 15 && wanted.size() > 15 && ToUpperAscii(comm) == wanted.substr(0, 15);
}

static bool nameMatches(int pid, const std::string& name) {
    if (pid == ::getpid())
        return false;
    const std::string dir = "/proc/" + std::to_string(pid) + "/";
    char state;
    ProcessNames names;
    readStat(pid, state, names.comm);
    if (zombieOrGone(state))
        return false;
    char exe[PATH_MAX];
    ssize_t n = ::readlink((dir + "exe").c_str(), exe, sizeof exe - 1);
    if (n > 0) {
        names.exe.assign(exe, static_cast<size_t>(n));
        const std::string deleted = " (deleted)";
        if (names.exe.size() > deleted.size() &&
            names.exe.compare(names.exe.size() - deleted.size(), deleted.size(), deleted) == 0)
            names.exe.resize(names.exe.size() - deleted.size());
    }
    const std::string cmdline = readSmallFile(dir + "cmdline");
    for (size_t at = 0; at < cmdline.size();) {
        size_t end = cmdline.find('\0', at);
        if (end == std::string::npos)
            end = cmdline.size();
        names.argv.push_back(cmdline.substr(at, end - at));
        at = end + 1;
    }
    return NamesMatch(names, name);
}

bool ProcessMatches(int pid, const std::string& name) {
    return nameMatches(pid, name) && !dying(pid);
}

PosixHost::PosixHost(std::string programPath) : m_programPath(std::move(programPath)) {
    if (m_programPath.empty()) {
        char buf[PATH_MAX];
        ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n > 0)
            m_programPath.assign(buf, static_cast<size_t>(n));
    }
}

void PosixHost::reapChildren() {
    // Children we launched stay listed as zombies until collected; collecting them here, at
    // every process query, keeps an ended driver from being reported as running.
    m_children.erase(std::remove_if(m_children.begin(), m_children.end(),
                                    [](int pid) {
                                        int status = 0;
                                        pid_t r = ::waitpid(pid, &status, WNOHANG);
                                        return r == pid || (r < 0 && errno == ECHILD);
                                    }),
                     m_children.end());
}

bool PosixHost::confirmCached(const std::string& name) {
    auto it = m_knownPid.find(ToUpperAscii(name));
    if (it == m_knownPid.end())
        return false;
    if (ProcessMatches(it->second, native(name)))
        return true;
    m_knownPid.erase(it);
    return false;
}

int PosixHost::findFirst(const std::string& name) {
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return -1;
    int found = -1;
    while (dirent* entry = ::readdir(proc)) {
        if (!IsAllDigits(entry->d_name))
            continue;
        int pid = std::atoi(entry->d_name);
        if (ProcessMatches(pid, native(name))) {
            found = pid;
            break;
        }
    }
    ::closedir(proc);
    return found;
}

bool PosixHost::IsProcessRunning(const std::string& name) {
    reapChildren();
    // A full scan of /proc costs milliseconds; the driver found last time is confirmed with
    // a few reads of its own entries instead. Any matching process makes the answer true,
    // so the cheap check gives the same answer as the scan whenever it succeeds.
    if (confirmCached(name))
        return true;
    int pid = findFirst(name);
    if (pid < 0)
        return false;
    m_knownPid[ToUpperAscii(name)] = pid;
    return true;
}

bool PosixHost::TerminateProcessByName(const std::string& name) {
    reapChildren();
    // Always the first match in the host's list order, never the cached one.
    int pid = findFirst(name);
    if (pid < 0)
        return false;
    // SIGKILL is the nearest thing to TerminateProcess: no notice, no clean-up by the driver.
    ::kill(pid, SIGKILL);
    m_knownPid.erase(ToUpperAscii(name));
    return true;
}

int PosixHost::LaunchProcess(const std::string& commandLine, const std::string& workingDirectory,
                             int /*showMode*/) {
    reapChildren();
    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_init(&actions);
    // A new session: the driver outlives the console and does not get its terminal's signals.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    // The driver shares no stream with the console: it has its own window on Windows, and an
    // inherited pipe would keep a reader of the console's output waiting for as long as the
    // driver lives.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // Nothing else the console holds passes on: an inherited exchange file, log or socket
    // would stay open for as long as the driver lives.
    closeAboveStandardStreams(actions);
    const std::string directory = native(workingDirectory);
    if (!directory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    // The whole command line is the executable's path: no shell, no arguments.
    std::string path = native(commandLine);
    char* argv[] = {path.data(), nullptr};
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, path.c_str(), &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        return 1;
    m_children.push_back(pid);
    m_knownPid[ToUpperAscii(FileNameOf(commandLine))] = pid;
    return 0;
}

void PosixHost::WriteProfileString(const std::string& section, const std::string& key,
                                   const std::string& value, const std::string& file) {
    // The program writes profile files only into the exchange directory, where the driver's
    // side may have planted a link: a link is not merged but replaced by a plain file. An
    // existing file that cannot be read is never overwritten blindly.
    std::string text;
    const fileio::ReadResult read = fileio::ReadFileChecked(native(file), text, false);
    ReportFile(fileio::RefusalText(read, file));
    if (read == fileio::ReadResult::TooLarge || read == fileio::ReadResult::NotRegular ||
        (read == fileio::ReadResult::Missing && fileio::IsRegularFile(native(file))))
        return;
    fileio::WriteFileReplacing(native(file), profile::SetInText(text, section, key, value));
}

std::string PosixHost::registryPath() const {
    return (m_dataDirectory.empty() ? DirectoryOf(m_programPath) : m_dataDirectory) +
           kRegistryFileName;
}

RegistryStore PosixHost::registryStore() {
    return RegistryStore(registryPath(), [this](const std::string& line) { ReportFile(line); });
}

std::vector<std::string> PosixHost::ReadRegistryValues(RegistryRoot, const std::string& keyPath,
                                                       const std::vector<std::string>& names) {
    return registryStore().ReadAsTexts(keyPath, names);
}

void PosixHost::WriteRegistryString(RegistryRoot, const std::string& keyPath,
                                    const std::string& valueName, const std::string& value) {
    registryStore().WriteText(keyPath, valueName, value);
}

int PosixHost::DeleteFileAt(const std::string& path) {
    return fileio::RemoveFile(native(path)) ? 0 : 1;
}
bool PosixHost::FileExists(const std::string& path) {
    return fileio::IsRegularFile(native(path));
}
bool PosixHost::DirectoryExists(const std::string& path) {
    return fileio::IsDirectory(native(path));
}
bool PosixHost::CreateDirectoryAt(const std::string& path) {
    return fileio::MakeDirectory(native(path));
}
bool PosixHost::IsSameFile(const std::string& pathA, const std::string& pathB) {
    const std::string a = native(pathA);
    const std::string b = native(pathB);
    struct stat first {};
    struct stat second {};
    if (::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0)
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    // A file that cannot be examined is still the same when both paths resolve to one.
    char resolvedA[PATH_MAX];
    char resolvedB[PATH_MAX];
    return ::realpath(a.c_str(), resolvedA) && ::realpath(b.c_str(), resolvedB) &&
           std::strcmp(resolvedA, resolvedB) == 0;
}
bool PosixHost::readReported(const std::string& path, std::string& bytes, bool followLinks) {
    const fileio::ReadResult read = fileio::ReadFileChecked(native(path), bytes, followLinks);
    ReportFile(fileio::RefusalText(read, path));
    return read == fileio::ReadResult::Ok;
}
bool PosixHost::CopyFileTo(const std::string& from, const std::string& to) {
    std::string bytes;
    return readReported(from, bytes, true) && fileio::WriteFileReplacing(native(to), bytes);
}
bool PosixHost::WriteWholeFile(const std::string& path, const std::string& bytes) {
    return fileio::WriteFileReplacing(native(path), bytes);
}
bool PosixHost::ReadWholeFile(const std::string& path, std::string& bytes) {
    return readReported(path, bytes, true);
}
bool PosixHost::ReadPlainFile(const std::string& path, std::string& bytes) {
    return readReported(path, bytes, false);
}
bool PosixHost::AppendToFile(const std::string& path, const std::string& bytes) {
    return fileio::AppendBytes(native(path), bytes);
}

std::unique_ptr<DirectoryWatch> PosixHost::WatchDirectory(const std::string& watched,
                                                          const std::string& processName) {
    const std::string directory = native(watched);
    auto known = m_knownPid.find(ToUpperAscii(processName));
    const int pid = known == m_knownPid.end() ? -1 : known->second;
    // Setting a watch up and tearing it down costs nine system calls, as much as a third of
    // a whole command; one command after another waits on the same directory and driver,
    // so the watch is kept and only emptied of what happened since.
    if (m_watch && m_watch->serves(directory, pid)) {
        m_watch->drain();
        if (m_watch->serves(directory, pid))
            return std::make_unique<SharedWatch>(m_watch);
    }
    m_watch = std::make_shared<ExchangeWatch>(directory, pid);
    return std::make_unique<SharedWatch>(m_watch);
}

std::string PosixHost::ProgramPath() {
    // Into the program's code page; a character it lacks becomes '?', as it does for a
    // Windows program that asks for its path in the code page.
    return Utf8ToCp1252(m_programPath);
}

namespace {
// One item of the user's numeric locale from the environment, read without changing the
// process's own C locale, as a single byte of the exchange files' code page; `fallback` when
// the locale is not installed or the item is no such byte.
char numericItem(nl_item item, char fallback) {
    locale_t loc = ::newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0))
        return fallback;
    const char* text = ::nl_langinfo_l(item, loc);
    // A UTF-8 locale spells a no-break space in two bytes; the code page has it in one.
    const std::string byte = Utf8ToCp1252(text ? text : "");
    ::freelocale(loc);
    return byte.size() == 1 && byte != "?" ? byte[0] : fallback;
}
} // namespace

char PosixHost::DecimalSeparator() {
    return numericItem(RADIXCHAR, '.');
}

char PosixHost::GroupSeparator() {
    const char group = numericItem(THOUSEP, 0);
    return group == DecimalSeparator() ? 0 : group;
}

} // namespace qelp
