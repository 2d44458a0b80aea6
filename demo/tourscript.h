#pragma once
// The guided tour's operator: presses the console's buttons in order, fills the screens that
// open, answers the driver's question, and takes a picture of every screen on the way.
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace qelp {
class Program;
}
namespace qelp::ui {
class MainForm;
class QtUiPort;
class ScriptedDialogs;
} // namespace qelp::ui

namespace qelptour {

class TourScript {
public:
    TourScript(qelp::Program& program, qelp::ui::MainForm& form, qelp::ui::QtUiPort& port,
               qelp::ui::ScriptedDialogs& dialogs, QString pictureDirectory);

    // Runs every step; true when all of them did what they should. Each step prints one
    // line: its name and "ok" or what went wrong.
    bool run();
    const QStringList& pictures() const { return m_pictures; }

private:
    bool step(const char* name, const std::function<QString()>& body);
    void snap(QWidget* widget, const QString& name);
    void click(const char* objectName);
    // Runs the action on the first visible window of that name once it shows up (a modal
    // screen opened by the next click). Returns a flag that tells whether it ran.
    std::shared_ptr<bool> whenVisible(const QString& objectName,
                                      std::function<void(QWidget*)> action);
    QString status() const;
    // The View menu's windows and Help's About box, each photographed.
    QString views();

    QString startDriver();
    QString resetDispenser();
    QString machineFeatures();
    QString setColorantName();
    QString composeRecipe();
    QString dispense();
    QString canisterGrid();
    QString stopDriver();

    qelp::Program& m_program;
    qelp::ui::MainForm& m_form;
    qelp::ui::QtUiPort& m_port;
    qelp::ui::ScriptedDialogs& m_dialogs;
    QString m_directory;
    QStringList m_pictures;
    int m_counter = 0;
};

} // namespace qelptour
