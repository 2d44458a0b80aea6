// Processes on Linux with real child processes: the name match (executable, argv[0], comm
// and its 15-character cut), zombies, termination of the first match only, and launching
// a driver in its own session and working directory.
//
// Every process name carries this test process's pid, so parallel runs never see each
// other's processes, and every child started here is killed and collected at the end.
#include "frame/posixhost.h"
#include "frame/textutil.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace qelp;
using namespace qelptest;

namespace {

std::string Base36(unsigned long value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[value % 36]);
        value /= 36;
    } while (value != 0);
    return digits;
}

// A short text unique to this process and call, for process names: the pid and a counter
// in base 36 with a separator outside that alphabet, so that no id is a prefix of another
// live one. Short, so that names built on it stay within the 15 characters of comm.
std::string UniqueId() {
    static unsigned long counter = 0;
    return Base36(static_cast<unsigned long>(::getpid())) + "-" + Base36(++counter);
}

// Polls until the condition holds or ten seconds have passed; returns the condition.
bool WaitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

std::string ReadProc(int pid, const std::string& entry) {
    return ReadFile("/proc/" + std::to_string(pid) + "/" + entry);
}

// The state letter of /proc/PID/stat, or 0 when the process is gone.
char StateOf(int pid) {
    std::string stat = ReadProc(pid, "stat");
    size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() ? 0 : stat[close + 2];
}

// Field 6 of /proc/PID/stat: the session id.
int SessionOf(int pid) {
    std::string stat = ReadProc(pid, "stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    char state = 0;
    int ppid = 0, pgrp = 0, session = -1;
    std::sscanf(stat.c_str() + close + 1, " %c %d %d %d", &state, &ppid, &pgrp, &session);
    return session;
}

bool HasArgument(int pid, const std::string& arg) {
    std::string cmdline = ReadProc(pid, "cmdline");
    size_t start = 0;
    while (start < cmdline.size()) {
        size_t end = cmdline.find('\0', start);
        if (end == std::string::npos)
            end = cmdline.size();
        if (cmdline.compare(start, end - start, arg) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// Live processes (not zombies) with an argument that passes the test, in /proc order, which
// is the order the host lists processes in.
std::vector<int> LivePidsWhere(const std::function<bool(int)>& test) {
    std::vector<int> pids;
    if (DIR* d = ::opendir("/proc")) {
        while (dirent* e = ::readdir(d)) {
            if (!IsAllDigits(e->d_name))
                continue;
            int pid = std::atoi(e->d_name);
            char state = StateOf(pid);
            if (state != 0 && state != 'Z' && pid != ::getpid() && test(pid))
                pids.push_back(pid);
        }
        ::closedir(d);
    }
    return pids;
}

std::vector<int> LivePidsWithArgument(const std::string& arg) {
    return LivePidsWhere([&](int pid) { return HasArgument(pid, arg); });
}

std::vector<int> LivePidsWithArgumentPrefix(const std::string& prefix) {
    return LivePidsWhere([&](int pid) {
        std::string cmdline = ReadProc(pid, "cmdline");
        return cmdline.rfind(prefix, 0) == 0 || cmdline.find('\0' + prefix) != std::string::npos;
    });
}

// Of the given pids, the one the host's process list shows first.
int FirstInListOrder(const std::vector<int>& pids) {
    int first = -1;
    if (DIR* d = ::opendir("/proc")) {
        while (dirent* e = ::readdir(d)) {
            if (!IsAllDigits(e->d_name))
                continue;
            int pid = std::atoi(e->d_name);
            if (std::find(pids.begin(), pids.end(), pid) != pids.end()) {
                first = pid;
                break;
            }
        }
        ::closedir(d);
    }
    return first;
}

// Children of this test, killed and collected when the guard ends. Only a pid that is
// still an uncollected child of this process is killed: such a pid cannot have been reused.
class Children {
public:
    ~Children() {
        for (int pid : m_pids) {
            if (::waitpid(pid, nullptr, WNOHANG) == 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
        }
    }
    void add(int pid) { m_pids.push_back(pid); }

    // Starts the executable at path with the given argv, in this session, stdin /dev/null.
    int spawn(const std::string& path, const std::vector<std::string>& args) {
        std::vector<std::string> copy = args;
        std::vector<char*> argv;
        for (std::string& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        pid_t pid = -1;
        int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            return -1;
        add(pid);
        // The spawn returns while the exec may still be finishing; the command line is set
        // last.
        WaitUntil([&] { return HasArgument(pid, args.back()) || StateOf(pid) == 'Z'; });
        return pid;
    }

private:
    std::vector<int> m_pids;
};

class Processes : public ::testing::Test {
protected:
    // A copy of sleep(1) under the given file name; it runs while it has an argument.
    std::string sleeper(const std::string& fileName, const std::string& subdir = {}) {
        std::string folder = dir.path() + subdir;
        if (!subdir.empty())
            ::mkdir(folder.c_str(), 0755);
        std::string path = folder + fileName;
        WriteFile(path, ReadFile("/bin/sleep"));
        ::chmod(path.c_str(), 0755);
        return path;
    }
    // A shell script driver (started through its shebang line) that waits, without any
    // child process of its own, until release() is called for it.
    std::string scriptDriver(const std::string& fileName, const std::string& subdir = {},
                             const std::string& before = {}) {
        std::string folder = dir.path() + subdir;
        if (!subdir.empty())
            ::mkdir(folder.c_str(), 0755);
        std::string path = folder + fileName;
        std::string fifo = dir.file("fifo-" + std::to_string(fifoCount++));
        ::mkfifo(fifo.c_str(), 0600);
        fifoOf[path] = fifo;
        WriteFile(path, "#!/bin/sh\n" + before + "read line < '" + fifo + "'\n");
        ::chmod(path.c_str(), 0755);
        return path;
    }
    // Lets a script driver end by itself: opening the fifo's other end, once the script waits
    // on it, and closing it again gives the script an end of file.
    bool release(const std::string& scriptPath) {
        const std::string fifo = fifoOf[scriptPath];
        return WaitUntil([&] {
            int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd < 0)
                return false;
            ::close(fd);
            return true;
        });
    }
    // Launches through the host and returns the new process's pid (registered for clean-up).
    int launch(const std::string& path, const std::string& workingDirectory = {}) {
        if (host.LaunchProcess(path, workingDirectory.empty() ? dir.path() : workingDirectory, 1) !=
            0)
            return -1;
        int pid = -1;
        WaitUntil([&] {
            std::vector<int> pids = LivePidsWithArgument(path);
            pid = pids.empty() ? -1 : pids.front();
            return pid > 0;
        });
        if (pid > 0)
            children.add(pid);
        return pid;
    }

    // Whatever still runs from this test's directory (a faulty launch could leave a process
    // behind that is not a child) is killed as well.
    void TearDown() override {
        for (int pid : LivePidsWithArgumentPrefix(dir.path()))
            ::kill(pid, SIGKILL);
    }

    TempDir dir;
    TestHost host{dir.path()};
    Children children; // destroyed first: no child outlives the test
    int fifoCount = 0;
    std::map<std::string, std::string> fifoOf;
};

} // namespace

TEST_F(Processes, ExecutableArgv0AndCommEachFindTheProcess) {
    // Started through a link, so the three names differ: comm is the link's name, the
    // executable is the link's target, argv[0] is whatever the starter chose.
    const std::string id = UniqueId();
    const std::string exe = sleeper("exeq" + id);
    const std::string link = dir.file("lnkq" + id);
    ASSERT_EQ(::symlink(exe.c_str(), link.c_str()), 0);
    int pid = children.spawn(link, {"/some/where/ArgQ" + id, "1000"});
    ASSERT_GT(pid, 0);
    // The spawn returns while the exec may still be finishing: wait for both names.
    ASSERT_TRUE(WaitUntil(
        [&] { return ReadProc(pid, "comm") == "lnkq" + id + "\n" && HasArgument(pid, "1000"); }));

    for (const std::string& name : {"exeq" + id, "ArgQ" + id, "lnkq" + id}) {
        EXPECT_TRUE(ProcessMatches(pid, name)) << name;
        EXPECT_TRUE(host.IsProcessRunning(name)) << name;
    }
    // Prefixes match, ignoring case; anything else does not.
    EXPECT_TRUE(ProcessMatches(pid, "EXEQ" + id.substr(0, 2)));
    EXPECT_TRUE(ProcessMatches(pid, "argq" + id));
    EXPECT_FALSE(ProcessMatches(pid, "exeq" + id + "0"));
    EXPECT_FALSE(ProcessMatches(pid, "xeq" + id)); // not at the start
    EXPECT_FALSE(ProcessMatches(pid, "where"));    // a directory of argv[0]
    EXPECT_FALSE(ProcessMatches(pid, "1000"));     // an argument
    EXPECT_FALSE(host.IsProcessRunning("lnkq" + id + "y"));
}

TEST_F(Processes, AScriptDriverIsFoundByItsScriptName) {
    const std::string id = UniqueId();
    const std::string script = scriptDriver("drvs" + id + ".sh");
    int pid = launch(script);
    ASSERT_GT(pid, 0);
    // The kernel runs /bin/sh: neither the executable nor argv[0] carries the script's name.
    EXPECT_TRUE(host.IsProcessRunning("drvs" + id + ".sh"));
    EXPECT_TRUE(host.IsProcessRunning("DRVS" + id));
    EXPECT_TRUE(ProcessMatches(pid, "drvs" + id));
    EXPECT_FALSE(host.IsProcessRunning("drvs" + id + ".sx"));
}

TEST_F(Processes, ANameLongerThanFifteenCharactersIsFound) {
    const std::string id = UniqueId();
    // The unique part lies inside the first 15 characters, which is all that comm keeps.
    const std::string name = "L" + id + "-long-script-driver.sh";
    ASSERT_GT(name.size(), 15u);
    const std::string script = scriptDriver(name);
    int pid = launch(script);
    ASSERT_GT(pid, 0);
    ASSERT_EQ(ReadProc(pid, "comm"), name.substr(0, 15) + "\n");
    // Only the cut comm carries the name, so the full name must be matched against it.
    EXPECT_TRUE(host.IsProcessRunning(name));
    EXPECT_TRUE(host.IsProcessRunning(name.substr(0, 15)));
    EXPECT_TRUE(host.IsProcessRunning(name.substr(0, 9)));
    std::string differs = name;
    differs[14] = differs[14] == 'q' ? 'r' : 'q';
    EXPECT_FALSE(host.IsProcessRunning(differs));
}

TEST_F(Processes, ALongExecutableNameIsMatchedInFull) {
    // Started through a short link with a short argv[0], so only the executable's own file
    // name carries the long name, and it has no 15-character limit.
    const std::string id = UniqueId();
    const std::string name = "E" + id + "-long-binary-driver";
    const std::string link = dir.file("k" + id);
    ASSERT_EQ(::symlink(sleeper(name).c_str(), link.c_str()), 0);
    int pid = children.spawn(link, {"a" + id, "1000"});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(host.IsProcessRunning(name));
    EXPECT_TRUE(host.IsProcessRunning(name.substr(0, 17)));
    EXPECT_FALSE(host.IsProcessRunning(name.substr(0, name.size() - 1) + "s"));
}

TEST_F(Processes, LetterCaseOfThePrefixDoesNotMatter) {
    const std::string id = UniqueId();
    const std::string script = scriptDriver("DRV" + id + ".EXE");
    ASSERT_GT(launch(script), 0);
    EXPECT_TRUE(host.IsProcessRunning("drv"));
    EXPECT_TRUE(host.IsProcessRunning("drv" + id));
    EXPECT_TRUE(host.IsProcessRunning("drv" + id + ".exe"));
    EXPECT_TRUE(host.IsProcessRunning("Drv" + id + ".Exe"));
    EXPECT_FALSE(host.IsProcessRunning("drv" + id + "y"));
}

TEST_F(Processes, AZombieIsNeverCountedAsRunning) {
    const std::string id = UniqueId();
    const std::string script = scriptDriver("zomb" + id);
    // Started by the test itself, so no one collects it when it ends.
    int pid = children.spawn(script, {script});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitUntil([&] { return host.IsProcessRunning("zomb" + id); }));
    EXPECT_FALSE(IsZombieOrGone(pid));

    ASSERT_TRUE(release(script));
    ASSERT_TRUE(WaitUntil([&] { return StateOf(pid) == 'Z'; }));
    EXPECT_TRUE(IsZombieOrGone(pid));
    EXPECT_FALSE(ProcessMatches(pid, "zomb" + id));
    // The pid found before is remembered; the remembered process is a zombie now.
    EXPECT_FALSE(host.IsProcessRunning("zomb" + id));
    EXPECT_FALSE(host.TerminateProcessByName("zomb" + id));
    EXPECT_EQ(StateOf(pid), 'Z');
}

TEST_F(Processes, ALaunchedDriverThatEndsIsCollected) {
    const std::string id = UniqueId();
    const std::string script = scriptDriver("ends" + id);
    int pid = launch(script);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(host.IsProcessRunning("ends" + id));

    ASSERT_TRUE(release(script));
    ASSERT_TRUE(WaitUntil([&] {
        char state = StateOf(pid);
        return state == 'Z' || state == 0;
    }));
    EXPECT_FALSE(host.IsProcessRunning("ends" + id));
    // The query collected it: no zombie is left behind in the process list.
    EXPECT_EQ(StateOf(pid), 0);
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1);
}

TEST_F(Processes, ARunningDriverIsFoundAgainAfterItWasReplaced) {
    const std::string id = UniqueId();
    const std::string name = "again" + id;
    int first = children.spawn(sleeper(name), {name, "1000"});
    ASSERT_GT(first, 0);
    ASSERT_TRUE(host.IsProcessRunning(name));
    ::kill(first, SIGKILL);
    ::waitpid(first, nullptr, 0);
    EXPECT_FALSE(host.IsProcessRunning(name));
    int second = children.spawn(dir.file(name), {name, "1000"});
    ASSERT_GT(second, 0);
    EXPECT_TRUE(host.IsProcessRunning(name));
    // A process of another name that took over the remembered pid would not count either:
    // the remembered pid is checked by name, not only by existence.
    ::kill(second, SIGKILL);
    ::waitpid(second, nullptr, 0);
    EXPECT_FALSE(host.IsProcessRunning(name));
}

TEST_F(Processes, TerminationKillsOnlyTheFirstMatchInListOrder) {
    const std::string id = UniqueId();
    const std::string name = "two" + id;
    // One started by the test, one launched (and so remembered) by the host: the first in
    // the host's list is terminated, whichever the host remembers.
    int spawned = children.spawn(sleeper(name), {name, "1000"});
    ASSERT_GT(spawned, 0);
    const std::string script = scriptDriver(name, "other/");
    int launched = launch(script);
    ASSERT_GT(launched, 0);
    ASSERT_TRUE(WaitUntil([&] { return ProcessMatches(spawned, name); }));
    ASSERT_TRUE(ProcessMatches(launched, name));

    const int first = FirstInListOrder({spawned, launched});
    const int second = first == spawned ? launched : spawned;
    ASSERT_TRUE(host.TerminateProcessByName(ToUpperAscii(name)));

    int status = 0;
    ASSERT_TRUE(WaitUntil([&] { return ::waitpid(first, &status, WNOHANG) == first; }))
        << "the first match in list order was not terminated";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(::waitpid(second, &status, WNOHANG), 0) << "the second match must live on";
    EXPECT_TRUE(host.IsProcessRunning(name));

    ASSERT_TRUE(host.TerminateProcessByName(name));
    ASSERT_EQ(::waitpid(second, &status, 0), second);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_FALSE(host.IsProcessRunning(name));
    EXPECT_FALSE(host.TerminateProcessByName(name));
}

TEST_F(Processes, TheEmptyNameAndTheConsoleItselfNeverMatch) {
    const std::string id = UniqueId();
    int pid = children.spawn(sleeper("empt" + id), {"empt" + id, "1000"});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitUntil([&] { return ProcessMatches(pid, "empt" + id); }));
    EXPECT_FALSE(ProcessMatches(pid, ""));
    EXPECT_FALSE(ProcessMatches(pid, "   "));
    EXPECT_FALSE(host.IsProcessRunning(""));

    // The console's own process, under a name of its own. Checked in a child process, so
    // that a faulty match could only terminate that child.
    const std::string self = "self" + id;
    int rc = RunInChild([&] {
        if (::prctl(PR_SET_NAME, self.c_str()) != 0)
            return 10;
        TestHost own(dir.path());
        if (ProcessMatches(::getpid(), self))
            return 1;
        if (own.IsProcessRunning(self))
            return 2;
        if (own.TerminateProcessByName(self))
            return 3;
        return 0;
    });
    EXPECT_EQ(rc, 0) << "1 matched, 2 found, 3 terminated itself";
}

TEST_F(Processes, NoProcessNoMatch) {
    const std::string id = UniqueId();
    EXPECT_FALSE(host.IsProcessRunning("none" + id));
    EXPECT_FALSE(host.TerminateProcessByName("none" + id));
    EXPECT_TRUE(IsZombieOrGone(0x3FFFFFFF)); // beyond any pid
    EXPECT_FALSE(ProcessMatches(0x3FFFFFFF, "none"));
}

TEST_F(Processes, LaunchRunsThePathInItsDirectoryAndOwnSession) {
    const std::string id = UniqueId();
    const std::string work = dir.file("work/");
    ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
    // The script reports its argument count into its working directory.
    const std::string script = scriptDriver("argc" + id, "bin/", "echo \"$#\" > args.txt\n");
    int pid = launch(script, work);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(work + "args.txt") == "0\n"; }))
        << ReadFile(work + "args.txt");
    char cwd[4096] = {};
    ssize_t n = ::readlink(("/proc/" + std::to_string(pid) + "/cwd").c_str(), cwd, sizeof cwd - 1);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(cwd, static_cast<size_t>(n)) + "/", work);
    // A session of its own, so that it outlives the console and its terminal.
    EXPECT_EQ(SessionOf(pid), pid);
    EXPECT_NE(SessionOf(pid), SessionOf(::getpid()));
}

TEST_F(Processes, LaunchUsesNoShell) {
    const std::string id = UniqueId();
    // A blank in the file name is part of the path, not an argument separator.
    const std::string spaced = scriptDriver("with blank" + id);
    ASSERT_GT(launch(spaced), 0);
    // And a command line with an argument is a path that does not exist.
    EXPECT_EQ(host.LaunchProcess("true", dir.path(), 1), 1); // no search along PATH either
    const std::string marker = dir.file("marker" + id);
    EXPECT_EQ(host.LaunchProcess("/bin/touch " + marker, dir.path(), 1), 1);
    EXPECT_FALSE(Exists(marker));
}

TEST_F(Processes, LaunchFailuresAnswerOne) {
    const std::string id = UniqueId();
    EXPECT_EQ(host.LaunchProcess(dir.file("missing" + id), dir.path(), 1), 1);
    EXPECT_EQ(host.LaunchProcess("", dir.path(), 1), 1);
    EXPECT_EQ(host.LaunchProcess(dir.path(), dir.path(), 1), 1); // a directory
    WriteFile(dir.file("plain" + id), "#!/bin/sh\nexit 0\n");    // not executable
    ::chmod(dir.file("plain" + id).c_str(), 0644);
    EXPECT_EQ(host.LaunchProcess(dir.file("plain" + id), dir.path(), 1), 1);
    // A working directory that does not exist: nothing is started.
    const std::string script = scriptDriver("nowd" + id);
    EXPECT_EQ(host.LaunchProcess(script, dir.file("nowhere/"), 1), 1);
    EXPECT_TRUE(LivePidsWithArgument(script).empty());
    EXPECT_FALSE(host.IsProcessRunning("nowd" + id));
}
