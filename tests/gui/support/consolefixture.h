#pragma once
// A complete console for the screen tests: a program directory of its own, the real
// windows, scripted dialogs and, on request, the real simulator installed under a unique
// name in fast mode. Everything runs offscreen; the simulator is killed when the fixture
// goes.
#include "support/driverharness.h"
#include "support/testsupport.h"
#include "ui/dialogs.h"
#include "ui/mainform.h"
#include "ui/qtuiport.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QPushButton;
class QWidget;

namespace guitest {

class ConsoleFixture {
public:
    // decimalSeparator: the user's number format the host reports.
    explicit ConsoleFixture(char decimalSeparator = '.');
    ~ConsoleFixture();

    // Installs the simulator (registry values, driver copy, ini, exchange directory).
    void installDriver(const std::string& iniExtra = {});
    // Copies the program's icons into <program directory>/graphics.
    void installIcons();
    // Presses "Start QELP"; true when the driver runs afterwards.
    bool start();

    QPushButton* button(const char* objectName) const;
    QComboBox* combo(const char* objectName) const;
    void click(const char* objectName);
    QString status() const;

    // The log's messages without time stamps; mark() and since() pick the lines of one step.
    std::vector<std::string> log() const;
    size_t mark() const { return log().size(); }
    std::vector<std::string> since(size_t mark) const;
    // The lines since the mark that are the console's own outcome lines, not copies of
    // files or the core's transfer lines.
    bool logged(size_t mark, const std::string& line) const;

    qelptest::TempDir dir;
    qelptest::TestHost host;
    qelp::ui::QtUiPort port;
    qelp::Program program;
    qelp::ui::ScriptedDialogs dialogs;
    std::unique_ptr<qelp::ui::MainForm> form;
    std::unique_ptr<qelptest::DriverInstall> driver;
};

// Runs the action once on the first visible top-level widget with the object name, as soon
// as one shows up (a modal screen opened by a button, the message window during a command).
// Polls every 10 ms for at most timeoutMs; the returned flag tells whether it ran.
std::shared_ptr<bool> WhenVisible(const QString& objectName, std::function<void(QWidget*)> action,
                                  int timeoutMs = 20000);

// Presses the message window's button with the caption as soon as the window shows; the
// window's title and label text at that moment are kept in the returned record.
struct SeenMessage {
    bool answered = false;
    QString title;
    QString text;
    QStringList captions; // slots 0 to 4, empty for hidden slots
};
std::shared_ptr<SeenMessage> AnswerMessage(const QString& caption, int timeoutMs = 20000);

// The path of the program's source tree.
std::string SourcePath(const std::string& relative);

} // namespace guitest
