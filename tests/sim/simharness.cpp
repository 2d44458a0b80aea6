#include "simharness.h"

#include "frame/fileio.h"
#include "frame/profile.h"
#include "frame/textutil.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

namespace simtest {

namespace {

using Clock = std::chrono::steady_clock;

// Records what happens in the exchange directory, in the kernel's order.
class EventRecorder {
public:
    explicit EventRecorder(const std::string& dir) {
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd >= 0)
            ::inotify_add_watch(m_fd, dir.c_str(),
                                IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM);
    }
    ~EventRecorder() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    std::vector<std::string> take() {
        std::vector<std::string> events;
        alignas(inotify_event) char buf[8192];
        for (;;) {
            ssize_t n = m_fd < 0 ? -1 : ::read(m_fd, buf, sizeof buf);
            if (n <= 0)
                return events;
            for (ssize_t off = 0; off < n;) {
                auto* e = reinterpret_cast<const inotify_event*>(buf + off);
                std::string name = e->len ? std::string(e->name) : std::string();
                if (!name.empty() && name[0] != '.')
                    events.push_back(((e->mask & (IN_CREATE | IN_MOVED_TO)) ? "+" : "-") + name);
                off += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }
    }

private:
    int m_fd = -1;
};

// Not starting with "qelpsim": the console finds drivers by name prefix, and console tests
// running beside these must never take one of these copies for theirs.
std::string uniqueName() {
    static std::atomic<int> counter{0};
    return "simcopy" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
}

} // namespace

std::string CommandRun::value(const std::string& section, const std::string& key) const {
    return qelp::TrimSpace(qelp::profile::LookupInText(result, section, key));
}

SimProcess::SimProcess()
    : m_program(m_root.path() + "prog/"), m_exchange(m_root.path() + "ex/"), m_name(uniqueName()) {
    std::filesystem::create_directories(m_program);
    std::filesystem::create_directories(m_exchange);
    std::filesystem::copy_file(QELP_BIN_DIR "/qelpsim", m_program + m_name);
    std::filesystem::permissions(m_program + m_name, std::filesystem::perms::owner_all);
    set("Link", "CommandPath", m_exchange);
    set("Timing", "FastMode", "1");
}

SimProcess::~SimProcess() {
    kill();
}

void SimProcess::set(const std::string& section, const std::string& key, const std::string& value) {
    m_ini = qelp::profile::SetInText(m_ini, section, key, value);
}

void SimProcess::raiseBusyFlag() {
    qelp::profile::WriteProfileString("Any", "Dummy", "0", ex("busy.flg"));
}

void SimProcess::start() {
    qelptest::WriteFile(m_program + m_name + ".ini", m_ini);
    std::string path = m_program + m_name;
    pid_t pid = ::fork();
    if (pid == 0) {
        // As the console launches a driver: its own directory, no arguments.
        if (::chdir(m_program.c_str()) == 0)
            ::execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    m_pid = pid;
}

void SimProcess::startReady() {
    raiseBusyFlag();
    start();
    waitFor("busy.flg", false);
}

void SimProcess::kill() {
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

bool SimProcess::running() {
    if (m_pid <= 0)
        return false;
    int status = 0;
    pid_t done = ::waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid) {
        m_status = status;
        m_pid = -1;
        return false;
    }
    return true;
}

int SimProcess::waitForExit(int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (running()) {
        if (Clock::now() > deadline)
            return -1;
        ::usleep(5000);
    }
    if (WIFEXITED(m_status))
        return WEXITSTATUS(m_status);
    return 128 + WTERMSIG(m_status);
}

std::string SimProcess::logText() const {
    return qelptest::ReadFile(m_program + m_name + ".log");
}

bool SimProcess::waitFor(const std::string& name, bool present) {
    auto deadline = Clock::now() + std::chrono::milliseconds(kPatienceMs);
    while (qelptest::Exists(ex(name)) != present) {
        if (Clock::now() > deadline)
            return false;
        ::usleep(1000);
    }
    return true;
}

CommandRun SimProcess::send(const std::string& commandLines,
                            const std::function<int(const std::string&)>& answer) {
    CommandRun run;
    if (!waitFor("busy.flg", false)) {
        run.violations.push_back("the driver stayed busy");
        return run;
    }
    for (const char* name : {"abort.dat", "abort.sig", "cmd.dat", "cmd.sig", "msg.dat", "msg.sig",
                             "reply.dat", "reply.sig", "result.dat", "result.sig"})
        ::unlink(ex(name).c_str());
    std::string text = "@RUN\r\n";
    size_t start = 0;
    while (start <= commandLines.size()) {
        size_t end = commandLines.find('\n', start);
        text += commandLines.substr(start, end == std::string::npos ? end : end - start) + "\r\n";
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    text += "@END\r\n";

    EventRecorder recorder(m_exchange);
    qelp::fileio::WriteFileReplacing(ex("cmd.dat"), text);
    qelp::fileio::WriteFileReplacing(ex("cmd.sig"), "");
    auto deadline = Clock::now() + std::chrono::milliseconds(kPatienceMs);
    bool signalled = false;
    while (Clock::now() < deadline) {
        // Looked at in this order, a gone cmd.sig proves the driver took the command (it
        // raises its flag first), and a gone flag after that proves it has finished.
        bool taken = !qelptest::Exists(ex("cmd.sig"));
        bool busy = qelptest::Exists(ex("busy.flg"));
        bool resultSignal = qelptest::Exists(ex("result.sig"));
        if (resultSignal && !signalled) {
            signalled = true;
            if (!qelptest::Exists(ex("result.dat")))
                run.violations.push_back("result.sig without result.dat");
            run.result = qelptest::ReadFile(ex("result.dat"));
        }
        if (taken && !busy && !resultSignal)
            run.violations.push_back("busy.flg removed before result.sig was written");
        if (resultSignal && !busy) {
            run.finished = true;
            break;
        }
        if (busy && qelptest::Exists(ex("msg.sig"))) {
            std::string message = qelptest::ReadFile(ex("msg.dat"));
            ::unlink(ex("msg.sig").c_str());
            run.messages.push_back(message);
            int reply = answer ? answer(message) : kNoAnswer;
            if (reply == kAbort) {
                qelp::profile::WriteProfileString("ANY", "EMPTY", "ABORTME", ex("abort.dat"));
                qelp::fileio::WriteFileReplacing(ex("abort.sig"), "");
            } else if (reply > 0) {
                qelp::profile::WriteProfileString("Reply", "Button", std::to_string(reply),
                                                  ex("reply.dat"));
                qelp::profile::WriteProfileString("Main", "Nothing", "0", ex("reply.sig"));
            }
        }
        if (!running())
            break;
        ::usleep(500);
    }
    if (run.finished && qelptest::ReadFile(ex("result.dat")) != run.result)
        run.violations.push_back("result.dat changed after result.sig");
    run.events = recorder.take();
    std::optional<int32_t> code = qelp::ParseDigits32(run.value("General", "RESULT"));
    run.code = code ? *code : -1;
    return run;
}

double CanisterValue(const std::string& resultText, int canister, const std::string& field) {
    std::string key = "Canister_" + std::to_string(canister) + "_" + field;
    std::optional<double> value = qelp::ParseLocaleNumber(
        qelp::profile::LookupInText(resultText, "CanisterContents", key), '.');
    return value ? *value : std::nan("");
}

int EventIndex(const std::vector<std::string>& events, const std::string& event) {
    for (size_t i = 0; i < events.size(); ++i)
        if (events[i] == event)
            return static_cast<int>(i);
    return -1;
}

} // namespace simtest
