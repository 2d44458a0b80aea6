#include "console/recipelogic.h"

#include "frame/textutil.h"

#include <cmath>
#include <limits>

namespace qelp {

std::string ShelfMoveText(int32_t value) {
    switch (value) {
    case 0:
        return "All Up";
    case -1:
        return "All Down";
    case -2:
        return "Ref Plane";
    case -3:
        return "No Move";
    default:
        return std::to_string(value);
    }
}

std::optional<int32_t> ParseShelfMove(const std::string& text) {
    const std::string upper = ToUpperAscii(text);
    if (upper == "ALL UP")
        return 0;
    if (upper == "ALL DOWN")
        return -1;
    if (upper == "REF PLANE")
        return -2;
    if (upper == "NO MOVE")
        return -3;
    // Digits beyond 32 bits are as unusable as letters and get the same warning.
    return ParseDigits32(text);
}

std::string InvalidShelfMoveMessage(const std::string& text) {
    return "Invalid shelf move value (" + text + "). NO MOVE will be used!";
}

std::string PunchModeText(int32_t value) {
    switch (value) {
    case 0:
        return "None";
    case 1:
        return "Ask Confirm";
    case 2:
        return "No Confirm";
    default:
        return {};
    }
}

int32_t ParsePunchMode(const std::string& text) {
    const std::string upper = ToUpperAscii(text);
    if (upper == "ASK CONFIRM")
        return 1;
    if (upper == "NO CONFIRM")
        return 2;
    return 0;
}

std::string RecipeText(const std::vector<RecipeColorant>& colorants, char decimalSeparator) {
    std::string text;
    for (const RecipeColorant& line : colorants)
        text += line.colorant + " - " + FormatGeneral(line.amount, decimalSeparator) + "; ";
    return text;
}

AddOutcome AddRecipeColorant(ProgramState& program, const std::string& pasteText,
                             const std::string& amountText) {
    if (pasteText.empty() || amountText.empty())
        return AddOutcome::Ignored;
    const CanisterState* canister = nullptr;
    const std::string wanted = ToUpperAscii(pasteText);
    for (const CanisterState& c : program.canisters.canisterTable) {
        if (ToUpperAscii(c.colorantName) == wanted) {
            canister = &c;
            break;
        }
    }
    // The list was filled from the table, so a miss means the table changed underneath.
    if (!canister)
        return AddOutcome::Ignored;
    std::optional<double> amount = ParseLocaleNumber(amountText, program.session.decimalSeparator);
    if (!amount)
        return AddOutcome::InvalidAmount;
    if (!(*amount > 0))
        return AddOutcome::Ignored;
    for (RecipeColorant& line : program.recipe.recipeColorants) {
        if (line.canister == canister->canId) {
            line.amount = *amount;
            return AddOutcome::Updated;
        }
    }
    program.recipe.recipeColorants.push_back(
        RecipeColorant{canister->canId, *amount, canister->pasteId, canister->colorantName});
    return AddOutcome::Added;
}

std::string InvalidAmountMessage(const std::string& text) {
    return "Invalid amount (" + text + "). Nothing was added to the recipe.";
}

namespace {

template <typename List, typename Value> int IndexOf(const List& list, const Value& text) {
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] == text)
            return static_cast<int>(i);
    }
    return -1;
}

std::string InvalidNumberMessage(const char* field, const std::string& text) {
    return std::string("Invalid ") + field + " value (" + text + "). The stored value is kept.";
}

// A header number: empty keeps the stored value silently, a non-number keeps it with a
// message.
void StoreDouble(double& target, const std::string& text, char separator, const char* field,
                 std::vector<std::string>& messages) {
    if (text.empty())
        return;
    if (std::optional<double> value = ParseLocaleNumber(text, separator))
        target = *value;
    else
        messages.push_back(InvalidNumberMessage(field, text));
}

void StoreWhole(int32_t& target, const std::string& text, char separator, const char* field,
                std::vector<std::string>& messages) {
    if (text.empty())
        return;
    std::optional<double> value = ParseLocaleNumber(text, separator);
    if (value) {
        // A fraction rounds to the nearest whole number, a half to the even one.
        const double rounded = RoundHalfEven(*value);
        if (rounded >= std::numeric_limits<int32_t>::min() &&
            rounded <= std::numeric_limits<int32_t>::max()) {
            target = static_cast<int32_t>(rounded);
            return;
        }
    }
    messages.push_back(InvalidNumberMessage(field, text));
}

int32_t StoreShelf(const std::string& text, std::vector<std::string>& messages) {
    if (std::optional<int32_t> value = ParseShelfMove(text))
        return *value;
    messages.push_back(InvalidShelfMoveMessage(text));
    return -3;
}

} // namespace

RecipeScreenValues LoadRecipeScreen(const ProgramState& p) {
    const DosingRecipe& r = p.recipe.currentRecipe;
    const char sep = p.session.decimalSeparator;
    RecipeScreenValues v;
    v.unitTypeIndex =
        r.unitType >= 0 && r.unitType < static_cast<int32_t>(kUnitTypes.size()) ? r.unitType : -1;
    v.unitSize = FormatGeneral(r.unitSize > 0 ? r.unitSize : kDefaultUnitSize, sep);
    v.unitFraction = FormatGeneral(r.unitFraction > 0 ? r.unitFraction : kDefaultUnitFraction, sep);
    v.numberOfCans = std::to_string(r.numberOfCans > 0 ? r.numberOfCans : kDefaultNumberOfCans);
    v.product = r.product;
    v.basePaint = r.basePaint;
    v.canTypeIndex = r.canType.empty() ? -1 : IndexOf(kCanTypes, r.canType);
    v.noCanHeight = r.canHeight < 1;
    v.shelfPre = ShelfMoveText(p.recipe.shelfPre);
    v.shelfDose = ShelfMoveText(p.recipe.shelfDose);
    v.shelfPost = ShelfMoveText(p.recipe.shelfPost);
    v.useShelf = p.recipe.useShelf;
    v.punchIndex = IndexOf(kPunchListValues, p.recipe.punchMode);
    v.sendPunch = p.recipe.sendPunch;
    v.sendColorantNames = p.recipe.sendColorantNames;
    return v;
}

std::vector<std::string> SaveRecipeScreen(ProgramState& p, const RecipeScreenValues& v) {
    std::vector<std::string> messages;
    DosingRecipe& r = p.recipe.currentRecipe;
    const char sep = p.session.decimalSeparator;
    if (v.unitTypeIndex >= 0)
        r.unitType = v.unitTypeIndex;
    StoreDouble(r.unitSize, v.unitSize, sep, "UnitSize", messages);
    StoreDouble(r.unitFraction, v.unitFraction, sep, "UnitFraction", messages);
    StoreWhole(r.numberOfCans, v.numberOfCans, sep, "Number Of Cans", messages);
    if (!v.product.empty())
        r.product = v.product;
    if (!v.basePaint.empty())
        r.basePaint = v.basePaint;
    if (v.canTypeIndex >= 0 && v.canTypeIndex < static_cast<int>(kCanTypes.size())) {
        const int32_t n = v.canTypeIndex + 1;
        r.canType = kCanTypes[static_cast<size_t>(v.canTypeIndex)];
        r.canSize = n * 1000;
        r.canHeight = v.noCanHeight ? 0 : n * 40 + 100;
    }
    p.recipe.recipePresent = !p.recipe.recipeColorants.empty();
    p.recipe.useShelf = v.useShelf;
    p.recipe.shelfPre = StoreShelf(v.shelfPre, messages);
    p.recipe.shelfDose = StoreShelf(v.shelfDose, messages);
    p.recipe.shelfPost = StoreShelf(v.shelfPost, messages);
    p.recipe.sendPunch = v.sendPunch;
    p.recipe.punchMode =
        v.punchIndex >= 0 && v.punchIndex < static_cast<int>(kPunchListValues.size())
            ? kPunchListValues[static_cast<size_t>(v.punchIndex)]
            : 0;
    p.recipe.sendColorantNames = v.sendColorantNames;
    return messages;
}

} // namespace qelp
