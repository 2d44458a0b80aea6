#include "frame/registry.h"

#include "frame/fileio.h"
#include "frame/textutil.h"

#include <cctype>
#include <cstdio>
#include <optional>

namespace qelp {

namespace {

constexpr const char* kRootName = "HKEY_LOCAL_MACHINE";

// One logical line of the file: a value may continue over several physical lines.
struct Logical {
    size_t start = 0;
    size_t end = 0; // one past the last byte before the final terminator
    std::string text;
};

// The data part of a value line ("name"=data or @=data), or nothing for other lines.
std::optional<std::string> valueData(const std::string& line);

bool isHexData(const std::string& line) {
    std::optional<std::string> data = valueData(line);
    return data && data->size() >= 3 && ToUpperAscii(data->substr(0, 3)) == "HEX";
}

// A physical line that can carry on a hex value: hex bytes, commas and blanks only.
bool isHexContinuation(const std::string& trimmed) {
    for (char c : trimmed)
        if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ',' && c != ' ' && c != '\t' &&
            c != '\\')
            return false;
    return true;
}

std::vector<Logical> splitLogical(const std::string& text) {
    std::vector<Logical> lines;
    size_t pos = 0;
    bool continuing = false;
    while (pos < text.size()) {
        size_t i = pos;
        while (i < text.size() && text[i] != '\r' && text[i] != '\n')
            ++i;
        std::string piece = text.substr(pos, i - pos);
        size_t next = i;
        if (next < text.size())
            next +=
                (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n') ? 2 : 1;
        std::string trimmed = TrimSpace(piece);
        // Only hex data continues, and only onto lines of hex data: an export cut off after
        // a "\" must not swallow the value written after it.
        if (continuing && !trimmed.empty() && isHexContinuation(trimmed)) {
            lines.back().text += trimmed;
            lines.back().end = i;
        } else {
            lines.push_back({pos, i, trimmed});
        }
        Logical& cur = lines.back();
        continuing = !cur.text.empty() && cur.text.back() == '\\' && isHexData(cur.text);
        if (continuing)
            cur.text.pop_back();
        pos = next;
    }
    return lines;
}

// Reads a quoted string at text[i] (which must be '"'); i ends after the closing quote.
bool readQuoted(const std::string& text, size_t& i, std::string& out) {
    if (i >= text.size() || text[i] != '"')
        return false;
    ++i;
    out.clear();
    while (i < text.size()) {
        char c = text[i++];
        if (c == '\\' && i < text.size()) {
            out.push_back(text[i++]);
        } else if (c == '"') {
            return true;
        } else {
            out.push_back(c);
        }
    }
    return false;
}

std::optional<std::string> valueData(const std::string& line) {
    size_t i = 0;
    std::string name;
    if (line.empty())
        return std::nullopt;
    if (line[0] == '@')
        i = 1;
    else if (!readQuoted(line, i, name))
        return std::nullopt;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    if (i >= line.size() || line[i] != '=')
        return std::nullopt;
    ++i;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    return line.substr(i);
}

bool keyHeader(const std::string& line, std::string& key) {
    if (line.size() < 2 || line.front() != '[' || line.back() != ']')
        return false;
    key = line.substr(1, line.size() - 2);
    return true;
}

// Parses a value line; false for lines that are not values.
bool parseValue(const std::string& line, RegistryValue& value) {
    std::optional<std::string> found = valueData(line);
    if (!found)
        return false;
    size_t n = 0;
    value.name.clear();
    if (line[0] != '@')
        readQuoted(line, n, value.name);
    const std::string& data = *found;
    if (!data.empty() && data[0] == '"') {
        size_t j = 0;
        if (!readQuoted(data, j, value.text))
            return false;
        value.type = RegistryValue::Type::Text;
        return true;
    }
    std::string upper = ToUpperAscii(data);
    if (upper.rfind("DWORD:", 0) == 0) {
        std::string hex = TrimSpace(data.substr(6));
        if (hex.empty() || hex.size() > 8)
            return false;
        uint32_t v = 0;
        for (char c : hex) {
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                return false;
            v = v * 16 + static_cast<uint32_t>(d);
        }
        value.type = RegistryValue::Type::Dword;
        value.dword = v;
        return true;
    }
    if (upper.rfind("HEX", 0) == 0) {
        value.type = RegistryValue::Type::Other;
        return true;
    }
    return false; // "-" (a deletion) and anything unknown hold no value
}

std::string fullKey(const std::string& keyPath) {
    return std::string(kRootName) + "\\" + keyPath;
}

std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

} // namespace

RegistryStore::RegistryStore(std::string filePath, std::function<void(const std::string&)> notice)
    : m_filePath(std::move(filePath)), m_notice(std::move(notice)) {}

bool RegistryStore::load(std::string& text) const {
    const fileio::ReadResult read = fileio::ReadFileChecked(m_filePath, text);
    if (read == fileio::ReadResult::TooLarge && m_notice)
        m_notice(fileio::RefusalText(read, m_filePath));
    return read == fileio::ReadResult::Ok;
}

namespace {
std::vector<RegistryValue> parseStore(const std::string& text) {
    std::vector<RegistryValue> values;
    std::string key;
    for (const Logical& line : splitLogical(text)) {
        std::string header;
        if (keyHeader(line.text, header)) {
            key = header;
            continue;
        }
        RegistryValue value;
        if (!key.empty() && parseValue(line.text, value)) {
            value.key = key;
            values.push_back(value);
        }
    }
    return values;
}

// The first occurrence wins, as when the file is imported into a real registry in order
// would not; but a hand-edited file with duplicates is ambiguous, and taking the first is
// what the profile files do as well.
const RegistryValue* find(const std::vector<RegistryValue>& values, const std::string& wanted,
                          const std::string& name) {
    for (const RegistryValue& v : values)
        if (EqualsIgnoreCase(v.key, wanted) && EqualsIgnoreCase(v.name, name))
            return &v;
    return nullptr;
}

std::string asText(const RegistryValue* v) {
    if (!v)
        return {};
    switch (v->type) {
    case RegistryValue::Type::Text:
        return v->text;
    case RegistryValue::Type::Dword:
        return std::to_string(static_cast<int32_t>(v->dword));
    default:
        return {};
    }
}
} // namespace

std::vector<RegistryValue> RegistryStore::List() const {
    std::string text;
    load(text);
    return parseStore(text);
}

std::optional<RegistryValue> RegistryStore::Read(const std::string& keyPath,
                                                 const std::string& name) const {
    const std::vector<RegistryValue> values = List();
    if (const RegistryValue* v = find(values, fullKey(keyPath), name))
        return *v;
    return std::nullopt;
}

std::string RegistryStore::ReadAsText(const std::string& keyPath, const std::string& name) const {
    return ReadAsTexts(keyPath, {name}).front();
}

std::vector<std::string> RegistryStore::ReadAsTexts(const std::string& keyPath,
                                                    const std::vector<std::string>& names) const {
    const std::vector<RegistryValue> values = List();
    std::vector<std::string> texts;
    for (const std::string& name : names)
        texts.push_back(asText(find(values, fullKey(keyPath), name)));
    return texts;
}

bool RegistryStore::WriteText(const std::string& keyPath, const std::string& name,
                              const std::string& value) {
    return writeLine(keyPath, name, "\"" + escape(name) + "\"=\"" + escape(value) + "\"");
}

bool RegistryStore::WriteDword(const std::string& keyPath, const std::string& name,
                               uint32_t value) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08x", value);
    return writeLine(keyPath, name, "\"" + escape(name) + "\"=dword:" + hex);
}

bool RegistryStore::writeLine(const std::string& keyPath, const std::string& name,
                              const std::string& newLine) {
    // A store that is there but cannot be taken in is never overwritten blindly.
    std::string text;
    if (fileio::IsRegularFile(m_filePath) && !load(text))
        return false;
    const std::string wanted = fullKey(keyPath);
    std::vector<Logical> lines = splitLogical(text);
    bool inKey = false;
    bool keyFound = false;
    size_t insertAt = std::string::npos;
    std::string out;
    bool done = false;
    for (const Logical& line : lines) {
        std::string header;
        if (keyHeader(line.text, header)) {
            if (inKey)
                break;
            if (!keyFound && EqualsIgnoreCase(header, wanted)) {
                inKey = keyFound = true;
                insertAt = line.end;
            }
            continue;
        }
        if (!inKey)
            continue;
        RegistryValue value;
        if (parseValue(line.text, value) && EqualsIgnoreCase(value.name, name)) {
            out = text.substr(0, line.start) + newLine + text.substr(line.end);
            done = true;
            break;
        }
        if (!line.text.empty())
            insertAt = line.end;
    }
    if (!done) {
        if (keyFound) {
            out = text.substr(0, insertAt) + "\r\n" + newLine + text.substr(insertAt);
        } else {
            out = text;
            if (out.empty())
                out = "REGEDIT4\r\n";
            else if (out.back() != '\n' && out.back() != '\r')
                out += "\r\n";
            out += "\r\n[" + wanted + "]\r\n" + newLine + "\r\n";
        }
    }
    // Through an administrator's link the target is replaced and the link stays a link.
    return fileio::WriteFileReplacing(fileio::ResolveLinks(m_filePath), out);
}

} // namespace qelp
