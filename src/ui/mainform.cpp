#include "ui/mainform.h"

#include "console/consoletext.h"
#include "console/dispenses.h"
#include "frame/eventlog.h"
#include "frame/program.h"
#include "link/supervision.h"
#include "link/transfer.h"
#include "ui/levelsview.h"
#include "ui/textedge.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qelp::ui {

namespace {

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAccessibleName(button->text());
    return button;
}

QComboBox* MakeCombo(QWidget* parent, const char* name, QLabel* label) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setEditable(true);
    // Typed text must not become a list item: the lists mirror the canister table. Nor may
    // it be completed to an item: what the operator typed is sent, letter case and all.
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
    combo->setAccessibleName(label->text());
    label->setBuddy(combo);
    return combo;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

std::vector<std::string> ItemsOf(const QComboBox* combo) {
    std::vector<std::string> items;
    for (int i = 0; i < combo->count(); ++i)
        items.push_back(ToCore(combo->itemText(i)));
    return items;
}

// Rebuilds a list; afterwards it has no selection and an empty text, as a list that was
// cleared and refilled item by item.
void Refill(QComboBox* combo, const std::vector<std::string>& items) {
    const QSignalBlocker blocker(combo);
    combo->clear();
    for (const std::string& item : items)
        combo->addItem(FromCore(item));
    combo->setCurrentIndex(-1);
    combo->clearEditText();
}

} // namespace

MainForm::MainForm(Program& program, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), m_program(program), m_dialogs(dialogs) {
    setObjectName(QStringLiteral("MainForm"));
    buildControls();
}

MainForm::~MainForm() = default;

void MainForm::buildControls() {
    m_start = MakeButton(this, "Command1", "Start QELP");
    m_stop = MakeButton(this, "Command2", "Stop QELP");
    m_abort = MakeButton(this, "Command13", "Abort");
    auto* statusHeading = MakeLabel(this, "Label2", "Status");
    m_status = MakeLabel(this, "Label1", "");
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_status->setFrameShape(QFrame::StyledPanel);
    m_status->setMinimumHeight(fontMetrics().lineSpacing() * 4 + 8);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Assistive technology reads the status line's text as its name (setStatusText keeps
    // it); the heading labels it and the description says what it is.
    m_status->setAccessibleDescription(statusHeading->text());
    statusHeading->setBuddy(m_status);
    m_cancolButton = MakeButton(this, "cmd_cancol", "CanCoLConf");

    m_dispenserGroup = new QGroupBox(QStringLiteral("Dispenser Maintenance"), this);
    m_dispenserGroup->setObjectName(QStringLiteral("Frame1"));
    auto* f1 = new QVBoxLayout(m_dispenserGroup);
    const struct {
        const char* name;
        const char* caption;
        void (MainForm::*slot)();
    } maintenance[] = {{"Command3", "Reset", &MainForm::reset},
                       {"Command4", "Reset (Hard)", &MainForm::hardReset},
                       {"Command5", "Machine Features", &MainForm::machineFeatures},
                       {"Command6", "Maintenance Window", &MainForm::maintenanceWindow},
                       {"Command12", "Send Command File", &MainForm::sendCommandFile},
                       {"Command14", "Send Command FileList", &MainForm::sendCommandFileList},
                       {"Command17", "Get Version", &MainForm::getVersion}};
    for (const auto& b : maintenance) {
        QPushButton* button = MakeButton(m_dispenserGroup, b.name, b.caption);
        connect(button, &QPushButton::clicked, this, b.slot);
        f1->addWidget(button);
    }
    f1->addStretch(1);

    m_canisterGroup = new QGroupBox(QStringLiteral("Canister Maintenance"), this);
    m_canisterGroup->setObjectName(QStringLiteral("Frame2"));
    auto* f2 = new QVBoxLayout(m_canisterGroup);
    QLabel* label3 = MakeLabel(m_canisterGroup, "Label3", "Canister:");
    m_canisterBox = MakeCombo(m_canisterGroup, "Combo1", label3);
    f2->addWidget(label3);
    f2->addWidget(m_canisterBox);
    const struct {
        const char* name;
        const char* caption;
        void (MainForm::*slot)();
    } canister[] = {{"Command7", "Clean", &MainForm::clean},
                    {"Command8", "Purge", &MainForm::purge},
                    {"Command9", "Prepare", &MainForm::prepare},
                    {"Command10", "Fill (Set)", &MainForm::fillSet},
                    {"Command11", "Fill (add)", &MainForm::fillAdd}},
      colorant[] = {{"Command18", "CleanCol", &MainForm::cleanCol},
                    {"Command19", "PurgeCol", &MainForm::purgeCol},
                    {"Command20", "Set ColorantName", &MainForm::setColorantName}};
    for (const auto& b : canister) {
        QPushButton* button = MakeButton(m_canisterGroup, b.name, b.caption);
        connect(button, &QPushButton::clicked, this, b.slot);
        f2->addWidget(button);
    }
    QLabel* label4 = MakeLabel(m_canisterGroup, "Label4", "Colorant:");
    m_colorantBox = MakeCombo(m_canisterGroup, "Combo2", label4);
    f2->addWidget(label4);
    f2->addWidget(m_colorantBox);
    for (const auto& b : colorant) {
        QPushButton* button = MakeButton(m_canisterGroup, b.name, b.caption);
        connect(button, &QPushButton::clicked, this, b.slot);
        f2->addWidget(button);
    }
    f2->addStretch(1);

    m_recipeGroup = new QGroupBox(QStringLiteral("Dispense Recipe"), this);
    m_recipeGroup->setObjectName(QStringLiteral("Frame3"));
    auto* f3 = new QVBoxLayout(m_recipeGroup);
    QPushButton* createButton = MakeButton(m_recipeGroup, "Command15", "Create");
    m_dispense = MakeButton(m_recipeGroup, "Command16", "Dispense!");
    connect(createButton, &QPushButton::clicked, this, &MainForm::create);
    connect(m_dispense, &QPushButton::clicked, this, &MainForm::dispense);
    f3->addWidget(createButton);
    f3->addWidget(m_dispense);
    f3->addStretch(1);

    connect(m_start, &QPushButton::clicked, this, &MainForm::startQelp);
    connect(m_stop, &QPushButton::clicked, this, &MainForm::stopQelp);
    connect(m_abort, &QPushButton::clicked, this, &MainForm::abortCommand);
    connect(m_cancolButton, &QPushButton::clicked, this, &MainForm::canColConfClicked);
    connect(m_canisterBox, &QComboBox::editTextChanged, this, &MainForm::showCanisterInfo);
    connect(m_canisterBox, &QComboBox::activated, this, &MainForm::showCanisterInfo);

    // Start, stop and abort in a column at the left top, the status area beside them, the
    // canister grid button under the status area above the right end of the groups, and
    // the three groups side by side at the bottom.
    auto* grid = new QGridLayout(this);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_start);
    buttons->addWidget(m_stop);
    buttons->addWidget(m_abort);
    buttons->addStretch(1);
    auto* status = new QVBoxLayout;
    status->addWidget(statusHeading);
    status->addWidget(m_status, 1);
    grid->addLayout(buttons, 0, 0);
    grid->addLayout(status, 0, 1, 1, 2);
    grid->addWidget(m_cancolButton, 1, 2, Qt::AlignRight);
    grid->addWidget(m_dispenserGroup, 2, 0);
    grid->addWidget(m_canisterGroup, 2, 1);
    grid->addWidget(m_recipeGroup, 2, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(2, 1);
    buildMenu();
}

void MainForm::ensureLoaded() {
    if (m_loaded)
        return;
    m_loaded = true;
    ResetConsoleState(m_program);
    setWindowTitle(QStringLiteral("QELP Server POC"));
    refreshConsole();
}

void MainForm::setStatusText(const std::string& text) {
    ensureLoaded();
    m_status->setText(ForDisplay(FromCore(text)));
    // Set explicitly: the name a label derives from its text drops every '&'.
    m_status->setAccessibleName(m_status->text());
}

void MainForm::setAbortEnabled(bool enabled) {
    m_abort->setEnabled(enabled);
}

void MainForm::log(const std::string& line) {
    WriteLogLine(m_program, line);
}

void MainForm::refreshConsole() {
    // Every result that changes the canister table ends in a refresh of the console, so the
    // levels window learns of it here, running driver or not (a stopped one empties nothing
    // but may have answered last).
    if (m_levels)
        m_levels->refresh();
    const bool running = m_program.link.driverRunning;
    m_start->setEnabled(!running);
    m_stop->setEnabled(running);
    // Abort belongs to the command in flight: a refresh from inside its wait (after "Stop
    // QELP", say) must not take it away while that command still runs.
    m_abort->setEnabled(m_program.session.commandInFlight);
    m_dispenserGroup->setEnabled(running);
    m_canisterGroup->setEnabled(running);
    m_recipeGroup->setEnabled(running);
    if (!running)
        return;
    m_dispense->setEnabled(m_program.recipe.recipePresent);
    syncCanisterList();
    syncColorantList();
}

void MainForm::syncCanisterList() {
    if (!CanisterListInStep(ItemsOf(m_canisterBox), m_program.canisters.canisterTable))
        Refill(m_canisterBox, CanisterListItems(m_program.canisters.canisterTable));
}

void MainForm::syncColorantList() {
    if (!ColorantListInStep(ItemsOf(m_colorantBox), m_program.canisters.canisterTable))
        Refill(m_colorantBox, ColorantListItems(m_program.canisters.canisterTable));
}

bool MainForm::refuseWhileBusy(const char* line) {
    // The core refuses a second command too; the console stops it earlier, before any input
    // box is asked, and tells the operator why nothing happens.
    if (!m_program.session.commandInFlight)
        return false;
    setStatusText(line);
    return true;
}

void MainForm::closeEvent(QCloseEvent* event) {
    // Closing now would hide the only way to answer the driver or to end the wait, and with
    // a driver that hangs leave a console process without a window.
    if (refuseWhileBusy(kBusyCloseStatusLine)) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

std::string MainForm::canisterText() const {
    return ToCore(m_canisterBox->currentText());
}
std::string MainForm::colorantText() const {
    return ToCore(m_colorantBox->currentText());
}

void MainForm::showCanisterInfo() {
    if (std::optional<std::string> info = CanisterInfoText(m_program, canisterText()))
        setStatusText(*info);
}

void MainForm::startQelp() {
    if (refuseWhileBusy())
        return;
    // No operator input while the driver starts. The message window stays usable: it
    // enables itself when the driver asks something during the start.
    setEnabled(false);
    const bool started = StartDriver(m_program);
    setStatusText(started ? "Driver started, Dispenser reset." : "Driver failed to start....");
    refreshConsole();
    setEnabled(true);
}

void MainForm::stopQelp() {
    // Allowed while a command waits: stopping the driver is how a hung command is ended.
    StopDriver(m_program);
    setStatusText("Driver stopped.");
    refreshConsole();
}

void MainForm::abortCommand() {
    AbortCommand(m_program);
}

} // namespace qelp::ui
