#pragma once
// The result file reader.
namespace qelp {

class Program;
struct ProgramState;

// Reads "result.dat" of the driver's command directory into driverResultCode,
// commandOutput, resultCanisters, featureLines, errorLogLines and versionLines, merges
// contents and dosed amounts into canisterTable, then deletes "result.dat" and "result.sig".
void ReadResultFile(Program& program);

// Carries the colorant names of the last result's canisters into the canister table (after
// a name change, whose result reports the new names). Canisters the table does not know
// are not added.
void TakeReportedColorantNames(ProgramState& program);

} // namespace qelp
