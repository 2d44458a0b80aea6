#include "replies/resultfile.h"

#include "exchange/exchange.h"
#include "frame/eventlog.h"
#include "frame/profile.h"
#include "frame/program.h"
#include "frame/textutil.h"

#include <limits>
#include <string>
#include <vector>

namespace qelp {

namespace {

// The three text lists of a result are capped; the canister list is not.
constexpr int kMaxFeatureLines = 100;
constexpr int kMaxErrorLogLines = 50;
constexpr int kMaxVersionLines = 100;

class ResultReader {
public:
    // The signalled result is complete and the driver no longer writes it, so it is read
    // once and its keys are looked up in memory, by the same rules as a profile read.
    explicit ResultReader(Program& program)
        : m_program(program), m_path(ExchangeDataPath(program, SlotResult)),
          m_found(ReadExchangeFile(program, m_path, m_bytes)), m_file(m_bytes) {}

    // Copies the result into the log from the same read.
    void log() { LogFileBytes(m_program, m_path, m_found ? &m_bytes : nullptr); }

    const std::string& path() const { return m_path; }

    std::string read(const char* section, const std::string& key) {
        return m_file.Read(section, key);
    }

    // A canister figure in the user's number format. A missing key counts as 0 without a
    // word: a driver may leave out the levels it does not know. A value that is there but
    // is no number also counts as 0, so one bad figure neither ends the program nor throws
    // away the rest of the result (the result code stays the driver's); it gets one log
    // line that names the key and the text, because a 0 level is easy to mistake for real.
    double number(const std::string& key) {
        const std::string text = read("CanisterContents", key);
        if (text.empty())
            return 0;
        if (const auto value = ParseLocaleNumber(text, m_program.session.decimalSeparator,
                                                 m_program.session.groupSeparator))
            return *value;
        WriteLogLine(m_program, "Warning: Result value " + key + "=\"" + text +
                                    "\" is not a number; counted as 0");
        return 0;
    }

    // Reads key1, key2, ... up to the cap, stopping at the first empty value.
    std::vector<std::string> lines(const char* section, const char* keyPrefix, int cap) {
        std::vector<std::string> out;
        for (int i = 1; i <= cap; ++i) {
            std::string value = read(section, keyPrefix + std::to_string(i));
            if (value.empty())
                break;
            out.push_back(std::move(value));
        }
        return out;
    }

private:
    Program& m_program;
    std::string m_path;
    std::string m_bytes; // a missing result reads as empty values
    bool m_found;
    profile::ProfileSnapshot m_file;
};

void ReadResultCode(Program& program, ResultReader& reader) {
    program.result.driverResultCode = -1;
    const std::string code = reader.read("General", "RESULT");
    if (const auto value = ParseDigits32(code)) {
        program.result.driverResultCode = *value;
    } else if (IsAllDigits(code)) {
        // Digits beyond the 32-bit signed range: no usable code, the same -1 as any other
        // malformed value. Worth a line, since the driver did mean a number.
        WriteLogLine(program, "Warning: Result code " + code + " is out of range; read as -1");
    }
}

void ReadCanisters(Program& program, ResultReader& reader) {
    program.result.resultCanisters.clear();
    // The list is as long as the "_ml" keys run without a gap; a file cannot hold more
    // keys than it has bytes, so the loop ends (the numbering ends at the 32-bit limit).
    for (int32_t i = 1; i < std::numeric_limits<int32_t>::max(); ++i) {
        const std::string prefix = "Canister_" + std::to_string(i);
        if (reader.read("CanisterContents", prefix + "_ml").empty())
            break;
        CanisterState can;
        can.canId = i; // the number in the key, not a value from the file
        can.pasteId = 0;
        can.contentMl = reader.number(prefix + "_ml");
        can.sizeMl = reader.number(prefix + "_size_ml");
        can.warnMl = reader.number(prefix + "_warn_ml");
        can.minMl = reader.number(prefix + "_min_ml");
        can.dosedUl = reader.number(prefix + "_dosed_ul");
        can.colorantName = reader.read("CanisterContents", prefix + "_colorantName");
        program.result.resultCanisters.push_back(std::move(can));
    }
}

// Carries content and dosed amount of every listed canister into the console's table.
// Canisters the table does not know are not added; table entries the result does not list
// keep everything, their dosed amount included.
void MergeIntoCanisterTable(Program& program) {
    if (program.canisters.canisterTable.empty() || program.result.resultCanisters.empty())
        return;
    const char sep = program.session.decimalSeparator;
    for (const CanisterState& r : program.result.resultCanisters) {
        CanisterState* t = FindCanister(program.canisters.canisterTable, r.canId);
        if (!t)
            continue;
        if (t->contentMl != r.contentMl) {
            WriteLogLine(program, "Content in CanID " + std::to_string(r.canId) + " changed to " +
                                      FormatGeneral(r.contentMl, sep));
        }
        t->contentMl = r.contentMl;
        t->dosedUl = r.dosedUl;
        if (r.dosedUl != 0) {
            WriteLogLine(program, "Dosed UL in last command for CanID " + std::to_string(r.canId) +
                                      " was " + FormatGeneral(r.dosedUl, sep));
        }
    }
}

} // namespace

void ReadResultFile(Program& program) {
    ResultReader reader(program);
    reader.log();

    ReadResultCode(program, reader);
    program.result.commandOutput = reader.read("General", "OUTPUT");
    ReadCanisters(program, reader);
    MergeIntoCanisterTable(program);
    program.result.featureLines = reader.lines("Features", "Text", kMaxFeatureLines);
    program.result.errorLogLines = reader.lines("Errorlog", "Error", kMaxErrorLogLines);
    program.result.versionLines = reader.lines("Version", "Text", kMaxVersionLines);

    DeleteExchangePair(program, SlotResult);
}

void TakeReportedColorantNames(ProgramState& program) {
    for (const CanisterState& reported : program.result.resultCanisters)
        if (CanisterState* entry = FindCanister(program.canisters.canisterTable, reported.canId))
            entry->colorantName = reported.colorantName;
}

} // namespace qelp
