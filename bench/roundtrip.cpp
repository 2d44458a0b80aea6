// Round trip of one command through the exchange directory, measured from the console's
// side against the simulator in fast mode, next to the floor: a bare inotify ping-pong of
// the same files between two processes. The two are measured in alternating blocks of 100
// rounds, so that a change of load on the machine touches both alike. Prints one summary
// line at the end:
// roundtrip_median_ms=… roundtrip_p99_ms=… floor_median_ms=… ratio_to_floor=…
// console_cpu_ms_per_cmd=… floor_cpu_ms_per_cmd=… idle_wait_cpu_pct=…
#include "builders/builders.h"
#include "frame/fileio.h"
#include "frame/posixhost.h"
#include "frame/program.h"
#include "frame/uiport.h"
#include "link/supervision.h"
#include "link/transfer.h"
#include "operations/operations.h"
#include "support/driverharness.h"
#include "support/testsupport.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <string>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double cpuMs() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec * 1000.0 + ru.ru_utime.tv_usec / 1000.0 +
           ru.ru_stime.tv_sec * 1000.0 + ru.ru_stime.tv_usec / 1000.0;
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    size_t idx = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(idx, v.size() - 1)];
}

// Blocks until `name` appears in dir (watched by fd), without spinning.
void waitFor(int fd, const std::string& path) {
    while (!qelp::fileio::IsRegularFile(path)) {
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, 100);
        char buf[4096];
        while (read(fd, buf, sizeof buf) > 0) {
        }
    }
}

// The floor: the same files exchanged by two processes with inotify and atomic writes,
// and nothing else (no log, no profile parsing, no process checks). The partner process
// serves a fixed number of rounds; the measuring side runs them in blocks, in turn with the
// console's blocks, so that both see the same load.
class Floor {
public:
    Floor(const std::string& dir, int rounds)
        : m_cmd(dir + "cmd.dat"), m_cmdSig(dir + "cmd.sig"), m_res(dir + "result.dat"),
          m_resSig(dir + "result.sig") {
        m_child = fork();
        if (m_child == 0) {
            int fd = inotify_init1(IN_NONBLOCK);
            inotify_add_watch(fd, dir.c_str(), IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE);
            for (int i = 0; i < rounds; ++i) {
                waitFor(fd, m_cmdSig);
                std::string bytes;
                qelp::fileio::ReadFileBytes(m_cmd, bytes);
                qelp::fileio::RemoveFile(m_cmdSig);
                qelp::fileio::WriteFileReplacing(m_res, "[General]\r\nRESULT=0\r\n");
                qelp::fileio::WriteFileReplacing(m_resSig, "");
            }
            _exit(0);
        }
        m_fd = inotify_init1(IN_NONBLOCK);
        inotify_add_watch(m_fd, dir.c_str(), IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE);
    }
    // The partner has served every round by now, unless the run ended early.
    ~Floor() {
        kill(m_child, SIGKILL);
        waitpid(m_child, nullptr, 0);
        close(m_fd);
    }
    // One round; its wall time in ms.
    double round() {
        auto t0 = Clock::now();
        qelp::fileio::WriteFileReplacing(m_cmd, "@RUN\r\n@EXT RESET\r\n@END\r\n");
        qelp::fileio::WriteFileReplacing(m_cmdSig, "");
        waitFor(m_fd, m_resSig);
        std::string bytes;
        qelp::fileio::ReadFileBytes(m_res, bytes);
        qelp::fileio::RemoveFile(m_res);
        qelp::fileio::RemoveFile(m_resSig);
        return ms(Clock::now() - t0);
    }

private:
    std::string m_cmd, m_cmdSig, m_res, m_resSig;
    pid_t m_child = -1;
    int m_fd = -1;
};

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
    qelptest::TempDir dir;
    qelptest::DriverInstall install(dir.path());
    qelp::PosixHost host(dir.path() + "qelpserver");
    qelp::NullUiPort ui;
    qelp::Program program(host, ui);
    qelp::StartProgram(program);
    if (!qelp::StartDriver(program)) {
        std::fprintf(stderr, "the simulator did not start; see %s\n",
                     program.files.logFilePath.c_str());
        return 1;
    }
    if (!qelp::CreateResetCommand(program, false))
        return 1;
    constexpr int kWarmUp = 50, kBlock = 100;
    qelptest::TempDir floorDir;
    Floor floor(floorDir.path(), kWarmUp + rounds);
    for (int i = 0; i < kWarmUp; ++i) {
        qelp::SendAndEvaluate(program, 2000);
        floor.round();
    }

    std::vector<double> times, floorTimes;
    times.reserve(static_cast<size_t>(rounds));
    floorTimes.reserve(static_cast<size_t>(rounds));
    double consoleCpu = 0, floorCpu = 0;
    for (int done = 0; done < rounds; done += kBlock) {
        const int n = std::min(kBlock, rounds - done);
        double c0 = cpuMs();
        for (int i = 0; i < n; ++i) {
            auto t0 = Clock::now();
            if (!qelp::SendAndEvaluate(program, 2000)) {
                std::fprintf(stderr, "round %d failed; see %s\n", done + i,
                             program.files.logFilePath.c_str());
                return 1;
            }
            times.push_back(ms(Clock::now() - t0));
        }
        consoleCpu += cpuMs() - c0;
        c0 = cpuMs();
        for (int i = 0; i < n; ++i)
            floorTimes.push_back(floor.round());
        floorCpu += cpuMs() - c0;
    }
    const double cpuPerCmd = consoleCpu / rounds, floorCpuPerCmd = floorCpu / rounds;
    qelp::StopDriver(program);

    // Idle wait: a command the driver works on for ten seconds, the console waiting.
    qelptest::TempDir idleDir;
    qelptest::DriverInstall slow(
        idleDir.path(), "[Timing]\r\nStartupMs=0\r\nResetMs=0\r\nQueryMs=0\r\nPurgeMs=10000\r\n",
        false);
    qelp::PosixHost idleHost(idleDir.path() + "qelpserver");
    qelp::Program idle(idleHost, ui);
    qelp::StartProgram(idle);
    double idlePct = -1;
    if (qelp::StartDriver(idle)) {
        const double c0 = cpuMs();
        auto t0 = Clock::now();
        qelp::PurgeCanister(idle, 1);
        const double wall = ms(Clock::now() - t0);
        idlePct = 100.0 * (cpuMs() - c0) / wall;
        std::printf("idle wait: %.0f ms wall\n", wall);
        qelp::StopDriver(idle);
    }

    const double median = percentile(times, 0.5), p99 = percentile(times, 0.99);
    const double floorMedian = percentile(floorTimes, 0.5);
    std::printf("rounds=%d roundtrip_min_ms=%.3f floor_p99_ms=%.3f\n", rounds,
                *std::min_element(times.begin(), times.end()), percentile(floorTimes, 0.99));
    std::printf("roundtrip_median_ms=%.3f roundtrip_p99_ms=%.3f floor_median_ms=%.3f "
                "ratio_to_floor=%.2f console_cpu_ms_per_cmd=%.3f floor_cpu_ms_per_cmd=%.3f "
                "idle_wait_cpu_pct=%.2f\n",
                median, p99, floorMedian, median / floorMedian, cpuPerCmd, floorCpuPerCmd, idlePct);
    return 0;
}
