#pragma once
// The link configuration: the values under the registry key "Software\QELP", the
// directories derived from them and the exchange slot tables.
#include <string>

namespace qelp {

class Program;

// The registry key that holds the configuration, below the local-machine root.
inline constexpr const char* kConfigKey = "Software\\QELP";
// The program's own command directory, below its directory.
inline constexpr const char* kServerCommandFolder = "ServerCmd";

// Reads Driver, CommandPath, DispenserFamily, ServerQELPVersion and ClientQELPVersion,
// derives driverDirectory, driverExeName, driverCommandDirectory and
// serverCommandDirectory (creating the latter when missing), logs the seven configuration
// lines and fills the exchange slot tables.
void ReadLinkConfiguration(Program& program);

// "busy.flg" exists in the driver's command directory.
bool IsDriverBusy(Program& program);
// The slot's signal file exists in the driver's command directory.
bool SignalFileExists(Program& program, int slot);
// Deletes the slot's data file, then its signal file (when it has one). Missing files are
// no error.
void DeleteExchangePair(Program& program, int slot);

} // namespace qelp
