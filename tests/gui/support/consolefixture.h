#pragma once
// A complete console for the screen tests: its own program directory, the real windows,
// scripted dialogs and, on request, the real simulator (fast mode), killed at the end.
#include "support/driverharness.h"
#include "support/testsupport.h"
#include "ui/mainform.h"
#include "ui/qtuiport.h"
#include "ui/scripteddialogs.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <memory>

namespace guitest {

class ConsoleFixture {
public:
    explicit ConsoleFixture(char decimalSeparator = '.');
    ~ConsoleFixture();

    bool start() { // "Start QELP"; true when the driver runs afterwards
        click("Command1");
        return program.link.driverRunning;
    }
    bool installAndStart() { // the simulator installed as the driver first
        driver = std::make_unique<qelptest::DriverInstall>(dir.path());
        return start();
    }
    QPushButton* button(const char* name) const { return form->findChild<QPushButton*>(name); }
    QComboBox* combo(const char* name) const { return form->findChild<QComboBox*>(name); }
    void click(const char* name) { // a renamed button fails the test instead of doing nothing
        QPushButton* b = button(name);
        b ? b->click() : QTest::qFail(name, __FILE__, __LINE__);
    }
    std::vector<std::string> press(const char* name) { // the log lines the click added
        const size_t at = log().size();
        click(name);
        return qelptest::LogMessages(program, at);
    }
    QString status() const { return form->findChild<QLabel*>("Label1")->text(); }
    std::vector<std::string> log() const { return qelptest::LogMessages(program); }

    qelptest::TempDir dir;
    qelptest::TestHost host;
    qelp::ui::QtUiPort port;
    qelp::Program program;
    qelp::ui::ScriptedDialogs dialogs;
    std::unique_ptr<qelp::ui::MainForm> form;
    std::unique_ptr<qelptest::DriverInstall> driver;
};

// Runs the action once on the first visible top-level widget of that name, or with an empty
// name on the modal dialog in front (polled every 10 ms).
void WhenVisible(const QString& objectName, std::function<void(QWidget*)> action,
                 int timeoutMs = 20000);

} // namespace guitest
