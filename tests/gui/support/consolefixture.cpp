#include "support/consolefixture.h"

#include "frame/program.h"

#include <QApplication>
#include <QTimer>

namespace guitest {

namespace {
// The offscreen platform complains about every window shown; that noise is dropped.
QtMessageHandler g_previousHandler = nullptr;
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (!text.startsWith(QLatin1String("This plugin does not support")) && g_previousHandler)
        g_previousHandler(type, context, text);
}
// Owns the pollers, so that a fixture going away cancels those that never ran.
QObject& Pollers() {
    static QObject owner;
    return owner;
}
} // namespace

ConsoleFixture::ConsoleFixture(char decimalSeparator) : host(dir.path()), program(host, port) {
    [[maybe_unused]] static const bool quiet =
        (g_previousHandler = qInstallMessageHandler(QuietOffscreen), true);
    host.decimalSeparator = program.session.decimalSeparator = decimalSeparator;
    form = std::make_unique<qelp::ui::MainForm>(program, dialogs);
    port.attach(program, *form);
    qelp::StartProgram(program);
    form->ensureLoaded();
    form->show();
}

ConsoleFixture::~ConsoleFixture() {
    qDeleteAll(Pollers().children());
    if (driver)
        driver->killAll();
    form.reset();
}

void WhenVisible(const QString& objectName, std::function<void(QWidget*)> action, int timeoutMs) {
    auto* timer = new QTimer(&Pollers());
    QObject::connect(timer, &QTimer::timeout, timer, [=, left = timeoutMs / 10]() mutable {
        QWidget* found = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (!found && w->isVisible() &&
                (objectName.isEmpty() ? w == QApplication::activeModalWidget()
                                      : w->objectName() == objectName))
                found = w;
        if (found || --left <= 0) { // runs once at most
            timer->stop();
            timer->deleteLater();
        }
        if (found)
            action(found);
    });
    timer->start(10);
}

} // namespace guitest
