// The two layouts: which one a program's place gives, what --data-dir changes, and that an
// installed program's log, store and new files go to the shared data directory.
#include "frame/fileio.h"
#include "frame/layout.h"
#include "frame/program.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace qelp;
using namespace qelptest;

TEST(Layout, TheBinDirectoryMakesACopyInstalledAndDataDirOverridesIt) {
    TempDir root;
    std::filesystem::create_directories(root.file("usr/bin"));
    ASSERT_EQ(::symlink("usr/bin", root.file("bin").c_str()), 0);
    const std::string data = root.file("var/"), share = root.file("share/");
    struct {
        std::string exe, bin, override, dataDir, resourceDir;
        bool installed;
    } cases[] = {
        {root.file("usr/bin/qelpserver"), root.file("usr/bin/"), "", data, share, true},
        // A configured bin directory that is a link to where the executable lies.
        {root.file("usr/bin/qelpsim"), root.file("bin"), "", data, share, true},
        {root.file("build/qelp-reg"), root.file("usr/bin"), "", root.file("build/"),
         root.file("build/"), false},
        {root.file("usr/bin/qelpserver"), root.file("usr/bin"), "/d", "/d/", share, true},
        {root.file("build/qelp-reg"), root.file("usr/bin"), "rel",
         std::filesystem::current_path().string() + "/rel/", root.file("build/"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exe + " in " + c.bin + " with " + c.override);
        const Layout layout = ChooseLayout(c.exe, c.override, {c.bin, root.file("var"), share});
        EXPECT_EQ(layout.installed, c.installed);
        EXPECT_EQ(layout.dataDirectory, c.dataDir);
        EXPECT_EQ(layout.resourceDirectory, c.resourceDir);
    }
}

TEST(Layout, TheDataDirectoryHoldsTheLogAndTheStoreAndSharesNewFiles) {
    TempDir program, data;
    TestHost host(program.path());
    host.setDataDirectory(data.path());
    WriteFile(data.file("registry.reg"),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\QELP]\r\n\"Driver\"=\"/x/sim\"\r\n");
    NullUiPort ui;
    Program p(host, ui);
    ApplyLayout(p, {data.path(), "/usr/share/q/", true});
    StartProgram(p);
    EXPECT_EQ(ReadFile(data.file("qelpserver.log")).substr(22),
              "QELP Server started! Data: " + data.path() +
                  " Installation data: /usr/share/q/\r\n");
    EXPECT_EQ(host.ReadRegistryValues(RegistryRoot::LocalMachine, "Software\\QELP", {"Driver"}),
              std::vector<std::string>{"/x/sim"});
    // A missing one is named; files new in one that is not the program's own are the group's.
    const int groupBits = RunInChild([&] {
        ::umask(027);
        fileio::WriteFileReplacing(data.file("old"), "x"); // the file layer has seen the umask
        Layout layout;
        const bool named = !EnterLayout(data.file("gone"), layout, program.file("x")).empty();
        struct stat file {
        }, dir{};
        return named && EnterLayout(data.path(), layout, program.file("x")).empty() &&
                       fileio::WriteFileReplacing(data.file("new"), "x") &&
                       fileio::MakeDirectory(data.file("ServerCmd")) &&
                       ::stat(data.file("new").c_str(), &file) == 0 &&
                       ::stat(data.file("ServerCmd").c_str(), &dir) == 0
                   ? int(file.st_mode & 070) + int(dir.st_mode & 070) / 8
                   : -1;
    });
    EXPECT_EQ(groupBits, 060 + 07); // rw for files, rwx for directories
}
