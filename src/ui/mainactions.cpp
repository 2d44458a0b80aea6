// The console's maintenance actions, the recipe buttons and the canister grid button.
#include "ui/mainform.h"

#include "console/consoletext.h"
#include "console/dispenses.h"
#include "frame/program.h"
#include "frame/textutil.h"
#include "operations/operations.h"
#include "replies/resultfile.h"
#include "ui/cancolconf.h"
#include "ui/dialogs.h"
#include "ui/recipeform.h"
#include "ui/textedge.h"

#include <QComboBox>

#include <ctime>

namespace qelp::ui {

namespace {
std::string InvalidCanisterLine(const std::string& text) {
    return "Invalid canister number (" + text + "). Nothing was sent.";
}
} // namespace

bool MainForm::readCanister(int32_t& number, std::string& text) {
    text = canisterText();
    if (text.empty())
        return false;
    // The list offers "0" and canister numbers; typed letters, signs or a number beyond 32
    // bits name no canister. Say so instead of sending canister 0 by accident.
    std::optional<int32_t> value = ParseCanisterText(text);
    if (!value) {
        log(InvalidCanisterLine(text));
        return false;
    }
    number = *value;
    return true;
}

void MainForm::reset() {
    if (refuseWhileBusy())
        return;
    log(ResetDispenser(m_program, false) ? "Reset completed." : "Reset failed...");
    refreshConsole();
}

void MainForm::hardReset() {
    if (refuseWhileBusy())
        return;
    log(ResetDispenser(m_program, true) ? "Hard Reset completed." : "Hard Reset failed...");
    refreshConsole();
}

void MainForm::maintenanceWindow() {
    if (refuseWhileBusy())
        return;
    // An empty answer, a cancelled box included, asks for the default password.
    const QString answer =
        m_dialogs.inputBox(this, QStringLiteral("Enter password (leave blank for default)"),
                           QStringLiteral("Pass please!"), QString());
    log(ShowServiceWindow(m_program, ToCore(answer)) ? "ServiceWindow completed."
                                                     : "ServiceWindow failed...");
    refreshConsole();
}

void MainForm::clean() {
    if (refuseWhileBusy())
        return;
    int32_t number = 0;
    std::string text;
    if (readCanister(number, text))
        log(CleanCanister(m_program, number) ? "Clean completed." : "Clean failed...");
    refreshConsole();
}

void MainForm::purge() {
    if (refuseWhileBusy())
        return;
    int32_t number = 0;
    std::string text;
    if (readCanister(number, text))
        log(PurgeCanister(m_program, number) ? "Purge completed." : "Purge failed...");
    refreshConsole();
}

void MainForm::prepare() {
    if (refuseWhileBusy())
        return;
    int32_t number = 0;
    std::string text;
    if (TrimBlanks(canisterText()) != "0" && readCanister(number, text))
        log(FillCanister(m_program, FillCanisterMode::Prepare, number, 0) ? "Prepare completed."
                                                                          : "Prepare failed...");
    refreshConsole();
}

void MainForm::fillSet() {
    fill(true);
}
void MainForm::fillAdd() {
    fill(false);
}

void MainForm::fill(bool set) {
    if (refuseWhileBusy())
        return;
    const QString answer =
        m_dialogs.inputBox(this,
                           set ? QStringLiteral("Enter amount (L) to set to:")
                               : QStringLiteral("Enter amount (L) to add to:"),
                           QStringLiteral("Amount please!"), QStringLiteral("0"));
    const std::string amountText = ToCore(answer);
    int32_t number = 0;
    std::string text;
    // The amount box comes first, also when no canister is chosen. An empty (or cancelled)
    // answer means the operator changed their mind: nothing is sent, and the log says so,
    // as it does for an answer that is not a number of litres fitting 32-bit millilitres.
    std::optional<int32_t> amountMl;
    if (amountText.empty()) {
        log("No amount given. Nothing was sent.");
    } else if (!(amountMl = FillAmountMl(amountText, m_program.session.decimalSeparator))) {
        log("Invalid amount (" + amountText + "). Nothing was sent.");
    } else if (readCanister(number, text)) {
        const bool all = TrimBlanks(text) == "0";
        const FillCanisterMode mode = set ? FillCanisterMode::Set : FillCanisterMode::Add;
        // A copy: the result of each fill may change the table under the loop.
        const std::vector<CanisterState> table = m_program.canisters.canisterTable;
        for (const CanisterState& canister : table) {
            if (!all && canister.canId != number)
                continue;
            const bool ok = FillCanister(m_program, mode, canister.canId, *amountMl);
            if (set)
                log(ok ? "Set Fill completed." : "Set Fill failed...");
            else
                log(ok ? "Add Fill completed." : "Add Fill failed...");
        }
    }
    refreshConsole();
}

void MainForm::cleanCol() {
    if (refuseWhileBusy())
        return;
    const std::string name = colorantText();
    if (!name.empty())
        log(CleanColorant(m_program, name) ? "CleanCol completed." : "CleanCol failed...");
    refreshConsole();
}

void MainForm::purgeCol() {
    if (refuseWhileBusy())
        return;
    const std::string name = colorantText();
    if (!name.empty())
        log(PurgeColorant(m_program, name) ? "PurgeCol completed." : "PurgeCol failed...");
    refreshConsole();
}

void MainForm::setColorantName() {
    if (refuseWhileBusy())
        return;
    const std::string chosen = canisterText();
    const std::string defaultCanister = chosen.empty() || chosen == "0" ? std::string("1") : chosen;
    const std::string canisterAnswer =
        ToCore(m_dialogs.inputBox(this, QStringLiteral("Specify Canister#"),
                                  QStringLiteral("CanisterID?"), FromCore(defaultCanister)));
    // Anything but digits (a cancelled box included) ends the action without a trace.
    if (!IsAllDigits(canisterAnswer))
        return;
    std::optional<int32_t> number = ParseDigits32(canisterAnswer);
    if (!number) {
        // Digits that do not fit 32 bits can name no canister; unlike a typing slip this is
        // worth a line.
        log(InvalidCanisterLine(canisterAnswer));
        return;
    }
    const std::string name = TrimBlanks(ToCore(m_dialogs.inputBox(
        this, QStringLiteral("New colorantName?"), QStringLiteral("ColorantName"), QString())));
    if (name.empty())
        return;
    if (!SetCanisterColorantName(m_program, *number, name)) {
        log("SetCanColName failed...");
        refreshConsole();
        return;
    }
    log("SetCanColName completed.");
    TakeReportedColorantNames(m_program);
    refreshConsole();
}

void MainForm::create() {
    // Editing the recipe while a dosing of it is still running would only confuse.
    if (refuseWhileBusy())
        return;
    if (!m_recipeForm)
        m_recipeForm = new RecipeForm(m_program, m_dialogs, this);
    m_recipeForm->openModal();
    refreshConsole();
}

void MainForm::dispense() {
    if (refuseWhileBusy())
        return;
    const uint64_t sentBefore = m_program.result.commandsSent;
    const char* outcome =
        DoseRecipe(m_program, m_program.recipe.currentRecipe, m_program.recipe.recipeColorants)
            ? "Dosing completed."
            : "Dosing Failed.";
    log(outcome);
    // After the outcome line, so that a history that cannot be written says so last.
    const bool reached = m_program.result.commandsSent != sentBefore;
    dispenseRecorder().record(m_program,
                              DispenseRecordOf(m_program, std::time(nullptr), outcome, reached));
    refreshConsole();
}

void MainForm::canColConfClicked() {
    // Only a view, but a modal one: opened from inside a command's wait it would hold that
    // wait (the driver's questions unanswered, Abort out of reach) until it is closed, and
    // show the table from before the command. So it waits its turn like every action.
    if (refuseWhileBusy())
        return;
    if (!m_canColConfForm)
        m_canColConfForm = new CanColConf(m_program, this);
    m_canColConfForm->openModal();
}

} // namespace qelp::ui
