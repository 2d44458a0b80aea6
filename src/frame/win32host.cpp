#include "frame/win32host.h"

#include "frame/fileio.h"
#include "frame/textutil.h"

#include <windows.h>

#include <tlhelp32.h>
// The Host method of this name, not the system's ANSI/wide macro.
#undef WriteProfileString

#include <cstring>
#include <memory>

namespace qelp {

namespace {

// The configuration key lives in the registry's 32-bit view (WOW6432Node on a 64-bit
// Windows), where a 32-bit driver and its installer read and write it too.
constexpr REGSAM kRegistryView = KEY_WOW64_32KEY;

HKEY rootKey(RegistryRoot) {
    return HKEY_LOCAL_MACHINE;
}

} // namespace

// A Toolhelp snapshot of the process list. The console itself never counts: a driver name
// that is a prefix of the console's own would otherwise have it adopt or terminate itself.
std::vector<unsigned long> ProcessesNamed(const std::string& name) {
    std::vector<unsigned long> found;
    const std::string wanted = ToUpperAscii(TrimBlanks(RemoveNuls(name)));
    if (wanted.empty())
        return found; // an empty name would match every process, which the program never means
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot, &entry); more;
         more = ::Process32Next(snapshot, &entry)) {
        const std::string exe = TrimBlanks(RemoveNuls(entry.szExeFile));
        if (entry.th32ProcessID != ::GetCurrentProcessId() && exe.size() >= wanted.size() &&
            ToUpperAscii(exe.substr(0, wanted.size())) == wanted)
            found.push_back(entry.th32ProcessID);
    }
    ::CloseHandle(snapshot);
    return found;
}

namespace {

// A single-byte item of the user's regional settings, as the ANSI code page spells it.
char localeItem(LCTYPE item, char fallback) {
    char text[8] = {};
    const int n = ::GetLocaleInfoA(LOCALE_USER_DEFAULT, item, text, sizeof text);
    // n counts the terminator: one character is n == 2. '?' is a character the code page
    // lacks.
    return n == 2 && text[0] != '?' ? text[0] : fallback;
}

std::string registryText(DWORD type, const std::string& data) {
    if (type == REG_SZ)
        return data.substr(0, data.find('\0')); // the stored text without its terminator
    if (type == REG_DWORD && data.size() >= 4) {
        int32_t value = 0;
        std::memcpy(&value, data.data(), 4);
        return std::to_string(value);
    }
    return {};
}

// A value's type and bytes; false when it is missing or empty.
bool queryValue(HKEY key, const std::string& name, DWORD& type, std::string& data) {
    DWORD size = 0;
    if (::RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        size == 0)
        return false;
    data.assign(size + 1, '\0');
    if (::RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                           &size) != ERROR_SUCCESS)
        return false;
    data.resize(size);
    return true;
}

} // namespace

// The result wait's watch: a change notification on the directory and, when the driver's
// process is known, its process handle, both reported through one event that a waiter waits
// on. The thread pool watches the two and sets the event; a dead driver thus ends a wait at
// once instead of at its next timeout.
class ExchangeWatch : public DirectoryWatch {
public:
    ExchangeWatch(const std::string& directory, unsigned long pid)
        : m_directory(directory), m_pid(pid) {
        m_event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (!m_event)
            return;
        // Only names appearing and going matter, as on every host: the console tests which
        // files exist and reads a data file only after its signal file appeared.
        m_change = ::FindFirstChangeNotificationA(
            directory.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME);
        if (m_change == INVALID_HANDLE_VALUE)
            m_change = nullptr;
        if (pid != 0)
            m_process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
        const bool watching = arm(m_change, m_changeWait) | arm(m_process, m_processWait);
        if (!watching)
            closeAll();
    }
    ~ExchangeWatch() override { closeAll(); }

    std::intptr_t nativeHandle() const override {
        return m_event ? reinterpret_cast<std::intptr_t>(m_event) : -1;
    }
    void drain() override {
        if (!m_event)
            return;
        ::ResetEvent(m_event);
        if (m_change && ::WaitForSingleObject(m_change, 0) == WAIT_OBJECT_0) {
            disarm(m_changeWait);
            // The directory went (or cannot be watched any longer): this watch is done.
            if (!::FindNextChangeNotification(m_change) || !fileio::IsDirectory(m_directory))
                m_broken = true;
            else
                arm(m_change, m_changeWait);
        }
        // A driver that ended stays ended: its handle keeps every later wait short.
        if (m_process && ::WaitForSingleObject(m_process, 0) == WAIT_OBJECT_0)
            ::SetEvent(m_event);
    }
    // Still usable for the same directory and driver process.
    bool serves(const std::string& directory, unsigned long pid) const {
        return !m_broken && m_event && directory == m_directory && pid == m_pid;
    }

private:
    static void CALLBACK signal(PVOID event, BOOLEAN) { ::SetEvent(static_cast<HANDLE>(event)); }
    bool arm(HANDLE source, HANDLE& wait) {
        return source && ::RegisterWaitForSingleObject(&wait, source, &ExchangeWatch::signal,
                                                       m_event, INFINITE, WT_EXECUTEONLYONCE);
    }
    static void disarm(HANDLE& wait) {
        // Waits for a callback under way, so that none runs after the event is gone.
        if (wait)
            ::UnregisterWaitEx(wait, INVALID_HANDLE_VALUE);
        wait = nullptr;
    }
    void closeAll() {
        disarm(m_changeWait);
        disarm(m_processWait);
        if (m_change)
            ::FindCloseChangeNotification(m_change);
        for (HANDLE* h : {&m_process, &m_event})
            if (*h)
                ::CloseHandle(*h);
        m_change = m_process = m_event = nullptr;
    }

    std::string m_directory;
    unsigned long m_pid = 0;
    bool m_broken = false;
    HANDLE m_event = nullptr;
    HANDLE m_change = nullptr;
    HANDLE m_process = nullptr;
    HANDLE m_changeWait = nullptr;
    HANDLE m_processWait = nullptr;
};

// What a waiter holds: the host keeps the watch itself from one wait to the next.
class SharedWatch : public DirectoryWatch {
public:
    explicit SharedWatch(std::shared_ptr<ExchangeWatch> watch) : m_watch(std::move(watch)) {}
    std::intptr_t nativeHandle() const override { return m_watch->nativeHandle(); }
    void drain() override { m_watch->drain(); }

private:
    std::shared_ptr<ExchangeWatch> m_watch;
};

Win32Host::Win32Host(std::string programPath) : m_programPath(std::move(programPath)) {
    if (m_programPath.empty()) {
        char buf[MAX_PATH * 4];
        const DWORD n = ::GetModuleFileNameA(nullptr, buf, sizeof buf);
        if (n > 0 && n < sizeof buf)
            m_programPath.assign(buf, n);
    }
}

unsigned long Win32Host::findFirst(const std::string& name) const {
    const std::vector<unsigned long> found = ProcessesNamed(name);
    return found.empty() ? 0 : found.front();
}

bool Win32Host::IsProcessRunning(const std::string& name) {
    const unsigned long pid = findFirst(name);
    if (pid == 0)
        return false;
    m_knownPid[ToUpperAscii(name)] = pid;
    return true;
}

bool Win32Host::TerminateProcessByName(const std::string& name) {
    const unsigned long pid = findFirst(name);
    if (pid == 0)
        return false;
    m_knownPid.erase(ToUpperAscii(name));
    HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, pid);
    if (process) {
        ::TerminateProcess(process, 1);
        // With a terminate-only handle the wait returns at once: callers that need the
        // process gone poll IsProcessRunning.
        ::WaitForSingleObject(process, INFINITE);
        ::CloseHandle(process);
    }
    return true;
}

int Win32Host::LaunchProcess(const std::string& commandLine, const std::string& workingDirectory,
                             int showMode) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showMode);
    PROCESS_INFORMATION created{};
    // The whole command line is the executable's path: no separate application name, no
    // arguments, no handle of the console's passed on.
    std::string line = commandLine;
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup,
                          &created))
        return 1;
    // No handle is kept; the id lets a wait on the result watch the driver's end.
    ::CloseHandle(created.hThread);
    ::CloseHandle(created.hProcess);
    m_knownPid[ToUpperAscii(FileNameOf(commandLine))] = created.dwProcessId;
    return 0;
}

void Win32Host::WriteProfileString(const std::string& section, const std::string& key,
                                   const std::string& value, const std::string& file) {
    // The system's own writer, as the driver uses it: its semantics are the contract.
    ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str());
}

std::string Win32Host::registryPath() const {
    return (m_dataDirectory.empty() ? DirectoryOf(m_programPath) : m_dataDirectory) +
           kRegistryFileName;
}

std::optional<std::string> Win32Host::portableRegistryPath() const {
    const std::string path = registryPath();
    if (!m_dataDirectory.empty() || fileio::IsRegularFile(path))
        return path;
    return std::nullopt;
}

std::string Win32Host::storeName(const std::string& keyPath) const {
    return portableRegistryPath().value_or("HKEY_LOCAL_MACHINE\\" + keyPath);
}

std::vector<std::string> Win32Host::ReadRegistryValues(RegistryRoot root,
                                                       const std::string& keyPath,
                                                       const std::vector<std::string>& names) {
    if (const auto file = portableRegistryPath())
        return RegistryStore(*file, [this](const std::string& line) { ReportFile(line); })
            .ReadAsTexts(keyPath, names);
    std::vector<std::string> texts(names.size());
    HKEY key = nullptr;
    if (::RegOpenKeyExA(rootKey(root), keyPath.c_str(), 0,
                        KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | kRegistryView,
                        &key) != ERROR_SUCCESS)
        return texts;
    for (size_t i = 0; i < names.size(); ++i) {
        DWORD type = 0;
        std::string data;
        if (queryValue(key, names[i], type, data))
            texts[i] = registryText(type, data);
    }
    ::RegCloseKey(key);
    return texts;
}

namespace {
bool setValue(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
              DWORD type, const BYTE* data, DWORD size) {
    HKEY key = nullptr;
    const REGSAM access = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY |
                          KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK | kRegistryView;
    if (::RegCreateKeyExA(rootKey(root), keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          access, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const bool ok = ::RegSetValueExA(key, valueName.c_str(), 0, type, data, size) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return ok;
}
} // namespace

void Win32Host::WriteRegistryString(RegistryRoot root, const std::string& keyPath,
                                    const std::string& valueName, const std::string& value) {
    if (const auto file = portableRegistryPath()) {
        RegistryStore(*file, [this](const std::string& line) {
            ReportFile(line);
        }).WriteText(keyPath, valueName, value);
        return;
    }
    // The text with its terminating NUL, as the registry keeps REG_SZ values.
    setValue(root, keyPath, valueName, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
             static_cast<DWORD>(value.size() + 1));
}

bool Win32Host::WriteRegistryDword(const std::string& keyPath, const std::string& valueName,
                                   uint32_t value) const {
    const DWORD data = value;
    return setValue(RegistryRoot::LocalMachine, keyPath, valueName, REG_DWORD,
                    reinterpret_cast<const BYTE*>(&data), sizeof data);
}

std::vector<RegistryValue> Win32Host::ListRegistryValues(const std::string& keyPath) const {
    std::vector<RegistryValue> values;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE | kRegistryView,
                        &key) != ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; ++index) {
        char name[16384];
        DWORD nameSize = sizeof name;
        if (::RegEnumValueA(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        RegistryValue value;
        value.key = "HKEY_LOCAL_MACHINE\\" + keyPath;
        value.name.assign(name, nameSize);
        DWORD type = 0;
        std::string data;
        queryValue(key, value.name, type, data);
        if (type == REG_SZ) {
            value.type = RegistryValue::Type::Text;
            value.text = registryText(type, data);
        } else if (type == REG_DWORD && data.size() >= 4) {
            value.type = RegistryValue::Type::Dword;
            std::memcpy(&value.dword, data.data(), 4);
        }
        values.push_back(std::move(value));
    }
    ::RegCloseKey(key);
    return values;
}

int Win32Host::DeleteFileAt(const std::string& path) {
    if (fileio::RemoveFile(path))
        return 0;
    // The removal retried for a while; a file still there is held by another program.
    if (fileio::IsRegularFile(path))
        ReportFile("Error: File " + path + " is in use by another program; it is not deleted");
    return 1;
}
bool Win32Host::FileExists(const std::string& path) {
    return fileio::IsRegularFile(path);
}
bool Win32Host::DirectoryExists(const std::string& path) {
    return fileio::IsDirectory(path);
}
bool Win32Host::CreateDirectoryAt(const std::string& path) {
    return fileio::MakeDirectory(path);
}

bool Win32Host::IsSameFile(const std::string& a, const std::string& b) {
    // One file when the volume and the file index agree; letter case never tells two files
    // apart on a Windows file system.
    const auto identity = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        HANDLE file =
            ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        const bool ok = ::GetFileInformationByHandle(file, &info);
        ::CloseHandle(file);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    return identity(a, first) && identity(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

bool Win32Host::readReported(const std::string& path, std::string& bytes, bool followLinks) {
    const fileio::ReadResult read = fileio::ReadFileChecked(path, bytes, followLinks);
    ReportFile(fileio::RefusalText(read, path));
    return read == fileio::ReadResult::Ok;
}
bool Win32Host::CopyFileTo(const std::string& from, const std::string& to) {
    std::string bytes;
    return readReported(from, bytes, true) && fileio::WriteFileReplacing(to, bytes);
}
bool Win32Host::WriteWholeFile(const std::string& path, const std::string& bytes) {
    return fileio::WriteFileReplacing(path, bytes);
}
bool Win32Host::ReadWholeFile(const std::string& path, std::string& bytes) {
    return readReported(path, bytes, true);
}
bool Win32Host::ReadPlainFile(const std::string& path, std::string& bytes) {
    return readReported(path, bytes, false);
}
bool Win32Host::AppendToFile(const std::string& path, const std::string& bytes) {
    return fileio::AppendBytes(path, bytes);
}

std::unique_ptr<DirectoryWatch> Win32Host::WatchDirectory(const std::string& directory,
                                                          const std::string& processName) {
    auto known = m_knownPid.find(ToUpperAscii(processName));
    const unsigned long pid = known == m_knownPid.end() ? 0 : known->second;
    // Kept from one command to the next, and only emptied of what happened since.
    if (m_watch && m_watch->serves(directory, pid)) {
        m_watch->drain();
        if (m_watch->serves(directory, pid))
            return std::make_unique<SharedWatch>(m_watch);
    }
    m_watch = std::make_shared<ExchangeWatch>(directory, pid);
    return std::make_unique<SharedWatch>(m_watch);
}

std::string Win32Host::ProgramPath() {
    return m_programPath;
}

char Win32Host::DecimalSeparator() {
    return localeItem(LOCALE_SDECIMAL, '.');
}

char Win32Host::GroupSeparator() {
    const char group = localeItem(LOCALE_STHOUSAND, 0);
    return group == DecimalSeparator() ? 0 : group;
}

} // namespace qelp
