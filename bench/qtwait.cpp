// The console's CPU use while the Qt event loop waits ten seconds for a slow command: the
// same wait as in the product, through the screens' side of the narrow interface. Prints
// qt_idle_wait_cpu_pct=… (a busy loop would print about 100).
#include "frame/posixhost.h"
#include "frame/program.h"
#include "link/supervision.h"
#include "operations/operations.h"
#include "support/driverharness.h"
#include "support/testsupport.h"
#include "ui/qtuiport.h"

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>

static double cpuMs() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec * 1000.0 + ru.ru_utime.tv_usec / 1000.0 +
           ru.ru_stime.tv_sec * 1000.0 + ru.ru_stime.tv_usec / 1000.0;
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qelptest::TempDir dir;
    qelptest::DriverInstall slow(
        dir.path(), "[Timing]\r\nStartupMs=0\r\nResetMs=0\r\nQueryMs=0\r\nPurgeMs=10000\r\n",
        false);
    qelp::PosixHost host(dir.path() + "qelpserver");
    qelp::ui::QtUiPort port; // no console attached: the status line goes nowhere
    qelp::Program program(host, port);
    qelp::StartProgram(program);
    if (!qelp::StartDriver(program)) {
        std::fprintf(stderr, "the simulator did not start; see %s\n",
                     program.files.logFilePath.c_str());
        return 1;
    }
    const double c0 = cpuMs();
    const auto t0 = std::chrono::steady_clock::now();
    qelp::PurgeCanister(program, 1);
    const double wall =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::printf("qt_idle_wait_ms=%.0f qt_idle_wait_cpu_pct=%.2f\n", wall,
                100.0 * (cpuMs() - c0) / wall);
    qelp::StopDriver(program);
    return 0;
}
