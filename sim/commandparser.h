#pragma once
// Turns the text of a command file into one typed command. The file is "@RUN", one
// maintenance line ("@EXT VERB args") or the dosing keyword lines, and "@END".
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qelpsim {

enum class Verb {
    Reset,
    ResetHard,
    MachineInfo,
    Version,
    Purge,
    Clean,
    PurgeColorant,
    CleanColorant,
    FillPrepare,
    FillSet,
    FillAdd,
    ServiceWindow,
    SetColorantName,
    Dose,
};

enum class InfoKind { Features, PumpCount, CanisterCount, CanisterSize };

// One colorant of a recipe, named either by colorant (@CNT) or by canister number (@CNX).
struct DoseColorant {
    std::string colorant;
    int canister = 0;
    double amount = 0;
};

struct CanDetails {
    std::string type;
    int sizeMl = 0;
    std::optional<int> height; // empty for "*UNK"
};

struct ShelfMoves {
    int before = 0;
    int during = 0;
    int after = 0;
};

// The recipe of a dosing command. Lines the console leaves out keep these defaults: a
// recipe without "@UNT" is in plain millilitres, for one can.
struct DoseRecipe {
    int unitType = 0; // 0 millilitres, 1 grams
    double unitSize = 1;
    double unitFraction = 1;
    int cans = 1;
    std::string product;
    std::string base;
    std::optional<CanDetails> can;
    bool byColorantName = false;
    std::vector<DoseColorant> colorants;
    std::optional<ShelfMoves> shelf;
    int punchMode = 0; // 0 none, 1 ask for confirmation, 2 without confirmation
};

struct Command {
    Verb verb = Verb::Reset;
    InfoKind info = InfoKind::Features;
    int canister = 0;    // 0 means every canister where the verb allows it
    double amountMl = 0; // FILLCANISTER SET / ADD
    std::string text;    // colorant name or service password
    DoseRecipe recipe;
};

struct ParsedCommand {
    std::optional<Command> command;
    // Why the file was refused, when it was.
    std::string error;
    // The verb as the fault selection and the log name it: the word after "@EXT", "DOSE"
    // for a recipe, "EMPTY" for a file without a command line; upper case.
    std::string verbName;
    // The lines between "@RUN" and "@END" (or the whole file when the frame is broken).
    std::vector<std::string> lines;
};

ParsedCommand ParseCommandFile(std::string_view text);

// Splits a line into blank-separated words; a word that starts with a double quote runs to
// the next double quote that is followed by a blank or the end of the line, so that names
// may hold blanks and even quotes. The quotes are removed.
std::vector<std::string> SplitWords(std::string_view line);

} // namespace qelpsim
