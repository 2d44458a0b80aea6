#pragma once
// What the simulator hands back to the console: the result of a command ("result.dat")
// and the questions it puts to the operator ("msg.dat"). Both are profile files with CR LF
// line ends; numbers of canister figures follow the regional decimal separator.
#include <optional>
#include <string>
#include <vector>

namespace qelpsim {

// Result codes of the simulated dispenser. 0 is success; the console treats every other
// value as failure and shows the Errorlog texts.
namespace code {
inline constexpr int kOk = 0;
inline constexpr int kMalformed = 1;     // unknown verb, bad syntax, bad number
inline constexpr int kUnknownTarget = 2; // no such canister or colorant
inline constexpr int kAborted = 3;       // the console wrote abort.sig
inline constexpr int kNotEnough = 4;     // a canister holds too little colorant
inline constexpr int kDeclined = 5;      // the operator answered No or Cancel
inline constexpr int kWrongPassword = 6; // service window refused
inline constexpr int kOverfill = 7;      // a fill would exceed the canister size
inline constexpr int kCanTooSmall = 8;   // the recipe does not fit into the can
} // namespace code

// Buttons of a question: bit b offers button b, whose answer value is 2 to the power b.
namespace button {
inline constexpr int kYes = 1;
inline constexpr int kNo = 2;
inline constexpr int kOk = 4;
inline constexpr int kCancel = 8;
} // namespace button

// Dialog types of a question.
namespace dialog {
inline constexpr int kPlain = 0;
inline constexpr int kWarning = 1;
inline constexpr int kError = 2;
inline constexpr int kInformation = 3;
inline constexpr int kConfirm = 4;
} // namespace dialog

struct CanisterReport {
    int id = 0;
    std::string colorant;
    double sizeMl = 0;
    double contentMl = 0;
    double warnMl = 0;
    double minMl = 0;
    double dosedUl = 0; // dosed by this command
};

struct CommandResult {
    int code = code::kOk;
    std::string output;
    // Listed under CanisterContents. The console reads canisters 1, 2, 3... and stops at
    // the first gap, so a report always lists every canister from 1 on.
    std::vector<CanisterReport> canisters;
    std::vector<std::string> features;
    std::vector<std::string> errors;
    std::vector<std::string> versions;
};

struct OperatorMessage {
    // Written as given, so that a fault can send a type the console must refuse.
    std::string dialogType;
    // "<brk>" is a line break and "$i$" the i-th parameter; the console fills them in.
    std::string text;
    int buttons = 0;
    int code = 0;
    std::vector<std::string> parameters;
};

std::string RenderResultFile(const CommandResult& result, char decimalSeparator);
std::string RenderMessageFile(const OperatorMessage& message);

} // namespace qelpsim
