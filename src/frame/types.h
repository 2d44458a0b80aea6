#pragma once
// The record types that several parts of the console share.
//
// Lists: the console numbers list entries from 1. In code, entry i lives at vector index
// i - 1 and no placeholder is stored, so an empty vector is the empty list.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qelp {

// One canister as the driver reports it and as the console's canister table keeps it.
struct CanisterState {
    int32_t canId = 0;
    int32_t pasteId = 0; // 0 in entries read from a result; position + 32 in canisterTable
    std::string colorantName;
    double sizeMl = 0;
    double contentMl = 0;
    double warnMl = 0;
    double minMl = 0;
    double dosedUl = 0;
    bool operator==(const CanisterState&) const = default;
};

// The entry for canister canId in a canister list, or null.
inline CanisterState* FindCanister(std::vector<CanisterState>& list, int32_t canId) {
    for (CanisterState& entry : list)
        if (entry.canId == canId)
            return &entry;
    return nullptr;
}

// The header of the one recipe the console can dispense.
struct DosingRecipe {
    int32_t unitType = 0; // 0 "ML", 1 "GR"
    double unitSize = 0;
    double unitFraction = 0;
    int32_t numberOfCans = 0;
    std::string product;
    std::string basePaint;
    std::string canType;
    int32_t canSize = 0;
    int32_t canHeight = 0;
};

// One colorant line of the recipe.
struct RecipeColorant {
    int32_t canister = 0;
    double amount = 0;
    int32_t pasteId = 0;
    std::string colorant;
};

enum class MachineInfoKind : int32_t {
    Features = 0,
    PumpCount = 1,
    CanisterCount = 2,
    CanisterSize = 3
};
enum class FillCanisterMode : int32_t { Prepare = 0, Add = 1, Set = 2 };

} // namespace qelp
