// qelpsim: a dispenser driver that simulates the machine, for running and testing the
// console without hardware. The console starts it without arguments; see README.md for its
// ini file. A portable copy keeps its ini, state and log files beside itself, an installed
// one in the shared data directory (frame/layout.h).
#include "frame/fileio.h"
#include "frame/layout.h"
#include "qelpversion.h"
#include "simulator.h"

#include <cstdio>

namespace {
constexpr const char* kUsage =
    "usage: qelpsim [--data-dir DIR]\n"
    "       qelpsim --help | --version\n"
    "\n"
    "The dispenser simulator: a driver for the console without hardware. It reads\n"
    "qelpsim.ini and writes qelpsim.state and qelpsim.log in its data directory: its own\n"
    "directory (portable copy), /var/lib/qelpserver (installed copy) or DIR.\n"
    "Exit status: 0 ended, 1 no executable path, 2 wrong usage.\n";
}

int main(int argc, char** argv) {
    const qelp::StandardOptions options = qelp::ParseStandardOptions(argc, argv);
    if (!options.error.empty() || !options.rest.empty()) {
        std::fprintf(stderr, "qelpsim: %s\n%s",
                     options.error.empty() ? "no arguments expected" : options.error.c_str(),
                     kUsage);
        return 2;
    }
    if (options.help || options.version) {
        std::fputs(options.help ? kUsage : "qelpsim " QELP_VERSION "\n", stdout);
        return 0;
    }
    std::string path = qelp::fileio::OwnExecutablePath();
    if (path.empty()) {
        std::fprintf(stderr, "qelpsim: cannot find its own executable\n");
        return 1;
    }
    qelp::Layout layout;
    const std::string problem = qelp::EnterLayout(options.dataDirectory, layout, path);
    if (!problem.empty())
        std::fprintf(stderr, "qelpsim: %s\n", problem.c_str());
    return qelpsim::Simulator(path, layout.dataDirectory).run();
}
