#include "link/config.h"

#include "frame/eventlog.h"
#include "frame/program.h"
#include "frame/textutil.h"

#include <string>
#include <vector>

namespace qelp {

void ReadLinkConfiguration(Program& program) {
    WriteLogLine(program, "Reading config");

    // One read of the store for the whole configuration.
    const std::vector<std::string> values = program.host.ReadRegistryValues(
        RegistryRoot::LocalMachine, kConfigKey,
        {"Driver", "CommandPath", "DispenserFamily", "ServerQELPVersion", "ClientQELPVersion"});
    const std::string& driver = values[0];
    program.link.driverDirectory = DirectoryOf(driver);
    program.link.driverExeName = FileNameOf(driver);

    // A missing or empty CommandPath stays empty: with a separator added it would name the
    // root directory, where a start would then delete and create exchange files. StartDriver
    // reports the empty value as a missing exchange directory.
    const std::string commandPath = values[1];
    program.link.driverCommandDirectory =
        commandPath.empty() ? std::string() : WithTrailingSeparator(commandPath);

    // Digits whose value does not fit a 32-bit signed number count as unknown, like any
    // other text that is not a plain number.
    program.link.dispenserFamily = -1;
    if (const auto family = ParseDigits32(values[2]))
        program.link.dispenserFamily = *family;

    program.link.serverVersions = values[3];
    program.link.clientVersions = values[4];

    program.link.serverCommandDirectory = WithTrailingSeparator(program.files.dataDirectory) +
                                          kServerCommandFolder + std::string(1, kPathSeparator);
    if (!program.host.DirectoryExists(program.link.serverCommandDirectory) &&
        !program.host.CreateDirectoryAt(program.link.serverCommandDirectory)) {
        // Not fatal here: the builders report the file they cannot write, and the command
        // then fails instead of sending a stale file.
        WriteLogLine(program, "Error: Cannot create server command directory " +
                                  program.link.serverCommandDirectory);
    }

    WriteLogLine(program, "QELP Client Path: " + program.link.driverDirectory);
    WriteLogLine(program, "QELP Client Exe : " + program.link.driverExeName);
    WriteLogLine(program, "QELP Client Commands: " + program.link.driverCommandDirectory);
    WriteLogLine(program, "QELP Server Path: " + program.link.serverCommandDirectory);
    WriteLogLine(program, "QELP Dispenser Family: " + std::to_string(program.link.dispenserFamily));
    WriteLogLine(program, "QELP client versions supported: " + program.link.clientVersions);
    WriteLogLine(program, "QELP server versions supported: " + program.link.serverVersions);
}

} // namespace qelp
