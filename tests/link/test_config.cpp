// Link configuration: registry values, the logged lines and the derived directories.
#include "exchange/exchange.h"
#include "frame/codepage.h"
#include "frame/registry.h"
#include "link/config.h"
#include "link/supervision.h"
#include "support/linkfixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace qelp;
using namespace qelptest;
namespace fs = std::filesystem;

namespace {

class LinkConfig : public ::testing::Test {
protected:
    void set(const std::string& name, const std::string& value) {
        ASSERT_TRUE(RegistryStore(f.host.registryPath()).WriteText(kConfigKey, name, value));
    }
    void set(const std::string& name, uint32_t value) {
        ASSERT_TRUE(RegistryStore(f.host.registryPath()).WriteDword(kConfigKey, name, value));
    }
    std::vector<std::string> read() {
        const size_t before = f.logMessages().size();
        ReadLinkConfiguration(f.program);
        return f.messagesFrom(before);
    }
    ProgramFixture f;
};

} // namespace

TEST_F(LinkConfig, LoggedLinesPathFormsAndDefaults) {
    set("DispenserFamily", 12u);
    set("ServerQELPVersion", "1,2,3");
    set("ClientQELPVersion", " 2,3, 4"); // kept as read, blanks included
    // Each read uses the registry as it is now, so an edited value counts at the next start.
    const char* const cases[][5] = {
        {"/opt/disp/bin/driver", "/x", "/opt/disp/bin/", "driver", "/x/"},
        {"drv.exe", "/x/", "drv.exe", "drv.exe", "/x/"}, // no separator: whole text in both
        {"", "", "", "", ""},                            // missing values name no directory
    };
    for (const auto& [driver, commandPath, dir, exe, commandDir] : cases) {
        SCOPED_TRACE(driver);
        set("Driver", HostPath(driver));
        set("CommandPath", HostPath(commandPath));
        EXPECT_EQ(read(),
                  (std::vector<std::string>{
                      "Reading config", "QELP Client Path: " + HostPath(dir),
                      "QELP Client Exe : " + HostPath(exe),
                      "QELP Client Commands: " + HostPath(commandDir),
                      "QELP Server Path: " + f.dir.file(HostPath("ServerCmd/")),
                      "QELP Dispenser Family: 12", "QELP client versions supported:  2,3, 4",
                      "QELP server versions supported: 1,2,3"}));
        EXPECT_TRUE(fs::is_directory(f.dir.file("ServerCmd")));
    }
    // A plain file in the way of ServerCmd: one clear line, the configuration still complete.
    fs::remove_all(f.dir.file("ServerCmd"));
    WriteFile(f.dir.file("ServerCmd"), "in the way");
    const std::vector<std::string> lines = read();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[1], "Error: Cannot create server command directory " +
                            f.dir.file(HostPath("ServerCmd/")));
}

TEST_F(LinkConfig, DispenserFamilyOnlyFromDigitsThatFit) {
    // The digit rules themselves are the text helpers' tests; these show that they apply.
    const std::pair<const char*, int32_t> cases[] = {
        {"0042", 42}, {" 3", -1}, {"+3", -1}, {"", -1}, {"2147483648", -1}};
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        set("DispenserFamily", text);
        EXPECT_EQ(read().at(5), "QELP Dispenser Family: " + std::to_string(expected));
    }
    set("DispenserFamily", 0xFFFFFFFDu); // a 32-bit number reads as signed: -3 is refused
    read();
    EXPECT_EQ(f.program.link.dispenserFamily, -1);
}

TEST_F(LinkConfig, AnEmptyCommandPathFailsTheStartAndNamesNoFile) {
    WriteFile(f.dir.file("drv.exe"), "not started");
    set("Driver", f.dir.file("drv.exe"));
    set("CommandPath", "");
    EXPECT_FALSE(StartDriver(f.program)); // the current directory is no exchange directory
    EXPECT_EQ(CountOf(f.logMessages(), "Client Communication path does not exist!"), 1);
    // Stop with no exchange directory deletes nothing, not even in the working directory.
    TempDir cwd;
    for (const char* name : {"busy.flg", "cmd.dat", "result.sig"})
        WriteFile(cwd.file(name), "kept");
    EXPECT_EQ(RunInChild([&] {
                  if (::chdir(cwd.path().c_str()) != 0)
                      return 2;
                  StopDriver(f.program);
                  return IsDriverBusy(f.program) ? 3 : 0;
              }),
              0);
    for (const char* name : {"busy.flg", "cmd.dat", "result.sig"})
        EXPECT_TRUE(Exists(cwd.file(name))) << name;
}

TEST(LinkConfigPaths, NonAsciiProgramDriverAndExchangeDirectoriesWorkBothWays) {
#ifdef _WIN32
    GTEST_SKIP() << "UTF-8 file names are Linux's; Windows names files in the ANSI code page";
#else
    // On disk the names are UTF-8; the registry store holds them in Windows-1252, as an
    // export from Windows does, and the log and the status line show them in Windows-1252.
    TempDir root;
    const std::string programDir = root.file("J\xC3\xBCrgen \xE2\x82\xAC/");
    ASSERT_EQ(::mkdir(programDir.c_str(), 0755), 0);
    DriverInstall driver(programDir);
    RegistryStore store(programDir + kRegistryFileName);
    store.WriteText(kConfigKey, "Driver", Utf8ToCp1252(driver.exePath));
    store.WriteText(kConfigKey, "CommandPath", Utf8ToCp1252(driver.exchangeDir));
    TestHost host(programDir);
    FakeUi ui;
    Program program(host, ui); // no message comes, so the stand-in needs no program
    StartProgram(program);
    EXPECT_TRUE(StartDriver(program));
    const std::string shown = Utf8ToCp1252(programDir);
    EXPECT_EQ(program.files.programDirectory, shown);
    const std::string log = ReadFile(programDir + "qelpserver.log");
    for (const std::string& line :
         {"QELP Client Path: " + Utf8ToCp1252(driver.driverDir),
          "QELP Client Commands: " + Utf8ToCp1252(driver.exchangeDir),
          "QELP Server Path: " + shown + "ServerCmd/", std::string("Client started"),
          "Logging data in file: " + Utf8ToCp1252(driver.exchangeDir) + "result.dat"})
        EXPECT_NE(log.find(" > " + line + "\r\n"), std::string::npos) << line;
    EXPECT_TRUE(Exists(programDir + "ServerCmd/cmd.dat"));
    StopDriver(program);
    EXPECT_FALSE(Exists(driver.exchangeDir + "busy.flg"));
#endif
}
