#include "operations/operations.h"

#include "builders/builders.h"
#include "builders/dosing.h"
#include "exchange/exchange.h"
#include "frame/eventlog.h"
#include "frame/program.h"
#include "link/transfer.h"

namespace qelp {

namespace {

// Builds and sends one command. A refusal comes before the builder, so a command in flight
// keeps its command file; a builder that cannot write its file ends the operation unsent.
template <class Build> bool run(Program& program, Build build) {
    const CommandTurn turn(program);
    if (!turn.held() || !build())
        return false;
    return SendAndEvaluate(program, turn, program.tuning.commandBusyWaitMs);
}

} // namespace

bool ResetDispenser(Program& p, bool hard) {
    return run(p, [&] { return CreateResetCommand(p, hard); });
}
bool QueryMachineInfo(Program& p, MachineInfoKind kind) {
    return run(p, [&] { return CreateMachineInfoCommand(p, kind); });
}
bool QueryVersion(Program& p) {
    return run(p, [&] { return CreateVersionCommand(p); });
}
bool PurgeCanister(Program& p, int32_t canister) {
    return run(p, [&] { return CreatePurgeCommand(p, canister); });
}
bool PurgeColorant(Program& p, const std::string& name) {
    return run(p, [&] { return CreatePurgeColCommand(p, name); });
}
bool CleanCanister(Program& p, int32_t canister) {
    return run(p, [&] { return CreateCleanCommand(p, canister); });
}
bool CleanColorant(Program& p, const std::string& name) {
    return run(p, [&] { return CreateCleanColCommand(p, name); });
}
bool FillCanister(Program& p, FillCanisterMode mode, int32_t canister, int32_t amountMl) {
    return run(p, [&] { return CreateFillCanisterCommand(p, mode, canister, amountMl); });
}
bool ShowServiceWindow(Program& p, const std::string& password) {
    return run(p, [&] { return CreateShowServiceWindowCommand(p, password); });
}
bool DoseRecipe(Program& p, DosingRecipe& recipe, const std::vector<RecipeColorant>& colorants) {
    return run(p, [&] { return CreateDosingCommand(p, recipe, colorants); });
}
bool SetCanisterColorantName(Program& p, int32_t canister, const std::string& name) {
    return run(p, [&] { return CreateSetCanColNameCommand(p, canister, name); });
}

bool SendPreparedCommandFile(Program& p, const std::string& path) {
    if (path.empty() || !p.host.FileExists(path))
        return false;
    return run(p, [&] {
        const std::string target = ServerCommandFile(p);
        // Only the server command file itself, under whatever name, is sent as it stands.
        // Comparing names would be wrong both ways here: "CMD.DAT" beside "cmd.dat" is a
        // different file, and a link or a "./" names the same one.
        if (p.host.IsSameFile(path, target))
            return true;
        if (p.host.CopyFileTo(path, target))
            return true;
        WriteLogLine(p, "Error: Cannot copy command file " + path + " to " + target);
        return false;
    });
}

} // namespace qelp
