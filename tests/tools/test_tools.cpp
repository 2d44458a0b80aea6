// The two tools as real processes: qelp-profile reads and writes profile files as the console
// does, qelp-reg reads and edits a program directory's registry store.
#include "frame/profile.h"
#include "frame/registry.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qelp;
using namespace qelptest;

namespace {

struct RunResult {
    int exitCode = -1;
    std::string out, err;
};
using Args = std::vector<std::string>;

// Runs the program with exactly these arguments (no shell) and collects its output.
RunResult RunTool(const std::string& program, Args args) {
    TempDir io;
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(::open("/dev/null", O_RDONLY), 0);
        ::dup2(::open(io.file("out").c_str(), O_WRONLY | O_CREAT, 0600), 1);
        ::dup2(::open(io.file("err").c_str(), O_WRONLY | O_CREAT, 0600), 2);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            ReadFile(io.file("out")), ReadFile(io.file("err"))};
}

const std::string kRegTool = std::string(QELP_BIN_DIR) + "/qelp-reg";
const char* const kKey = "Software\\QELP";
const std::string kHead = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\QELP]\r\n";

RunResult Profile(const Args& args) {
    return RunTool(std::string(QELP_BIN_DIR) + "/qelp-profile", args);
}
RunResult Reg(const TempDir& dir, Args args) {
    args.insert(args.begin(), {"--dir", dir.path()});
    return RunTool(kRegTool, args);
}

} // namespace

TEST(ProfileTool, GetPrintsTheValueAsTheConsoleReadsIt) {
    TempDir dir;
    const std::string file = dir.file("result.dat");
    WriteFile(file, "[Result]\r\nCode = \"0\" \r\nNote=12 ;ml\r\nLong=" + std::string(150, 'x') +
                        "\r\nName=Gr\xFCn\r\n");
    const std::string cases[][4] = {{file, "RESULT", "code", "0\n"},
                                    {file, "Result", "Note", "12 ;ml\n"},
                                    {file, "Result", "Name", "Gr\xFCn\n"},
                                    {file, "Result", "Long", std::string(99, 'x') + "\n"},
                                    {dir.path(), "A", "k", "\n"}};
    for (const auto& c : cases) {
        RunResult r = Profile({"get", c[0], c[1], c[2]});
        EXPECT_EQ(r.exitCode, 0) << c[2];
        EXPECT_EQ(r.out, c[3]);
    }
}

TEST(ProfileTool, SetAndDelEditInPlaceCreateOnlyWhatIsSetAndReportFailureAndUsage) {
    TempDir dir;
    const std::string file = dir.file("reply.dat");
    WriteFile(file, "; head\n[Reply]\nValue=1\n[Other]\nx=2\n");
    RunResult r = Profile({"set", file, "reply", "Value", "a b \"c\""});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Profile({"set", file, "Reply", "New", " ;= [b] "}).exitCode, 0);
    EXPECT_EQ(Profile({"set", file, "Third", "k", ""}).exitCode, 0);
    EXPECT_EQ(ReadFile(file), "; head\n[Reply]\nValue=a b \"c\"\nNew=;= [b] \r\n[Other]\nx=2\n"
                              "[Third]\r\nk=\r\n");
    EXPECT_EQ(profile::ReadProfileString("Reply", "Value", file), "a b \"c\"");
    EXPECT_EQ(Profile({"get", file, "Reply", "New"}).out, ";= [b]\n");

    // del takes a key, or without one the whole section; what is missing stays missing.
    for (const Args& del : {Args{"del", file, "reply", "NEW"}, Args{"del", file, " other "},
                            Args{"del", file, "Reply", "gone"}, Args{"del", file, "gone"},
                            Args{"del", dir.file("absent.dat"), "S", "k"}})
        EXPECT_EQ(Profile(del).exitCode, 0) << del[2];
    EXPECT_EQ(ReadFile(file), "; head\n[Reply]\nValue=a b \"c\"\n[Third]\r\nk=\r\n");
    EXPECT_FALSE(Exists(dir.file("absent.dat")));
    r = Profile({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("qelp-profile del FILE SECTION [KEY]"), std::string::npos) << r.out;

    r = Profile({"set", dir.file("nodir/reply.dat"), "S", "k", "v"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    const std::string f = dir.file("f");
    for (const Args& args :
         {Args{}, Args{"get", f, "S"}, Args{"get", f, "S", "k", "extra"}, Args{"set", f, "S", "k"},
          Args{"put", f, "S", "k", "v"}, Args{"GET", f, "S", "k"}, Args{"del", f},
          Args{"del", f, "S", "k", "v"}}) {
        const RunResult bad = Profile(args);
        EXPECT_EQ(bad.exitCode, 2) << args.size();
        EXPECT_NE(bad.err.find("usage"), std::string::npos);
        EXPECT_EQ(bad.out, "");
    }
    EXPECT_FALSE(Exists(f));
}

TEST(RegTool, SetGetListHereAndBesideTheTool) {
    TempDir dir;
    WriteFile(dir.file("registry.reg"), kHead + "\"Multi\"=hex(7):41,00,\\\r\n  00,00\r\n");
    for (const Args& set :
         {Args{"set", "Driver", "sz", "/opt/a \"b\"\\"}, Args{"set", "Family", "dword", "10"},
          Args{"set", "Minus", "dword", "-5"}, Args{"set", "Hex", "dword", "0x10"},
          Args{"set", "Max", "dword", "4294967295"}})
        EXPECT_EQ(Reg(dir, set).exitCode, 0) << set[1];
    EXPECT_EQ(ReadFile(dir.file("registry.reg")),
              kHead + "\"Multi\"=hex(7):41,00,\\\r\n  00,00\r\n"
                      "\"Driver\"=\"/opt/a \\\"b\\\"\\\\\"\r\n"
                      "\"Family\"=dword:0000000a\r\n\"Minus\"=dword:fffffffb\r\n"
                      "\"Hex\"=dword:00000010\r\n\"Max\"=dword:ffffffff\r\n");
    for (auto [name, out] : {std::pair{"driver", "/opt/a \"b\"\\\n"}, std::pair{"Max", "-1\n"},
                             std::pair{"Multi", "\n"}, std::pair{"Missing", "\n"}}) {
        RunResult r = Reg(dir, {"get", name});
        EXPECT_EQ(r.exitCode, 0) << name;
        EXPECT_EQ(r.out, out) << name;
    }
    EXPECT_EQ(Reg(dir, {"set", "Family", "sz", "text now"}).exitCode, 0);
    RunResult list = Reg(dir, {"list"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.out, "HKEY_LOCAL_MACHINE\\Software\\QELP\\Multi = other\n"
                        "HKEY_LOCAL_MACHINE\\Software\\QELP\\Driver = sz /opt/a \"b\"\\\n"
                        "HKEY_LOCAL_MACHINE\\Software\\QELP\\Family = sz text now\n"
                        "HKEY_LOCAL_MACHINE\\Software\\QELP\\Minus = dword -5\n"
                        "HKEY_LOCAL_MACHINE\\Software\\QELP\\Hex = dword 16\n"
                        "HKEY_LOCAL_MACHINE\\Software\\QELP\\Max = dword -1\n");
    TempDir empty; // a directory without a store is an empty store; no final '/' is needed
    std::string bare = empty.path();
    bare.pop_back();
    EXPECT_EQ(RunTool(kRegTool, {"--dir", bare, "get", "Driver"}).out, "\n");
    EXPECT_EQ(Reg(empty, {"list"}).out, "");
    const std::string tool = dir.file("qelp-reg");
    WriteFile(tool, ReadFile(kRegTool));
    ASSERT_EQ(::chmod(tool.c_str(), 0755), 0);
    WriteFile(dir.file("registry.reg"), kHead + "\"Driver\"=\"/beside\"\r\n");
    EXPECT_EQ(RunTool(tool, {"get", "Driver"}).out, "/beside\n");
    EXPECT_EQ(RunTool(tool, {"set", "ActiveVersion", "sz", "2"}).exitCode, 0);
    EXPECT_EQ(RegistryStore(dir.file("registry.reg")).ReadAsText(kKey, "ActiveVersion"), "2");
}

TEST(RegTool, BadInputExitsWithTwoAndAFailedWriteWithOne) {
    TempDir dir;
    for (const char* bad : {"", "abc", "12abc", "4294967296", "-2147483649", "1.5"}) {
        RunResult r = Reg(dir, {"set", "N", "dword", bad});
        EXPECT_EQ(r.exitCode, 2) << '"' << bad << '"';
        EXPECT_NE(r.err.find("not a 32-bit number"), std::string::npos) << r.err;
    }
    for (const Args& args :
         {Args{}, Args{"--dir"}, Args{"--dir", dir.path()}, Args{"--dir", dir.path(), "get"},
          Args{"--dir", dir.path(), "get", "a", "b"}, Args{"--dir", dir.path(), "set", "A", "sz"},
          Args{"--dir", dir.path(), "set", "N", "qword", "1"},
          Args{"--dir", dir.path(), "list", "x"}, Args{"--dir", dir.path(), "remove", "A"}}) {
        RunResult r = RunTool(kRegTool, args);
        EXPECT_EQ(r.exitCode, 2) << args.size();
        EXPECT_NE(r.err.find("usage"), std::string::npos);
    }
    EXPECT_FALSE(Exists(dir.file("registry.reg")));
    RunResult r = RunTool(kRegTool, {"--dir", dir.file("nodir"), "set", "A", "sz", "b"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
}
