// qelp-tour: a guided tour of the console for machines without a display. A scripted
// operator drives the real windows (offscreen when there is no display) through start,
// reset, machine features, a colorant name, a recipe composed and dispensed with the
// driver's question answered, the canister grid and stop. It saves a PNG of each screen,
// prints where the pictures and the event log are, and exits with 1 when a step failed.
//
// It runs from the staged demonstration directory ("demo" target), whose registry.reg
// names the simulator as the driver.
#include "tourscript.h"

#include "frame/posixhost.h"
#include "frame/program.h"
#include "link/supervision.h"
#include "ui/mainform.h"
#include "ui/qtuiport.h"
#include "ui/scripteddialogs.h"
#include "ui/textedge.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace {
// The offscreen platform reports for every window that it cannot raise it or pass size
// hints on; that is no news for a tour that runs offscreen on purpose.
QtMessageHandler g_defaultHandler = nullptr;
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (!text.startsWith(QLatin1String("This plugin does not support")) && g_defaultHandler)
        g_defaultHandler(type, context, text);
}
} // namespace

int main(int argc, char** argv) {
    g_defaultHandler = qInstallMessageHandler(QuietOffscreen);
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    qelp::PosixHost host;
    qelp::ui::QtUiPort port;
    qelp::Program program(host, port);
    qelp::ui::ScriptedDialogs dialogs;
    qelp::ui::MainForm form(program, dialogs);
    port.attach(program, form);
    qelp::StartProgram(program);
    form.ensureLoaded();
    form.show();

    // A tour that hangs (a driver that never answers) must still end.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&program] {
        std::printf("FAILED: the tour took longer than three minutes\n");
        qelp::StopDriver(program);
        std::fflush(stdout);
        std::_Exit(1);
    });
    watchdog.start(180000);

    const QString pictures =
        qelp::ui::FromPath(program.files.programDirectory) + QStringLiteral("tour");
    QDir(pictures).removeRecursively();
    QDir().mkpath(pictures);
    qelptour::TourScript script(program, form, port, dialogs, pictures);
    const bool ok = script.run();
    if (program.link.driverRunning)
        qelp::StopDriver(program);

    std::printf("\nPictures (%lld) in %s\n", static_cast<long long>(script.pictures().size()),
                qPrintable(pictures));
    std::printf("Event log: %s\n", program.files.logFilePath.c_str());
    std::printf("%s\n", ok ? "The tour completed." : "The tour FAILED.");
    return ok ? 0 : 1;
}
