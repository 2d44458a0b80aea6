// Fault soak: the console's core runs N commands (default 10,000) against the simulator
// while the simulator misbehaves in every way its fault injection offers: it dies after
// taking the busy flag, after writing the result, with a question open; it hangs until the
// console stops it; it works so slowly that the operator aborts; it spoils the result in
// every supported way; it floods the console with notices; and the driver is stopped and
// started again in between. Prints exactly one line on standard output:
//   soak_commands=… crashes=… lost_log_lines=… fds_start=… fds_end=… rss_start_kb=… rss_end_kb=…
// and the faults injected, per kind, on standard error.
//
// The console runs in a worker process, so that a crash is counted instead of ending the
// soak; a crashed worker is replaced and the soak goes on with the commands left. Lost log
// lines are the lines the console handed to the log minus the whole, time-stamped lines the
// log holds at the end.
//   bench_soak [COMMANDS] [--seed N]
#include "frame/fileio.h"
#include "frame/posixhost.h"
#include "frame/program.h"
#include "frame/uiport.h"
#include "link/supervision.h"
#include "link/transfer.h"
#include "operations/operations.h"
#include "support/driverharness.h"
#include "support/testsupport.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

enum Kind {
    None,
    DieAfterBusy,
    DieAfterResult,
    DieInQuestion,
    HangThenStop,
    SlowThenAbort,
    NoResult,
    NonNumeric,
    Garbage,
    Binary,
    Huge,
    SignalOnly,
    Burst,
    InvalidDialog,
    FailureCode,
    StopStart,
    KindCount
};
const char* const kKindNames[KindCount] = {"none",
                                           "die_after_busy",
                                           "die_after_result_dat",
                                           "die_in_question",
                                           "hang_then_stop",
                                           "slow_then_abort",
                                           "no_result",
                                           "non_numeric_result",
                                           "garbage_result",
                                           "binary_result",
                                           "huge_result",
                                           "signal_only",
                                           "message_burst",
                                           "invalid_dialog",
                                           "failure_code",
                                           "stop_start"};

// Counters shared by the supervising process and its workers.
struct Shared {
    std::atomic<long> commandsDone{0};
    std::atomic<long> linesWritten{0};
    std::atomic<long> faults[KindCount];
    std::atomic<long> failedStarts{0};
    long fdsStart = -1, rssStartKb = -1, fdsEnd = -1, rssEndKb = -1;
};

long OpenFds() {
    long n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (dirent* e = ::readdir(d))
            n += e->d_name[0] != '.';
        ::closedir(d);
        --n; // the descriptor of the listing itself
    }
    return n;
}

long RssKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

long CountCrLf(const std::string& bytes) {
    long n = 0;
    for (size_t at = bytes.find("\r\n"); at != std::string::npos; at = bytes.find("\r\n", at + 2))
        ++n;
    return n;
}

// Whole log lines: "yyyy-MM-dd HH:mm:ss > " and CR LF. A torn line, or two glued together,
// is not whole.
long WholeLines(const std::string& text) {
    long n = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos)
            break;
        const std::string_view line(text.data() + at, end - at);
        bool whole = line.size() >= 22 && line.substr(19, 3) == " > ";
        for (size_t i = 0; whole && i < 19; ++i)
            whole = (i == 4 || i == 7)     ? line[i] == '-'
                    : (i == 13 || i == 16) ? line[i] == ':'
                    : i == 10              ? line[i] == ' '
                                           : line[i] >= '0' && line[i] <= '9';
        n += whole;
        at = end + 2;
    }
    return n;
}

// The host, counting every line the console hands to its log.
class CountingHost : public qelp::PosixHost {
public:
    CountingHost(const std::string& programPath, Shared& shared)
        : qelp::PosixHost(programPath), m_shared(shared) {}
    bool AppendToFile(const std::string& path, const std::string& bytes) override {
        if (path == logPath)
            m_shared.linesWritten += CountCrLf(bytes);
        return qelp::PosixHost::AppendToFile(path, bytes);
    }
    std::string logPath;

private:
    Shared& m_shared;
};

// The operator: presses Ok on every message shown, and runs a planned action (abort, stop)
// on the third pass of a result wait.
class Operator : public qelp::NullUiPort {
public:
    explicit Operator(qelp::Program*& program) : m_program(program) {}
    void showMessageWindow() override { m_program->message.messageWindowOpen = true; }
    void processPendingEvents() override {
        qelp::Program& p = *m_program;
        if (p.message.messageWindowOpen) {
            if (!p.message.messageWindowCloseRequest)
                p.message.replyPending = 4; // "Ok"
            p.message.messageWindowOpen = false;
        }
    }
    void waitForEvents(qelp::DirectoryWatch* watch, int timeoutMs) override {
        qelp::NullUiPort::waitForEvents(watch, timeoutMs);
        processPendingEvents();
        if (action && ++passes >= 3) {
            auto act = std::move(action);
            action = nullptr;
            act(*m_program);
        }
    }
    std::function<void(qelp::Program&)> action;
    int passes = 0;

private:
    qelp::Program*& m_program;
};

// The ini of an episode: one fault kind, on the command at `at` (1 = the first after start).
std::string EpisodeIni(Kind kind, int at, std::mt19937& rng, bool& fast) {
    fast = kind != SlowThenAbort;
    if (kind == SlowThenAbort)
        return "[Timing]\r\nStartupMs=0\r\nResetMs=0\r\nResetHardMs=0\r\nQueryMs=0\r\n"
               "PurgeMs=60000\r\n";
    static const char* const kFaultLines[KindCount] = {"",
                                                       "DieAt=AfterBusy",
                                                       "DieAt=AfterResultDat",
                                                       "DieAt=InQuestion\r\nMessageBurst=1",
                                                       "Hang=1",
                                                       "",
                                                       "Result=NoResult",
                                                       "Result=NonNumeric",
                                                       "Result=Garbage",
                                                       "Result=Binary",
                                                       "Result=Huge\r\nHugeResultBytes=65536",
                                                       "Result=SignalOnly",
                                                       "",
                                                       "InvalidDialog=1",
                                                       "",
                                                       ""};
    std::string lines = kFaultLines[kind];
    if (kind == Burst)
        lines = "MessageBurst=" + std::to_string(1 + rng() % 6);
    if (kind == FailureCode)
        lines = "ResultCode=" + std::to_string(1 + rng() % 9);
    // The start-up sends two commands; the episode's commands follow.
    return "[Faults]\r\nOnCommand=" + std::to_string(at + 2) + "\r\n" + lines + "\r\n";
}

// One ordinary operator command, drawn at random. In a slow episode only the faulted command
// is a purge (the one slow verb).
void RunCommand(qelp::Program& program, std::mt19937& rng, bool slow, bool faulted) {
    switch (slow ? (faulted ? 0 : 1 + rng() % 3) : rng() % 4) {
    case 0:
        qelp::PurgeCanister(program, static_cast<int32_t>(1 + rng() % 16));
        break;
    case 1:
        qelp::QueryVersion(program);
        break;
    case 2:
        qelp::ResetDispenser(program, false);
        break;
    default:
        qelp::QueryMachineInfo(program, qelp::MachineInfoKind::Features);
        break;
    }
}

// A failed start is repeated; its last log lines go to standard error, to show why.
bool Start(qelp::Program& program, Shared& shared) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (qelp::StartDriver(program))
            return true;
        ++shared.failedStarts;
        std::string log;
        qelp::fileio::ReadFileBytes(program.files.logFilePath, log);
        size_t from = log.size();
        for (int lines = 0; lines < 5 && from > 0; ++lines) {
            const size_t at = from >= 3 ? log.rfind("\r\n", from - 3) : std::string::npos;
            from = at == std::string::npos ? 0 : at + 2;
        }
        std::fprintf(stderr, "start failed; the log ends:\n%s", log.substr(from).c_str());
        qelp::StopDriver(program);
    }
    return false;
}

// The console's side: runs episodes until `total` commands are done in all.
int Work(qelptest::DriverInstall& install, const std::string& programDir, long total, unsigned seed,
         Shared& shared) {
    std::mt19937 rng(seed);
    CountingHost host(programDir + "qelpserver", shared);
    qelp::Program* self = nullptr;
    Operator op(self);
    qelp::Program program(host, op);
    self = &program;
    host.logPath = programDir + "qelpserver.log";
    qelp::StartProgram(program);
    if (program.files.logFilePath != host.logPath)
        return 4;
    bool first = shared.fdsStart < 0;
    while (shared.commandsDone < total) {
        const Kind kind = static_cast<Kind>(rng() % KindCount);
        const int at = 1 + static_cast<int>(rng() % 6), after = static_cast<int>(rng() % 3);
        bool fast = true;
        install.writeIni(EpisodeIni(kind, at, rng, fast), fast);
        qelp::StopDriver(program);
        if (!Start(program, shared))
            return 3;
        if (first) {
            shared.fdsStart = OpenFds();
            shared.rssStartKb = RssKb();
            first = false;
        }
        for (int i = 1; i <= at + after && shared.commandsDone < total; ++i) {
            if (i == at && kind == StopStart) { // between two commands, outside any wait
                qelp::StopDriver(program);
                if (!Start(program, shared))
                    return 3;
            }
            if (i == at && kind == HangThenStop)
                op.action = [](qelp::Program& p) { qelp::StopDriver(p); };
            if (i == at && kind == SlowThenAbort)
                op.action = [](qelp::Program& p) { qelp::AbortCommand(p); };
            op.passes = 0;
            if (!program.link.driverRunning && !Start(program, shared))
                return 3;
            RunCommand(program, rng, kind == SlowThenAbort, i == at);
            op.action = nullptr;
            if (i == at) {
                ++shared.faults[kind];
                // A driver started again within this episode (after a death or a stop) must
                // not repeat the fault on its own third command.
                install.writeIni({}, true);
            }
            ++shared.commandsDone;
        }
    }
    shared.fdsEnd = OpenFds();
    shared.rssEndKb = RssKb();
    qelp::StopDriver(program);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    long total = 10000;
    unsigned seed = std::random_device{}();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc)
            seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        else
            total = std::atol(argv[i]);
    }
    void* mem =
        ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (mem == MAP_FAILED)
        return 1;
    Shared& shared = *new (mem) Shared();
    qelptest::TempDir dir;
    qelptest::DriverInstall install(dir.path());

    long crashes = 0;
    for (unsigned worker = 0; shared.commandsDone < total && crashes < 10; ++worker) {
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0)
            ::_exit(Work(install, dir.path(), total, seed + worker, shared));
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (code != 0 && code != 3) {
            ++crashes;
            std::fprintf(stderr, "worker %u crashed (status %d) after %ld commands\n", worker,
                         status, shared.commandsDone.load());
        } else if (code == 3) {
            std::fprintf(stderr, "the simulator could not be started; see %sqelpserver.log\n",
                         dir.path().c_str());
            return 1;
        }
    }
    install.killAll();

    std::string log;
    qelp::fileio::ReadFileBytes(dir.path() + "qelpserver.log", log);
    const long lost = shared.linesWritten - WholeLines(log);
    std::fprintf(stderr, "seed=%u failed_starts=%ld log_lines=%ld faults:", seed,
                 shared.failedStarts.load(), shared.linesWritten.load());
    for (int k = 0; k < KindCount; ++k)
        std::fprintf(stderr, " %s=%ld", kKindNames[k], shared.faults[k].load());
    std::fprintf(stderr, "\n");
    std::printf("soak_commands=%ld crashes=%ld lost_log_lines=%ld fds_start=%ld fds_end=%ld "
                "rss_start_kb=%ld rss_end_kb=%ld\n",
                shared.commandsDone.load(), crashes, lost, shared.fdsStart, shared.fdsEnd,
                shared.rssStartKb, shared.rssEndKb);
    return crashes == 0 && lost == 0 ? 0 : 2;
}
