// The tools (and every program's options) as real processes, each driven through a table of
// command lines: what they print, what they exit with, and what they leave in the files.
#include "qelpversion.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace qelptest;

namespace {

struct Step {
    std::vector<std::string> args; // args[0] is the program
    int exitCode;
    std::string out; // the whole standard output
    std::string err; // a part of the standard error
};

void RunSteps(const std::vector<Step>& steps) {
    TempDir io;
    for (const Step& s : steps) {
        SCOPED_TRACE(::testing::PrintToString(s.args));
        EXPECT_EQ(WaitForExit(Spawn(s.args[0], s.args, {}, io.file("out"), io.file("err"))),
                  s.exitCode);
        EXPECT_EQ(ReadFile(io.file("out")), s.out);
        EXPECT_NE(ReadFile(io.file("err")).find(s.err), std::string::npos);
    }
}

const std::string kProfile = QELP_BIN_DIR "/qelp-profile", kReg = QELP_BIN_DIR "/qelp-reg";
const std::string kHead = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\QELP]\r\n";

} // namespace

TEST(Tools, ProfileReadsAndWritesLikeTheConsoleAndRefusesOtherUse) {
    TempDir dir;
    const std::string f = dir.file("reply.dat"), p = kProfile;
    WriteFile(f, "; head\n[Reply]\nValue=1\n[Other]\nx=2\n");
    RunSteps({{{p, "get", f, "REPLY", "value"}, 0, "1\n", ""},
              {{p, "set", f, "reply", "Value", "a b \"c\""}, 0, "", ""},
              {{p, "set", f, "Third", "k", ""}, 0, "", ""},
              {{p, "get", f, "Reply", "Value"}, 0, "a b \"c\"\n", ""},
              {{p, "get", dir.path(), "A", "k"}, 0, "\n", ""},
              // del takes a key, or without one the whole section; what is missing stays missing.
              {{p, "set", f, "Reply", "New", "1"}, 0, "", ""},
              {{p, "del", f, "reply", "NEW"}, 0, "", ""},
              {{p, "del", f, "other"}, 0, "", ""},
              {{p, "del", f, "Reply", "gone"}, 0, "", ""},
              {{p, "del", f, "gone"}, 0, "", ""},
              {{p, "del", dir.file("absent.dat"), "S", "k"}, 0, "", ""},
              {{p, "set", dir.file("no/f"), "S", "k", "v"}, 1, "", "cannot write"},
              {{p}, 2, "", "usage"},
              {{p, "get", f, "S"}, 2, "", "usage"},
              {{p, "get", f, "S", "k", "extra"}, 2, "", "usage"},
              {{p, "set", f, "S", "k"}, 2, "", "usage"},
              {{p, "GET", f, "S", "k"}, 2, "", "usage"},
              {{p, "del", f}, 2, "", "usage"},
              {{p, "del", f, "S", "k", "v"}, 2, "", "usage"}});
#ifdef _WIN32 // the system's writer ends every line of the file with CR LF
    EXPECT_EQ(ReadFile(f), "; head\r\n[Reply]\r\nValue=a b \"c\"\r\n[Third]\r\nk=\r\n");
#else
    EXPECT_EQ(ReadFile(f), "; head\n[Reply]\nValue=a b \"c\"\n[Third]\r\nk=\r\n");
#endif
    EXPECT_FALSE(Exists(dir.file("absent.dat")));
    // --data-dir takes a relative FILE into that directory; an absolute one stays.
    RunSteps(
        {{{p, "--data-dir", dir.path(), "set", "sim.ini", "Link", "CommandPath", "x"}, 0, "", ""},
         {{p, "--data-dir=" + dir.path(), "get", f, "Reply", "Value"}, 0, "a b \"c\"\n", ""}});
    EXPECT_EQ(ReadFile(dir.file("sim.ini")), "[Link]\r\nCommandPath=x\r\n");
}

TEST(Tools, RegEditsTheStoreOfADirectoryOrTheOneBesideItself) {
    TempDir dir;
    const std::string d = dir.path(), r = kReg, key = "HKEY_LOCAL_MACHINE\\Software\\QELP\\";
    WriteFile(dir.file("registry.reg"), kHead + "\"Multi\"=hex(7):41,00,\\\r\n  00,00\r\n");
    std::vector<Step> steps = {
        {{r, "--dir", d, "set", "Driver", "sz", "/opt/a \"b\"\\"}, 0, "", ""},
        {{r, "--dir", d, "set", "Minus", "dword", "-5"}, 0, "", ""},
        {{r, "--dir", d, "set", "Hex", "dword", "0x10"}, 0, "", ""},
        {{r, "--dir", d, "set", "Max", "dword", "4294967295"}, 0, "", ""},
        {{r, "--dir", d, "get", "driver"}, 0, "/opt/a \"b\"\\\n", ""},
        {{r, "--data-dir", d, "get", "Missing"}, 0, "\n", ""},
        {{r, "--dir", d.substr(0, d.size() - 1), "list"},
         0,
         key + "Multi = other\n" + key + "Driver = sz /opt/a \"b\"\\\n" + key +
             "Minus = dword -5\n" + key + "Hex = dword 16\n" + key + "Max = dword -1\n",
         ""},
        {{r, "--dir", dir.file("nodir"), "set", "A", "sz", "b"}, 1, "", "cannot write"},
        {{r}, 2, "", "usage"},
        {{r, "--dir"}, 2, "", "usage"},
        {{r, "--dir", d, "get"}, 2, "", "usage"},
        {{r, "--dir", d, "set", "A", "sz"}, 2, "", "usage"},
        {{r, "--dir", d, "set", "N", "qword", "1"}, 2, "", "usage"},
        {{r, "--dir", d, "list", "x"}, 2, "", "usage"},
    };
    for (const char* bad : {"", "12abc", "4294967296", "-2147483649", "1.5"})
        steps.push_back({{r, "--dir", d, "set", "N", "dword", bad}, 2, "", "not a 32-bit number"});
    // Without --dir the tool uses the store in its own directory.
    const std::string beside = dir.file(std::string("qelp-reg") + kExeSuffix);
    std::filesystem::copy_file(kReg + kExeSuffix, beside);
    steps.push_back({{beside, "set", "ActiveVersion", "sz", "2"}, 0, "", ""});
    steps.push_back({{r, "--dir", d, "get", "activeversion"}, 0, "2\n", ""});
    steps.push_back({{r, "--dir", d, "get", "N"}, 0, "\n", ""}); // no bad number was stored
    RunSteps(steps);
}

// --help and --version are answered before anything else starts (the console's without a
// display); an unknown option or a missing value is refused with the usage on stderr.
TEST(Tools, EveryProgramAnswersHelpAndVersionAndRefusesAWrongOption) {
    TempDir io;
    for (const std::string name :
         {"qelpserver", "qelpsim", "qelp-reg", "qelp-profile", "qelp-check"}) {
        const std::string path = QELP_BIN_DIR "/" + name;
        if (!Exists(path) && !Exists(path + ".exe"))
            continue; // a build without the screens has no console, one for Windows no checker
        struct {
            std::string option;
            int exitCode;
            std::string out, err; // out: the start of the standard output
        } cases[] = {{"--version", 0, name + " " QELP_VERSION "\n", ""},
                     {"--help", 0, "usage: " + name, ""},
                     {"--frobnicate", 2, "", "unknown option --frobnicate\nusage: " + name},
                     {"--data-dir", 2, "", "usage: " + name}};
        for (const auto& c : cases) {
            SCOPED_TRACE(name + " " + c.option);
#ifdef _WIN32
            const pid_t pid = Spawn(path, {path, c.option}, {}, io.file("out"), io.file("err"));
#else
            const pid_t pid = Spawn(
                "/usr/bin/env", {"env", "-u", "DISPLAY", "QT_QPA_PLATFORM=none", path, c.option},
                {}, io.file("out"), io.file("err"));
#endif
            EXPECT_EQ(WaitForExit(pid), c.exitCode);
            // Lines as the system ends them: Windows' console streams write CR LF.
            const auto text = [&io](const char* file) {
                std::string t = ReadFile(io.file(file));
                std::erase(t, '\r');
                return t;
            };
            EXPECT_EQ(text("out").rfind(c.out, 0), 0u);
            EXPECT_NE(text("err").find(c.err), std::string::npos);
        }
    }
}
