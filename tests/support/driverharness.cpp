#include "driverharness.h"

#include "frame/posixhost.h"
#include "frame/registry.h"

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace qelptest {

namespace {
std::string uniqueName() {
    std::random_device rd;
    std::mt19937_64 gen(rd() ^ (static_cast<uint64_t>(::getpid()) << 20));
    const char* hex = "0123456789abcdef";
    std::string name = "simdrv";
    for (int i = 0; i < 9; ++i)
        name.push_back(hex[gen() % 16]);
    return name; // 15 characters: the whole name fits comm
}

std::vector<int> pidsOf(const std::string& name) {
    std::vector<int> pids;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return pids;
    while (dirent* e = ::readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9')
            continue;
        int pid = std::atoi(e->d_name);
        if (qelp::ProcessMatches(pid, name))
            pids.push_back(pid);
    }
    ::closedir(proc);
    return pids;
}
} // namespace

std::string SimulatorBinary() {
    return std::string(QELP_BIN_DIR) + "/qelpsim";
}

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
    // The first of duplicate sections wins, so FastMode joins a [Timing] section of the extra
    // text when it has one.
    const std::string fastLine = std::string("FastMode=") + (fast ? "1" : "0") + "\r\n";
    std::string extra = iniExtra;
    size_t timing = extra.find("[Timing]\r\n");
    if (timing != std::string::npos)
        extra.insert(timing + 10, fastLine);
    std::string ini = "[Link]\r\nCommandPath=" + exchangeDir + "\r\n";
    if (timing == std::string::npos)
        ini += "[Timing]\r\n" + fastLine;
    ini += extra;
    FILE* f = std::fopen(iniPath.c_str(), "wb");
    if (!f)
        throw std::runtime_error("cannot write " + iniPath);
    std::fwrite(ini.data(), 1, ini.size(), f);
    std::fclose(f);
}

void DriverInstall::killAll() {
    for (int round = 0; round < 200; ++round) {
        std::vector<int> pids = pidsOf(exeName);
        if (pids.empty())
            return;
        for (int pid : pids)
            ::kill(pid, SIGKILL);
        ::usleep(10000);
    }
}

int DriverInstall::processCount() const {
    return static_cast<int>(pidsOf(exeName).size());
}

int DriverInstall::firstPid() const {
    std::vector<int> pids = pidsOf(exeName);
    return pids.empty() ? -1 : pids.front();
}

} // namespace qelptest
