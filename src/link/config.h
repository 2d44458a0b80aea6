#pragma once
// The link configuration: the values under the registry key "Software\QELP", the
// directories derived from them.
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
// lines.
void ReadLinkConfiguration(Program& program);

} // namespace qelp
