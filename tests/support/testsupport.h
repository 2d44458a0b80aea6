#pragma once
// Helpers shared by the core test suites: temporary directories, file access, a host with
// a fixed clock, a scripted stand-in for the screens, and a ready-made Program.
#include "frame/nativehost.h"
#include "frame/program.h"
#include "frame/uiport.h"

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qelptest {

// A fresh directory under $TMPDIR, removed with everything in it when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // The directory path, ending in the path separator.
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
// A path written with '/' as the host writes it: unchanged on POSIX; on Windows with '\' as
// the separator and '/' in place of any '\', which is an ordinary character there.
std::string HostPath(std::string path);
// Splits at CR LF (the log's line end); a final empty piece is dropped.
std::vector<std::string> SplitCrLf(const std::string& text);

// Polls the condition every millisecond until it holds or timeoutMs has passed; returns its
// last value, so a timeout reads as a failed expectation instead of a hang.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 10000);

// Starts path with exactly argv (no shell, standard input from /dev/null), in workDir when
// one is given, with standard output and error going to the named files when given. Returns
// once the exec has happened (so /proc shows the new program), with the pid; -1 when the
// program could not be started.
pid_t Spawn(const std::string& path, std::vector<std::string> argv, const std::string& workDir = {},
            const std::string& outFile = {}, const std::string& errFile = {});
// Waits up to timeoutMs for a child to end and collects it: its exit code, or 128 + the
// signal that ended it; -1 while it still runs.
int WaitForExit(pid_t pid, int timeoutMs = 10000);
// Kills a child that was not collected yet, and collects it.
void KillChild(pid_t pid);
// The live processes whose executable name begins with the name, and an end without notice
// for one of them.
std::vector<int> ProcessesNamed(const std::string& name);
void KillProcess(int pid);
#ifndef _WIN32
// Live processes other than this one that pass the test, in the host's (/proc) list order.
std::vector<int> LivePids(const std::function<bool(int)>& test);
#endif
inline constexpr const char* kExeSuffix = QELP_EXE_SUFFIX; // how executables are named here

// The native host, its executable seems to live in a chosen directory (so the log, the
// registry file and ServerCmd land there) and whose locale is fixed.
class TestHost : public qelp::NativeHost {
public:
    explicit TestHost(const std::string& programDirectory,
                      const std::string& programName = "qelpserver");
    char DecimalSeparator() override { return decimalSeparator; }
    char GroupSeparator() override { return ','; }

    char decimalSeparator = '.';
};

// The machine's clock with a fixed time of day, so that log lines compare exactly.
class TestClock : public qelp::SystemClock {
public:
    std::string LocalTimestamp() override { return "2026-12-06 10:00:00"; }
};

// A clock that moves only when slept on: a bounded wait on it runs its whole course at
// once, and the time it took is exactly the time it slept. onSleep, when set, lets a test act
// at a chosen moment of such a wait.
class ManualClock : public qelp::Clock {
public:
    void SleepMilliseconds(int32_t ms) override {
        now += ms < 0 ? -ms : ms;
        if (onSleep)
            onSleep(now);
    }
    std::string LocalTimestamp() override { return "2026-12-06 10:00:00"; }
    int64_t MonotonicMs() override { return now; }
    int64_t now = 0;
    std::function<void(int64_t)> onSleep;
};

// The screens' stand-in. It records the status lines and the abort button, and behaves like
// the message window: showMessageWindow() opens it (messageWindowOpen), a close request is
// honoured at the next event pass, and a scripted action can press a button.
class FakeUi : public qelp::UiPort {
public:
    void attach(qelp::Program& program) { m_program = &program; }

    void setStatusLine(const std::string& text) override { statusLines.push_back(text); }
    void processPendingEvents() override;
    void waitForEvents(qelp::DirectoryWatch* watch, int timeoutMs) override;
    void setAbortEnabled(bool enabled) override { abortHistory.push_back(enabled); }
    void showMessageWindow() override;

    std::vector<std::string> statusLines; // every status line shown, in order
    std::vector<bool> abortHistory;
    int windowsShown = 0;
    int windowsClosedByRequest = 0;
    // Captions of the messages shown, in order (the message text at the time of showing).
    std::vector<std::string> shownTexts;
    // When false the window ignores close requests, like a window that cannot close.
    bool windowCanClose = true;
    // Called once per event pass (processPendingEvents or waitForEvents), after the close
    // request was handled. Tests use it to press buttons, abort, or kill the driver.
    std::function<void(qelp::Program&)> onEvents;
    // Button to press (reply value) as soon as a window is open; 0 leaves it open.
    int32_t autoAnswer = 0;
    int eventPasses = 0;

private:
    qelp::Program* m_program = nullptr;
};

// The program's log messages without their time stamps, from index `from` on.
std::vector<std::string> LogMessages(const qelp::Program& program, size_t from = 0);

// A started Program on a FakeUi, a host of HostT (made for the program directory) and a clock
// of ClockT, inside its own temporary program directory, with the log at <dir>/qelpserver.log.
template <class HostT, class ClockT> struct ProgramOn {
    ProgramOn() : program(host, ui, clock) {
        ui.attach(program);
        qelp::StartProgram(program);
    }
    std::vector<std::string> logMessages() const { return LogMessages(program); }
    std::vector<std::string> messagesFrom(size_t from) const { return LogMessages(program, from); }
    std::string logText() const { return ReadFile(program.files.logFilePath); }

    TempDir dir;
    HostT host{dir.path()};
    FakeUi ui;
    ClockT clock;
    qelp::Program program;
};

using ProgramFixture = ProgramOn<TestHost, TestClock>;

// Runs body in a forked child process and returns its result: the body's return value as
// the child's exit code, or 128 + the signal number when the child was killed (for example
// by the timeout, which turns a call that blocks forever into a failure instead of a hang).
// With unprivileged set, a child running as root first becomes the user "nobody", so that
// file permissions bind it; paths the body uses must then be reachable for that user.
// The body runs in a copy of the process: gtest assertions there are not reported, so it
// reports through its return value.
int RunInChild(const std::function<int()>& body, bool unprivileged = false,
               int timeoutSeconds = 30);

} // namespace qelptest
