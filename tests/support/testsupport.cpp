#include "testsupport.h"

#include "frame/eventlog.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qelptest {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    // The run's token (set by CTest) marks every directory of this run, so that the clean-up
    // after the run can end the drivers a timed-out test left running, and only those.
    const char* run = std::getenv("QELP_TEST_RUN");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/qelptest-" +
                          (run && *run ? std::string(run) + "-" : std::string()) + "XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = std::string(buf.data()) + "/";
}

TempDir::~TempDir() {
    std::error_code ec;
    // Make read-only folders that tests created removable again.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            chmod(it->path().c_str(), 0755);
    }
    chmod(m_path.c_str(), 0755);
    std::filesystem::remove_all(m_path, ec);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < text.size(); start = end + 2) {
        end = std::min(text.find("\r\n", start), text.size());
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return condition();
        ::usleep(1000);
    }
    return true;
}

pid_t Spawn(const std::string& path, std::vector<std::string> argv, const std::string& workDir,
            const std::string& outFile, const std::string& errFile) {
    std::vector<char*> args;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    // The pipe's write end closes on exec, so the read returns once the program runs; a byte
    // in it says the start failed.
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0)
        return -1;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        auto to = [](const std::string& file, int fd, int flags) {
            return file.empty() || ::dup2(::open(file.c_str(), flags, 0600), fd) == fd;
        };
        if (to("/dev/null", 0, O_RDONLY) && to(outFile, 1, O_WRONLY | O_CREAT | O_TRUNC) &&
            to(errFile, 2, O_WRONLY | O_CREAT | O_TRUNC) &&
            (workDir.empty() || ::chdir(workDir.c_str()) == 0))
            ::execv(path.c_str(), args.data());
        (void)!::write(ready[1], "x", 1);
        ::_exit(127);
    }
    ::close(ready[1]);
    char failed = 0;
    while (::read(ready[0], &failed, 1) < 0 && errno == EINTR)
        continue;
    ::close(ready[0]);
    if (failed && pid > 0)
        ::waitpid(pid, nullptr, 0);
    return failed ? -1 : pid;
}

int WaitForExit(pid_t pid, int timeoutMs) {
    int status = 0;
    if (pid <= 0 || !WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, timeoutMs))
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void KillChild(pid_t pid) {
    if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

TestHost::TestHost(const std::string& programDirectory, const std::string& programName)
    : qelp::PosixHost(programDirectory + programName) {}

void FakeUi::processPendingEvents() {
    ++eventPasses;
    if (!m_program)
        return;
    qelp::Program& p = *m_program;
    if (p.message.messageWindowOpen && p.message.messageWindowCloseRequest && windowCanClose) {
        p.message.messageWindowOpen = false;
        ++windowsClosedByRequest;
    }
    if (p.message.messageWindowOpen && autoAnswer != 0) {
        p.message.replyPending = autoAnswer;
        p.message.messageWindowOpen = false;
    }
    if (onEvents)
        onEvents(p);
}

void FakeUi::waitForEvents(qelp::DirectoryWatch* watch, int timeoutMs) {
    qelp::NullUiPort().waitForEvents(watch, timeoutMs);
    processPendingEvents();
}

void FakeUi::setAbortEnabled(bool enabled) {
    abortEnabled = enabled;
    abortHistory.push_back(enabled);
}

void FakeUi::showMessageWindow() {
    ++windowsShown;
    if (!m_program)
        return;
    m_program->message.messageWindowOpen = true;
    shownTexts.push_back(m_program->message.messageText);
}

ProgramFixture::ProgramFixture() : host(dir.path()), program(host, ui, clock) {
    ui.attach(program);
    qelp::StartProgram(program);
}

std::string ProgramFixture::logText() const {
    return ReadFile(program.files.logFilePath);
}

std::vector<std::string> ProgramFixture::logMessages() const {
    std::vector<std::string> messages;
    for (const std::string& line : SplitCrLf(logText())) {
        size_t at = line.find(" > ");
        messages.push_back(at == std::string::npos ? line : line.substr(at + 3));
    }
    return messages;
}

int RunInChild(const std::function<int()>& body, bool unprivileged, int timeoutSeconds) {
    std::fflush(nullptr); // buffered output must not be written twice
    pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (unprivileged && ::geteuid() == 0) {
            const gid_t nobodyGroup = 65534;
            const uid_t nobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(nobodyGroup) != 0 || ::setuid(nobody) != 0)
                ::_exit(125);
        }
        ::alarm(static_cast<unsigned>(timeoutSeconds));
        int code = body();
        std::fflush(nullptr);
        ::_exit(code);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace qelptest
