#pragma once
// A complete installation for tests and benchmarks that run the console's core against the
// real simulator: a program directory with registry.reg, a driver directory holding a copy
// of qelpsim under a unique name (so parallel runs never see each other's processes) with
// its ini, and an exchange directory.
#include <string>

namespace qelptest {

class DriverInstall {
public:
    // programDirectory: where the console's registry.reg goes (ends in '/').
    // iniExtra: more ini text appended after the [Link] and [Timing] sections (faults,
    // canisters...). fast: the simulator's fast mode.
    DriverInstall(const std::string& programDirectory, const std::string& iniExtra = {},
                  bool fast = true);
    ~DriverInstall();
    DriverInstall(const DriverInstall&) = delete;
    DriverInstall& operator=(const DriverInstall&) = delete;

    // Rewrites the simulator's ini (takes effect at its next start).
    void writeIni(const std::string& iniExtra, bool fast = true);
    // Kills every process of the unique name and waits until none is left.
    void killAll();
    // Number of live (non-zombie) processes of the unique name.
    int processCount() const;
    // Pid of the first live process of the name, or -1.
    int firstPid() const;

    std::string exeName;     // unique file name of the simulator copy
    std::string driverDir;   // ends in '/'
    std::string exePath;     // driverDir + exeName
    std::string exchangeDir; // ends in '/'
    std::string iniPath;
};

} // namespace qelptest
