#include "ui/dialogs.h"

#include "ui/textedge.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QSettings>

namespace qelp::ui {

namespace {
const char* const kLastFileKey = "FileDialog/LastFile";
}

QtDialogs::QtDialogs(QString settingsPath) : m_settingsPath(std::move(settingsPath)) {}

QString QtDialogs::inputBox(QWidget* parent, const QString& prompt, const QString& title,
                            const QString& defaultText) {
    bool ok = false;
    QString answer =
        QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, defaultText, &ok);
    return ok ? answer : QString();
}

void QtDialogs::messageBox(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kProgramTitle), ForDisplay(text),
                    QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString QtDialogs::lastFile() const {
    QSettings settings(m_settingsPath, QSettings::IniFormat);
    return settings.value(QLatin1String(kLastFileKey)).toString();
}

QString QtDialogs::openFile(QWidget* parent, const QString& title) {
    // One dialog for both replay buttons: it opens where the last file was chosen and
    // preselects it. A cancelled dialog reports the empty path.
    QFileDialog dialog(parent, title);
    dialog.setObjectName(QStringLiteral("CommonDialog1"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QString last = lastFile();
    if (!last.isEmpty()) {
        dialog.setDirectory(QFileInfo(last).absolutePath());
        dialog.selectFile(last);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString chosen = dialog.selectedFiles().constFirst();
    QSettings settings(m_settingsPath, QSettings::IniFormat);
    settings.setValue(QLatin1String(kLastFileKey), chosen);
    return chosen;
}

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
