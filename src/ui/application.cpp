#include "ui/application.h"

#include "frame/layout.h"
#include "frame/nativehost.h"
#include "frame/program.h"
#include "qelpversion.h"
#include "ui/dialogs.h"
#include "ui/mainform.h"
#include "ui/qtuiport.h"
#include "ui/textedge.h"

#include <QApplication>
#include <clocale>
#include <cstdio>

namespace qelp::ui {

namespace {

constexpr const char* kUsage =
    "usage: qelpserver [--data-dir DIR]\n"
    "       qelpserver --help | --version\n"
    "\n"
    "The operator console of the colorant dispenser.\n"
    "  --data-dir DIR  keep the registry store, the event log, ServerCmd and the settings\n"
    "                  in DIR instead of the program's own directory (portable copy) or\n"
    "                  /var/lib/qelpserver (installed copy)\n"
    "  --help          print this text and exit\n"
    "  --version       print the version and exit\n"
    "Exit status: 0 closed, 2 wrong usage.\n";

// Qt's own options that take a value; QApplication reads and removes them itself.
// -qwindowtitle is not among them: the window title is fixed.
int qtOption(const std::string& option) {
    for (const char* withValue : {"-platform", "-platformtheme", "-style", "-display",
                                  "-qwindowgeometry", "-geometry", "-stylesheet"})
        if (option == withValue)
            return 2;
    return option == "-reverse" ? 1 : 0;
}

} // namespace

std::string DialogSettingsPath(const Program& program) {
    std::string name = program.files.programFileName;
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return program.files.dataDirectory + name + ".ini";
}

int RunConsole(int argc, char** argv) {
    // Answered before any window exists, so that they work without a display.
    const StandardOptions options = ParseStandardOptions(argc, argv, qtOption);
    if (!options.error.empty() || !options.rest.empty()) {
        std::fprintf(stderr, "qelpserver: %s\n%s",
                     options.error.empty() ? "no arguments expected" : options.error.c_str(),
                     kUsage);
        return 2;
    }
    if (options.help || options.version) {
        std::fputs(options.help ? kUsage : "qelpserver " QELP_VERSION "\n", stdout);
        return 0;
    }
    NativeHost host;
    Layout layout;
    const std::string problem =
        EnterLayout(options.dataDirectory, layout, host.nativeProgramPath());
    if (!problem.empty())
        std::fprintf(stderr, "qelpserver: %s\n", problem.c_str());
    host.setDataDirectory(layout.dataDirectory);

    QApplication app(argc, argv);
    // The desktop matches the window to its entry (<id>.desktop) by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(QELP_APP_ID));
    // QApplication adopts the user's locale for the C library. The core formats every
    // number itself, with the separator it took from the host; keep the C library neutral
    // so that no stray printf writes a command file number with a comma.
    std::setlocale(LC_NUMERIC, "C");

    QtUiPort port;
    Program program(host, port);
    ApplyLayout(program, layout);
    QtDialogs dialogs(FromPath(DialogSettingsPath(program)));
    MainForm form(program, dialogs);
    port.attach(program, form);
    // The first log line is the console's first use: it loads the window
    // and then shows "QELP Server started!" on the status line.
    StartProgram(program);
    form.ensureLoaded();
    form.show();
    return app.exec();
}

} // namespace qelp::ui
