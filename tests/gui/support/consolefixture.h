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
    void click(const char* name) {
        if (QPushButton* b = button(name))
            b->click();
    }
    std::vector<std::string> press(const char* name) { // the log lines the click added
        const size_t at = mark();
        click(name);
        return since(at);
    }
    QString status() const { return form->findChild<QLabel*>("Label1")->text(); }
    // The log's messages without time stamps; since(mark()) picks those of one step.
    std::vector<std::string> log() const;
    size_t mark() const { return log().size(); }
    std::vector<std::string> since(size_t mark) const {
        std::vector<std::string> all = log();
        all.erase(all.begin(), all.begin() + std::ptrdiff_t(std::min(mark, all.size())));
        return all;
    }

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
