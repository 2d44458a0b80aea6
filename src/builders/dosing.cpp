#include "builders/dosing.h"

#include "builders/builders.h"
#include "exchange/exchange.h"
#include "frame/eventlog.h"
#include "frame/program.h"
#include "frame/textutil.h"

#include <cstdint>
#include <string>

namespace qelp {

namespace {

constexpr const char* kLastDoseFileName = "lastdose.txt";

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// The can volume in litres with one decimal, a value exactly halfway going to the even
// tenth, and "L": 2500 -> "2.5L", 250 -> "0.2L", 1250 -> "1.2L", 1049 -> "1L".
// Rounded in whole tenths of a litre (hundreds of millilitres) so that the halfway test is
// exact and does not depend on how a double happens to land.
std::string CanTypeFromSize(int32_t canSizeMl) {
    int64_t tenths = canSizeMl / 100;
    const int64_t rest = canSizeMl % 100; // only called for sizes above 0
    if (rest > 50 || (rest == 50 && tenths % 2 != 0))
        ++tenths;
    return FormatInvariant(static_cast<double>(tenths) / 10.0) + "L";
}

std::vector<std::string> DosingLines(const Program& program, DosingRecipe& recipe,
                                     const std::vector<RecipeColorant>& colorants) {
    std::vector<std::string> lines;
    lines.push_back("@WGH " + std::to_string(recipe.unitType));
    lines.push_back("@UNT " + FormatInvariant(recipe.unitSize) + " " +
                    FormatInvariant(recipe.unitFraction));
    lines.push_back("@LQT " + std::to_string(recipe.numberOfCans));
    if (!recipe.product.empty())
        lines.push_back("@PRD " + Quoted(recipe.product));
    if (!recipe.basePaint.empty())
        lines.push_back("@BAS " + Quoted(recipe.basePaint));

    if (recipe.canSize > 0) {
        // The generated name stays in the caller's recipe.
        if (recipe.canType.empty())
            recipe.canType = CanTypeFromSize(recipe.canSize);
        lines.push_back("@CAN " + Quoted(recipe.canType) + " " + std::to_string(recipe.canSize) +
                        " " + (recipe.canHeight > 0 ? std::to_string(recipe.canHeight) : "*UNK"));
    }

    // Always written, the bare keyword when the recipe has no colorant.
    std::string colorantLine = program.recipe.sendColorantNames ? "@CNT" : "@CNX";
    for (const RecipeColorant& c : colorants) {
        colorantLine += " ";
        colorantLine +=
            program.recipe.sendColorantNames ? Quoted(c.colorant) : std::to_string(c.canister);
        colorantLine += " " + FormatInvariant(c.amount);
    }
    lines.push_back(colorantLine);

    if (program.recipe.useShelf) {
        lines.push_back("@SHL " + std::to_string(program.recipe.shelfPre) + " " +
                        std::to_string(program.recipe.shelfDose) + " " +
                        std::to_string(program.recipe.shelfPost));
    }
    if (program.recipe.sendPunch)
        lines.push_back("@PNC " + std::to_string(program.recipe.punchMode));
    return lines;
}

} // namespace

bool CreateDosingCommand(Program& program, DosingRecipe& recipe,
                         const std::vector<RecipeColorant>& colorants) {
    if (!WriteCommandFile(program, DosingLines(program, recipe, colorants)))
        return false;

    // The copy is part of a complete dosing command: when it cannot be made the dosing is
    // not reported as created and the caller does not send it.
    const std::string commandFile = ServerCommandFile(program);
    const std::string lastDose = program.link.serverCommandDirectory + kLastDoseFileName;
    if (program.host.FileExists(lastDose))
        program.host.DeleteFileAt(lastDose);
    if (!program.host.CopyFileTo(commandFile, lastDose)) {
        WriteLogLine(program, "Error: Cannot copy command file " + commandFile + " to " + lastDose);
        return false;
    }

    WriteLogLine(program, "Dosing command created");
    return true;
}

} // namespace qelp
