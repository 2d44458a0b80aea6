#pragma once
// qelp-check: drives a dispenser driver through the exchange directory exactly as the
// console does, with the console's own command builders, hand-over and readers, and says
// duty by duty what the driver does wrong.
#include <iosfwd>
#include <string>
#include <vector>

namespace qelpcheck {

struct Options {
    std::string driver;   // the driver's executable, full path (system file name)
    std::string exchange; // the exchange directory (system file name); empty: the registry's
    bool adopt = false;   // check a driver that already runs instead of launching one
    int timeoutMs = 30000;
    int readyTimeoutMs = 300000;
    std::string jsonFile;          // where the machine-readable report goes; empty: none
    std::string logFile;           // the console's event log of the run; empty: none
    std::vector<std::string> only; // names of the checks to run; empty: all
    bool notifications = true;     // false: look at the files instead of being told
    std::string dataDirectory;     // where the registry store lies; empty: the program's layout
};

enum class Verdict { Pass, Fail, Skip };

struct CheckLine {
    std::string name;
    Verdict verdict = Verdict::Skip;
    std::string detail;                // what was seen (UTF-8)
    std::vector<std::string> warnings; // deviations the console tolerates (UTF-8)
};

// The names of every check, in the order they run.
std::vector<std::string> CheckNames();

// Runs the checks and prints each line to out as soon as it is decided, then the closing
// count. Returns the exit status: 0 every check passed, 1 a check failed, 2 a set-up error
// (told on err).
int RunChecks(const Options& options, std::ostream& out, std::ostream& err,
              std::vector<CheckLine>* lines = nullptr);

// The whole program: parses the command line, runs, writes the report. Returns the exit
// status.
int CheckMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace qelpcheck
