// Link configuration: registry values -> program state, the seven configuration lines, the
// server command directory and the exchange-file operations.
#include "frame/registry.h"
#include "frame/textutil.h"
#include "link/config.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>

using namespace qelp;
using namespace qelptest;

namespace {

class LinkConfig : public ::testing::Test {
protected:
    void set(const std::string& name, const std::string& value) {
        ASSERT_TRUE(RegistryStore(f.host.registryPath()).WriteText(kConfigKey, name, value));
    }
    void setDword(const std::string& name, uint32_t value) {
        ASSERT_TRUE(RegistryStore(f.host.registryPath()).WriteDword(kConfigKey, name, value));
    }
    // The messages of the last configuration read, from "Reading config" on.
    std::vector<std::string> configLines() const {
        const std::vector<std::string> all = f.logMessages();
        const auto it = std::find(all.rbegin(), all.rend(), "Reading config");
        return it == all.rend() ? std::vector<std::string>{}
                                : std::vector<std::string>(std::prev(it.base()), all.end());
    }
    std::string at(const std::string& name) const { return f.dir.file("exchange/" + name); }
    ProgramFixture f;
};

} // namespace

TEST_F(LinkConfig, FullConfigurationLoggedInOrderAndTablesFilled) {
    set("Driver", f.dir.file("Disp/drv.exe"));
    set("CommandPath", f.dir.file("exchange"));
    setDword("DispenserFamily", 12);
    set("ServerQELPVersion", "1,2,3");
    set("ClientQELPVersion", " 2,3, 4"); // kept as read, blanks included
    ReadLinkConfiguration(f.program);

    const std::vector<std::string> expected = {
        "Reading config",
        "QELP Client Path: " + f.dir.file("Disp/"),
        "QELP Client Exe : drv.exe",
        "QELP Client Commands: " + f.dir.file("exchange/"),
        "QELP Server Path: " + f.dir.file("ServerCmd/"),
        "QELP Dispenser Family: 12",
        "QELP client versions supported:  2,3, 4",
        "QELP server versions supported: 1,2,3",
    };
    EXPECT_EQ(configLines(), expected);
    EXPECT_TRUE(std::filesystem::is_directory(f.dir.file("ServerCmd")));
    const std::array<std::string, kExchangeSlotCount> data = {
        "cmd.dat", "busy.flg", "result.dat", "abort.dat", "msg.dat", "reply.dat", ""};
    const std::array<std::string, kExchangeSlotCount> signal = {
        "cmd.sig", "", "result.sig", "abort.sig", "msg.sig", "reply.sig", ""};
    EXPECT_EQ(f.program.exchangeDataNames, data);
    EXPECT_EQ(f.program.exchangeSignalNames, signal);
}

TEST_F(LinkConfig, PathFormsAndDefaults) {
    struct Case {
        const char* driver;
        const char* commandPath;
        const char* dir;
        const char* exe;
        const char* commandDir;
    };
    // Each read uses the registry as it is now, so an edited value counts at the next start.
    const Case cases[] = {
        {"/opt/disp/bin/driver", "/x", "/opt/disp/bin/", "driver", "/x/"},
        {"drv.exe", "/x/", "drv.exe", "drv.exe", "/x/"}, // no separator: whole text in both
        {"", "", "", "", "/"},                           // missing values
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.driver);
        set("Driver", c.driver);
        set("CommandPath", c.commandPath);
        ReadLinkConfiguration(f.program);
        EXPECT_EQ(f.program.driverDirectory, c.dir);
        EXPECT_EQ(f.program.driverExeName, c.exe);
        EXPECT_EQ(f.program.driverCommandDirectory, c.commandDir);
        EXPECT_EQ(configLines().size(), 8u);
    }
}

TEST_F(LinkConfig, DispenserFamilyOnlyFromDigitsThatFit) {
    const std::pair<const char*, int32_t> cases[] = {
        {"3", 3},           {"0042", 42},
        {"-3", -1},         {" 3", -1},
        {"+3", -1},         {"3.0", -1},
        {"", -1},           {"2147483647", 2147483647},
        {"2147483648", -1}, {"99999999999999999999", -1},
    };
    for (const auto& [text, expected] : cases) {
        set("DispenserFamily", text);
        ReadLinkConfiguration(f.program);
        EXPECT_EQ(f.program.dispenserFamily, expected) << text;
        EXPECT_EQ(configLines().at(5), "QELP Dispenser Family: " + std::to_string(expected));
    }
    // A 32-bit number reads as its signed decimal text.
    setDword("DispenserFamily", 3);
    ReadLinkConfiguration(f.program);
    EXPECT_EQ(f.program.dispenserFamily, 3);
    setDword("DispenserFamily", 0xFFFFFFFDu);
    ReadLinkConfiguration(f.program);
    EXPECT_EQ(f.program.dispenserFamily, -1);
}

TEST_F(LinkConfig, ServerCommandDirectoryKeptOrReportedWhenBlocked) {
    std::filesystem::create_directory(f.dir.file("ServerCmd"));
    WriteFile(f.dir.file("ServerCmd/keep.txt"), "x");
    ReadLinkConfiguration(f.program);
    EXPECT_EQ(ReadFile(f.dir.file("ServerCmd/keep.txt")), "x");

    // A plain file in the way: one clear line, and the configuration is still complete.
    std::filesystem::remove_all(f.dir.file("ServerCmd"));
    WriteFile(f.dir.file("ServerCmd"), "in the way");
    ReadLinkConfiguration(f.program);
    const std::vector<std::string> lines = configLines();
    EXPECT_EQ(lines.at(1),
              "Error: Cannot create server command directory " + f.dir.file("ServerCmd/"));
    EXPECT_EQ(lines.size(), 9u);
    EXPECT_EQ(f.program.exchangeDataNames[SlotCommand], "cmd.dat");
}

TEST_F(LinkConfig, ExchangeFileOperations) {
    std::filesystem::create_directory(f.dir.file("exchange"));
    set("CommandPath", f.dir.file("exchange"));
    ReadLinkConfiguration(f.program);

    // The busy flag counts only as a regular file.
    EXPECT_FALSE(IsDriverBusy(f.program));
    std::filesystem::create_directory(at("busy.flg"));
    EXPECT_FALSE(IsDriverBusy(f.program));
    std::filesystem::remove(at("busy.flg"));
    WriteFile(at("busy.flg"), "");
    EXPECT_TRUE(IsDriverBusy(f.program));

    for (const char* name : {"cmd.dat", "cmd.sig", "result.dat", "result.sig", "msg.dat"})
        WriteFile(at(name), "x");
    EXPECT_TRUE(SignalFileExists(f.program, SlotCommand));
    EXPECT_TRUE(SignalFileExists(f.program, SlotResult));
    EXPECT_FALSE(SignalFileExists(f.program, SlotMessage)); // data without its signal
    EXPECT_FALSE(SignalFileExists(f.program, SlotBusy));    // the busy slot has none
    for (int bad : {6, 7, -1})
        EXPECT_FALSE(SignalFileExists(f.program, bad));

    DeleteExchangePair(f.program, SlotResult);
    EXPECT_FALSE(Exists(at("result.dat")));
    EXPECT_FALSE(Exists(at("result.sig")));
    EXPECT_TRUE(Exists(at("cmd.dat")));
    EXPECT_TRUE(Exists(at("busy.flg")));
    // Missing halves are no error; the busy slot deletes its flag; bad slots touch nothing.
    std::filesystem::remove(at("cmd.dat"));
    DeleteExchangePair(f.program, SlotCommand);
    EXPECT_FALSE(Exists(at("cmd.sig")));
    DeleteExchangePair(f.program, SlotBusy);
    EXPECT_FALSE(Exists(at("busy.flg")));
    for (int bad : {6, 99, -1})
        DeleteExchangePair(f.program, bad);
    EXPECT_TRUE(Exists(at("msg.dat")));
}
