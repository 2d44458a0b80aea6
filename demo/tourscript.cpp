#include "tourscript.h"

#include "frame/program.h"
#include "ui/historyview.h"
#include "ui/levelsview.h"
#include "ui/logview.h"
#include "ui/mainform.h"
#include "ui/msgwindow.h"
#include "ui/qtuiport.h"
#include "ui/scripteddialogs.h"
#include "ui/textedge.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace qelptour {

TourScript::TourScript(qelp::Program& program, qelp::ui::MainForm& form, qelp::ui::QtUiPort& port,
                       qelp::ui::ScriptedDialogs& dialogs, QString pictureDirectory)
    : m_program(program), m_form(form), m_port(port), m_dialogs(dialogs),
      m_directory(std::move(pictureDirectory)) {
    // The console's message boxes are answered by the script; show each one for a moment
    // so that it can be photographed like every other screen.
    m_dialogs.onMessageBox = [this](QWidget* parent, const QString& text) {
        const std::unique_ptr<QDialog> box = qelp::ui::MakeMessageBox(parent, text);
        box->show();
        QApplication::processEvents();
        snap(box.get(), QStringLiteral("messagebox"));
        box->close();
    };
}

bool TourScript::run() {
    // Each step needs the one before it; the tour stops at the first failure.
    return step("Start the driver", [this] { return startDriver(); }) &&
           step("Reset the dispenser", [this] { return resetDispenser(); }) &&
           step("Machine features", [this] { return machineFeatures(); }) &&
           step("Set a colorant name", [this] { return setColorantName(); }) &&
           step("Compose a recipe", [this] { return composeRecipe(); }) &&
           step("Dispense it, answering the driver", [this] { return dispense(); }) &&
           step("Open the canister grid", [this] { return canisterGrid(); }) &&
           step("Open every view", [this] { return views(); }) &&
           step("Stop the driver", [this] { return stopDriver(); });
}

bool TourScript::step(const char* name, const std::function<QString()>& body) {
    std::printf("%-40s", name);
    std::fflush(stdout);
    const QString problem = body();
    std::printf("%s\n", problem.isEmpty() ? "ok" : qPrintable("FAILED: " + problem));
    return problem.isEmpty();
}

void TourScript::snap(QWidget* widget, const QString& name) {
    const QString path = QStringLiteral("%1/%2-%3.png")
                             .arg(m_directory)
                             .arg(++m_counter, 2, 10, QLatin1Char('0'))
                             .arg(name);
    if (widget->grab().save(path))
        m_pictures << path;
}

void TourScript::click(const char* objectName) {
    if (auto* button = m_form.findChild<QPushButton*>(QString::fromLatin1(objectName)))
        button->click();
}

std::shared_ptr<bool> TourScript::whenVisible(const QString& objectName,
                                              std::function<void(QWidget*)> action) {
    auto done = std::make_shared<bool>(false);
    auto* timer = new QTimer;
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
    });
    timer->start(20);
    return done;
}

QString TourScript::status() const {
    return m_form.findChild<QLabel*>(QStringLiteral("Label1"))->text();
}

QString TourScript::startDriver() {
    snap(&m_form, QStringLiteral("console-stopped"));
    click("Command1");
    snap(&m_form, QStringLiteral("console-started"));
    if (!m_program.link.driverRunning)
        return status() + " (see the event log)";
    // A first look at the canisters, so that the later look marks what the tour changed.
    return canisterGrid();
}

QString TourScript::resetDispenser() {
    click("Command3");
    return status() == QLatin1String("Reset completed.") ? QString() : status();
}

QString TourScript::machineFeatures() {
    m_dialogs.asked.clear();
    click("Command5");
    const int boxes = m_dialogs.messages().size();
    return boxes == 4 ? QString() : QStringLiteral("%1 of 4 answers shown").arg(boxes);
}

QString TourScript::setColorantName() {
    m_dialogs.answerInput(QStringLiteral("5"));
    m_dialogs.answerInput(QStringLiteral("Cobalt Blue"));
    click("Command20");
    snap(&m_form, QStringLiteral("console-renamed"));
    if (status() != QLatin1String("SetCanColName completed."))
        return status();
    return m_program.canisters.canisterTable.size() >= 5 &&
                   m_program.canisters.canisterTable[4].colorantName == "Cobalt Blue"
               ? QString()
               : QStringLiteral("the canister table kept the old name");
}

QString TourScript::composeRecipe() {
    auto composed = whenVisible(QStringLiteral("RecipeForm"), [this](QWidget* w) {
        auto combo = [w](const char* n) { return w->findChild<QComboBox*>(n); };
        auto edit = [w](const char* n) { return w->findChild<QLineEdit*>(n); };
        auto add = [&](const QString& colorant, const QString& amount) {
            combo("Paste")->setCurrentIndex(combo("Paste")->findText(colorant));
            edit("PasteAmount")->setText(amount);
            w->findChild<QPushButton*>("CommandAdd")->click();
        };
        add(QStringLiteral("Titanium White"), QStringLiteral("24"));
        add(QStringLiteral("Cobalt Blue"),
            qelp::ui::FromCore(std::string("6") + m_program.session.decimalSeparator + "5"));
        add(QStringLiteral("Raw Umber"), QStringLiteral("2"));
        combo("Prod")->setCurrentIndex(4);
        combo("Base")->setCurrentIndex(0);
        combo("CanType")->setCurrentIndex(0);
        w->findChild<QCheckBox*>("Check1")->setChecked(false);
        w->findChild<QCheckBox*>("PunchCheck")->setChecked(true);
        combo("PunchSel")->setCurrentIndex(1); // Ask Confirm: the driver will ask
        snap(w, QStringLiteral("recipe"));
        w->findChild<QPushButton*>("CommandExit")->click();
    });
    click("Command15");
    if (!*composed)
        return QStringLiteral("the recipe screen did not open");
    return m_program.recipe.recipePresent && m_program.recipe.recipeColorants.size() == 3
               ? QString()
               : QStringLiteral("the recipe was not stored");
}

QString TourScript::dispense() {
    QString asked;
    auto answered = whenVisible(QStringLiteral("MsgWindow"), [&](QWidget* w) {
        auto* window = static_cast<qelp::ui::MsgWindow*>(w);
        asked = window->windowTitle();
        snap(window, QStringLiteral("driver-question"));
        // Confirm whatever the driver asks: "Ok" for the lid punch, "Yes" for a low canister.
        for (int slot = 0; slot < qelp::ui::MsgWindow::kSlotCount; ++slot) {
            QPushButton* b = window->slotButton(slot);
            if (b->isVisible() && (b->text() == "Ok" || b->text() == "Yes")) {
                b->click();
                return;
            }
        }
    });
    click("Command16");
    snap(&m_form, QStringLiteral("console-dispensed"));
    if (!*answered)
        return QStringLiteral("the driver asked nothing");
    std::printf("(answered \"%s\") ", qPrintable(asked));
    return status() == QLatin1String("Dosing completed.") ? QString() : status();
}

QString TourScript::canisterGrid() {
    auto shown = whenVisible(QStringLiteral("CanColConf"), [this](QWidget* w) {
        snap(w, QStringLiteral("canister-grid"));
        w->close();
    });
    click("cmd_cancol");
    return *shown ? QString() : QStringLiteral("the canister grid did not open");
}

QString TourScript::views() {
    qelp::ui::LevelsView* levels = m_form.openLevels();
    QApplication::processEvents();
    snap(levels, QStringLiteral("canister-levels"));
    qelp::ui::HistoryView* history = m_form.openHistory();
    QApplication::processEvents();
    snap(history, QStringLiteral("dispense-history"));
    qelp::ui::LogView* log = m_form.openEventLog();
    QApplication::processEvents();
    snap(log, QStringLiteral("event-log"));
    QWidget* about = m_form.openAbout();
    QApplication::processEvents();
    snap(about, QStringLiteral("about"));
    const bool shown = !levels->findChildren<qelp::ui::LevelBar*>().isEmpty() &&
                       history->rowCount() > 0 && !log->shownLines().empty();
    for (QWidget* w : std::initializer_list<QWidget*>{levels, history, log, about})
        w->close();
    return shown ? QString() : QStringLiteral("a view showed nothing");
}

QString TourScript::stopDriver() {
    click("Command2");
    snap(&m_form, QStringLiteral("console-stopped-again"));
    return status() == QLatin1String("Driver stopped.") ? QString() : status();
}

} // namespace qelptour
