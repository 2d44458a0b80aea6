// Processes with real children. Every name carries this process's pid, so parallel runs never
// see each other's processes; every child is killed and collected at the end.
#include "frame/posixhost.h"
#include "frame/textutil.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qelp;
using namespace qelptest;

namespace {

// Pid and a fixed-width counter: no id is a prefix of another, names fit comm's 15 bytes.
std::string UniqueId() {
    static int counter = 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%x-%02x", static_cast<unsigned>(::getpid()), ++counter);
    return buf;
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

// True when an argument of the process begins with the text.
bool HasArgumentStarting(int pid, const std::string& text) {
    return ('\0' + ReadProc(pid, "cmdline")).find('\0' + text) != std::string::npos;
}

class Processes : public ::testing::Test {
protected:
    std::string sleeper(const std::string& fileName) {
        std::filesystem::copy_file("/bin/sleep", dir.file(fileName)); // with its permissions
        return dir.file(fileName);
    }
    // A shell script driver that waits, without a child of its own, until release().
    std::string scriptDriver(const std::string& fileName, const std::string& subdir = {},
                             const std::string& before = {}) {
        ::mkdir((dir.path() + subdir).c_str(), 0755);
        const std::string path = dir.path() + subdir + fileName;
        const std::string fifo = dir.file("fifo-" + std::to_string(fifoOf.size()));
        ::mkfifo(fifo.c_str(), 0600);
        fifoOf[path] = fifo;
        WriteFile(path, "#!/bin/sh\n" + before + "read line < '" + fifo + "'\n");
        ::chmod(path.c_str(), 0755);
        return path;
    }
    // Opening and closing the fifo's other end gives the waiting script an end of file.
    bool release(const std::string& script) {
        return WaitUntil([&] {
            int fd = ::open(fifoOf[script].c_str(), O_WRONLY | O_NONBLOCK);
            return fd >= 0 && ::close(fd) == 0;
        });
    }
    int spawn(const std::string& path, const std::vector<std::string>& args) {
        children.push_back(Spawn(path, args));
        return children.back();
    }
    int launch(const std::string& path, const std::string& wd = {}) {
        std::vector<int> pids;
        if (host.LaunchProcess(path, wd.empty() ? dir.path() : wd, 1) == 0)
            WaitUntil([&] {
                pids = LivePids([&](int pid) { return HasArgumentStarting(pid, path); });
                return !pids.empty();
            });
        children.insert(children.end(), pids.begin(), pids.end());
        return pids.empty() ? -1 : pids.front();
    }
    // Only uncollected children (their pids cannot be reused) and whatever a faulty launch
    // left running from this test's directory are killed.
    void TearDown() override {
        for (int pid : children)
            KillChild(pid);
        for (int pid : LivePids([&](int pid) { return HasArgumentStarting(pid, dir.path()); }))
            ::kill(pid, SIGKILL);
    }

    TempDir dir;
    TestHost host{dir.path()};
    std::vector<int> children;
    std::map<std::string, std::string> fifoOf;
};

} // namespace

TEST_F(Processes, ExecutableArgv0AndCommMatchByCaseInsensitivePrefixButNeverTheConsole) {
    // Started through a short link, so comm is the link's name, the executable (long, with no
    // 15-character limit) is the link's target, argv[0] is the starter's choice.
    const std::string id = UniqueId();
    const std::string exe = "exeq" + id + "-long-binary-driver";
    const std::string link = dir.file("lnkq" + id);
    ASSERT_EQ(::symlink(sleeper(exe).c_str(), link.c_str()), 0);
    int pid = spawn(link, {"/some/where/ArgQ" + id, "1000"});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitUntil([&] { return ReadProc(pid, "comm") == "lnkq" + id + "\n"; }));
    for (const std::string& name :
         {exe, "ArgQ" + id, "EXEQ" + id.substr(0, 2), "argq" + id, exe.substr(0, 17)}) {
        EXPECT_TRUE(ProcessMatches(pid, name)) << name;
        EXPECT_TRUE(host.IsProcessRunning(name)) << name;
    }
    // comm is no full name: with the executable known, the link's name does not match.
    for (const std::string& name :
         {exe + "0", exe.substr(0, exe.size() - 1) + "s", "xeq" + id, "lnkq" + id,
          std::string("where"), std::string("1000"), std::string(""), std::string("   ")})
        EXPECT_FALSE(ProcessMatches(pid, name)) << name;
    // What can be read decides: an interpreter counts with the script the kernel named it
    // after, never with a file it merely opened; comm only when nothing else is readable.
    const std::string driver = "dispenser-driver.exe", cut = driver.substr(0, 15);
    const struct {
        ProcessNames names;
        bool match;
    } table[] = {
        {{cut, "/opt/" + cut, {"/opt/" + cut}}, false},
        {{cut, "/usr/bin/dash", {"/bin/sh", "-e", "/opt/" + driver}}, true},
        {{"vim", "/usr/bin/vim", {"vim", "/opt/" + driver}}, false},
        {{"sh", "/usr/bin/dash", {"sh", driver}}, false},
        {{"python3", "/usr/bin/python3.11", {"python3", "/opt/" + cut}}, false},
        {{cut, "", {}}, true},
        {{cut.substr(0, 14) + "x", "", {}}, false},
        {{cut, "", {"", ""}}, true},
    };
    for (const auto& row : table)
        EXPECT_EQ(NamesMatch(row.names, driver), row.match)
            << row.names.exe << " " << row.names.comm;
    // The console itself, checked in a child so that a faulty match could only terminate that
    // child.
    const std::string self = "self" + UniqueId();
    int rc = RunInChild([&] {
        if (::prctl(PR_SET_NAME, self.c_str()) != 0)
            return 10;
        TestHost own(dir.path());
        return ProcessMatches(::getpid(), self)   ? 1
               : own.IsProcessRunning(self)       ? 2
               : own.TerminateProcessByName(self) ? 3
                                                  : 0;
    });
    EXPECT_EQ(rc, 0) << "1 matched, 2 found, 3 terminated itself";
}

TEST_F(Processes, AScriptDriverIsFoundByItsLongScriptNameAndNeverCountedOnceItEnds) {
    const std::string id = UniqueId();
    const std::string name = "DRV" + id + "-long-driver.EXE";
    // A program named exactly the first 15 characters is another program.
    const std::string cut = name.substr(0, 15);
    ASSERT_GT(spawn(sleeper(cut), {cut, "1000"}), 0);
    EXPECT_TRUE(host.IsProcessRunning(cut));
    EXPECT_FALSE(host.IsProcessRunning(name));
    const std::string script = scriptDriver(name);
    int pid = launch(script);
    ASSERT_GT(pid, 0);
    // The kernel runs /bin/sh, names the process after the script (cut to 15 characters) and
    // passes the script's path as an argument.
    ASSERT_EQ(ReadProc(pid, "comm"), cut + "\n");
    for (const std::string& found : {"drv" + id, "Drv" + id + "-Long-Driver.exe", name})
        EXPECT_TRUE(ProcessMatches(pid, found)) << found;
    for (size_t at : {size_t(14), size_t(16)}) {
        std::string differs = name;
        differs[at] = differs[at] == 'q' ? 'r' : 'q';
        EXPECT_FALSE(ProcessMatches(pid, differs)) << differs;
    }

    ASSERT_TRUE(release(script));
    ASSERT_TRUE(WaitUntil([&] { return StateOf(pid) == 'Z' || StateOf(pid) == 0; }));
    EXPECT_FALSE(host.IsProcessRunning(name));
    EXPECT_EQ(StateOf(pid), 0) << "the host collects the driver it launched";

    // One the host did not launch stays a zombie, which never counts as running.
    const std::string zombie = scriptDriver("zomb" + id);
    pid = spawn(zombie, {zombie}); // the test's own child: nobody collects it
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitUntil([&] { return host.IsProcessRunning("zomb" + id); }));
    EXPECT_FALSE(IsZombieOrGone(pid));
    ASSERT_TRUE(release(zombie));
    ASSERT_TRUE(WaitUntil([&] { return StateOf(pid) == 'Z'; }));
    EXPECT_TRUE(IsZombieOrGone(pid));
    EXPECT_FALSE(host.IsProcessRunning("zomb" + id));
}

TEST_F(Processes, TerminationKillsOnlyTheFirstMatchInListOrder) {
    const std::string name = "two" + UniqueId();
    int spawned = spawn(sleeper(name), {name, "1000"});
    int launched = launch(scriptDriver(name, "other/")); // remembered by the host
    ASSERT_TRUE(spawned > 0 && launched > 0);
    ASSERT_TRUE(WaitUntil([&] { return ProcessMatches(spawned, name); }));
    std::vector<int> order = LivePids([&](int pid) { return pid == spawned || pid == launched; });
    ASSERT_EQ(order.size(), 2u);

    ASSERT_TRUE(host.TerminateProcessByName(ToUpperAscii(name)));
    int status = 0;
    ASSERT_TRUE(WaitUntil([&] { return ::waitpid(order[0], &status, WNOHANG) == order[0]; }))
        << "the first match in list order was not terminated";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(::waitpid(order[1], &status, WNOHANG), 0) << "the second match must live on";
    ASSERT_TRUE(host.TerminateProcessByName(name));
    ASSERT_EQ(::waitpid(order[1], &status, 0), order[1]);
    EXPECT_FALSE(host.TerminateProcessByName(name));
}

TEST_F(Processes, LaunchRunsThePathWithoutShellInItsDirectoryAndOwnSession) {
    const std::string id = UniqueId();
    const std::string work = dir.file("work/");
    ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
    const std::string script =
        scriptDriver("argc with blank" + id, "bin/",
                     "echo \"$#\" > args.txt\nls -l /proc/$$/fd > fds.tmp && mv fds.tmp fds.txt\n");
    // A descriptor the console holds, as one it inherited would be, must not reach the driver.
    const int held = ::open(dir.file("held" + id).c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GT(held, 2);
    int pid = launch(script, work);
    ::close(held);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(work + "args.txt") == "0\n"; }))
        << ReadFile(work + "args.txt");
    ASSERT_TRUE(WaitUntil([&] { return Exists(work + "fds.txt"); }));
    const std::string fds = ReadFile(work + "fds.txt");
    EXPECT_NE(fds.find("/dev/null"), std::string::npos) << fds;
    EXPECT_EQ(fds.find("held" + id), std::string::npos) << fds;
    EXPECT_EQ(std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/cwd").string() + "/",
              work);
    EXPECT_EQ(::getsid(pid), pid); // a session of its own, outliving the console's terminal

    const std::string marker = dir.file("marker" + id);
    WriteFile(dir.file("plain" + id), "#!/bin/sh\nexit 0\n"); // not executable
    for (const std::string& bad :
         {std::string("true"), "/bin/touch " + marker, dir.file("missing" + id), std::string(),
          dir.path(), dir.file("plain" + id)})
        EXPECT_EQ(host.LaunchProcess(bad, dir.path(), 1), 1) << bad;
    EXPECT_FALSE(Exists(marker));
    const std::string nowd = scriptDriver("nowd" + id);
    EXPECT_EQ(host.LaunchProcess(nowd, dir.file("nowhere/"), 1), 1);
    EXPECT_FALSE(host.IsProcessRunning("nowd" + id));
}
