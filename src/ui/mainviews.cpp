// The console's menu bar and the views it opens.
#include "ui/mainform.h"

#include "console/dispenses.h"
#include "frame/program.h"
#include "frame/textutil.h"
#include "qelpversion.h"
#include "ui/application.h"
#include "ui/historyview.h"
#include "ui/levelsview.h"
#include "ui/logview.h"
#include "ui/textedge.h"

#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>

namespace qelp::ui {

void MainForm::buildMenu() {
    // Above every control of the console, which keep their places among themselves.
    auto* bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("MenuBar"));
    bar->setAccessibleName(QStringLiteral("Menu bar"));
    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("ViewMenu"));
    auto add = [this](QMenu* menu, const char* name, const char* caption, QKeySequence keys,
                      auto open) {
        QAction* action = menu->addAction(QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, open);
    };
    add(view, "CanisterLevels", "Canister Levels", QKeySequence(Qt::CTRL | Qt::Key_L),
        [this] { openLevels(); });
    add(view, "DispenseHistory", "Dispense History", QKeySequence(Qt::CTRL | Qt::Key_H),
        [this] { openHistory(); });
    add(view, "EventLog", "Event Log", QKeySequence(Qt::CTRL | Qt::Key_E),
        [this] { openEventLog(); });
    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("HelpMenu"));
    add(help, "About", "About QELPServer", QKeySequence(QKeySequence::HelpContents),
        [this] { openAbout(); });
    layout()->setMenuBar(bar);
}

DispenseRecorder& MainForm::dispenseRecorder() {
    if (!m_recorder)
        m_recorder = std::make_unique<DispenseRecorder>(HistoryDatabasePath(m_program));
    return *m_recorder;
}

LevelsView* MainForm::openLevels() {
    if (!m_levels)
        m_levels = new LevelsView(m_program, FromPath(DialogSettingsPath(m_program)), this);
    m_levels->refresh();
    m_levels->present();
    return m_levels;
}

HistoryView* MainForm::openHistory() {
    if (!m_history)
        m_history = new HistoryView(
            m_program, dispenseRecorder().store(), m_dialogs, [this] { refreshConsole(); },
            FromPath(DialogSettingsPath(m_program)), this);
    m_history->reload();
    m_history->present();
    return m_history;
}

LogView* MainForm::openEventLog() {
    if (!m_eventLog)
        m_eventLog =
            new LogView(m_program.files.logFilePath, FromPath(DialogSettingsPath(m_program)), this);
    m_eventLog->present();
    return m_eventLog;
}

QWidget* MainForm::openAbout() {
    if (!m_about) {
        auto* box = new QMessageBox(
            QMessageBox::Information, QStringLiteral("About QELPServer"),
            QStringLiteral("QELPServer %1\n\nOperator console for a "
                           "paint-colorant dispenser.\nLicence: MIT\n"
                           "Data directory: %2")
                .arg(QStringLiteral(QELP_VERSION), FromPath(m_program.files.dataDirectory)),
            QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("AboutBox"));
        box->setModal(false);
        m_about = box;
    }
    m_about->show();
    m_about->raise();
    return m_about;
}

} // namespace qelp::ui
