#include "driverharness.h"
#include "testsupport.h"

#include "frame/profile.h"
#include "frame/registry.h"
#include "frame/textutil.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>

namespace qelptest {

namespace {
// A random name of fixed length, so that no name is the prefix of another; it fits comm.
std::string uniqueName() {
    static std::mt19937_64 gen(
        std::random_device{}() ^
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    char name[16];
    std::snprintf(name, sizeof name, "simdrv%09llx",
                  static_cast<unsigned long long>(gen() & 0xfffffffffULL));
    return name;
}
} // namespace

DriverInstall::DriverInstall(const std::string& programDirectory, const std::string& iniExtra,
                             bool fast) {
    exeName = uniqueName();
    driverDir = qelp::WithTrailingSeparator(programDirectory + "driver");
    exchangeDir = qelp::WithTrailingSeparator(programDirectory + "exchange");
    exePath = driverDir + exeName + kExeSuffix;
    iniPath = exePath + ".ini";
    std::filesystem::create_directories(driverDir);
    std::filesystem::create_directories(exchangeDir);
    std::filesystem::copy_file(std::string(QELP_BIN_DIR) + "/qelpsim" + kExeSuffix, exePath,
                               std::filesystem::copy_options::overwrite_existing);
    writeIni(iniExtra, fast);

    qelp::RegistryStore store(programDirectory + qelp::kRegistryFileName);
    store.WriteText("Software\\QELP", "Driver", exePath);
    store.WriteText("Software\\QELP", "CommandPath", exchangeDir);
    store.WriteDword("Software\\QELP", "DispenserFamily", 3);
    store.WriteText("Software\\QELP", "ServerQELPVersion", "1,2,3");
    store.WriteText("Software\\QELP", "ClientQELPVersion", "2,3");
}

DriverInstall::~DriverInstall() {
    killAll();
}

void DriverInstall::writeIni(const std::string& iniExtra, bool fast) {
    // Set into the text, so that they join sections of the same name in it.
    std::string ini = qelp::profile::SetInText(iniExtra, "Link", "CommandPath", exchangeDir);
    WriteFile(iniPath, qelp::profile::SetInText(ini, "Timing", "FastMode", fast ? "1" : "0"));
}

void DriverInstall::killAll() {
    WaitUntil([&] {
        for (int pid : ProcessesNamed(exeName))
            KillProcess(pid);
        return ProcessesNamed(exeName).empty();
    });
}

int DriverInstall::processCount() const {
    return static_cast<int>(ProcessesNamed(exeName).size());
}

int DriverInstall::firstPid() const {
    std::vector<int> pids = ProcessesNamed(exeName);
    return pids.empty() ? -1 : pids.front();
}

} // namespace qelptest
