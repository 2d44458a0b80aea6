#pragma once
// The command file frame and the maintenance command builders. Each builder replaces
// serverCommandDirectory + "cmd.dat" with "@RUN", its command line and "@END", every line
// ending in CR LF, and logs its creation line. A file that cannot be written is logged and
// the builder returns false, so the operation fails instead of sending a stale file.
#include "frame/types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qelp {

class Program;

bool CreateResetCommand(Program& program, bool hard);
bool CreateMachineInfoCommand(Program& program, MachineInfoKind kind);
bool CreateVersionCommand(Program& program);
bool CreatePurgeCommand(Program& program, int32_t canister);
bool CreatePurgeColCommand(Program& program, const std::string& colorantName);
bool CreateCleanCommand(Program& program, int32_t canister);
bool CreateCleanColCommand(Program& program, const std::string& colorantName);
bool CreateFillCanisterCommand(Program& program, FillCanisterMode mode, int32_t canister,
                               int32_t amountMl);
bool CreateShowServiceWindowCommand(Program& program, const std::string& password);
bool CreateSetCanColNameCommand(Program& program, int32_t canister,
                                const std::string& colorantName);

// Writes the frame around the given command lines to the server command file. False (after
// a log line naming the file) when it cannot be written. Shared with the dosing builder.
bool WriteCommandFile(Program& program, const std::vector<std::string>& commandLines);

} // namespace qelp
