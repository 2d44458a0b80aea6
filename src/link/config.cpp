#include "link/config.h"

#include "frame/eventlog.h"
#include "frame/program.h"
#include "frame/textutil.h"

#include <string>
#include <vector>

namespace qelp {

namespace {

// File names of the exchange slots, by slot index. Slot 6 is never filled.
constexpr const char* kDataNames[kExchangeSlotCount] = {
    "cmd.dat", "busy.flg", "result.dat", "abort.dat", "msg.dat", "reply.dat", ""};
// The busy flag has no signal file.
constexpr const char* kSignalNames[kExchangeSlotCount] = {
    "cmd.sig", "", "result.sig", "abort.sig", "msg.sig", "reply.sig", ""};

bool IsSlot(int slot) {
    return slot >= 0 && slot < kExchangeSlotCount;
}

} // namespace

void ReadLinkConfiguration(Program& program) {
    WriteLogLine(program, "Reading config");

    // One read of the store for the whole configuration.
    const std::vector<std::string> values = program.host.ReadRegistryValues(
        RegistryRoot::LocalMachine, kConfigKey,
        {"Driver", "CommandPath", "DispenserFamily", "ServerQELPVersion", "ClientQELPVersion"});
    const std::string& driver = values[0];
    program.driverDirectory = DirectoryOf(driver);
    program.driverExeName = FileNameOf(driver);

    // A missing or empty CommandPath stays empty: with a separator added it would name the
    // root directory, where a start would then delete and create exchange files. StartDriver
    // reports the empty value as a missing exchange directory.
    const std::string commandPath = values[1];
    program.driverCommandDirectory =
        commandPath.empty() ? std::string() : WithTrailingSeparator(commandPath);

    // Digits whose value does not fit a 32-bit signed number count as unknown, like any
    // other text that is not a plain number.
    program.dispenserFamily = -1;
    if (const auto family = ParseDigits32(values[2]))
        program.dispenserFamily = *family;

    program.serverVersions = values[3];
    program.clientVersions = values[4];

    program.serverCommandDirectory = WithTrailingSeparator(program.programDirectory) +
                                     kServerCommandFolder + std::string(1, kPathSeparator);
    if (!program.host.DirectoryExists(program.serverCommandDirectory) &&
        !program.host.CreateDirectoryAt(program.serverCommandDirectory)) {
        // Not fatal here: the builders report the file they cannot write, and the command
        // then fails instead of sending a stale file.
        WriteLogLine(program, "Error: Cannot create server command directory " +
                                  program.serverCommandDirectory);
    }

    WriteLogLine(program, "QELP Client Path: " + program.driverDirectory);
    WriteLogLine(program, "QELP Client Exe : " + program.driverExeName);
    WriteLogLine(program, "QELP Client Commands: " + program.driverCommandDirectory);
    WriteLogLine(program, "QELP Server Path: " + program.serverCommandDirectory);
    WriteLogLine(program, "QELP Dispenser Family: " + std::to_string(program.dispenserFamily));
    WriteLogLine(program, "QELP client versions supported: " + program.clientVersions);
    WriteLogLine(program, "QELP server versions supported: " + program.serverVersions);

    for (int slot = 0; slot < kExchangeSlotCount; ++slot) {
        program.exchangeDataNames[slot] = kDataNames[slot];
        program.exchangeSignalNames[slot] = kSignalNames[slot];
    }
}

bool IsDriverBusy(Program& program) {
    // Before the first configuration read the table is empty and names no file; testing
    // the bare directory would be meaningless. Without an exchange directory the name alone
    // would be a path in the working directory.
    if (program.exchangeDataNames[SlotBusy].empty() || program.driverCommandDirectory.empty())
        return false;
    return program.host.FileExists(program.exchangeDataPath(SlotBusy));
}

bool SignalFileExists(Program& program, int slot) {
    if (!IsSlot(slot) || program.exchangeSignalNames[slot].empty() ||
        program.driverCommandDirectory.empty())
        return false;
    return program.host.FileExists(program.exchangeSignalPath(slot));
}

void DeleteExchangePair(Program& program, int slot) {
    // No exchange directory configured: the bare names would be files of the working
    // directory, which the program never owns.
    if (!IsSlot(slot) || program.driverCommandDirectory.empty())
        return;
    // An empty name would turn the path into the exchange directory itself, which must
    // never be handed to a delete.
    if (!program.exchangeDataNames[slot].empty())
        program.host.DeleteFileAt(program.exchangeDataPath(slot));
    if (!program.exchangeSignalNames[slot].empty())
        program.host.DeleteFileAt(program.exchangeSignalPath(slot));
}

} // namespace qelp
