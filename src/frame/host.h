#pragma once
// The host services: everything the console needs from the operating system, behind one
// interface so that the logic above runs against a fake in tests and against a Win32
// implementation later. Texts, paths and process names included, are single-byte
// Windows-1252 strings, as the program's files hold them; a host converts them to its own
// file-system names.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qelp {

// Only the local-machine root is used by this program.
enum class RegistryRoot { LocalMachine };

// A watch on one directory. nativeHandle() is something the screens' event loop can wait
// on together with window events (a file descriptor that turns readable on POSIX). A watch
// whose handle is -1 delivers no notifications: waiters then rely on their timeout.
class DirectoryWatch {
public:
    virtual ~DirectoryWatch() = default;
    virtual std::intptr_t nativeHandle() const = 0;
    // Consumes the notifications that have arrived, so that the handle is quiet again.
    virtual void drain() = 0;
};

class Host {
public:
    virtual ~Host() = default;

    // --- Processes. A name matches a process when it is a prefix of the process's
    // executable name, ignoring letter case. ---
    virtual bool IsProcessRunning(const std::string& name) = 0;
    // Terminates the first matching process, without notice; true when one was found.
    virtual bool TerminateProcessByName(const std::string& name) = 0;
    // Starts the executable at commandLine (the full path, no arguments, no shell) in the
    // working directory. 0 started, 1 failed. showMode is kept for the Win32 build.
    virtual int LaunchProcess(const std::string& commandLine, const std::string& workingDirectory,
                              int showMode) = 0;

    // --- Profile files (INI layout shared with the driver). ---
    virtual void WriteProfileString(const std::string& section, const std::string& key,
                                    const std::string& value, const std::string& file) = 0;

    // --- Registry: the per-machine key/value store. ---
    // Several values of one key from one read of the store, so that every value of one
    // operation comes from the same version of it. One text per name, in order.
    virtual std::vector<std::string> ReadRegistryValues(RegistryRoot root,
                                                        const std::string& keyPath,
                                                        const std::vector<std::string>& names) = 0;
    virtual void WriteRegistryString(RegistryRoot root, const std::string& keyPath,
                                     const std::string& valueName, const std::string& value) = 0;

    // --- Files. ---
    // 0 deleted, 1 failed (a missing file is a failure).
    virtual int DeleteFileAt(const std::string& path) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    virtual bool DirectoryExists(const std::string& path) = 0;
    virtual bool CreateDirectoryAt(const std::string& path) = 0;
    // True when both paths name one existing file: the same device and inode, or the same
    // path once links and dot segments are resolved. Names that differ only in letter case
    // are two files where the file system tells letter case apart.
    virtual bool IsSameFile(const std::string& a, const std::string& b) = 0;
    // Replaces `to` with a complete copy of `from`; false when either side fails.
    virtual bool CopyFileTo(const std::string& from, const std::string& to) = 0;
    // Replaces the file with exactly these bytes, complete before it appears under its name.
    virtual bool WriteWholeFile(const std::string& path, const std::string& bytes) = 0;
    virtual bool ReadWholeFile(const std::string& path, std::string& bytes) = 0;
    // The same for a file in a directory another program writes into: a symbolic link at
    // the path is not followed but reads as a missing file, so that a planted link cannot
    // bring an outside file into the log or into a reply.
    virtual bool ReadPlainFile(const std::string& path, std::string& bytes) = 0;
    // Opens, appends and closes; creates a missing file.
    virtual bool AppendToFile(const std::string& path, const std::string& bytes) = 0;
    // A watch on the directory that also signals when the process of that name, as the
    // last process query found it, ends (processName may be empty). Never null: a watch
    // without notifications at worst.
    virtual std::unique_ptr<DirectoryWatch> WatchDirectory(const std::string& directory,
                                                           const std::string& processName) = 0;

    // --- The program and its user. ---
    // Full path of the running executable.
    virtual std::string ProgramPath() = 0;
    // The decimal separator of the user's regional settings.
    virtual char DecimalSeparator() = 0;
    // Their digit-grouping separator as a byte of the exchange files' code page; 0 when
    // they group no digits or use a character that code page lacks.
    virtual char GroupSeparator() = 0;

    // Where the host reports a file it refused (larger than the read limit, a link where
    // none may be), so that the refusal reaches the event log. Without one it is silent.
    void SetFileNotice(std::function<void(const std::string&)> notice) {
        m_fileNotice = std::move(notice);
    }

protected:
    void ReportFile(const std::string& text) const {
        if (m_fileNotice && !text.empty())
            m_fileNotice(text);
    }

private:
    std::function<void(const std::string&)> m_fileNotice;
};

} // namespace qelp
