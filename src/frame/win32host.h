#pragma once
// The host services on Windows, through the Win32 functions a Windows program of this kind
// uses: the Toolhelp snapshot for the process list, TerminateProcess, CreateProcessA, the
// private-profile functions, the registry under HKEY_LOCAL_MACHINE, and change
// notifications for directory watches. Texts are the ANSI code page's bytes throughout.
#include "frame/host.h"
#include "frame/registry.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qelp {

// The ids of the processes whose executable name begins with the name, ignoring case, in
// the system's list order; none for an empty name.
std::vector<unsigned long> ProcessesNamed(const std::string& name);

class Win32Host : public Host {
public:
    // programPath: the executable's full path; empty means the running module's.
    explicit Win32Host(std::string programPath = {});

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

    // The registry file of the portable layout (program directory + registry.reg), whether
    // it exists or not.
    std::string registryPath() const;
    // The portable layout: a registry.reg in the program directory holds the configuration
    // instead of the machine's registry (a console run from a stick or a shared folder).
    // Empty when the registry is used.
    std::optional<std::string> portableRegistryPath() const;
    // Where a key's values are kept, for the user: the portable registry file, or the key
    // under HKEY_LOCAL_MACHINE.
    std::string storeName(const std::string& keyPath) const;
    // A data directory the user named (--data-dir, ending in the separator): its registry.reg
    // is then the store, present or not, as it is for the tools' file store.
    void setDataDirectory(std::string directory) { m_dataDirectory = std::move(directory); }
    // The machine registry's values of a key under HKEY_LOCAL_MACHINE, as the store lists
    // them, and a 32-bit value written there (for qelp-reg). False when it cannot be written.
    std::vector<RegistryValue> ListRegistryValues(const std::string& keyPath) const;
    bool WriteRegistryDword(const std::string& keyPath, const std::string& valueName,
                            uint32_t value) const;

private:
    bool readReported(const std::string& path, std::string& bytes, bool followLinks);
    unsigned long findFirst(const std::string& name) const;

    std::string m_programPath;
    std::string m_dataDirectory; // empty: the program directory, portable only with the file
    std::map<std::string, unsigned long> m_knownPid; // upper-case name -> process id last seen
    std::shared_ptr<class ExchangeWatch> m_watch;    // kept from one result wait to the next
};

} // namespace qelp
