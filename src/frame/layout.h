#pragma once
// Where a program of this package keeps what it writes and finds what it was installed with.
//
// Two layouts, one rule, shared by the console, the simulator and the tools:
// - Portable (a build tree, the demonstration, a copy on a USB stick): everything lives in the
//   executable's own directory.
// - Installed: the executable lies in the install bin directory configured at build time
//   (/usr/bin for the package). The program then writes into one shared data directory
//   (/var/lib/qelpserver) and reads its installation data (the message window's graphics/)
//   from <prefix>/share/qelpserver.
// `--data-dir DIR` overrides the data directory in either layout. Paths here are the
// system's own (UTF-8 on Linux).
#include <string>
#include <vector>

namespace qelp {

struct Layout {
    std::string dataDirectory;     // registry store, event log, ServerCmd, settings; ends in '/'
    std::string resourceDirectory; // read-only installation data; ends in '/'
    bool installed = false;        // the executable lies in the install bin directory
};

// The directories the build was configured to install to.
struct InstallDirectories {
    std::string binDirectory;      // e.g. /usr/bin
    std::string dataDirectory;     // e.g. /var/lib/qelpserver
    std::string resourceDirectory; // e.g. /usr/share/qelpserver
};
const InstallDirectories& ConfiguredInstallDirectories();

// The layout for an executable at executablePath (absolute, links resolved, as
// /proc/self/exe gives it). A non-empty dataDirectoryOverride replaces the data directory; a
// relative one is taken from the current directory.
Layout ChooseLayout(const std::string& executablePath, const std::string& dataDirectoryOverride,
                    const InstallDirectories& install = ConfiguredInstallDirectories());

// What every program's main does with its layout: chooses it for the running executable
// (/proc/self/exe unless given), shares new files with the group when the data directory is
// not the program's own (fileio::ShareNewFilesWithGroup). Empty on success, otherwise the text to
// tell the user (a missing data directory: the program goes on, and what it cannot write there is
// lost).
std::string EnterLayout(const std::string& dataDirectoryOverride, Layout& layout,
                        std::string executablePath = {});

// The options every program of the package understands, taken from the front of the command
// line: --help/-h, --version, --data-dir DIR (or --data-dir=DIR), and "--" to end them.
// Anything else starting with '-' is an error unless `passThrough` accepts it (it returns how
// many arguments it takes, the option included; 0 refuses it).
struct StandardOptions {
    bool help = false;
    bool version = false;
    std::string dataDirectory;
    std::vector<std::string> rest; // the arguments after the options, in order
    std::string error;             // non-empty: the reason to print before the usage
};
StandardOptions ParseStandardOptions(int argc, char** argv,
                                     int (*passThrough)(const std::string& option) = nullptr);

} // namespace qelp
