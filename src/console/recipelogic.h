#pragma once
// What the recipe screen does with the recipe state, without widgets: the fixed lists, the
// shelf and punch texts, the recipe line, "Add", and the opening and saving of the header
// and the dosing options. The screen only moves texts between these and its controls.
#include "frame/program.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qelp {

inline const std::array<const char*, 2> kUnitTypes{"ML", "GR"};
inline const std::array<const char*, 5> kProducts{"Morvex BL", "Tandra UV", "Quilon SUV",
                                                  "Nurel Blur", "DemoProduct"};
inline const std::array<const char*, 3> kBasePaints{"W05", "BC", "M00"};
inline const std::array<const char*, 4> kCanTypes{"1L DustBin", "2L AshTray", "3L BigBin",
                                                  "4L TinCan"};
// The shelf list holds the texts of 0, -1, -2 and -3; the punch list those of 0, 1 and 2.
inline const std::array<int32_t, 4> kShelfListValues{0, -1, -2, -3};
inline const std::array<int32_t, 3> kPunchListValues{0, 1, 2};

// The defaults the header boxes show when nothing is stored.
inline constexpr double kDefaultUnitSize = 29.574; // millilitres in a US fluid ounce
inline constexpr double kDefaultUnitFraction = 48;
inline constexpr int32_t kDefaultNumberOfCans = 1;

std::string ShelfMoveText(int32_t value);
// The value of a shelf box text: a keyword (any letter case) or digits alone that fit 32
// bits; nothing for any other text, for which the screen warns and uses -3 (no move).
std::optional<int32_t> ParseShelfMove(const std::string& text);
std::string InvalidShelfMoveMessage(const std::string& text);
std::string PunchModeText(int32_t value);
int32_t ParsePunchMode(const std::string& text);

// The recipe line: every colorant line as "name - amount; ", the amount in the user's number
// format.
std::string RecipeText(const std::vector<RecipeColorant>& colorants, char decimalSeparator);

enum class AddOutcome { Ignored, Added, Updated, InvalidAmount };
// "Add": the colorant chosen (its list text) with the amount typed (user's number format).
// An empty colorant or amount, a colorant the canister table lacks, or an amount of 0 or
// less is ignored; an amount that is not a number is reported as InvalidAmount and adds
// nothing. A colorant already in the recipe gets the new amount in its old place.
AddOutcome AddRecipeColorant(ProgramState& program, const std::string& pasteText,
                             const std::string& amountText);
std::string InvalidAmountMessage(const std::string& text);

// The screen's header and option controls as texts and ticks. Indexes are -1 for a list
// without selection.
struct RecipeScreenValues {
    int unitTypeIndex = -1;
    std::string unitSize;
    std::string unitFraction;
    std::string numberOfCans;
    std::string product;
    std::string basePaint;
    int canTypeIndex = -1;
    bool noCanHeight = false;
    std::string shelfPre;
    std::string shelfDose;
    std::string shelfPost;
    bool useShelf = false;
    bool sendPunch = false;
    int punchIndex = -1;
    bool sendColorantNames = false;
};

// What the screen shows when it opens: the stored recipe, with the defaults where nothing
// usable is stored. Numbers are written in the user's number format, the defaults too, so
// that "29.574" reads back as 29.574 in a locale that writes it 29,574.
RecipeScreenValues LoadRecipeScreen(const ProgramState& program);

// "Save + Exit": stores the header and the options. An empty text keeps the stored value.
// A number that cannot be read (not a number, or a number of cans beyond 32 bits) also
// keeps the stored value and adds a message; so does an invalid shelf move, which stores
// -3. Returns the messages to show, in the order of the fields.
std::vector<std::string> SaveRecipeScreen(ProgramState& program, const RecipeScreenValues& values);

} // namespace qelp
