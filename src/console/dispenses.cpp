#include "console/dispenses.h"

#include "console/recipelogic.h"
#include "frame/eventlog.h"
#include "frame/textutil.h"

namespace qelp {

std::string HistoryDatabasePath(const ProgramState& program) {
    return program.files.dataDirectory + "history.sqlite";
}

DispenseRecord DispenseRecordOf(const ProgramState& program, int64_t time,
                                const std::string& outcome, bool reachedDriver) {
    const auto& r = program.recipe;
    DispenseRecord record;
    record.time = time;
    record.recipe = r.currentRecipe;
    record.colorants = r.recipeColorants;
    record.sendColorantNames = r.sendColorantNames;
    record.useShelf = r.useShelf;
    record.shelfPre = r.shelfPre;
    record.shelfDose = r.shelfDose;
    record.shelfPost = r.shelfPost;
    record.sendPunch = r.sendPunch;
    record.punchMode = r.punchMode;
    record.resultCode = reachedDriver ? program.result.driverResultCode : kResultNotSent;
    record.outcome = outcome;
    return record;
}

std::vector<std::string> LoadDispenseRecord(ProgramState& program, const DispenseRecord& record) {
    auto& r = program.recipe;
    r.currentRecipe = record.recipe;
    r.recipeColorants.clear();
    std::vector<std::string> missing;
    for (const RecipeColorant& line : record.colorants) {
        // The amount goes through the screen's own "Add", written as the operator would
        // type it.
        const std::string amount = FormatGeneral(line.amount, program.session.decimalSeparator);
        if (AddRecipeColorant(program, line.colorant, amount) != AddOutcome::Added)
            missing.push_back(line.colorant);
    }
    r.recipePresent = !r.recipeColorants.empty();
    r.sendColorantNames = record.sendColorantNames;
    r.useShelf = record.useShelf;
    r.shelfPre = record.shelfPre;
    r.shelfDose = record.shelfDose;
    r.shelfPost = record.shelfPost;
    r.sendPunch = record.sendPunch;
    r.punchMode = record.punchMode;
    return missing;
}

void DispenseRecorder::record(Program& program, const DispenseRecord& record) {
    if (m_store.record(record)) {
        m_failing = false;
        return;
    }
    if (m_failing)
        return;
    m_failing = true;
    WriteLogLine(program, "Error: Dispense history " + m_store.path() + " " + m_store.lastError() +
                              "; the dispense was not recorded");
}

} // namespace qelp
