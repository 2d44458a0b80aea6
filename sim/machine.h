#pragma once
// The simulated dispenser: canisters, pumps, texts and an error log, and what each command
// does to them. The machine knows nothing of files; it spends time and asks the operator
// through a CommandContext, so it runs the same under the exchange loop and in unit tests.
#include "answers.h"
#include "commandparser.h"
#include "simconfig.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qelpsim {

// The world around a running command.
class CommandContext {
public:
    virtual ~CommandContext() = default;
    // Lets ms milliseconds of machine work pass; false when the command was aborted
    // meanwhile (the work is then not done).
    virtual bool work(int ms) = 0;
    // Puts a question to the operator and returns the value of the button pressed, or
    // nothing when the command was aborted before an answer came.
    virtual std::optional<int> ask(const OperatorMessage& message) = 0;
    // A line for the simulator's log: what the machine is doing.
    virtual void note(const std::string& line) = 0;
};

struct Canister {
    int id = 0;
    std::string colorant;
    double sizeMl = 0;
    double contentMl = 0;
    double warnMl = 0;
    double minMl = 0;
    double densityGPerMl = 1;
};

// Message codes of the questions the machine asks.
namespace question {
inline constexpr int kBelowMinimum = 201;
inline constexpr int kPunchConfirm = 202;
inline constexpr int kServiceWindow = 203;
} // namespace question

class Machine {
public:
    Machine(MachineConfig config, char decimalSeparator);

    CommandResult execute(const Command& command, CommandContext& context);
    // The answer to a command file the parser refused.
    CommandResult refuse(const std::string& reason);

    const std::vector<Canister>& canisters() const { return m_canisters; }
    const std::vector<std::string>& errorLog() const { return m_errorLog; }
    // Every canister as a result lists it; dosedUl holds the amounts given (by canister id).
    std::vector<CanisterReport> report(const std::map<int, double>& dosedUl = {}) const;

    // Run-time state (contents, colorant names, error log) in profile form, numbers with
    // '.', and back. Sizes, levels and densities always come from the configuration.
    std::string stateText() const;
    // Takes what it can from a state text; returns a line for each value it had to skip.
    std::vector<std::string> applyStateText(std::string_view text);
    // True when the run-time state changed since the last markSaved().
    bool stateChanged() const { return m_changed; }
    void markSaved() { m_changed = false; }

    // The clock that stamps error-log entries (tests fix it).
    void setClock(std::function<std::string()> clock) { m_clock = std::move(clock); }

    // Millilitres that one recipe amount of this colorant stands for: the amount in
    // fractions of the recipe unit, times the number of cans, grams turned into millilitres
    // with the colorant's density.
    static double RecipeMillilitres(const DoseRecipe& recipe, double amount, double densityGPerMl);

private:
    CommandResult reset(bool hard, CommandContext& ctx);
    CommandResult machineInfo(InfoKind kind, CommandContext& ctx);
    CommandResult version(CommandContext& ctx);
    CommandResult spend(const std::vector<int>& targets, bool purge, CommandContext& ctx);
    CommandResult fillPrepare(int canister, CommandContext& ctx);
    CommandResult fill(const Command& command, CommandContext& ctx);
    CommandResult serviceWindow(const std::string& password, CommandContext& ctx);
    CommandResult setColorantName(int canister, const std::string& name, CommandContext& ctx);
    CommandResult dose(const DoseRecipe& recipe, CommandContext& ctx);

    // Canister ids for a number where 0 means every canister; empty when there is none.
    std::vector<int> targetsOf(int canister) const;
    std::vector<int> targetsOfColorant(const std::string& name) const;
    Canister* find(int id);
    // Checks that every canister holds what it must give and asks when one would fall
    // below its minimum. kOk to go on, otherwise the result code (with its error set).
    int checkSupply(const std::map<int, double>& needMl, CommandContext& ctx,
                    CommandResult& result);
    void take(Canister& canister, double ml, std::map<int, double>& dosedUl);
    void fail(CommandResult& result, int code, const std::string& text);
    void recordError(const std::string& text);
    std::string number(double value) const;
    int ms(int nominal) const { return m_config.timing.scaled(nominal); }

    MachineConfig m_config;
    char m_separator;
    std::vector<Canister> m_canisters;
    std::vector<std::string> m_errorLog;
    bool m_changed = false;
    std::function<std::string()> m_clock;
};

} // namespace qelpsim
