#include "driverharness.h"
#include "testsupport.h"

#include "frame/posixhost.h"
#include "frame/profile.h"
#include "frame/registry.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace qelptest {

namespace {
// A random name of fixed length, so that no name is the prefix of another; it fits comm.
std::string uniqueName() {
    static std::mt19937_64 gen(std::random_device{}() ^ static_cast<uint64_t>(::getpid()));
    char name[16];
    std::snprintf(name, sizeof name, "simdrv%09llx",
                  static_cast<unsigned long long>(gen() & 0xfffffffffULL));
    return name;
}

std::vector<int> pidsOf(const std::string& name) {
    std::vector<int> pids;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec))
        if (int pid = std::atoi(entry.path().filename().c_str());
            pid > 0 && qelp::ProcessMatches(pid, name))
            pids.push_back(pid);
    return pids;
}

std::string SimulatorBinary() {
    return std::string(QELP_BIN_DIR) + "/qelpsim";
}
} // namespace

DriverInstall::DriverInstall(const std::string& programDirectory, const std::string& iniExtra,
                             bool fast)
    : m_programDirectory(programDirectory) {
    exeName = uniqueName();
    driverDir = programDirectory + "driver/";
    exchangeDir = programDirectory + "exchange/";
    exePath = driverDir + exeName;
    iniPath = exePath + ".ini";
    std::filesystem::create_directories(driverDir);
    std::filesystem::create_directories(exchangeDir);
    std::filesystem::copy_file(SimulatorBinary(), exePath,
                               std::filesystem::copy_options::overwrite_existing);
    ::chmod(exePath.c_str(), 0755);
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
        for (int pid : pidsOf(exeName))
            ::kill(pid, SIGKILL);
        return pidsOf(exeName).empty();
    });
}

int DriverInstall::processCount() const {
    return static_cast<int>(pidsOf(exeName).size());
}

int DriverInstall::firstPid() const {
    std::vector<int> pids = pidsOf(exeName);
    return pids.empty() ? -1 : pids.front();
}

} // namespace qelptest
