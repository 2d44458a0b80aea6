// The two layouts: which one a program's place gives, what --data-dir changes, and that an
// installed program's log, store and new files go to the shared data directory.
#include "frame/fileio.h"
#include "frame/layout.h"
#include "frame/program.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace qelp;
using namespace qelptest;

TEST(Layout, TheBinDirectoryMakesACopyInstalledAndDataDirOverridesIt) {
    TempDir root;
    ASSERT_EQ(::mkdir(root.file("usr").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(root.file("usr/bin").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("usr/bin", root.file("bin").c_str()), 0);
    const std::string data = root.file("var/"), share = root.file("share/");
    char cwd[4096];
    ASSERT_TRUE(::getcwd(cwd, sizeof cwd));
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
        {root.file("build/qelp-reg"), root.file("usr/bin"), "rel", std::string(cwd) + "/rel/",
         root.file("build/"), false},
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
    // New files in a data directory that is not the program's own stay group-writable.
    const int rc = RunInChild([&] {
        ::umask(027);
        Layout layout;
        if (EnterLayout(data.file("gone"), layout, program.file("qelpserver")).find("not exist") ==
                std::string::npos ||
            !EnterLayout(data.path(), layout, program.file("qelpserver")).empty())
            return 1;
        struct stat st {};
        return fileio::WriteFileReplacing(data.file("new"), "x") &&
                       ::stat(data.file("new").c_str(), &st) == 0 && (st.st_mode & 0777) == 0660
                   ? 0
                   : 2;
    });
    EXPECT_EQ(rc, 0);
}
