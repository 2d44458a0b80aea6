#pragma once
// The standard dialogs the console asks the operator with, behind one seam: the product uses
// the Qt dialogs, tests and the guided tour put scripted answers (ui/scripteddialogs.h) in
// their place so that no dialog ever blocks them.
#include <QString>
#include <QStringList>

#include <memory>

class QDialog;
class QWidget;

namespace qelp::ui {

// The fixed title of the program's message boxes.
inline constexpr const char* kProgramTitle = "QELP Server";

// The program's message box, not shown yet: the text (CR LF line ends allowed) under the
// program's title with an OK button. A text too long for the screen scrolls inside the box,
// which never grows beyond the screen.
std::unique_ptr<QDialog> MakeMessageBox(QWidget* parent, const QString& text);

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // An input box; the answer as typed, the empty text when it was cancelled.
    virtual QString inputBox(QWidget* parent, const QString& prompt, const QString& title,
                             const QString& defaultText) = 0;
    // A modal message box with an OK button under the program's title. The text may hold
    // CR LF line ends.
    virtual void messageBox(QWidget* parent, const QString& text) = 0;
    // An open-file dialog; the chosen file's full path, or the empty text when cancelled.
    virtual QString openFile(QWidget* parent, const QString& title) = 0;
    // A save-file dialog offering suggestedName; the chosen path, empty when cancelled.
    virtual QString saveFile(QWidget* parent, const QString& title,
                             const QString& suggestedName) = 0;
};

// The Qt dialogs. The file dialog remembers the last chosen file, also across program runs,
// in an ini file (settingsPath) beside the program.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QString settingsPath);
    QString inputBox(QWidget* parent, const QString& prompt, const QString& title,
                     const QString& defaultText) override;
    void messageBox(QWidget* parent, const QString& text) override;
    QString openFile(QWidget* parent, const QString& title) override;
    QString saveFile(QWidget* parent, const QString& title, const QString& suggestedName) override;

    QString lastFile() const;

private:
    QString m_settingsPath;
};

} // namespace qelp::ui
