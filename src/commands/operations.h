#pragma once
// The command operations: build one command file, send it, evaluate the driver's answer.
// Each returns true when the command reached the driver and it answered with code 0.
//
// One command at a time: an operation called while another command is in flight (from an
// event handled inside the result wait) is refused with a log line and returns false,
// without touching the command file or the exchange directory.
#include "frame/types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qelp {

class Program;

bool ResetDispenser(Program& program, bool hard);
bool QueryMachineInfo(Program& program, MachineInfoKind kind);
bool QueryVersion(Program& program);
bool PurgeCanister(Program& program, int32_t canister);
bool PurgeColorant(Program& program, const std::string& colorantName);
bool CleanCanister(Program& program, int32_t canister);
bool CleanColorant(Program& program, const std::string& colorantName);
bool FillCanister(Program& program, FillCanisterMode mode, int32_t canister, int32_t amountMl);
bool ShowServiceWindow(Program& program, const std::string& password);
bool DoseRecipe(Program& program, DosingRecipe& recipe,
                const std::vector<RecipeColorant>& colorants);
bool SetCanisterColorantName(Program& program, int32_t canister, const std::string& colorantName);
bool SendPreparedCommandFile(Program& program, const std::string& path);

// The line logged when a command is refused because another one is still in flight.
inline constexpr const char* kCommandRefusedLine =
    "Command refused: another command is still waiting for the driver.";

} // namespace qelp
