// The command file frame and the ten maintenance builders, compared byte for byte with the
// files under tests/golden/commands.
#include "commands/builders.h"
#include "link/config.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <unistd.h>

using namespace qelp;
using namespace qelptest;

namespace {

std::string Golden(const std::string& name) {
    const std::string path = std::string(QELP_SOURCE_DIR) + "/tests/golden/commands/" + name;
    EXPECT_TRUE(Exists(path)) << path;
    return ReadFile(path);
}

class Builders : public ::testing::Test {
protected:
    void SetUp() override { ReadLinkConfiguration(f.program); }
    std::string commandFile() const { return ReadFile(f.program.serverCommandFile()); }
    ProgramFixture f;
};

using Build = std::function<bool(Program&)>;

} // namespace

TEST_F(Builders, EveryBuilderWritesItsGoldenFileAndLogLine) {
    const auto kind = [](int k) { return static_cast<MachineInfoKind>(k); };
    const auto mode = [](int m) { return static_cast<FillCanisterMode>(m); };
    const std::tuple<const char*, const char*, Build> cases[] = {
        {"reset.cmd", "Reset command created",
         [](Program& p) { return CreateResetCommand(p, false); }},
        {"reset_hard.cmd", "Reset command created",
         [](Program& p) { return CreateResetCommand(p, true); }},
        {"machineinfo_features.cmd", "MachineInfo command created",
         [&](Program& p) { return CreateMachineInfoCommand(p, kind(0)); }},
        {"machineinfo_pumpcount.cmd", "MachineInfo command created",
         [&](Program& p) { return CreateMachineInfoCommand(p, kind(1)); }},
        {"machineinfo_canistercount.cmd", "MachineInfo command created",
         [&](Program& p) { return CreateMachineInfoCommand(p, kind(2)); }},
        {"machineinfo_canistersize.cmd", "MachineInfo command created",
         [&](Program& p) { return CreateMachineInfoCommand(p, kind(3)); }},
        // Unknown kinds keep the verb's trailing blank.
        {"machineinfo_unknown.cmd", "MachineInfo command created",
         [&](Program& p) { return CreateMachineInfoCommand(p, kind(4)); }},
        {"machineinfo_unknown.cmd", "MachineInfo command created",
         [&](Program& p) { return CreateMachineInfoCommand(p, kind(-1)); }},
        {"version.cmd", "Version command created",
         [](Program& p) { return CreateVersionCommand(p); }},
        {"purge_7.cmd", "Purge command created",
         [](Program& p) { return CreatePurgeCommand(p, 7); }},
        {"purge_minus1.cmd", "Purge command created",
         [](Program& p) { return CreatePurgeCommand(p, -1); }},
        {"purgecol.cmd", "Purgecol command created",
         [](Program& p) { return CreatePurgeColCommand(p, "Deep Oxide Red"); }},
        {"clean_3.cmd", "Clean command created",
         [](Program& p) { return CreateCleanCommand(p, 3); }},
        // Windows-1252 bytes pass through untouched.
        {"cleancol.cmd", "Cleancol command created",
         [](Program& p) { return CreateCleanColCommand(p, "Gr\xfcn 2"); }},
        // The amount is not written in Prepare mode, whatever it is.
        {"fill_prepare.cmd", "FillCanister command created",
         [&](Program& p) { return CreateFillCanisterCommand(p, mode(0), 4, 999); }},
        {"fill_add.cmd", "FillCanister command created",
         [&](Program& p) { return CreateFillCanisterCommand(p, mode(1), 4, 1500); }},
        {"fill_set.cmd", "FillCanister command created",
         [&](Program& p) { return CreateFillCanisterCommand(p, mode(2), 12, -250); }},
        {"frame_only.cmd", "FillCanister command created",
         [&](Program& p) { return CreateFillCanisterCommand(p, mode(3), 4, 10); }},
        {"service_nopassword.cmd", "ShowServiceWindow command created",
         [](Program& p) { return CreateShowServiceWindowCommand(p, ""); }},
        {"service_password.cmd", "ShowServiceWindow command created",
         [](Program& p) { return CreateShowServiceWindowCommand(p, "s3cr et"); }},
        // Quotes inside the name are not escaped.
        {"setcancolname.cmd", "Setcancolname command created",
         [](Program& p) { return CreateSetCanColNameCommand(p, 5, "Oxide \"Red\" \x80"); }},
    };
    for (const auto& [golden, logLine, build] : cases) {
        SCOPED_TRACE(golden);
        // A long file first: each build must replace the whole file.
        WriteFile(f.program.serverCommandFile(), std::string(4000, 'z'));
        const size_t before = f.logMessages().size();
        EXPECT_TRUE(build(f.program));
        EXPECT_EQ(commandFile(), Golden(golden));
        const std::vector<std::string> log = f.logMessages();
        ASSERT_EQ(log.size(), before + 1);
        EXPECT_EQ(log.back(), logLine);
    }
}

TEST_F(Builders, LinkAtCommandFileIsReplacedNotFollowed) {
    const std::string victim = f.dir.file("victim.txt");
    WriteFile(victim, "keep me");
    ASSERT_EQ(::symlink(victim.c_str(), f.program.serverCommandFile().c_str()), 0);
    ASSERT_TRUE(CreateVersionCommand(f.program));
    EXPECT_EQ(ReadFile(victim), "keep me");
    EXPECT_EQ(commandFile(), Golden("version.cmd"));
}

TEST_F(Builders, UnwritableCommandFileFailsWithLogLine) {
    const std::pair<std::string, Build> cases[] = {
        {f.dir.file("gone/"), [](Program& p) { return CreateCleanCommand(p, 3); }},
        // A directory sits where the file should be.
        {f.dir.file("ServerCmd/"), [](Program& p) { return CreateResetCommand(p, true); }},
    };
    std::filesystem::create_directories(f.dir.file("ServerCmd/cmd.dat/inner"));
    for (const auto& [directory, build] : cases) {
        f.program.serverCommandDirectory = directory;
        EXPECT_FALSE(build(f.program));
        EXPECT_EQ(f.logMessages().back(),
                  "Error: Cannot write command file " + directory + "cmd.dat");
    }
    EXPECT_FALSE(Exists(f.dir.file("gone")));

    // Before the configuration was read nothing may land in the current directory.
    f.program.serverCommandDirectory.clear();
    EXPECT_FALSE(CreateVersionCommand(f.program));
    EXPECT_EQ(f.logMessages().back(),
              "Error: Cannot write command file (server command directory not configured)");
}
