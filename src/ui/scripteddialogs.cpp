#include "ui/scripteddialogs.h"

namespace qelp::ui {

QString ScriptedDialogs::inputBox(QWidget*, const QString& prompt, const QString& title,
                                  const QString& defaultText) {
    asked.push_back({Question::Kind::Input, prompt, title, defaultText});
    if (m_inputs.empty()) {
        ++unscripted;
        return {};
    }
    const QString answer = m_inputs.front().has_value() ? *m_inputs.front() : QString();
    m_inputs.pop_front();
    return answer;
}

void ScriptedDialogs::messageBox(QWidget* parent, const QString& text) {
    asked.push_back({Question::Kind::Message, text, QString::fromLatin1(kProgramTitle), {}});
    if (onMessageBox)
        onMessageBox(parent, text);
}

QString ScriptedDialogs::openFile(QWidget*, const QString& title) {
    asked.push_back({Question::Kind::OpenFile, title, {}, {}});
    return nextFile();
}

QString ScriptedDialogs::saveFile(QWidget*, const QString& title, const QString& suggestedName) {
    asked.push_back({Question::Kind::SaveFile, title, {}, suggestedName});
    return nextFile();
}

QString ScriptedDialogs::nextFile() {
    if (m_files.empty()) {
        ++unscripted;
        return {};
    }
    QString path = m_files.front();
    m_files.pop_front();
    return path;
}

QStringList ScriptedDialogs::messages() const {
    QStringList texts;
    for (const Question& q : asked) {
        if (q.kind == Question::Kind::Message)
            texts << q.text;
    }
    return texts;
}

void ScriptedDialogs::clear() {
    asked.clear();
    m_inputs.clear();
    m_files.clear();
    unscripted = 0;
}

} // namespace qelp::ui
