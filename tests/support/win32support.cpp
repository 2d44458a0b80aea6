// The test helpers that start and watch processes, on Windows.
#include "testsupport.h"

#include "frame/textutil.h"
#include "frame/win32host.h"

#include <windows.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace qelptest {

namespace {
// Handles of the processes Spawn started, by id, until they are collected.
std::mutex g_childMutex;
std::map<pid_t, HANDLE> g_children;

HANDLE childHandle(pid_t pid) {
    std::lock_guard<std::mutex> lock(g_childMutex);
    auto it = g_children.find(pid);
    return it == g_children.end() ? nullptr : it->second;
}

void forget(pid_t pid) {
    std::lock_guard<std::mutex> lock(g_childMutex);
    auto it = g_children.find(pid);
    if (it != g_children.end()) {
        ::CloseHandle(it->second);
        g_children.erase(it);
    }
}

// One argument quoted so that the C runtime's parser gives it back unchanged.
std::string quotedArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos)
        return arg;
    std::string out = "\"";
    size_t slashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        out.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, '\\');
    return out + "\"";
}

HANDLE inheritable(const std::string& file, bool write) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return ::CreateFileA(file.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                         write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}
} // namespace

pid_t Spawn(const std::string& path, std::vector<std::string> argv, const std::string& workDir,
            const std::string& outFile, const std::string& errFile) {
    // The program is the path itself; argv[0] is only what the program is told it is.
    std::string line = quotedArgument(path);
    for (size_t i = 1; i < argv.size(); ++i)
        line += " " + quotedArgument(argv[i]);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable("NUL", false);
    startup.hStdOutput =
        outFile.empty() ? ::GetStdHandle(STD_OUTPUT_HANDLE) : inheritable(outFile, true);
    startup.hStdError =
        errFile.empty() ? ::GetStdHandle(STD_ERROR_HANDLE) : inheritable(errFile, true);
    PROCESS_INFORMATION created{};
    std::string exe = path;
    if (exe.size() < 4 || qelp::ToUpperAscii(exe.substr(exe.size() - 4)) != ".EXE")
        exe += ".exe";
    const bool ok =
        ::CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                         workDir.empty() ? nullptr : workDir.c_str(), &startup, &created);
    for (HANDLE h : {startup.hStdInput, outFile.empty() ? nullptr : startup.hStdOutput,
                     errFile.empty() ? nullptr : startup.hStdError})
        if (h && h != INVALID_HANDLE_VALUE)
            ::CloseHandle(h);
    if (!ok)
        return -1;
    ::CloseHandle(created.hThread);
    std::lock_guard<std::mutex> lock(g_childMutex);
    g_children[static_cast<pid_t>(created.dwProcessId)] = created.hProcess;
    return static_cast<pid_t>(created.dwProcessId);
}

int WaitForExit(pid_t pid, int timeoutMs) {
    HANDLE process = childHandle(pid);
    if (!process || ::WaitForSingleObject(process, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    forget(pid);
    return static_cast<int>(code);
}

void KillChild(pid_t pid) {
    if (HANDLE process = childHandle(pid)) {
        ::TerminateProcess(process, 137);
        ::WaitForSingleObject(process, INFINITE);
        forget(pid);
    }
}

std::vector<int> ProcessesNamed(const std::string& name) {
    const std::vector<unsigned long> found = qelp::ProcessesNamed(name);
    return {found.begin(), found.end()};
}

void KillProcess(int pid) {
    if (HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid))) {
        ::TerminateProcess(process, 1);
        ::CloseHandle(process);
    }
}

int RunInChild(const std::function<int()>& body, bool, int timeoutSeconds) {
    // No fork here: the body runs on a thread of its own, and a body that blocks past the
    // timeout reads as killed (128 + 9) and is left behind. There is no unprivileged user to
    // become; tests that need one skip on Windows.
    auto result = std::make_shared<std::pair<std::atomic<bool>, int>>();
    std::thread([body, result] {
        result->second = body();
        result->first = true;
    }).detach();
    if (!WaitUntil([&] { return result->first.load(); }, timeoutSeconds * 1000))
        return 128 + 9;
    return result->second;
}

} // namespace qelptest
