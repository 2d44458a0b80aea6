#pragma once
// The simulator's configuration, read from <program directory>/<program name>.ini. Every
// setting but the exchange directory has a default, so an ini with one line is enough.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qelpsim {

// One canister as configured (the run-time content and colorant name may later come from
// the state file instead).
struct CanisterConfig {
    std::string colorant;
    double sizeMl = 2000;
    double contentMl = 1500;
    double warnMl = 300;
    double minMl = 100;
    double densityGPerMl = 1.2; // converts gram recipes into millilitres
};

// How long the simulated mechanics take, in milliseconds. Fast mode turns every figure into
// zero so that tests and benchmarks never wait for the machine.
struct TimingConfig {
    bool fast = false;
    int startupMs = 1000;
    int resetMs = 1000;
    int resetHardMs = 3000;
    int queryMs = 100;
    int purgeMs = 1500;
    int cleanMs = 2500;
    int fillMs = 1000;
    int serviceWindowMs = 1000;
    int setNameMs = 100;
    int doseMs = 1500;            // can handling, shelf moves, punching
    int dosePerColorantMs = 600;  // each colorant of a recipe
    int messageConsumeMs = 10000; // longest wait for the console to pick up a notice

    // The time to spend for a nominal figure.
    int scaled(int ms) const { return fast ? 0 : ms; }
};

struct MachineConfig {
    std::vector<CanisterConfig> canisters;
    int pumpCount = 16;
    std::string model = "TM-16 Desk Tinter";
    std::string firmware = "4.2.7";
    std::string serialNumber = "SIM-000001";
    int featureCode = 31;
    // The password the service window opens with; an empty password given by the console
    // means "the default" and is always accepted.
    std::string servicePassword = "service";
    // The service window stays open until the operator confirms a notice.
    bool serviceWindowAsks = false;
    double purgeMl = 2.0; // spent per canister by a purge
    double cleanMl = 0.5; // spent per canister by a nozzle clean
    TimingConfig timing;
};

// The phase of a command in which a "die" fault ends the process.
enum class DiePhase { None, AfterBusy, AfterResultData, InQuestion };

// How a faulted command's result files are spoiled.
enum class ResultFault { None, NoResult, NonNumeric, Garbage, Binary, Huge, SignalOnly };

// How a faulted command breaks the order of its file operations: signal files written before
// their data files, or the busy flag removed before the result is signalled.
enum class OrderFault { None, SignalFirst, BusyFirst };

struct FaultConfig {
    // Which commands the faults below hit: the N-th command taken since start-up (0: all)
    // and a verb (empty: all). Both must match.
    int onCommand = 0;
    std::string onVerb;

    bool neverReady = false; // independent of the selection: start-up itself
    DiePhase die = DiePhase::None;
    bool hang = false;
    ResultFault result = ResultFault::None;
    size_t hugeResultBytes = 10 * 1024 * 1024;
    bool invalidDialog = false;
    int messageBurst = 0;
    std::optional<int> resultCode;
    OrderFault order = OrderFault::None;
    bool keepBusy = false;      // the result is signalled, the busy flag never removed
    bool ignoreAbort = false;   // abort.sig is not looked at; the command runs to its end
    bool strictCleanup = false; // removes its last question's msg.dat itself; fails if gone

    // True when the faults apply to the command with this number and verb.
    bool selects(int commandNumber, std::string_view verb) const;
};

struct SimConfig {
    std::string commandPath; // ends with '/', empty when not configured
    int pollIntervalMs = 100;
    bool useInotify = true;
    char decimalSeparator = '.';
    MachineConfig machine;
    FaultConfig faults;
    // Settings that could not be used; the simulator logs them and carries on with defaults.
    std::vector<std::string> warnings;
};

// The canisters of a machine nobody configured: sixteen common tinting colorants.
std::vector<CanisterConfig> DefaultCanisters();

// Builds the configuration from the ini text. Relative paths are taken from the program
// directory; localeSeparator is used unless the ini names a decimal separator.
SimConfig ParseSimConfig(std::string_view iniText, const std::string& programDirectory,
                         char localeSeparator);

// The decimal separator of the user's locale (LC_NUMERIC from the environment).
char LocaleDecimalSeparator();

} // namespace qelpsim
