#pragma once
// The console's texts and small decisions, kept free of widgets so that they can be checked
// on their own: the machine-information texts, the canister information line, the message
// window's title and button slots, the list synchronisation tests and the fill amount.
// Texts are Windows-1252 bytes with CR LF line ends, like everything the core logs.
#include "frame/program.h"
#include "frame/types.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qelp {

// The no-data line of the information texts (six question marks, four exclamation marks).
// (Written with escaped question marks: "??!" would be a trigraph to older compilers.)
inline constexpr const char* kNoDataLine = "No data returned\?\?\?\?\?\?!!!!";

// --- Machine information (the "Machine Features" and "Get Version" message boxes). ---
// The message box text for the answer to one machine-information query, built from the
// last result (commandOutput, featureLines, errorLogLines, resultCanisters).
std::string MachineInfoText(const ProgramState& program, MachineInfoKind kind);
std::string VersionText(const ProgramState& program);
// The log lines of one machine-information query.
std::string MachineInfoSuccessLine(MachineInfoKind kind);
std::string MachineInfoFailureLine(MachineInfoKind kind);
// The three status lines for the canister typed or chosen in the canister list, or nothing
// when the text is not a canister number above 0 that the canister table holds.
std::optional<std::string> CanisterInfoText(const ProgramState& program,
                                            const std::string& canisterText);

// --- Message window. ---
// The caption of a button bit, empty for bits without a button.
std::string ButtonCaption(int bit);
// The bit shown in each of the five button slots (slot 0 first), -1 for an empty slot.
std::array<int, 5> ArrangeButtonBits(int32_t buttons);
// A number in the "#####" pattern: digits without leading zeros, a minus sign when
// negative, and the empty text for 0.
std::string FormatHashes(int32_t value);
// The window title for a dialog type, dispenser family and message code.
std::string MessageWindowTitle(int32_t dialogType, int32_t dispenserFamily, int32_t messageCode);

// --- Selection lists. ---
// True when the canister list items and the canister table agree (every canId has an item,
// every item other than 0 names a canId); then the list is left alone.
bool CanisterListInStep(const std::vector<std::string>& items,
                        const std::vector<CanisterState>& table);
// The items of a rebuilt canister list: "0", then every canId in table order.
std::vector<std::string> CanisterListItems(const std::vector<CanisterState>& table);
// The same for the colorant list, comparing names without regard to letter case.
bool ColorantListInStep(const std::vector<std::string>& items,
                        const std::vector<CanisterState>& table);
std::vector<std::string> ColorantListItems(const std::vector<CanisterState>& table);

// --- Canister actions. ---
// The canister text of "Clean", "Purge", "Prepare" and the fills: a canister number (0 for
// all), or nothing when the text is not digits alone or does not fit 32 bits.
std::optional<int32_t> ParseCanisterText(const std::string& text);
// The fill amount answer in litres, in the user's number format, as whole millilitres
// rounded half to even; nothing when it is not a number or the millilitres do not fit 32
// bits.
std::optional<int32_t> FillAmountMl(const std::string& litresText, char decimalSeparator);

} // namespace qelp
