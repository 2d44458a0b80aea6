#include "simconfig.h"

#include "frame/profile.h"
#include "frame/textutil.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>

namespace qelpsim {

namespace {

// Reads one ini at a time and collects what it could not use, so that a typo costs a log
// line and a default rather than a simulator that refuses to start.
class IniReader {
public:
    IniReader(std::string_view text, std::vector<std::string>& warnings)
        : m_text(text), m_warnings(warnings) {}

    std::string text(std::string_view section, std::string_view key,
                     std::string_view fallback = {}) const {
        std::string value = qelp::TrimSpace(qelp::profile::LookupInText(m_text, section, key));
        return value.empty() ? std::string(fallback) : value;
    }

    bool has(std::string_view section, std::string_view key) const {
        return !text(section, key).empty();
    }

    int integer(std::string_view section, std::string_view key, int fallback, int lowest,
                int highest) const {
        std::string value = text(section, key);
        if (value.empty())
            return fallback;
        int parsed = 0;
        auto res = std::from_chars(value.data(), value.data() + value.size(), parsed);
        if (res.ec != std::errc() || res.ptr != value.data() + value.size() || parsed < lowest ||
            parsed > highest) {
            warn(section, key, value,
                 "a whole number from " + std::to_string(lowest) + " to " +
                     std::to_string(highest));
            return fallback;
        }
        return parsed;
    }

    double number(std::string_view section, std::string_view key, double fallback,
                  double lowest) const {
        std::string value = text(section, key);
        if (value.empty())
            return fallback;
        std::optional<double> parsed = qelp::ParseLocaleNumber(value, '.');
        if (!parsed || *parsed < lowest) {
            warn(section, key, value,
                 "a number (with '.') of at least " + qelp::FormatInvariant(lowest));
            return fallback;
        }
        return *parsed;
    }

    bool flag(std::string_view section, std::string_view key, bool fallback) const {
        std::string value = qelp::ToUpperAscii(text(section, key));
        if (value.empty())
            return fallback;
        if (value == "1" || value == "YES" || value == "TRUE" || value == "ON")
            return true;
        if (value == "0" || value == "NO" || value == "FALSE" || value == "OFF")
            return false;
        warn(section, key, value, "1 or 0");
        return fallback;
    }

    void warn(std::string_view section, std::string_view key, std::string_view value,
              std::string_view expected) const {
        m_warnings.push_back("[" + std::string(section) + "] " + std::string(key) + "=" +
                             std::string(value) + " is not " + std::string(expected) +
                             "; the default is used");
    }

private:
    std::string_view m_text;
    std::vector<std::string>& m_warnings;
};

std::string canisterKey(int index, std::string_view field) {
    return "Canister_" + std::to_string(index) + "_" + std::string(field);
}

void readTiming(const IniReader& ini, TimingConfig& t) {
    constexpr int kMax = 24 * 3600 * 1000;
    t.fast = ini.flag("Timing", "FastMode", t.fast);
    t.startupMs = ini.integer("Timing", "StartupMs", t.startupMs, 0, kMax);
    t.resetMs = ini.integer("Timing", "ResetMs", t.resetMs, 0, kMax);
    t.resetHardMs = ini.integer("Timing", "ResetHardMs", t.resetHardMs, 0, kMax);
    t.queryMs = ini.integer("Timing", "QueryMs", t.queryMs, 0, kMax);
    t.purgeMs = ini.integer("Timing", "PurgeMs", t.purgeMs, 0, kMax);
    t.cleanMs = ini.integer("Timing", "CleanMs", t.cleanMs, 0, kMax);
    t.fillMs = ini.integer("Timing", "FillMs", t.fillMs, 0, kMax);
    t.serviceWindowMs = ini.integer("Timing", "ServiceWindowMs", t.serviceWindowMs, 0, kMax);
    t.setNameMs = ini.integer("Timing", "SetNameMs", t.setNameMs, 0, kMax);
    t.doseMs = ini.integer("Timing", "DoseMs", t.doseMs, 0, kMax);
    t.dosePerColorantMs = ini.integer("Timing", "DosePerColorantMs", t.dosePerColorantMs, 0, kMax);
    // Unlike the mechanics, the wait for the console is not shortened by fast mode: it is
    // a bound for a console that never reads, not a simulated delay.
    t.messageConsumeMs = ini.integer("Timing", "MessageConsumeMs", t.messageConsumeMs, 0, kMax);
}

void readCanisters(const IniReader& ini, std::vector<CanisterConfig>& canisters,
                   std::vector<std::string>& warnings) {
    std::vector<CanisterConfig> defaults = DefaultCanisters();
    int count = ini.integer("Canisters", "Count", static_cast<int>(defaults.size()), 1, 99);
    canisters.clear();
    for (int i = 1; i <= count; ++i) {
        CanisterConfig c;
        if (i <= static_cast<int>(defaults.size()))
            c = defaults[i - 1];
        else
            c.colorant = "Colorant " + std::to_string(i);
        c.colorant = ini.text("Canisters", canisterKey(i, "Colorant"), c.colorant);
        c.sizeMl = ini.number("Canisters", canisterKey(i, "SizeMl"), c.sizeMl, 0);
        if (c.sizeMl <= 0) {
            ini.warn("Canisters", canisterKey(i, "SizeMl"), "0", "greater than 0");
            c.sizeMl = 2000;
        }
        c.contentMl = ini.number("Canisters", canisterKey(i, "ContentMl"),
                                 std::min(c.contentMl, c.sizeMl), 0);
        c.warnMl = ini.number("Canisters", canisterKey(i, "WarnMl"), c.warnMl, 0);
        c.minMl = ini.number("Canisters", canisterKey(i, "MinMl"), c.minMl, 0);
        c.densityGPerMl = ini.number("Canisters", canisterKey(i, "Density"), c.densityGPerMl, 0);
        if (c.densityGPerMl <= 0) {
            ini.warn("Canisters", canisterKey(i, "Density"), "0", "greater than 0");
            c.densityGPerMl = 1.2;
        }
        if (c.contentMl > c.sizeMl) {
            warnings.push_back("Canister " + std::to_string(i) + ": content " +
                               qelp::FormatInvariant(c.contentMl) + " ml exceeds its size; " +
                               "filled to the size instead");
            c.contentMl = c.sizeMl;
        }
        canisters.push_back(std::move(c));
    }
}

DiePhase parseDiePhase(const IniReader& ini) {
    std::string value = qelp::ToUpperAscii(ini.text("Faults", "DieAt"));
    if (value.empty() || value == "NONE")
        return DiePhase::None;
    if (value == "AFTERBUSY")
        return DiePhase::AfterBusy;
    if (value == "AFTERRESULTDAT")
        return DiePhase::AfterResultData;
    if (value == "INQUESTION")
        return DiePhase::InQuestion;
    ini.warn("Faults", "DieAt", value, "AfterBusy, AfterResultDat or InQuestion");
    return DiePhase::None;
}

ResultFault parseResultFault(const IniReader& ini) {
    std::string value = qelp::ToUpperAscii(ini.text("Faults", "Result"));
    if (value.empty() || value == "NONE")
        return ResultFault::None;
    static const std::pair<const char*, ResultFault> kNames[] = {
        {"NORESULT", ResultFault::NoResult}, {"NONNUMERIC", ResultFault::NonNumeric},
        {"GARBAGE", ResultFault::Garbage},   {"BINARY", ResultFault::Binary},
        {"HUGE", ResultFault::Huge},         {"SIGNALONLY", ResultFault::SignalOnly}};
    for (const auto& [name, fault] : kNames)
        if (value == name)
            return fault;
    ini.warn("Faults", "Result", value,
             "NoResult, NonNumeric, Garbage, Binary, Huge or SignalOnly");
    return ResultFault::None;
}

OrderFault parseOrderFault(const IniReader& ini) {
    std::string value = qelp::ToUpperAscii(ini.text("Faults", "Order"));
    if (value.empty() || value == "NONE")
        return OrderFault::None;
    if (value == "SIGNALFIRST")
        return OrderFault::SignalFirst;
    if (value == "BUSYFIRST")
        return OrderFault::BusyFirst;
    ini.warn("Faults", "Order", value, "SignalFirst or BusyFirst");
    return OrderFault::None;
}

void readFaults(const IniReader& ini, FaultConfig& f) {
    f.onCommand = ini.integer("Faults", "OnCommand", 0, 0, 1 << 30);
    f.onVerb = qelp::ToUpperAscii(ini.text("Faults", "OnVerb"));
    f.neverReady = ini.flag("Faults", "NeverReady", false);
    f.die = parseDiePhase(ini);
    f.hang = ini.flag("Faults", "Hang", false);
    f.result = parseResultFault(ini);
    f.hugeResultBytes = static_cast<size_t>(ini.integer(
        "Faults", "HugeResultBytes", static_cast<int>(f.hugeResultBytes), 1024, 512 * 1024 * 1024));
    f.invalidDialog = ini.flag("Faults", "InvalidDialog", false);
    f.messageBurst = ini.integer("Faults", "MessageBurst", 0, 0, 100);
    if (ini.has("Faults", "ResultCode")) {
        int code = ini.integer("Faults", "ResultCode", 0, -1000000, 1000000);
        if (code != 0)
            f.resultCode = code;
    }
    f.order = parseOrderFault(ini);
    f.keepBusy = ini.flag("Faults", "KeepBusy", false);
    f.ignoreAbort = ini.flag("Faults", "IgnoreAbort", false);
    f.strictCleanup = ini.flag("Faults", "StrictCleanup", false);
}

} // namespace

bool FaultConfig::selects(int commandNumber, std::string_view verb) const {
    if (onCommand != 0 && onCommand != commandNumber)
        return false;
    return onVerb.empty() || qelp::EqualsIgnoreCase(onVerb, verb);
}

std::vector<CanisterConfig> DefaultCanisters() {
    // Sizes, levels and densities of a typical in-store tinting machine; a few canisters
    // run low so that the warning and minimum-level paths show up in a demonstration.
    return {
        {"Titanium White", 4000, 3200, 600, 200, 1.95},
        {"Oxide Yellow", 2000, 1650, 300, 100, 1.70},
        {"Oxide Red", 2000, 1420, 300, 100, 1.85},
        {"Lamp Black", 2000, 1780, 300, 100, 1.25},
        {"Phthalo Blue", 2000, 1210, 300, 100, 1.15},
        {"Phthalo Green", 2000, 960, 300, 100, 1.20},
        {"Organic Yellow", 2000, 1530, 300, 100, 1.15},
        {"Organic Red", 2000, 270, 300, 100, 1.10},
        {"Magenta", 2000, 1340, 300, 100, 1.10},
        {"Violet", 2000, 1120, 300, 100, 1.10},
        {"Raw Umber", 2000, 1890, 300, 100, 1.60},
        {"Burnt Sienna", 2000, 1460, 300, 100, 1.65},
        {"Orange", 2000, 1050, 300, 100, 1.20},
        {"Medium Yellow", 2000, 140, 300, 100, 1.30},
        {"Scarlet Red", 2000, 1610, 300, 100, 1.15},
        {"Ultramarine Blue", 2000, 1370, 300, 100, 1.35},
    };
}

SimConfig ParseSimConfig(std::string_view iniText, const std::string& programDirectory,
                         char localeSeparator) {
    SimConfig config;
    IniReader ini(iniText, config.warnings);

    std::string path = ini.text("Link", "CommandPath");
    if (!path.empty()) {
        // Console configurations carry Windows habits; accept a backslash at the end.
        while (path.size() > 1 && path.back() == '\\')
            path.pop_back();
        if (!qelp::IsAbsolutePath(path))
            path = programDirectory + path;
        config.commandPath = qelp::WithTrailingSeparator(path);
    }
    config.pollIntervalMs = ini.integer("Link", "PollIntervalMs", config.pollIntervalMs, 5, 5000);
    config.useInotify = ini.flag("Link", "UseInotify", config.useInotify);

    std::string separator = ini.text("Machine", "DecimalSeparator");
    if (separator.size() == 1 && (separator == "." || separator == ",")) {
        config.decimalSeparator = separator[0];
    } else {
        if (!separator.empty())
            ini.warn("Machine", "DecimalSeparator", separator, "'.' or ','");
        config.decimalSeparator = localeSeparator;
    }

    MachineConfig& m = config.machine;
    readCanisters(ini, m.canisters, config.warnings);
    m.pumpCount =
        ini.integer("Machine", "PumpCount", static_cast<int>(m.canisters.size()), 0, 1000);
    m.model = ini.text("Machine", "Model", m.model);
    m.firmware = ini.text("Machine", "Firmware", m.firmware);
    m.serialNumber = ini.text("Machine", "SerialNumber", m.serialNumber);
    m.featureCode = ini.integer("Machine", "FeatureCode", m.featureCode, 0, 1 << 30);
    // An explicitly empty password is not expressible in an ini (empty means unset), so
    // "*" stands for "no password at all".
    m.servicePassword = ini.text("Machine", "ServicePassword", m.servicePassword);
    if (m.servicePassword == "*")
        m.servicePassword.clear();
    m.serviceWindowAsks = ini.flag("Machine", "ServiceWindowAsks", m.serviceWindowAsks);
    m.purgeMl = ini.number("Machine", "PurgeMl", m.purgeMl, 0);
    m.cleanMl = ini.number("Machine", "CleanMl", m.cleanMl, 0);
    readTiming(ini, m.timing);
    readFaults(ini, config.faults);
    return config;
}

char LocaleDecimalSeparator() {
    // Only the number category is taken from the environment, and only for this look-up:
    // every formatter in the simulator supplies its separator explicitly.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = previous ? previous : "C";
    char separator = '.';
    if (std::setlocale(LC_NUMERIC, "")) {
        const std::lconv* conv = std::localeconv();
        if (conv && conv->decimal_point && conv->decimal_point[0] != '\0')
            separator = conv->decimal_point[0];
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
    return separator;
}

} // namespace qelpsim
