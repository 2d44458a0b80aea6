#include "ui/application.h"

#include "frame/nativehost.h"
#include "frame/program.h"
#include "ui/dialogs.h"
#include "ui/mainform.h"
#include "ui/qtuiport.h"
#include "ui/textedge.h"

#include <QApplication>
#include <clocale>

namespace qelp::ui {

std::string DialogSettingsPath(const Program& program) {
    std::string name = program.files.programFileName;
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return program.files.programDirectory + name + ".ini";
}

int RunConsole(int argc, char** argv) {
    QApplication app(argc, argv);
    // QApplication adopts the user's locale for the C library. The core formats every
    // number itself, with the separator it took from the host; keep the C library neutral
    // so that no stray printf writes a command file number with a comma.
    std::setlocale(LC_NUMERIC, "C");

    NativeHost host;
    QtUiPort port;
    Program program(host, port);
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
