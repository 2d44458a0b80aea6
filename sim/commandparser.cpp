#include "commandparser.h"

#include "frame/textutil.h"

#include <charconv>
#include <set>

namespace qelpsim {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n' || text[i] == '\r') {
            std::string line = qelp::TrimSpace(text.substr(start, i - start));
            if (!line.empty())
                lines.push_back(std::move(line));
            if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    return lines;
}

// The first word (upper case) and the rest of the line after it, trimmed.
std::pair<std::string, std::string> headAndRest(std::string_view line) {
    size_t end = 0;
    while (end < line.size() && !isBlank(line[end]))
        ++end;
    return {qelp::ToUpperAscii(line.substr(0, end)), qelp::TrimSpace(line.substr(end))};
}

std::string stripQuotes(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return std::string(text.substr(1, text.size() - 2));
    return std::string(text);
}

std::optional<int> parseInt(std::string_view text) {
    int value = 0;
    if (text.empty() || text.front() == '+')
        return std::nullopt;
    auto res = std::from_chars(text.data(), text.data() + text.size(), value);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

// Command files always carry '.' as decimal separator, whatever the console's locale.
std::optional<double> parseAmount(std::string_view text) {
    return qelp::ParseLocaleNumber(text, '.');
}

// Thrown by the line parsers; ParseCommandFile turns it into the refusal text.
struct Refusal {
    std::string reason;
};

[[noreturn]] void refuse(std::string reason) {
    throw Refusal{std::move(reason)};
}

int wantInt(std::string_view word, std::string_view what) {
    std::optional<int> value = parseInt(word);
    if (!value)
        refuse(std::string(what) + " '" + std::string(word) + "' is not a whole number");
    return *value;
}

double wantAmount(std::string_view word, std::string_view what) {
    std::optional<double> value = parseAmount(word);
    if (!value)
        refuse(std::string(what) + " '" + std::string(word) + "' is not a number");
    if (*value < 0)
        refuse(std::string(what) + " " + std::string(word) + " is negative");
    return *value;
}

void wantWordCount(const std::vector<std::string>& words, size_t count, std::string_view usage) {
    if (words.size() != count)
        refuse("usage: " + std::string(usage));
}

Command parseMaintenance(const std::string& verb, const std::string& rest) {
    Command c;
    std::vector<std::string> args = SplitWords(rest);
    if (verb == "RESET") {
        if (args.empty()) {
            c.verb = Verb::Reset;
        } else if (args.size() == 1 && qelp::ToUpperAscii(args[0]) == "HARD") {
            c.verb = Verb::ResetHard;
        } else {
            refuse("usage: @EXT RESET [HARD]");
        }
    } else if (verb == "MACHINE_INFO") {
        c.verb = Verb::MachineInfo;
        std::string kind = args.size() == 1 ? qelp::ToUpperAscii(args[0]) : std::string();
        if (kind == "FEATURES")
            c.info = InfoKind::Features;
        else if (kind == "PUMPCOUNT")
            c.info = InfoKind::PumpCount;
        else if (kind == "CANISTERCOUNT")
            c.info = InfoKind::CanisterCount;
        else if (kind == "CANISTERSIZE")
            c.info = InfoKind::CanisterSize;
        else
            refuse("usage: @EXT MACHINE_INFO FEATURES|PUMPCOUNT|CANISTERCOUNT|CANISTERSIZE");
    } else if (verb == "VERSION") {
        wantWordCount(args, 0, "@EXT VERSION");
        c.verb = Verb::Version;
    } else if (verb == "PURGE" || verb == "CLEAN") {
        wantWordCount(args, 1, "@EXT " + verb + " canister (0 for all)");
        c.verb = verb == "PURGE" ? Verb::Purge : Verb::Clean;
        c.canister = wantInt(args[0], "canister number");
    } else if (verb == "PURGECOL" || verb == "CLEANCOL") {
        c.verb = verb == "PURGECOL" ? Verb::PurgeColorant : Verb::CleanColorant;
        // The console writes the name unquoted and unchanged, blanks included.
        c.text = qelp::TrimSpace(stripQuotes(rest));
        if (c.text.empty())
            refuse("usage: @EXT " + verb + " colorant name");
    } else if (verb == "FILLCANISTER") {
        std::string mode = args.empty() ? std::string() : qelp::ToUpperAscii(args[0]);
        if (mode == "PREPARE") {
            wantWordCount(args, 2, "@EXT FILLCANISTER PREPARE canister");
            c.verb = Verb::FillPrepare;
        } else if (mode == "SET" || mode == "ADD") {
            wantWordCount(args, 3, "@EXT FILLCANISTER " + mode + " canister millilitres");
            c.verb = mode == "SET" ? Verb::FillSet : Verb::FillAdd;
            c.amountMl = wantAmount(args[2], "amount");
        } else {
            refuse("usage: @EXT FILLCANISTER PREPARE|SET|ADD canister [millilitres]");
        }
        c.canister = wantInt(args[1], "canister number");
    } else if (verb == "SHOWSERVICEWINDOW") {
        c.verb = Verb::ServiceWindow;
        c.text = rest; // the password as typed; empty for the default
    } else if (verb == "SETCANCOLNAME") {
        c.verb = Verb::SetColorantName;
        auto [number, name] = headAndRest(rest);
        if (number.empty())
            refuse("usage: @EXT SETCANCOLNAME canister \"name\"");
        c.canister = wantInt(number, "canister number");
        // Everything between the outer quotes is the name, so embedded quotes survive.
        c.text = stripQuotes(name);
        if (qelp::TrimSpace(c.text).empty())
            refuse("SETCANCOLNAME needs a colorant name");
    } else if (verb.empty()) {
        refuse("@EXT without a verb");
    } else {
        refuse("unknown verb " + verb);
    }
    return c;
}

void parseCanLine(const std::string& rest, DoseRecipe& recipe) {
    // The type name may hold blanks, so the two numbers are taken from the end.
    size_t heightStart = rest.find_last_of(" \t");
    if (heightStart == std::string::npos)
        refuse("usage: @CAN \"type\" size height|*UNK");
    std::string head = qelp::TrimSpace(std::string_view(rest).substr(0, heightStart));
    std::string height = rest.substr(heightStart + 1);
    size_t sizeStart = head.find_last_of(" \t");
    if (sizeStart == std::string::npos)
        refuse("usage: @CAN \"type\" size height|*UNK");
    CanDetails can;
    can.type = stripQuotes(qelp::TrimSpace(std::string_view(head).substr(0, sizeStart)));
    can.sizeMl = wantInt(head.substr(sizeStart + 1), "can size");
    if (can.sizeMl <= 0)
        refuse("can size " + std::to_string(can.sizeMl) + " is not positive");
    if (qelp::ToUpperAscii(height) != "*UNK")
        can.height = wantInt(height, "can height");
    recipe.can = can;
}

void parseColorantLine(bool byName, const std::string& rest, DoseRecipe& recipe) {
    recipe.byColorantName = byName;
    std::vector<std::string> words = SplitWords(rest);
    if (words.size() % 2 != 0)
        refuse(std::string(byName ? "@CNT" : "@CNX") + " needs pairs of " +
               (byName ? "colorant name" : "canister") + " and amount");
    for (size_t i = 0; i < words.size(); i += 2) {
        DoseColorant c;
        if (byName)
            c.colorant = words[i];
        else
            c.canister = wantInt(words[i], "canister number");
        c.amount = wantAmount(words[i + 1], "amount");
        recipe.colorants.push_back(std::move(c));
    }
}

Command parseDosing(const std::vector<std::string>& lines) {
    Command c;
    c.verb = Verb::Dose;
    DoseRecipe& r = c.recipe;
    std::set<std::string> seen;
    for (const std::string& line : lines) {
        auto [keyword, rest] = headAndRest(line);
        std::string key = keyword == "@CNX" ? "@CNT" : keyword; // one colorant line only
        if (!seen.insert(key).second)
            refuse(keyword == "@CNX" || keyword == "@CNT" ? "more than one colorant line"
                                                          : keyword + " appears twice");
        std::vector<std::string> words = SplitWords(rest);
        if (keyword == "@WGH") {
            wantWordCount(words, 1, "@WGH 0|1");
            r.unitType = wantInt(words[0], "unit type");
            if (r.unitType != 0 && r.unitType != 1)
                refuse("unit type " + words[0] + " is neither 0 (ML) nor 1 (GR)");
        } else if (keyword == "@UNT") {
            wantWordCount(words, 2, "@UNT size fraction");
            r.unitSize = wantAmount(words[0], "unit size");
            r.unitFraction = wantAmount(words[1], "unit fraction");
            if (r.unitSize <= 0 || r.unitFraction <= 0)
                refuse("unit size and fraction must be greater than 0");
        } else if (keyword == "@LQT") {
            wantWordCount(words, 1, "@LQT cans");
            r.cans = wantInt(words[0], "number of cans");
            if (r.cans < 1)
                refuse("number of cans " + words[0] + " is less than 1");
        } else if (keyword == "@PRD") {
            r.product = stripQuotes(rest);
        } else if (keyword == "@BAS") {
            r.base = stripQuotes(rest);
        } else if (keyword == "@CAN") {
            parseCanLine(rest, r);
        } else if (keyword == "@CNT" || keyword == "@CNX") {
            parseColorantLine(keyword == "@CNT", rest, r);
        } else if (keyword == "@SHL") {
            wantWordCount(words, 3, "@SHL before during after");
            ShelfMoves s{wantInt(words[0], "shelf move"), wantInt(words[1], "shelf move"),
                         wantInt(words[2], "shelf move")};
            if (s.before < -3 || s.during < -3 || s.after < -3)
                refuse("shelf moves below -3 do not exist");
            r.shelf = s;
        } else if (keyword == "@PNC") {
            wantWordCount(words, 1, "@PNC 0|1|2");
            r.punchMode = wantInt(words[0], "punch mode");
            if (r.punchMode < 0 || r.punchMode > 2)
                refuse("punch mode " + words[0] + " is not 0, 1 or 2");
        } else if (keyword == "@EXT") {
            refuse("a maintenance line cannot be part of a recipe");
        } else {
            refuse("unknown keyword " + keyword);
        }
    }
    if (!seen.count("@CNT"))
        refuse("the recipe has no @CNT or @CNX line");
    return c;
}

std::string verbNameOf(const std::vector<std::string>& body) {
    if (body.empty())
        return "EMPTY";
    auto [keyword, rest] = headAndRest(body.front());
    if (keyword == "@EXT")
        return headAndRest(rest).first;
    return "DOSE";
}

} // namespace

std::vector<std::string> SplitWords(std::string_view line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i >= line.size())
            break;
        if (line[i] == '"') {
            size_t close = i + 1;
            while (close < line.size() &&
                   !(line[close] == '"' && (close + 1 == line.size() || isBlank(line[close + 1]))))
                ++close;
            words.emplace_back(line.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            size_t end = i;
            while (end < line.size() && !isBlank(line[end]))
                ++end;
            words.emplace_back(line.substr(i, end - i));
            i = end;
        }
    }
    return words;
}

ParsedCommand ParseCommandFile(std::string_view text) {
    ParsedCommand parsed;
    std::vector<std::string> lines = splitLines(text);
    bool framed = lines.size() >= 2 && qelp::ToUpperAscii(lines.front()) == "@RUN" &&
                  qelp::ToUpperAscii(lines.back()) == "@END";
    if (framed)
        parsed.lines.assign(lines.begin() + 1, lines.end() - 1);
    else
        parsed.lines = lines;
    parsed.verbName = verbNameOf(parsed.lines);
    if (lines.empty()) {
        parsed.error = "the command file is empty";
        return parsed;
    }
    if (!framed) {
        parsed.error = qelp::ToUpperAscii(lines.front()) != "@RUN"
                           ? "the command file does not start with @RUN"
                           : "the command file does not end with @END";
        return parsed;
    }
    if (parsed.lines.empty()) {
        parsed.error = "the command file holds no command";
        return parsed;
    }
    try {
        auto [keyword, rest] = headAndRest(parsed.lines.front());
        if (keyword == "@EXT") {
            if (parsed.lines.size() != 1)
                refuse("a maintenance command takes exactly one line");
            auto [verb, args] = headAndRest(rest);
            parsed.command = parseMaintenance(verb, args);
        } else {
            parsed.command = parseDosing(parsed.lines);
        }
    } catch (const Refusal& refusal) {
        parsed.error = refusal.reason;
        parsed.command.reset();
    }
    return parsed;
}

} // namespace qelpsim
