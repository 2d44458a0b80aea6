#include "support/consolefixture.h"

#include "frame/program.h"
#include "ui/msgwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <filesystem>

namespace guitest {

namespace {
// The offscreen platform cannot raise windows or pass size hints to a window manager and
// says so for every window shown; that noise would bury the tests' own output.
QtMessageHandler g_previousHandler = nullptr;
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (g_previousHandler)
        g_previousHandler(type, context, text);
}
// Owns the WhenVisible pollers, so that a fixture going away cancels those that never ran:
// their actions refer to the finished test's locals.
QObject& Pollers() {
    static QObject owner;
    return owner;
}

// Installed by the first fixture, after the test library has put its own handler in place.
void InstallQuietHandler() {
    static bool installed = false;
    if (!installed)
        g_previousHandler = qInstallMessageHandler(QuietOffscreen);
    installed = true;
}
} // namespace

ConsoleFixture::ConsoleFixture(char decimalSeparator) : host(dir.path()), program(host, port) {
    InstallQuietHandler();
    host.decimalSeparator = decimalSeparator;
    program.decimalSeparator = decimalSeparator;
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

void ConsoleFixture::installDriver(const std::string& iniExtra) {
    driver = std::make_unique<qelptest::DriverInstall>(dir.path(), iniExtra, true);
}

void ConsoleFixture::installIcons() {
    std::filesystem::create_directories(dir.path() + "graphics");
    for (int i = 1; i <= 4; ++i) {
        const std::string name = std::to_string(i) + ".ico";
        std::filesystem::copy_file(SourcePath("graphics/" + name), dir.path() + "graphics/" + name,
                                   std::filesystem::copy_options::overwrite_existing);
    }
}

bool ConsoleFixture::start() {
    click("Command1");
    return program.driverRunning;
}

QPushButton* ConsoleFixture::button(const char* objectName) const {
    return form->findChild<QPushButton*>(QString::fromLatin1(objectName));
}

QComboBox* ConsoleFixture::combo(const char* objectName) const {
    return form->findChild<QComboBox*>(QString::fromLatin1(objectName));
}

void ConsoleFixture::click(const char* objectName) {
    QPushButton* b = button(objectName);
    if (b)
        b->click();
}

QString ConsoleFixture::status() const {
    return form->findChild<QLabel*>(QStringLiteral("Label1"))->text();
}

std::vector<std::string> ConsoleFixture::log() const {
    std::vector<std::string> messages;
    for (const std::string& line : qelptest::SplitCrLf(qelptest::ReadFile(program.logFilePath))) {
        const size_t at = line.find(" > ");
        messages.push_back(at == std::string::npos ? line : line.substr(at + 3));
    }
    return messages;
}

std::vector<std::string> ConsoleFixture::since(size_t mark) const {
    std::vector<std::string> all = log();
    if (mark >= all.size())
        return {};
    return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(mark), all.end());
}

bool ConsoleFixture::logged(size_t mark, const std::string& line) const {
    for (const std::string& l : since(mark)) {
        if (l == line)
            return true;
    }
    return false;
}

std::shared_ptr<bool> WhenVisible(const QString& objectName, std::function<void(QWidget*)> action,
                                  int timeoutMs) {
    auto done = std::make_shared<bool>(false);
    auto* timer = new QTimer(&Pollers());
    auto left = std::make_shared<int>(timeoutMs / 10);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == objectName && w->isVisible()) {
                timer->stop();
                timer->deleteLater();
                *done = true;
                action(w);
                return;
            }
        }
        if (--*left <= 0) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
    return done;
}

std::shared_ptr<SeenMessage> AnswerMessage(const QString& caption, int timeoutMs) {
    auto seen = std::make_shared<SeenMessage>();
    WhenVisible(
        QStringLiteral("MsgWindow"),
        [seen, caption](QWidget* w) {
            auto* window = static_cast<qelp::ui::MsgWindow*>(w);
            seen->title = window->windowTitle();
            QLabel* label = window->findChild<QLabel*>(QStringLiteral("Label1"));
            seen->text = label && label->isVisible() ? label->text() : QString();
            QPushButton* chosen = nullptr;
            for (int slot = 0; slot < qelp::ui::MsgWindow::kSlotCount; ++slot) {
                QPushButton* b = window->slotButton(slot);
                seen->captions << (b->isVisible() ? b->text() : QString());
                if (b->isVisible() && b->text() == caption)
                    chosen = b;
            }
            if (chosen) {
                seen->answered = true;
                chosen->click();
            }
        },
        timeoutMs);
    return seen;
}

std::string SourcePath(const std::string& relative) {
    return std::string(QELP_SOURCE_DIR) + "/" + relative;
}

} // namespace guitest
