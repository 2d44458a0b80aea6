// Round trip of one command through the exchange directory, measured from the console's
// side against the simulator in fast mode, next to the floor: a bare inotify ping-pong of
// the same files between two processes. Prints one summary line at the end:
// roundtrip_median_ms=… roundtrip_p99_ms=… floor_median_ms=… ratio_to_floor=…
// console_cpu_ms_per_cmd=… idle_wait_cpu_pct=…
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
// and nothing else (no log, no profile parsing, no process checks).
std::vector<double> floorPingPong(const std::string& dir, int rounds) {
    const std::string cmd = dir + "cmd.dat", cmdSig = dir + "cmd.sig";
    const std::string res = dir + "result.dat", resSig = dir + "result.sig";
    pid_t child = fork();
    if (child == 0) {
        int fd = inotify_init1(IN_NONBLOCK);
        inotify_add_watch(fd, dir.c_str(), IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE);
        for (int i = 0; i < rounds; ++i) {
            waitFor(fd, cmdSig);
            std::string bytes;
            qelp::fileio::ReadFileBytes(cmd, bytes);
            qelp::fileio::RemoveFile(cmdSig);
            qelp::fileio::WriteFileReplacing(res, "[General]\r\nRESULT=0\r\n");
            qelp::fileio::WriteFileReplacing(resSig, "");
        }
        _exit(0);
    }
    int fd = inotify_init1(IN_NONBLOCK);
    inotify_add_watch(fd, dir.c_str(), IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE);
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        auto t0 = Clock::now();
        qelp::fileio::WriteFileReplacing(cmd, "@RUN\r\n@EXT RESET\r\n@END\r\n");
        qelp::fileio::WriteFileReplacing(cmdSig, "");
        waitFor(fd, resSig);
        std::string bytes;
        qelp::fileio::ReadFileBytes(res, bytes);
        qelp::fileio::RemoveFile(res);
        qelp::fileio::RemoveFile(resSig);
        times.push_back(ms(Clock::now() - t0));
    }
    waitpid(child, nullptr, 0);
    close(fd);
    return times;
}

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
    for (int i = 0; i < 50; ++i) // warm-up
        qelp::SendAndEvaluate(program, 2000);

    std::vector<double> times;
    times.reserve(static_cast<size_t>(rounds));
    const double cpu0 = cpuMs();
    for (int i = 0; i < rounds; ++i) {
        auto t0 = Clock::now();
        if (!qelp::SendAndEvaluate(program, 2000)) {
            std::fprintf(stderr, "round %d failed; see %s\n", i, program.files.logFilePath.c_str());
            return 1;
        }
        times.push_back(ms(Clock::now() - t0));
    }
    const double cpuPerCmd = (cpuMs() - cpu0) / rounds;
    qelp::StopDriver(program);

    qelptest::TempDir floorDir;
    std::vector<double> floor = floorPingPong(floorDir.path(), rounds);

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
    const double floorMedian = percentile(floor, 0.5);
    std::printf("rounds=%d roundtrip_min_ms=%.3f floor_p99_ms=%.3f\n", rounds,
                *std::min_element(times.begin(), times.end()), percentile(floor, 0.99));
    std::printf("roundtrip_median_ms=%.3f roundtrip_p99_ms=%.3f floor_median_ms=%.3f "
                "ratio_to_floor=%.2f console_cpu_ms_per_cmd=%.3f idle_wait_cpu_pct=%.2f\n",
                median, p99, floorMedian, median / floorMedian, cpuPerCmd, idlePct);
    return 0;
}
