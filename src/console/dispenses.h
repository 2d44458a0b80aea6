#pragma once
// The console's side of the dispense history: what a record of a dosing command holds, taken
// from the program state, where the database lives, the one log line per failure episode,
// and "Dispense Again", which puts a recorded formula back into the recipe.
#include "frame/program.h"
#include "history/history.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qelp {

// Where the history database lives: "history.sqlite" in the program's data directory.
std::string HistoryDatabasePath(const ProgramState& program);

// The record of the dosing command just sent from the current recipe: its options, the
// driver's result code (kResultNotSent when the command never reached the driver: the code
// in the state then belongs to an earlier command) and the outcome line the console logged.
DispenseRecord DispenseRecordOf(const ProgramState& program, int64_t time,
                                const std::string& outcome, bool reachedDriver);

// Loads a recorded formula into the recipe as the recipe screen would compose it: the
// header and the options as recorded, and each colorant line added by its colorant name from
// today's canister table (so a colorant that moved to another canister follows its name).
// Returns the names the canister table no longer holds, which are left out.
std::vector<std::string> LoadDispenseRecord(ProgramState& program, const DispenseRecord& record);

// Records dispenses and says, in one log line per episode, when the history cannot be
// written; the next success ends the episode. A failure never stops a dispense.
class DispenseRecorder {
public:
    explicit DispenseRecorder(std::string databasePath) : m_store(std::move(databasePath)) {}
    void record(Program& program, const DispenseRecord& record);
    HistoryStore& store() { return m_store; }

private:
    HistoryStore m_store;
    bool m_failing = false;
};

} // namespace qelp
