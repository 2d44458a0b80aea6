// The maintenance builders, compared byte for byte with the files in tests/golden/commands.
#include "builders/builders.h"
#include "exchange/exchange.h"
#include "link/config.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <unistd.h>

using namespace qelp;
using namespace qelptest;
using Lines = std::vector<std::string>;

namespace {

class Builders : public ::testing::Test {
protected:
    void SetUp() override { ReadLinkConfiguration(f.program); }
    ProgramFixture f;
};

using Build = std::function<bool(Program&)>;
#define BUILD(call) [](Program& p) { return call; }
using K = MachineInfoKind;
using M = FillCanisterMode;

} // namespace

TEST_F(Builders, EveryBuilderWritesItsGoldenFileAndLogLine) {
    // Unknown kinds keep the verb's trailing blank; Windows-1252 bytes pass through; the
    // amount is not written in Prepare mode; quotes inside a name are not escaped.
    // clang-format off
    const std::tuple<const char*, const char*, Build> cases[] = {
        {"reset.cmd", "Reset", BUILD(CreateResetCommand(p, false))},
        {"reset_hard.cmd", "Reset", BUILD(CreateResetCommand(p, true))},
        {"machineinfo_features.cmd", "MachineInfo", BUILD(CreateMachineInfoCommand(p, K(0)))},
        {"machineinfo_pumpcount.cmd", "MachineInfo", BUILD(CreateMachineInfoCommand(p, K(1)))},
        {"machineinfo_canistercount.cmd", "MachineInfo", BUILD(CreateMachineInfoCommand(p, K(2)))},
        {"machineinfo_canistersize.cmd", "MachineInfo", BUILD(CreateMachineInfoCommand(p, K(3)))},
        {"machineinfo_unknown.cmd", "MachineInfo", BUILD(CreateMachineInfoCommand(p, K(4)))},
        {"machineinfo_unknown.cmd", "MachineInfo", BUILD(CreateMachineInfoCommand(p, K(-1)))},
        {"version.cmd", "Version", BUILD(CreateVersionCommand(p))},
        {"purge_7.cmd", "Purge", BUILD(CreatePurgeCommand(p, 7))},
        {"purge_minus1.cmd", "Purge", BUILD(CreatePurgeCommand(p, -1))},
        {"purgecol.cmd", "Purgecol", BUILD(CreatePurgeColCommand(p, "Deep Oxide Red"))},
        {"clean_3.cmd", "Clean", BUILD(CreateCleanCommand(p, 3))},
        {"cleancol.cmd", "Cleancol", BUILD(CreateCleanColCommand(p, "Gr\xfcn 2"))},
        {"fill_prepare.cmd", "FillCanister", BUILD(CreateFillCanisterCommand(p, M(0), 4, 999))},
        {"fill_add.cmd", "FillCanister", BUILD(CreateFillCanisterCommand(p, M(1), 4, 1500))},
        {"fill_set.cmd", "FillCanister", BUILD(CreateFillCanisterCommand(p, M(2), 12, -250))},
        {"frame_only.cmd", "FillCanister", BUILD(CreateFillCanisterCommand(p, M(3), 4, 10))},
        {"service_nopassword.cmd", "ShowServiceWindow",
         BUILD(CreateShowServiceWindowCommand(p, ""))},
        {"service_password.cmd", "ShowServiceWindow",
         BUILD(CreateShowServiceWindowCommand(p, "s3cr et"))},
        {"setcancolname.cmd", "Setcancolname",
         BUILD(CreateSetCanColNameCommand(p, 5, "Oxide \"Red\" \x80"))}};
    // clang-format on
    const std::string cmd = ServerCommandFile(f.program), victim = f.dir.file("victim");
    for (const auto& [golden, verb, build] : cases) {
        SCOPED_TRACE(golden);
        // A link to a long file first: the link is replaced, neither followed nor appended to.
        WriteFile(victim, std::string(4000, 'z'));
        std::filesystem::remove(cmd);
#ifndef _WIN32 // a link planted under the name; links need a privilege on Windows
        ASSERT_EQ(::symlink(victim.c_str(), cmd.c_str()), 0);
#endif
        const size_t before = f.logMessages().size();
        EXPECT_TRUE(build(f.program));
        EXPECT_EQ(ReadFile(cmd),
                  ReadFile(QELP_SOURCE_DIR "/tests/golden/commands/" + std::string(golden)));
        EXPECT_EQ(ReadFile(victim), std::string(4000, 'z'));
        EXPECT_EQ(f.messagesFrom(before), Lines{std::string(verb) + " command created"});
    }
}

TEST_F(Builders, UnwritableCommandFileFailsWithoutCreationLine) {
    const std::tuple<std::string, std::string, Build> cases[] = {
        {f.dir.file("gone/"), f.dir.file("gone/cmd.dat"), BUILD(CreateCleanCommand(p, 3))},
        // Before the configuration was read nothing may land in the current directory.
        {"", "(server command directory not configured)", BUILD(CreateVersionCommand(p))},
    };
    for (const auto& [directory, where, build] : cases) {
        SCOPED_TRACE(directory);
        f.program.link.serverCommandDirectory = directory;
        const size_t before = f.logMessages().size();
        EXPECT_FALSE(build(f.program));
        EXPECT_EQ(f.messagesFrom(before), Lines{"Error: Cannot write command file " + where});
    }
    EXPECT_FALSE(Exists(f.dir.file("gone")));
}
