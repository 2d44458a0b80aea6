// The test helpers that start and watch processes, on POSIX systems.
#include "testsupport.h"

#include "frame/posixhost.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qelptest {

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

std::vector<int> LivePids(const std::function<bool(int)>& test) {
    std::vector<int> pids;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec))
        if (int pid = std::atoi(entry.path().filename().c_str());
            pid > 0 && pid != ::getpid() && !qelp::IsZombieOrGone(pid) && test(pid))
            pids.push_back(pid);
    return pids;
}

std::vector<int> ProcessesNamed(const std::string& name) {
    return LivePids([&](int pid) { return qelp::ProcessMatches(pid, name); });
}

void KillProcess(int pid) {
    ::kill(pid, SIGKILL);
}

} // namespace qelptest
