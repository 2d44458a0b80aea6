#include "console/consoletext.h"

#include "frame/textutil.h"

#include <cmath>
#include <limits>

namespace qelp {

namespace {

const char* const kCrLf = "\r\n";

std::string Number(double value, char separator) {
    return FormatGeneral(value, separator);
}

// Each line of the list followed by CR LF, or the no-data line when the list is empty.
std::string ListOrNoData(const std::vector<std::string>& lines) {
    if (lines.empty())
        return std::string(kNoDataLine) + kCrLf;
    std::string text;
    for (const std::string& line : lines)
        text += line + kCrLf;
    return text;
}

const char* KindName(MachineInfoKind kind) {
    switch (kind) {
    case MachineInfoKind::Features:
        return "Features";
    case MachineInfoKind::PumpCount:
        return "Pumpcount";
    case MachineInfoKind::CanisterCount:
        return "CanisterCount";
    case MachineInfoKind::CanisterSize:
        return "CanisterSize";
    }
    return "";
}

} // namespace

std::string MachineInfoText(const ProgramState& p, MachineInfoKind kind) {
    const char sep = p.session.decimalSeparator;
    switch (kind) {
    case MachineInfoKind::Features:
        return std::string("Feature return:") + kCrLf + "Feature Code: " + p.result.commandOutput +
               kCrLf + kCrLf + "Feature Text:" + kCrLf + ListOrNoData(p.result.featureLines) +
               kCrLf + "Errorlog:" + kCrLf + ListOrNoData(p.result.errorLogLines);
    case MachineInfoKind::PumpCount:
        return "Pumpcount returns:" + p.result.commandOutput + kCrLf;
    case MachineInfoKind::CanisterCount:
        return "Canistercount returns:" + p.result.commandOutput + kCrLf;
    case MachineInfoKind::CanisterSize: {
        std::string text = "CanisterSize return:" + p.result.commandOutput + kCrLf + kCrLf;
        if (p.result.resultCanisters.empty())
            return text + kNoDataLine + kCrLf;
        for (const CanisterState& c : p.result.resultCanisters) {
            text += "Canister #" + std::to_string(c.canId) + kCrLf;
            text += "SizeML: " + Number(c.sizeMl, sep) + kCrLf;
            text += "WarnML: " + Number(c.warnMl, sep) + kCrLf;
            text += "Min ML: " + Number(c.minMl, sep) + kCrLf;
            text += "ContML: " + Number(c.contentMl, sep) + kCrLf;
        }
        return text;
    }
    }
    return {};
}

std::string VersionText(const ProgramState& p) {
    return std::string("Version return:") + kCrLf + "Version Code: " + p.result.commandOutput +
           kCrLf + kCrLf + "Version Text:" + kCrLf + ListOrNoData(p.result.versionLines);
}

std::string MachineInfoSuccessLine(MachineInfoKind kind) {
    return std::string("Machinfo ") + KindName(kind) + " completed.";
}

std::string MachineInfoFailureLine(MachineInfoKind kind) {
    return std::string("Machinfo ") + KindName(kind) + " failed.....";
}

std::optional<std::string> CanisterInfoText(const ProgramState& p,
                                            const std::string& canisterText) {
    // Digits alone and above 0; a value beyond 32 bits cannot name a canister.
    std::optional<int32_t> number = ParseDigits32(canisterText);
    if (!number || *number <= 0)
        return std::nullopt;
    for (const CanisterState& c : p.canisters.canisterTable) {
        if (c.canId != *number)
            continue;
        const char sep = p.session.decimalSeparator;
        return "Canister# " + std::to_string(c.canId) + " Colorant " + c.colorantName + kCrLf +
               "Total Size: " + Number(c.sizeMl, sep) +
               " Current Level: " + Number(c.contentMl, sep) + kCrLf +
               "LastDosed(ul): " + Number(c.dosedUl, sep);
    }
    return std::nullopt;
}

std::string ButtonCaption(int bit) {
    static const char* const captions[] = {"Yes",       "No",         "Ok",     "Cancel",
                                           "Abort",     "Retry",      "Ignore", "All",
                                           "No to All", "Yes to All", "Help"};
    if (bit < 0 || bit > 10)
        return {};
    return captions[bit];
}

std::array<int, 5> ArrangeButtonBits(int32_t buttons) {
    std::array<int, 5> slots{-1, -1, -1, -1, -1};
    size_t used = 0;
    for (int bit = 0; bit <= 10 && used < slots.size(); ++bit) {
        if ((buttons & (int32_t{1} << bit)) != 0)
            slots[used++] = bit;
    }
    return slots;
}

std::string FormatHashes(int32_t value) {
    return value == 0 ? std::string() : std::to_string(value);
}

std::string MessageWindowTitle(int32_t dialogType, int32_t dispenserFamily, int32_t messageCode) {
    static const char* const beginnings[] = {"", "Dispenser Warning! ", "Dispenser Error! ",
                                             "Dispenser Information ",
                                             "Dispenser Asking Confirmation "};
    const std::string suffix = FormatHashes(dispenserFamily) + "/" + FormatHashes(messageCode);
    if (dialogType < 1 || dialogType > 4)
        return suffix;
    return beginnings[dialogType] + suffix;
}

namespace {
// An item text read as a whole number; the lists hold only numbers the console put there,
// so anything else counts as 0 (the "all canisters" item, which the tests skip).
int64_t ItemNumber(const std::string& text) {
    std::optional<int32_t> value = ParseDigits32(text);
    return value ? *value : 0;
}
} // namespace

bool CanisterListInStep(const std::vector<std::string>& items,
                        const std::vector<CanisterState>& table) {
    if (table.empty())
        return false;
    for (const CanisterState& c : table) {
        bool found = false;
        for (const std::string& item : items) {
            std::optional<int32_t> value = ParseDigits32(item);
            found = found || (value && *value == c.canId);
        }
        if (!found)
            return false;
    }
    for (const std::string& item : items) {
        const int64_t number = ItemNumber(item);
        if (number == 0)
            continue;
        bool found = false;
        for (const CanisterState& c : table)
            found = found || c.canId == number;
        if (!found)
            return false;
    }
    return true;
}

std::vector<std::string> CanisterListItems(const std::vector<CanisterState>& table) {
    std::vector<std::string> items{"0"};
    for (const CanisterState& c : table)
        items.push_back(std::to_string(c.canId));
    return items;
}

bool ColorantListInStep(const std::vector<std::string>& items,
                        const std::vector<CanisterState>& table) {
    if (table.empty())
        return items.empty();
    for (const CanisterState& c : table) {
        bool found = false;
        for (const std::string& item : items)
            found = found || EqualsIgnoreCase(item, c.colorantName);
        if (!found)
            return false;
    }
    for (const std::string& item : items) {
        bool found = false;
        for (const CanisterState& c : table)
            found = found || EqualsIgnoreCase(item, c.colorantName);
        if (!found)
            return false;
    }
    return true;
}

std::vector<std::string> ColorantListItems(const std::vector<CanisterState>& table) {
    std::vector<std::string> items;
    for (const CanisterState& c : table)
        items.push_back(c.colorantName);
    return items;
}

std::optional<int32_t> ParseCanisterText(const std::string& text) {
    // Blanks around a typed number are forgiven; anything else that is not digits (a name, a
    // sign, a fraction) or does not fit 32 bits is no canister number.
    return ParseDigits32(TrimBlanks(text));
}

std::optional<int32_t> FillAmountMl(const std::string& litresText, char decimalSeparator) {
    std::optional<double> litres = ParseLocaleNumber(litresText, decimalSeparator);
    if (!litres)
        return std::nullopt;
    // The operator types a decimal number of litres; times 1000 in binary floating point can
    // land a hair beside an exact half (2.0005 L gives 2000.5000000000002 ml). Snap to whole
    // nanolitres first, so that a typed half millilitre really rounds to the even neighbour.
    double ml = *litres * 1000.0;
    if (std::fabs(ml) < 1e9)
        ml = std::nearbyint(ml * 1e6) / 1e6;
    const double rounded = RoundHalfEven(ml);
    if (rounded < static_cast<double>(std::numeric_limits<int32_t>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::nullopt;
    return static_cast<int32_t>(rounded);
}

} // namespace qelp
