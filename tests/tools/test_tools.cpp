// The two tools run as real processes: qelp-profile reads and writes profile files as the
// console does, qelp-reg reads and edits a program directory's registry store.
#include "frame/profile.h"
#include "frame/registry.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace qelp;
using namespace qelptest;

namespace {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the program with exactly these arguments (no shell) and collects its output.
RunResult RunTool(const std::string& program, const std::vector<std::string>& args) {
    RunResult result;
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
        return result;
    std::vector<std::string> copy{program};
    copy.insert(copy.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (rc == 0) {
        pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        std::string* sinks[2] = {&result.out, &result.err};
        int open = 2;
        while (open > 0 && ::poll(fds, 2, -1) > 0) {
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || fds[i].revents == 0)
                    continue;
                char buf[4096];
                ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
                if (n > 0) {
                    sinks[i]->append(buf, static_cast<size_t>(n));
                } else {
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    return result;
}

const std::string kProfileTool = std::string(QELP_BIN_DIR) + "/qelp-profile";
const std::string kRegTool = std::string(QELP_BIN_DIR) + "/qelp-reg";
const char* const kKey = "Software\\QELP";

RunResult Profile(const std::vector<std::string>& args) {
    return RunTool(kProfileTool, args);
}
RunResult Reg(const std::vector<std::string>& args) {
    return RunTool(kRegTool, args);
}

} // namespace

TEST(ProfileTool, GetPrintsTheValueAsTheConsoleReadsIt) {
    TempDir dir;
    const std::string file = dir.file("result.dat");
    WriteFile(file, "[Result]\r\nCode = \"0\" \r\nNote=12 ;ml\r\nLong=" + std::string(150, 'x') +
                        "\r\nName=Gr\xFCn\r\n");
    RunResult r = Profile({"get", file, "RESULT", "code"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "0\n");
    EXPECT_EQ(Profile({"get", file, "Result", "Note"}).out, "12 ;ml\n");
    EXPECT_EQ(Profile({"get", file, "Result", "Long"}).out, std::string(99, 'x') + "\n");
    EXPECT_EQ(Profile({"get", file, "Result", "Name"}).out, "Gr\xFCn\n");
}

TEST(ProfileTool, GetOfSomethingMissingPrintsAnEmptyLine) {
    TempDir dir;
    WriteFile(dir.file("f"), "[A]\r\nk=1\r\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"get", dir.file("missing"), "A", "k"},
          std::vector<std::string>{"get", dir.file("f"), "B", "k"},
          std::vector<std::string>{"get", dir.file("f"), "A", "j"},
          std::vector<std::string>{"get", dir.path(), "A", "k"}}) {
        RunResult r = Profile(args);
        EXPECT_EQ(r.exitCode, 0) << args[1];
        EXPECT_EQ(r.out, "\n") << args[1];
    }
}

TEST(ProfileTool, SetWritesInPlaceAndCreatesWhatIsMissing) {
    TempDir dir;
    const std::string file = dir.file("reply.dat");
    WriteFile(file, "; head\n[Reply]\nValue=1\n[Other]\nx=2\n");
    RunResult r = Profile({"set", file, "reply", "Value", "a b \"c\""});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(file), "; head\n[Reply]\nValue=a b \"c\"\n[Other]\nx=2\n");
    EXPECT_EQ(Profile({"set", file, "Reply", "New", "n"}).exitCode, 0);
    EXPECT_EQ(Profile({"set", file, "Third", "k", "Gr\xFCn"}).exitCode, 0);
    EXPECT_EQ(ReadFile(file),
              "; head\n[Reply]\nValue=a b \"c\"\nNew=n\r\n[Other]\nx=2\n[Third]\r\nk=Gr\xFCn\r\n");
    // What the tool wrote, the console reads.
    EXPECT_EQ(profile::ReadProfileString("Reply", "Value", file), "a b \"c\"");

    const std::string fresh = dir.file("new.dat");
    EXPECT_EQ(Profile({"set", fresh, "S", "k", ""}).exitCode, 0);
    EXPECT_EQ(ReadFile(fresh), "[S]\r\nk=\r\n");
}

TEST(ProfileTool, ValuesWithSpecialCharactersRoundTrip) {
    TempDir dir;
    const std::string file = dir.file("msg.dat");
    const std::string value = " padded ;with = and [brackets] ";
    ASSERT_EQ(Profile({"set", file, "Message", "Text", value}).exitCode, 0);
    EXPECT_EQ(Profile({"get", file, "Message", "Text"}).out, "padded ;with = and [brackets]\n");
}

TEST(ProfileTool, AFailedWriteIsReportedWithExitCodeOne) {
    TempDir dir;
    RunResult r = Profile({"set", dir.file("nodir/reply.dat"), "S", "k", "v"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(ProfileTool, WrongUsageExitsWithTwoAndTouchesNothing) {
    TempDir dir;
    const std::string file = dir.file("f");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{"get", file, "S"},
          std::vector<std::string>{"get", file, "S", "k", "extra"},
          std::vector<std::string>{"set", file, "S", "k"},
          std::vector<std::string>{"put", file, "S", "k", "v"},
          std::vector<std::string>{"GET", file, "S", "k"}}) {
        RunResult r = Profile(args);
        EXPECT_EQ(r.exitCode, 2) << args.size();
        EXPECT_NE(r.err.find("usage"), std::string::npos);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(Exists(file));
}

TEST(RegTool, GetReadsValuesAsTheConsoleDoes) {
    TempDir dir;
    WriteFile(dir.file("registry.reg"), "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\QELP]\r\n"
                                        "\"Driver\"=\"C:\\\\drv \\\"x\\\".exe\"\r\n"
                                        "\"DispenserFamily\"=dword:00000007\r\n"
                                        "\"Minus\"=dword:fffffffe\r\n"
                                        "\"Multi\"=hex(7):41,00,00,00\r\n");
    RunResult r = Reg({"--dir", dir.path(), "get", "driver"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "C:\\drv \"x\".exe\n");
    EXPECT_EQ(Reg({"--dir", dir.path(), "get", "DispenserFamily"}).out, "7\n");
    EXPECT_EQ(Reg({"--dir", dir.path(), "get", "Minus"}).out, "-2\n");
    EXPECT_EQ(Reg({"--dir", dir.path(), "get", "Multi"}).out, "\n");
    EXPECT_EQ(Reg({"--dir", dir.path(), "get", "Missing"}).out, "\n");
    // The directory may be given without its final separator.
    std::string bare = dir.path();
    bare.pop_back();
    EXPECT_EQ(Reg({"--dir", bare, "get", "DispenserFamily"}).out, "7\n");
    // A directory without a store is an empty store.
    TempDir empty;
    RunResult none = Reg({"--dir", empty.path(), "get", "Driver"});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.out, "\n");
}

TEST(RegTool, SetWritesTextAndNumbersThatTheConsoleReads) {
    TempDir dir;
    EXPECT_EQ(Reg({"--dir", dir.path(), "set", "Driver", "sz", "/opt/a \"b\"\\"}).exitCode, 0);
    EXPECT_EQ(Reg({"--dir", dir.path(), "set", "DispenserFamily", "dword", "10"}).exitCode, 0);
    EXPECT_EQ(Reg({"--dir", dir.path(), "set", "Minus", "dword", "-5"}).exitCode, 0);
    EXPECT_EQ(Reg({"--dir", dir.path(), "set", "Hex", "dword", "0x10"}).exitCode, 0);
    EXPECT_EQ(Reg({"--dir", dir.path(), "set", "Max", "dword", "4294967295"}).exitCode, 0);
    EXPECT_EQ(ReadFile(dir.file("registry.reg")),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\QELP]\r\n"
              "\"Driver\"=\"/opt/a \\\"b\\\"\\\\\"\r\n"
              "\"DispenserFamily\"=dword:0000000a\r\n"
              "\"Minus\"=dword:fffffffb\r\n"
              "\"Hex\"=dword:00000010\r\n"
              "\"Max\"=dword:ffffffff\r\n");
    TestHost host(dir.path());
    EXPECT_EQ(host.ReadRegistryValue(RegistryRoot::LocalMachine, kKey, "Driver"), "/opt/a \"b\"\\");
    EXPECT_EQ(host.ReadRegistryValue(RegistryRoot::LocalMachine, kKey, "DispenserFamily"), "10");
    EXPECT_EQ(host.ReadRegistryValue(RegistryRoot::LocalMachine, kKey, "Minus"), "-5");
    EXPECT_EQ(host.ReadRegistryValue(RegistryRoot::LocalMachine, kKey, "Max"), "-1");

    // Replacing keeps the others.
    EXPECT_EQ(Reg({"--dir", dir.path(), "set", "DispenserFamily", "sz", "text now"}).exitCode, 0);
    EXPECT_EQ(Reg({"--dir", dir.path(), "get", "DispenserFamily"}).out, "text now\n");
    EXPECT_EQ(Reg({"--dir", dir.path(), "get", "Minus"}).out, "-5\n");
}

TEST(RegTool, BadNumbersAndTypesAreRefusedWithoutAWrite) {
    TempDir dir;
    for (const char* bad : {"", "abc", "12abc", "4294967296", "-2147483649", "1.5"}) {
        RunResult r = Reg({"--dir", dir.path(), "set", "N", "dword", bad});
        EXPECT_EQ(r.exitCode, 2) << '"' << bad << '"';
        EXPECT_NE(r.err.find("not a 32-bit number"), std::string::npos) << r.err;
    }
    RunResult r = Reg({"--dir", dir.path(), "set", "N", "qword", "1"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("usage"), std::string::npos);
    EXPECT_FALSE(Exists(dir.file("registry.reg")));
}

TEST(RegTool, ListShowsEveryValueWithKeyAndType) {
    TempDir dir;
    WriteFile(dir.file("registry.reg"), "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\QELP]\r\n"
                                        "\"Driver\"=\"/d\"\r\n"
                                        "\"Family\"=dword:ffffffff\r\n"
                                        "\"Multi\"=hex(7):41,00,\\\r\n  00,00\r\n"
                                        "\r\n[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n"
                                        "\"X\"=\"\"\r\n");
    RunResult r = Reg({"--dir", dir.path(), "list"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "HKEY_LOCAL_MACHINE\\Software\\QELP\\Driver = sz /d\n"
                     "HKEY_LOCAL_MACHINE\\Software\\QELP\\Family = dword -1\n"
                     "HKEY_LOCAL_MACHINE\\Software\\QELP\\Multi = other\n"
                     "HKEY_LOCAL_MACHINE\\Software\\Other\\X = sz \n");
    TempDir empty;
    RunResult none = Reg({"--dir", empty.path(), "list"});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.out, "");
}

TEST(RegTool, WithoutDirTheStoreBesideTheToolIsUsed) {
    TempDir dir;
    const std::string tool = dir.file("qelp-reg");
    WriteFile(tool, ReadFile(kRegTool));
    ASSERT_EQ(::chmod(tool.c_str(), 0755), 0);
    WriteFile(dir.file("registry.reg"),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\QELP]\r\n\"Driver\"=\"/beside\"\r\n");
    EXPECT_EQ(RunTool(tool, {"get", "Driver"}).out, "/beside\n");
    EXPECT_EQ(RunTool(tool, {"set", "ActiveVersion", "sz", "2"}).exitCode, 0);
    EXPECT_EQ(RegistryStore(dir.file("registry.reg")).ReadAsText(kKey, "ActiveVersion"), "2");
}

TEST(RegTool, AStoreThatCannotBeWrittenIsReported) {
    TempDir dir;
    RunResult r = Reg({"--dir", dir.file("nodir"), "set", "A", "sz", "b"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
}

TEST(RegTool, WrongUsageExitsWithTwo) {
    TempDir dir;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{"--dir"},
          std::vector<std::string>{"--dir", dir.path()},
          std::vector<std::string>{"--dir", dir.path(), "get"},
          std::vector<std::string>{"--dir", dir.path(), "get", "a", "b"},
          std::vector<std::string>{"--dir", dir.path(), "set", "A", "sz"},
          std::vector<std::string>{"--dir", dir.path(), "list", "x"},
          std::vector<std::string>{"--dir", dir.path(), "remove", "A"}}) {
        RunResult r = Reg(args);
        EXPECT_EQ(r.exitCode, 2) << args.size();
        EXPECT_NE(r.err.find("usage"), std::string::npos);
    }
    EXPECT_FALSE(Exists(dir.file("registry.reg")));
}
