#pragma once
// Runs a copy of the real simulator binary and plays the console's side of the exchange.
#include "frame/fileio.h"
#include "frame/profile.h"
#include "frame/textutil.h"
#include "testsupport.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <functional>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

namespace simtest {

inline constexpr int kPatienceMs = 10000; // bound for anything in fast mode; reaching it fails
inline constexpr int kNoAnswer = 0;       // message handler: take the message, do not reply
inline constexpr int kAbort = -1;         // message handler: press abort instead

inline std::string Ini(const std::string& text, const char* section, const std::string& key) {
    return qelp::profile::LookupInText(text, section, key);
}

inline bool Await(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        ::usleep(1000);
    return done();
}

struct CommandRun {
    bool finished = false;               // result.sig seen with busy.flg gone
    int code = -100;                     // RESULT when it is digits, -1 otherwise
    std::string result;                  // result.dat as it was when result.sig appeared
    std::vector<std::string> messages;   // msg.dat texts, in order
    std::vector<std::string> events;     // "+file" created or renamed in, "-file" removed
    std::vector<std::string> violations; // broken handshake rules seen while polling

    std::string value(const char* section, const std::string& key) const {
        return qelp::TrimSpace(Ini(result, section, key));
    }
    double canister(int i, const std::string& field, char separator = '.') const {
        std::optional<double> v = qelp::ParseLocaleNumber(
            value("CanisterContents", "Canister_" + std::to_string(i) + "_" + field), separator);
        return v ? *v : std::nan("");
    }
};

class SimProcess {
public:
    // A copy "simcopy…" (console tests look for "qelpsim…") in fast mode, exchange ex/.
    SimProcess() {
        static std::atomic<int> counter{0};
        name = "simcopy" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
        std::filesystem::create_directories(program);
        std::filesystem::create_directories(exchange);
        std::filesystem::copy_file(QELP_BIN_DIR "/qelpsim", program + name);
        set("Link", "CommandPath", exchange);
        set("Timing", "FastMode", "1");
    }
    ~SimProcess() { kill(); }

    void set(const char* section, const char* key, const std::string& value) {
        m_ini = qelp::profile::SetInText(m_ini, section, key, value);
    }
    // As the console launches a driver: busy flag up, own directory, no arguments.
    void start(bool raiseBusyFlag = true) {
        if (raiseBusyFlag)
            qelp::profile::WriteProfileString("Any", "Dummy", "0", ex("busy.flg"));
        qelptest::WriteFile(program + name + ".ini", m_ini);
        std::string path = program + name;
        if ((m_pid = ::fork()) == 0) {
            if (::chdir(program.c_str()) == 0)
                ::execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    bool startReady() {
        start();
        return waitFor("busy.flg", false);
    }
    void kill() {
        if (running()) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }
    bool running() {
        if (m_pid > 0 && ::waitpid(m_pid, &m_status, WNOHANG) == m_pid)
            m_pid = -1;
        return m_pid > 0;
    }
    // Exit status once the process ends by itself; -1 when it still runs after kPatienceMs.
    int waitForExit() {
        if (!Await([this] { return !running(); }))
            return -1;
        return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : 128 + WTERMSIG(m_status);
    }

    std::string ex(const std::string& file) const { return exchange + file; }
    bool exists(const std::string& file) const { return qelptest::Exists(ex(file)); }
    std::string read(const std::string& file) const { return qelptest::ReadFile(ex(file)); }
    bool waitFor(const std::string& file, bool present = true) {
        return Await([&] { return exists(file) == present; });
    }
    std::string logText() const { return qelptest::ReadFile(program + name + ".log"); }
    bool waitForLog(const std::string& text) {
        return Await([&] { return logText().find(text) != std::string::npos; });
    }
    void abort() {
        qelp::profile::WriteProfileString("ANY", "EMPTY", "ABORTME", ex("abort.dat"));
        qelp::fileio::WriteFileReplacing(ex("abort.sig"), "");
    }
    // Clears the old exchange files, then writes cmd.dat and cmd.sig.
    void handOver(const std::string& commandLines) {
        for (const char* file : {"abort.dat", "abort.sig", "cmd.dat", "cmd.sig", "msg.dat",
                                 "msg.sig", "reply.dat", "reply.sig", "result.dat", "result.sig"})
            ::unlink(ex(file).c_str());
        std::string text = "@RUN\r\n";
        for (char c : commandLines + "\n")
            text += c == '\n' ? std::string("\r\n") : std::string(1, c);
        qelp::fileio::WriteFileReplacing(ex("cmd.dat"), text + "@END\r\n");
        qelp::fileio::WriteFileReplacing(ex("cmd.sig"), "");
    }

    // The console's side of one command: waits until idle, hands it over, serves messages
    // through `answer` until the result is signalled and busy.flg is gone (or kPatienceMs).
    CommandRun send(const std::string& commandLines,
                    const std::function<int(const std::string&)>& answer = {}) {
        CommandRun run;
        if (!waitFor("busy.flg", false)) {
            run.violations.push_back("the driver stayed busy");
            return run;
        }
        int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ::inotify_add_watch(watch, exchange.c_str(),
                            IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM);
        handOver(commandLines);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
        bool signalled = false;
        while (running() && std::chrono::steady_clock::now() < deadline) {
            // In this order, a gone cmd.sig proves the driver took the command (it raises its
            // flag first), and a gone flag after that proves it has finished.
            bool taken = !exists("cmd.sig"), busy = exists("busy.flg");
            bool resultSignal = exists("result.sig");
            if (resultSignal && !signalled) {
                signalled = true;
                if (!exists("result.dat"))
                    run.violations.push_back("result.sig without result.dat");
                run.result = read("result.dat");
            }
            if (taken && !busy && !resultSignal)
                run.violations.push_back("busy.flg removed before result.sig was written");
            if ((run.finished = resultSignal && !busy))
                break;
            if (busy && exists("msg.sig")) {
                run.messages.push_back(read("msg.dat"));
                ::unlink(ex("msg.sig").c_str());
                int reply = answer ? answer(run.messages.back()) : kNoAnswer;
                if (reply == kAbort)
                    abort();
                if (reply > 0) {
                    qelp::profile::WriteProfileString("Reply", "Button", std::to_string(reply),
                                                      ex("reply.dat"));
                    qelp::profile::WriteProfileString("Main", "Nothing", "0", ex("reply.sig"));
                }
            }
            ::usleep(500);
        }
        if (run.finished && read("result.dat") != run.result)
            run.violations.push_back("result.dat changed after result.sig");
        alignas(inotify_event) char buf[8192];
        for (ssize_t n; (n = ::read(watch, buf, sizeof buf)) > 0;)
            for (ssize_t off = 0; off < n;) {
                auto* e = reinterpret_cast<const inotify_event*>(buf + off);
                if (e->len && e->name[0] != '.') // temporary files left out
                    run.events.push_back((e->mask & (IN_CREATE | IN_MOVED_TO) ? "+" : "-") +
                                         std::string(e->name));
                off += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        ::close(watch);
        std::optional<int32_t> code = qelp::ParseDigits32(run.value("General", "RESULT"));
        run.code = code ? *code : -1;
        return run;
    }

    qelptest::TempDir root;
    const std::string program = root.path() + "prog/"; // the copy, its ini, log and state
    const std::string exchange = root.path() + "ex/";
    std::string name;

private:
    std::string m_ini;
    pid_t m_pid = -1;
    int m_status = 0;
};

} // namespace simtest
