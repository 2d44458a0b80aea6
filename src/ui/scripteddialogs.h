#pragma once
// A stand-in for the operator's dialogs, for the screen tests and the guided tour; the
// product never links it.
#include "ui/dialogs.h"

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace qelp::ui {

// Answers given in advance, and a record of every question. A question without a scripted
// answer is answered as cancelled (empty) and counted in `unscripted`, so a test notices it.
class ScriptedDialogs : public Dialogs {
public:
    struct Question {
        enum class Kind { Input, Message, OpenFile, SaveFile } kind;
        QString text;  // prompt, message text or dialog title
        QString title; // input box title
        QString defaultText;
    };

    QString inputBox(QWidget* parent, const QString& prompt, const QString& title,
                     const QString& defaultText) override;
    void messageBox(QWidget* parent, const QString& text) override;
    QString openFile(QWidget* parent, const QString& title) override;
    // Answered from the same queue as openFile.
    QString saveFile(QWidget* parent, const QString& title, const QString& suggestedName) override;

    // Queues an input box answer; std::nullopt stands for "Cancel".
    void answerInput(std::optional<QString> answer) { m_inputs.push_back(std::move(answer)); }
    void answerOpenFile(QString path) { m_files.push_back(std::move(path)); }
    // The message box texts shown so far.
    QStringList messages() const;
    int pendingAnswers() const { return static_cast<int>(m_inputs.size() + m_files.size()); }
    void clear();

    std::vector<Question> asked;
    int unscripted = 0;
    // Called for every message box after it was recorded (the tour takes pictures here).
    std::function<void(QWidget* parent, const QString& text)> onMessageBox;

private:
    // The next scripted file path; an empty one, counted as unscripted, when none is left.
    QString nextFile();
    std::deque<std::optional<QString>> m_inputs;
    std::deque<QString> m_files;
};

} // namespace qelp::ui
