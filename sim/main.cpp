// qelpsim: a dispenser driver that simulates the machine, for running and testing the
// console without hardware. It takes no arguments; see README.md for its ini file.
#include "simulator.h"

#include <cstdio>

int main() {
    std::string path = qelpsim::OwnExecutablePath();
    if (path.empty()) {
        std::fprintf(stderr, "qelpsim: cannot find its own executable\n");
        return 1;
    }
    return qelpsim::Simulator(path).run();
}
