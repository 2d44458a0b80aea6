#include "answers.h"

#include "frame/textutil.h"

namespace qelpsim {

namespace {

void section(std::string& out, std::string_view name) {
    out += "[";
    out += name;
    out += "]\r\n";
}

void entry(std::string& out, std::string_view key, std::string_view value) {
    out += key;
    out += "=";
    out += value;
    out += "\r\n";
}

void numberedTexts(std::string& out, std::string_view name, std::string_view prefix,
                   const std::vector<std::string>& texts) {
    if (texts.empty())
        return;
    section(out, name);
    for (size_t i = 0; i < texts.size(); ++i)
        entry(out, std::string(prefix) + std::to_string(i + 1), texts[i]);
}

} // namespace

std::string RenderResultFile(const CommandResult& result, char decimalSeparator) {
    auto number = [decimalSeparator](double v) { return qelp::FormatGeneral(v, decimalSeparator); };
    std::string out;
    section(out, "General");
    entry(out, "RESULT", std::to_string(result.code));
    entry(out, "OUTPUT", result.output);
    if (!result.canisters.empty()) {
        section(out, "CanisterContents");
        for (const CanisterReport& c : result.canisters) {
            std::string key = "Canister_" + std::to_string(c.id);
            entry(out, key + "_ml", number(c.contentMl));
            entry(out, key + "_size_ml", number(c.sizeMl));
            entry(out, key + "_warn_ml", number(c.warnMl));
            entry(out, key + "_min_ml", number(c.minMl));
            entry(out, key + "_dosed_ul", number(c.dosedUl));
            entry(out, key + "_colorantName", c.colorant);
        }
    }
    numberedTexts(out, "Features", "Text", result.features);
    numberedTexts(out, "Errorlog", "Error", result.errors);
    numberedTexts(out, "Version", "Text", result.versions);
    return out;
}

std::string RenderMessageFile(const OperatorMessage& message) {
    std::string out;
    section(out, "Msg");
    entry(out, "DlgType", message.dialogType);
    entry(out, "Msg", message.text);
    entry(out, "Buttons", std::to_string(message.buttons));
    entry(out, "Code", std::to_string(message.code));
    section(out, "MsgValues");
    entry(out, "Count", std::to_string(message.parameters.size()));
    for (size_t i = 0; i < message.parameters.size(); ++i)
        entry(out, "Parm" + std::to_string(i + 1), message.parameters[i]);
    return out;
}

} // namespace qelpsim
