#pragma once
// The result file reader.
namespace qelp {

class Program;

// Reads "result.dat" of the driver's command directory into driverResultCode,
// commandOutput, resultCanisters, featureLines, errorLogLines and versionLines, merges
// contents and dosed amounts into canisterTable, then deletes "result.dat" and "result.sig".
void ReadResultFile(Program& program);

} // namespace qelp
