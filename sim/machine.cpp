#include "machine.h"

#include "frame/profile.h"
#include "frame/textutil.h"
#include "simlog.h"

#include <algorithm>
#include <cmath>

namespace qelpsim {

namespace {

constexpr size_t kErrorLogSize = 50; // what the console reads of an error log

// Rounding the bookkeeping to a nanolitre keeps exact figures such as 1412.2984375 while
// floating-point residue (1412.29843750001) never reaches the result file after many doses.
double roundMl(double ml) {
    return std::round(ml * 1e9) / 1e9;
}
double roundUl(double ul) {
    return std::round(ul * 1e6) / 1e6;
}

std::string joinIds(const std::vector<int>& ids) {
    std::string out;
    for (int id : ids)
        out += (out.empty() ? "" : ", ") + std::to_string(id);
    return out;
}

std::string canisterKey(int id, std::string_view field) {
    return "Canister_" + std::to_string(id) + "_" + std::string(field);
}

} // namespace

Machine::Machine(MachineConfig config, char decimalSeparator)
    : m_config(std::move(config)), m_separator(decimalSeparator),
      m_clock([] { return LocalTimestamp(); }) {
    int id = 0;
    for (const CanisterConfig& c : m_config.canisters) {
        m_canisters.push_back(
            {++id, c.colorant, c.sizeMl, c.contentMl, c.warnMl, c.minMl, c.densityGPerMl});
    }
}

double Machine::RecipeMillilitres(const DoseRecipe& recipe, double amount, double densityGPerMl) {
    double quantity = amount * recipe.unitSize / recipe.unitFraction * recipe.cans;
    return recipe.unitType == 1 ? quantity / densityGPerMl : quantity;
}

CommandResult Machine::execute(const Command& command, CommandContext& ctx) {
    switch (command.verb) {
    case Verb::Reset:
        return reset(false, ctx);
    case Verb::ResetHard:
        return reset(true, ctx);
    case Verb::MachineInfo:
        return machineInfo(command.info, ctx);
    case Verb::Version:
        return version(ctx);
    case Verb::Purge:
    case Verb::Clean: {
        std::vector<int> targets = targetsOf(command.canister);
        if (targets.empty()) {
            CommandResult r;
            fail(r, code::kUnknownTarget,
                 "Canister " + std::to_string(command.canister) + " does not exist");
            return r;
        }
        return spend(targets, command.verb == Verb::Purge, ctx);
    }
    case Verb::PurgeColorant:
    case Verb::CleanColorant: {
        std::vector<int> targets = targetsOfColorant(command.text);
        if (targets.empty()) {
            CommandResult r;
            fail(r, code::kUnknownTarget, "Colorant '" + command.text + "' is in no canister");
            return r;
        }
        return spend(targets, command.verb == Verb::PurgeColorant, ctx);
    }
    case Verb::FillPrepare:
        return fillPrepare(command.canister, ctx);
    case Verb::FillSet:
    case Verb::FillAdd:
        return fill(command, ctx);
    case Verb::ServiceWindow:
        return serviceWindow(command.text, ctx);
    case Verb::SetColorantName:
        return setColorantName(command.canister, command.text, ctx);
    case Verb::Dose:
        return dose(command.recipe, ctx);
    }
    return refuse("unhandled verb");
}

CommandResult Machine::refuse(const std::string& reason) {
    CommandResult r;
    fail(r, code::kMalformed, "Command refused: " + reason);
    return r;
}

std::vector<CanisterReport> Machine::report(const std::map<int, double>& dosedUl) const {
    std::vector<CanisterReport> out;
    for (const Canister& c : m_canisters) {
        auto it = dosedUl.find(c.id);
        out.push_back({c.id, c.colorant, c.sizeMl, c.contentMl, c.warnMl, c.minMl,
                       it == dosedUl.end() ? 0.0 : roundUl(it->second)});
    }
    return out;
}

CommandResult Machine::reset(bool hard, CommandContext& ctx) {
    CommandResult r;
    ctx.note(hard ? "hard reset: reinitialising valves, pumps and shelf"
                  : "reset: homing valves and shelf");
    if (!ctx.work(ms(hard ? m_config.timing.resetHardMs : m_config.timing.resetMs)))
        fail(r, code::kAborted, "Reset aborted by the operator");
    return r;
}

CommandResult Machine::machineInfo(InfoKind kind, CommandContext& ctx) {
    CommandResult r;
    if (!ctx.work(ms(m_config.timing.queryMs))) {
        fail(r, code::kAborted, "Query aborted by the operator");
        return r;
    }
    std::string count = std::to_string(m_canisters.size());
    switch (kind) {
    case InfoKind::Features:
        r.output = std::to_string(m_config.featureCode);
        r.features = {
            count + " canisters, " + std::to_string(m_config.pumpCount) + " pumps",
            "Recipe units: ML (unit type 0) and GR (unit type 1, by colorant density)",
            "Colorants by name (@CNT) or by canister (@CNX)",
            "Shelf moves: All Up, All Down, Ref Plane, No Move, positions",
            "Can punch: None, Ask Confirm, No Confirm",
            "Purge and clean by canister or colorant; canister filling",
            "Service window",
        };
        r.errors = m_errorLog;
        break;
    case InfoKind::PumpCount:
        r.output = std::to_string(m_config.pumpCount);
        break;
    case InfoKind::CanisterCount:
        r.output = count;
        break;
    case InfoKind::CanisterSize:
        r.output = count;
        r.canisters = report();
        break;
    }
    return r;
}

CommandResult Machine::version(CommandContext& ctx) {
    CommandResult r;
    if (!ctx.work(ms(m_config.timing.queryMs))) {
        fail(r, code::kAborted, "Query aborted by the operator");
        return r;
    }
    r.output = m_config.firmware;
    r.versions = {
        "qelpsim dispenser simulator 1.0",
        "Model: " + m_config.model + " (simulated)",
        "Firmware: " + m_config.firmware,
        "Serial number: " + m_config.serialNumber,
        std::to_string(m_canisters.size()) + " canisters, " + std::to_string(m_config.pumpCount) +
            " pumps",
    };
    return r;
}

CommandResult Machine::spend(const std::vector<int>& targets, bool purge, CommandContext& ctx) {
    CommandResult r;
    double each = purge ? m_config.purgeMl : m_config.cleanMl;
    std::map<int, double> need;
    for (int id : targets)
        need[id] = each;
    ctx.note(std::string(purge ? "purge" : "nozzle clean") + " of canister(s) " + joinIds(targets) +
             ", " + number(each) + " ml each");
    if (checkSupply(need, ctx, r) != code::kOk)
        return r;
    if (!ctx.work(ms(purge ? m_config.timing.purgeMs : m_config.timing.cleanMs))) {
        fail(r, code::kAborted,
             std::string(purge ? "Purge" : "Clean") + " aborted by the operator");
        return r;
    }
    std::map<int, double> dosed;
    for (int id : targets)
        take(*find(id), each, dosed);
    r.output = number(roundMl(each * static_cast<double>(targets.size())));
    r.canisters = report(dosed);
    return r;
}

CommandResult Machine::fillPrepare(int canister, CommandContext& ctx) {
    CommandResult r;
    std::vector<int> targets = targetsOf(canister);
    if (targets.empty()) {
        fail(r, code::kUnknownTarget, "Canister " + std::to_string(canister) + " does not exist");
        return r;
    }
    ctx.note("canister(s) " + joinIds(targets) + " moved to the filling position");
    if (!ctx.work(ms(m_config.timing.fillMs))) {
        fail(r, code::kAborted, "Fill preparation aborted by the operator");
        return r;
    }
    double room = 0;
    for (int id : targets) {
        const Canister& c = *find(id);
        room += c.sizeMl - c.contentMl;
    }
    r.output = number(roundMl(room)); // how much the operator may pour in
    return r;
}

CommandResult Machine::fill(const Command& command, CommandContext& ctx) {
    CommandResult r;
    bool set = command.verb == Verb::FillSet;
    std::vector<int> targets = targetsOf(command.canister);
    if (targets.empty()) {
        fail(r, code::kUnknownTarget,
             "Canister " + std::to_string(command.canister) + " does not exist");
        return r;
    }
    for (int id : targets) {
        const Canister& c = *find(id);
        double after = set ? command.amountMl : c.contentMl + command.amountMl;
        if (after > c.sizeMl + 1e-9)
            fail(r, code::kOverfill,
                 "Canister " + std::to_string(id) + ": " + number(roundMl(after)) +
                     " ml exceed its size of " + number(c.sizeMl) + " ml");
    }
    if (r.code != code::kOk)
        return r;
    if (!ctx.work(ms(m_config.timing.fillMs))) {
        fail(r, code::kAborted, "Fill aborted by the operator");
        return r;
    }
    for (int id : targets) {
        Canister& c = *find(id);
        c.contentMl = roundMl(set ? command.amountMl : c.contentMl + command.amountMl);
        ctx.note("canister " + std::to_string(id) + " now holds " + number(c.contentMl) + " ml");
    }
    m_changed = true;
    r.output = number(find(targets.front())->contentMl);
    r.canisters = report();
    return r;
}

CommandResult Machine::serviceWindow(const std::string& password, CommandContext& ctx) {
    CommandResult r;
    // The console sends no password for "the default"; a given one must be right.
    if (!password.empty() && !m_config.servicePassword.empty() &&
        password != m_config.servicePassword) {
        fail(r, code::kWrongPassword, "Service window refused: wrong password");
        return r;
    }
    ctx.note("service window opened");
    if (!ctx.work(ms(m_config.timing.serviceWindowMs))) {
        fail(r, code::kAborted, "Service window closed by abort");
        return r;
    }
    if (m_config.serviceWindowAsks) {
        OperatorMessage m{std::to_string(dialog::kInformation),
                          "The service window is open on the dispenser.<brk>"
                          "Press Ok when the service work is done.",
                          button::kOk,
                          question::kServiceWindow,
                          {}};
        if (!ctx.ask(m)) {
            fail(r, code::kAborted, "Service window closed by abort");
            return r;
        }
    }
    ctx.note("service window closed");
    return r;
}

CommandResult Machine::setColorantName(int canister, const std::string& name, CommandContext& ctx) {
    CommandResult r;
    Canister* c = find(canister);
    if (!c) {
        fail(r, code::kUnknownTarget, "Canister " + std::to_string(canister) + " does not exist");
        return r;
    }
    if (!ctx.work(ms(m_config.timing.setNameMs))) {
        fail(r, code::kAborted, "Renaming aborted by the operator");
        return r;
    }
    ctx.note("canister " + std::to_string(canister) + " renamed from '" + c->colorant + "' to '" +
             name + "'");
    c->colorant = name;
    m_changed = true;
    r.canisters = report();
    return r;
}

CommandResult Machine::dose(const DoseRecipe& recipe, CommandContext& ctx) {
    CommandResult r;
    // Resolve every colorant first: a recipe is dispensed whole or not at all.
    std::vector<std::pair<int, double>> plan; // canister id, millilitres; in recipe order
    std::map<int, double> need;
    for (const DoseColorant& dc : recipe.colorants) {
        int id = dc.canister;
        if (recipe.byColorantName) {
            std::vector<int> ids = targetsOfColorant(dc.colorant);
            if (ids.empty()) {
                fail(r, code::kUnknownTarget, "Colorant '" + dc.colorant + "' is in no canister");
                continue;
            }
            id = ids.front();
        } else if (!find(id)) {
            fail(r, code::kUnknownTarget, "Canister " + std::to_string(id) + " does not exist");
            continue;
        }
        double ml = RecipeMillilitres(recipe, dc.amount, find(id)->densityGPerMl);
        plan.emplace_back(id, ml);
        need[id] += ml;
    }
    if (r.code != code::kOk)
        return r;
    double total = 0;
    for (const auto& [id, ml] : need)
        total += ml;
    if (recipe.can && total / recipe.cans > recipe.can->sizeMl) {
        fail(r, code::kCanTooSmall,
             "Recipe needs " + number(roundMl(total / recipe.cans)) + " ml per can; the can " +
                 "holds " + std::to_string(recipe.can->sizeMl) + " ml");
        return r;
    }
    if (checkSupply(need, ctx, r) != code::kOk)
        return r;

    ctx.note("dosing " + std::to_string(recipe.cans) + " can(s)" +
             (recipe.product.empty() ? "" : ", product '" + recipe.product + "'") +
             (recipe.base.empty() ? "" : ", base '" + recipe.base + "'") +
             (recipe.can
                  ? ", can '" + recipe.can->type + "' " + std::to_string(recipe.can->sizeMl) + " ml"
                  : ""));
    if (recipe.punchMode == 1) {
        OperatorMessage m{std::to_string(dialog::kConfirm),
                          "Place the can under the nozzle.<brk>Punch the lid of can $1$ now?",
                          button::kOk | button::kCancel,
                          question::kPunchConfirm,
                          {recipe.can ? recipe.can->type : std::string("the can")}};
        std::optional<int> answer = ctx.ask(m);
        if (!answer) {
            fail(r, code::kAborted, "Dosing aborted by the operator");
            return r;
        }
        if (*answer != button::kOk) {
            fail(r, code::kDeclined, "Dosing cancelled: lid punch not confirmed");
            return r;
        }
    }
    if (recipe.punchMode != 0)
        ctx.note("lid punched");
    if (recipe.shelf)
        ctx.note("shelf before dosing: " + std::to_string(recipe.shelf->before) +
                 ", while dosing: " + std::to_string(recipe.shelf->during));
    if (!ctx.work(ms(m_config.timing.doseMs))) {
        fail(r, code::kAborted, "Dosing aborted by the operator before the first colorant");
        return r;
    }
    std::map<int, double> dosed;
    double done = 0;
    for (const auto& [id, ml] : plan) {
        if (!ctx.work(ms(m_config.timing.dosePerColorantMs))) {
            fail(r, code::kAborted, "Dosing aborted by the operator; the can is incomplete");
            break;
        }
        Canister& c = *find(id);
        take(c, ml, dosed);
        done += ml;
        ctx.note("canister " + std::to_string(id) + " (" + c.colorant +
                 "): " + number(roundMl(ml)) + " ml dosed, " + number(c.contentMl) + " ml left");
        if (c.contentMl < c.warnMl)
            recordError("Canister " + std::to_string(id) + " (" + c.colorant +
                        ") below its warning level: " + number(c.contentMl) + " ml");
    }
    if (recipe.shelf && r.code == code::kOk)
        ctx.note("shelf after dosing: " + std::to_string(recipe.shelf->after));
    r.output = number(roundMl(done));
    r.canisters = report(dosed);
    return r;
}

int Machine::checkSupply(const std::map<int, double>& needMl, CommandContext& ctx,
                         CommandResult& result) {
    std::vector<int> low;
    std::string lowNames;
    for (const auto& [id, ml] : needMl) {
        const Canister& c = *find(id);
        if (c.contentMl + 1e-9 < ml) {
            fail(result, code::kNotEnough,
                 "Canister " + std::to_string(id) + " (" + c.colorant + ") needs " +
                     number(roundMl(ml)) + " ml, holds " + number(c.contentMl) + " ml");
        } else if (ml > 0 && c.contentMl - ml < c.minMl) {
            low.push_back(id);
            lowNames += (lowNames.empty() ? "" : ", ") + c.colorant;
        }
    }
    if (result.code != code::kOk || low.empty())
        return result.code;
    OperatorMessage m{std::to_string(dialog::kWarning),
                      "Canister $1$ ($2$) would fall below its minimum level.<brk>"
                      "Dispense anyway?",
                      button::kYes | button::kNo,
                      question::kBelowMinimum,
                      {joinIds(low), lowNames}};
    std::optional<int> answer = ctx.ask(m);
    if (!answer)
        fail(result, code::kAborted, "Aborted by the operator at the minimum-level question");
    else if (*answer != button::kYes)
        fail(result, code::kDeclined,
             "Not dispensed: canister " + joinIds(low) + " would fall below its minimum");
    return result.code;
}

void Machine::take(Canister& canister, double ml, std::map<int, double>& dosedUl) {
    canister.contentMl = roundMl(std::max(0.0, canister.contentMl - ml));
    dosedUl[canister.id] += ml * 1000;
    m_changed = true;
}

std::vector<int> Machine::targetsOf(int canister) const {
    std::vector<int> ids;
    for (const Canister& c : m_canisters)
        if (canister == 0 || c.id == canister)
            ids.push_back(c.id);
    return ids;
}

std::vector<int> Machine::targetsOfColorant(const std::string& name) const {
    std::string wanted = qelp::TrimSpace(name);
    std::vector<int> ids;
    for (const Canister& c : m_canisters)
        if (qelp::EqualsIgnoreCase(qelp::TrimSpace(c.colorant), wanted))
            ids.push_back(c.id);
    return ids;
}

Canister* Machine::find(int id) {
    if (id < 1 || id > static_cast<int>(m_canisters.size()))
        return nullptr;
    return &m_canisters[id - 1];
}

void Machine::fail(CommandResult& result, int code, const std::string& text) {
    if (result.code == code::kOk)
        result.code = code;
    result.errors.push_back(text);
    recordError(text);
}

void Machine::recordError(const std::string& text) {
    m_errorLog.push_back(m_clock() + " " + text);
    if (m_errorLog.size() > kErrorLogSize)
        m_errorLog.erase(m_errorLog.begin());
    m_changed = true;
}

std::string Machine::number(double value) const {
    return qelp::FormatGeneral(value, m_separator);
}

std::string Machine::stateText() const {
    std::string out = "[Canisters]\r\nCount=" + std::to_string(m_canisters.size()) + "\r\n";
    for (const Canister& c : m_canisters) {
        out += canisterKey(c.id, "Colorant") + "=" + c.colorant + "\r\n";
        out += canisterKey(c.id, "ContentMl") + "=" + qelp::FormatInvariant(c.contentMl) + "\r\n";
    }
    out += "[Errorlog]\r\nCount=" + std::to_string(m_errorLog.size()) + "\r\n";
    for (size_t i = 0; i < m_errorLog.size(); ++i)
        out += "Error" + std::to_string(i + 1) + "=" + m_errorLog[i] + "\r\n";
    return out;
}

std::vector<std::string> Machine::applyStateText(std::string_view text) {
    std::vector<std::string> skipped;
    for (Canister& c : m_canisters) {
        std::string name =
            qelp::profile::LookupInText(text, "Canisters", canisterKey(c.id, "Colorant"));
        if (!name.empty())
            c.colorant = name;
        std::string content =
            qelp::profile::LookupInText(text, "Canisters", canisterKey(c.id, "ContentMl"));
        if (content.empty())
            continue;
        std::optional<double> ml = qelp::ParseLocaleNumber(content, '.');
        if (!ml || *ml < 0 || *ml > c.sizeMl) {
            skipped.push_back("state of canister " + std::to_string(c.id) + ": content '" +
                              content + "' does not fit the canister; configured content kept");
            continue;
        }
        c.contentMl = *ml;
    }
    std::optional<int32_t> count =
        qelp::ParseDigits32(qelp::profile::LookupInText(text, "Errorlog", "Count"));
    m_errorLog.clear();
    for (int32_t i = 1; count && i <= *count && m_errorLog.size() < kErrorLogSize; ++i) {
        std::string line =
            qelp::profile::LookupInText(text, "Errorlog", "Error" + std::to_string(i));
        if (!line.empty())
            m_errorLog.push_back(line);
    }
    return skipped;
}

} // namespace qelpsim
