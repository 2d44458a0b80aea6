#pragma once
// The host services on Linux: /proc for the process list, posix_spawn for launching,
// SIGKILL for termination, the REGEDIT4 store in the data directory for the registry, inotify
// for directory watches. The program's texts are Windows-1252, file names on Linux UTF-8:
// paths and process names are converted here, on their way to and from the system.
#include "frame/host.h"

#include <map>
#include <string>
#include <vector>

namespace qelp {

class PosixHost : public Host {
public:
    // programPath: the executable's full path as the system names it (UTF-8); empty means
    // /proc/self/exe.
    explicit PosixHost(std::string programPath = {});

    bool IsProcessRunning(const std::string& name) override;
    bool TerminateProcessByName(const std::string& name) override;
    int LaunchProcess(const std::string& commandLine, const std::string& workingDirectory,
                      int showMode) override;
    void WriteProfileString(const std::string& section, const std::string& key,
                            const std::string& value, const std::string& file) override;
    std::vector<std::string> ReadRegistryValues(RegistryRoot root, const std::string& keyPath,
                                                const std::vector<std::string>& names) override;
    void WriteRegistryString(RegistryRoot root, const std::string& keyPath,
                             const std::string& valueName, const std::string& value) override;
    int DeleteFileAt(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    bool DirectoryExists(const std::string& path) override;
    bool CreateDirectoryAt(const std::string& path) override;
    bool IsSameFile(const std::string& a, const std::string& b) override;
    bool CopyFileTo(const std::string& from, const std::string& to) override;
    bool WriteWholeFile(const std::string& path, const std::string& bytes) override;
    bool ReadWholeFile(const std::string& path, std::string& bytes) override;
    bool ReadPlainFile(const std::string& path, std::string& bytes) override;
    bool AppendToFile(const std::string& path, const std::string& bytes) override;
    std::unique_ptr<DirectoryWatch> WatchDirectory(const std::string& directory,
                                                   const std::string& processName) override;
    std::string ProgramPath() override;
    char DecimalSeparator() override;
    char GroupSeparator() override;

    // The executable's full path as the system names it.
    const std::string& nativeProgramPath() const { return m_programPath; }
    // The registry file used (data directory + registry.reg), as the system names it.
    std::string registryPath() const;
    // Where a key's values are kept, for the user: the registry file.
    std::string storeName(const std::string& /*keyPath*/) const { return registryPath(); }
    // Where the registry store lives (the system's name, ending in '/'); the program
    // directory until set.
    void setDataDirectory(std::string directory) { m_dataDirectory = std::move(directory); }

private:
    bool readReported(const std::string& path, std::string& bytes, bool followLinks);
    class RegistryStore registryStore();
    void reapChildren();
    bool confirmCached(const std::string& name);
    int findFirst(const std::string& name);

    std::string m_programPath;
    std::string m_dataDirectory;
    std::vector<int> m_children;                  // launched by us, not yet reaped
    std::map<std::string, int> m_knownPid;        // upper-case name -> pid last seen matching
    std::shared_ptr<class ExchangeWatch> m_watch; // kept from one result wait to the next
};

// What can be read of one process's names on Linux. Empty fields could not be read.
struct ProcessNames {
    std::string comm;              // the kernel's name, cut at 15 characters
    std::string exe;               // path of the executable
    std::vector<std::string> argv; // the command line
};
// A process matches `name` when the name is a prefix (ignoring case) of one of its full
// names: the file name of its executable, of its argv[0], or, for an interpreted program,
// of the script the kernel named it after. Only when no full name can be read does comm
// count, and a 15-character comm then also matches a longer name that begins with it.
bool NamesMatch(const ProcessNames& names, const std::string& name);
// The same for a live process; zombies and the console itself never match.
// ... and is not on its way out (killed, or exiting): a dying driver is never adopted.
bool ProcessMatches(int pid, const std::string& name);
bool IsZombieOrGone(int pid);

} // namespace qelp
