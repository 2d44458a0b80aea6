#pragma once
// The simulator binary as a process, driven through its exchange directory without the
// console, so that what it leaves in the files shows unfiltered.
#include "driverharness.h"
#include "frame/fileio.h"
#include "frame/profile.h"
#include "testsupport.h"

#include <cstdio>

namespace simtest {

inline std::string Ini(const std::string& text, const char* section, const std::string& key) {
    return qelp::profile::LookupInText(text, section, key);
}

class SimProcess {
public:
    SimProcess() : install(dir.path()) {}
    ~SimProcess() { qelptest::KillChild(m_pid); }

    // Sets a value of the ini (fast mode and the exchange directory are there already).
    void set(const char* section, const char* key, const std::string& value) {
        qelp::profile::WriteProfileString(section, key, value, install.iniPath);
    }

    // As the console launches a driver: busy flag up, in its own directory, no arguments.
    // With ready, waits until the busy flag is gone.
    bool start(bool ready = true) {
        qelptest::WriteFile(ex("busy.flg"), "");
        m_pid = qelptest::Spawn(install.exePath, {install.exePath}, install.driverDir);
        return m_pid > 0 && (!ready || waitFor("busy.flg", false));
    }
    void kill() { qelptest::KillChild(m_pid); }
    // The exit status once it ends by itself; -1 while it still runs.
    int waitForExit() { return qelptest::WaitForExit(m_pid); }

    std::string ex(const std::string& file) const { return install.exchangeDir + file; }
    bool exists(const std::string& file) const { return qelptest::Exists(ex(file)); }
    std::string read(const std::string& file) const { return qelptest::ReadFile(ex(file)); }
    bool waitFor(const std::string& file, bool present = true) const {
        return qelptest::WaitUntil([&] { return exists(file) == present; });
    }
    std::string logText() const { return qelptest::ReadFile(install.exePath + ".log"); }
    bool waitForLog(const std::string& text) const {
        return qelptest::WaitUntil([&] { return logText().find(text) != std::string::npos; });
    }

    // Clears the previous result and question, writes the command file (lines separated by
    // '\n') and signals it.
    void handOver(const std::string& lines) {
        for (const char* file :
             {"msg.dat", "msg.sig", "reply.dat", "reply.sig", "result.dat", "result.sig"})
            std::remove(ex(file).c_str());
        std::string text = "@RUN\r\n";
        for (char c : lines + "\n")
            text += c == '\n' ? std::string("\r\n") : std::string(1, c);
        qelp::fileio::WriteFileReplacing(ex("cmd.dat"), text + "@END\r\n");
        qelp::fileio::WriteFileReplacing(ex("cmd.sig"), "");
    }
    // Hands the command over and waits until the result is signalled and the busy flag is
    // gone (the order of the simulator's file operations is qelp-check's to prove). Returns
    // result.dat, or "" when no result came in time.
    std::string send(const std::string& lines) {
        if (!waitFor("busy.flg", false))
            return {};
        handOver(lines);
        const bool done =
            qelptest::WaitUntil([&] { return exists("result.sig") && !exists("busy.flg"); });
        return done ? read("result.dat") : std::string();
    }

    qelptest::TempDir dir;
    qelptest::DriverInstall install;

private:
    pid_t m_pid = -1;
};

} // namespace simtest
