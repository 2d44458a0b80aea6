#include "frame/profile.h"

#include "frame/profileindex.h"

#include "frame/codepage.h"
#include "frame/fileio.h"
#include "frame/textutil.h"

namespace qelp::profile {

namespace {

struct LineRef {
    size_t start = 0; // first byte of the line
    size_t end = 0;   // one past the last byte before the terminator
    size_t next = 0;  // first byte of the next line
};

// Calls f(line) for every line; lines end at CR LF, LF or a lone CR. f returns false to stop.
template <class F> void forEachLine(std::string_view text, F&& f) {
    size_t pos = 0;
    while (pos < text.size()) {
        LineRef line;
        line.start = pos;
        size_t i = pos;
        while (i < text.size() && text[i] != '\r' && text[i] != '\n')
            ++i;
        line.end = i;
        if (i < text.size()) {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                i += 2;
            else
                ++i;
        }
        line.next = i;
        pos = i;
        if (!f(line))
            return;
    }
}

// White space as the Win32 reader trims it from names and values in the file: every space
// byte, Ctrl-Z included. Control bytes inside a value stay.
constexpr std::string_view kFileSpace = " \t\n\v\f\r\x1a";
// What is trimmed from the names a caller passes, and from the front of a value it writes.
constexpr std::string_view kBlanks = " \t";

std::string trim(std::string_view text, std::string_view chars) {
    const size_t first = text.find_first_not_of(chars);
    if (first == std::string_view::npos)
        return {};
    return std::string(text.substr(first, text.find_last_not_of(chars) - first + 1));
}

// Section name of a header line, or nothing for other lines. The name is the text between
// the first '[' and the last ']' of the line, trimmed; a '[' line without ']' is no header.
bool sectionNameOf(std::string_view content, std::string& name) {
    const size_t open = content.find_first_not_of(kFileSpace);
    if (open == std::string_view::npos || content[open] != '[')
        return false;
    const size_t close = content.rfind(']');
    if (close == std::string_view::npos || close < open)
        return false;
    name = trim(content.substr(open + 1, close - open - 1), kFileSpace);
    return true;
}

// A key line: the key is the text before the first "=", the value the text after it, both
// trimmed. A non-blank line without "=" names a key that has no value: a lookup finds it and
// reads it as empty, so it hides a later line of the same key as any first duplicate does,
// and a write gives it its "=" and value.
bool keyLineOf(std::string_view content, std::string& key, std::string& value,
               bool* hasValue = nullptr) {
    const size_t eq = content.find('=');
    if (hasValue)
        *hasValue = eq != std::string_view::npos;
    if (eq == std::string_view::npos) {
        key = trim(content, kFileSpace);
        value.clear();
        return !key.empty();
    }
    key = trim(content.substr(0, eq), kFileSpace);
    value = trim(content.substr(eq + 1), kFileSpace);
    return true;
}

// A file's encoding, as its first bytes mark it. A driver built on .NET writes UTF-8 or
// UTF-16LE with a byte-order mark; everything else is the single-byte code page.
enum class Encoding { Ansi, Utf8, Utf16 };
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16Mark = "\xFF\xFE";

// UTF-16LE to UTF-8, one unit at a time: a surrogate, paired or not, keeps its own
// three-byte form. A file written back thus holds exactly the units it held, and a reader
// in the single-byte code page gets one "?" per unit, as the system's ANSI functions give
// for a character outside the Basic Multilingual Plane. An odd last byte is no unit and is
// dropped.
std::string utf16ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        AppendUtf8(out, static_cast<uint32_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return out;
}

// The way back; only ever given text that utf16ToUtf8 or the code-page conversion made.
std::string utf8ToUtf16(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    auto unit = [&](uint32_t u) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    };
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const int extra = c < 0x80 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
        if (extra < 0 || i + static_cast<size_t>(extra) >= text.size()) {
            unit(0xFFFD);
            ++i;
            continue;
        }
        uint32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + static_cast<size_t>(k)]) & 0x3F);
        i += static_cast<size_t>(extra) + 1;
        if (cp >= 0x10000) {
            unit(0xD800 + ((cp - 0x10000) >> 10));
            unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

// A file's text in a form the line rules apply to: the single-byte bytes as they are, the
// other encodings as UTF-8 without their mark.
struct Decoded {
    Encoding encoding = Encoding::Ansi;
    std::string text;
};

Decoded decode(std::string_view bytes) {
    if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark)
        return {Encoding::Utf8, std::string(bytes.substr(kUtf8Mark.size()))};
    if (bytes.substr(0, kUtf16Mark.size()) == kUtf16Mark)
        return {Encoding::Utf16, utf16ToUtf8(bytes.substr(kUtf16Mark.size()))};
    return {Encoding::Ansi, std::string(bytes)};
}

std::string encode(const Decoded& file) {
    switch (file.encoding) {
    case Encoding::Utf8:
        return std::string(kUtf8Mark) + file.text;
    case Encoding::Utf16:
        return std::string(kUtf16Mark) + utf8ToUtf16(file.text);
    case Encoding::Ansi:
        break;
    }
    return file.text;
}

// What a reader sees: the file's text in the single-byte code page, as the Win32 reader
// hands values to a program that uses that code page. The system converts one UTF-16 unit
// at a time, so a character outside the Basic Multilingual Plane (two units) reads as "??"
// from a UTF-8 file as from a UTF-16 one; elsewhere such a character is one "?".
std::string readableText(std::string_view bytes) {
    Decoded file = decode(bytes);
    if (file.encoding == Encoding::Ansi)
        return std::move(file.text);
    const std::string_view text = file.text;
    std::string out;
    size_t from = 0;
    for (size_t i = 0; i + 3 < text.size(); ++i) {
        const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
        if ((byte(0) & 0xF8) == 0xF0 && (byte(1) & 0xC0) == 0x80 && (byte(2) & 0xC0) == 0x80 &&
            (byte(3) & 0xC0) == 0x80) {
            out += Utf8ToCp1252(text.substr(from, i - from)) + "??";
            from = i + 4;
            i += 3;
        }
    }
    return out + Utf8ToCp1252(text.substr(from));
}

// A caller's text (single-byte code page) in the file's own encoding.
std::string inEncodingOf(const Decoded& file, std::string_view text) {
    return file.encoding == Encoding::Ansi ? std::string(text) : Cp1252ToUtf8(text);
}

std::string unquote(std::string value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

} // namespace

FileIndex buildIndex(std::string_view bytes) {
    FileIndex index;
    const std::string text = readableText(bytes);
    // Keys above the first header belong to the section without a name.
    std::map<std::string, std::string>* current = &index.sections[std::string()];
    forEachLine(text, [&](const LineRef& line) {
        std::string_view content = std::string_view(text).substr(line.start, line.end - line.start);
        std::string name, key, value;
        if (sectionNameOf(content, name)) {
            auto [it, fresh] = index.sections.try_emplace(ToUpperAscii(name));
            current = fresh ? &it->second : nullptr;
            if (fresh)
                index.bytes += kIndexNodeBytes + name.size();
        } else if (current && keyLineOf(content, key, value)) {
            if (current->try_emplace(ToUpperAscii(key), unquote(value)).second)
                index.bytes += kIndexNodeBytes + key.size() + value.size();
        }
        return true;
    });
    return index;
}

std::string findInIndex(const FileIndex& index, std::string_view section, std::string_view key) {
    auto s = index.sections.find(ToUpperAscii(trim(section, kBlanks)));
    if (s == index.sections.end())
        return {};
    auto k = s->second.find(ToUpperAscii(trim(key, kBlanks)));
    return k == s->second.end() ? std::string() : k->second;
}

std::string LookupInText(std::string_view bytes, std::string_view section, std::string_view key) {
    const std::string text = readableText(bytes);
    const std::string wantedSection = trim(section, kBlanks);
    const std::string wantedKey = trim(key, kBlanks);
    // The lines above the first header are the section without a name, and come first.
    bool inSection = wantedSection.empty();
    bool seenSection = inSection;
    std::string result;
    forEachLine(text, [&](const LineRef& line) {
        std::string_view content = std::string_view(text).substr(line.start, line.end - line.start);
        std::string name, k, v;
        if (sectionNameOf(content, name)) {
            if (seenSection)
                return false; // only the first section of that name counts
            inSection = EqualsIgnoreCase(name, wantedSection);
            seenSection = inSection;
            return true;
        }
        if (inSection && keyLineOf(content, k, v) && EqualsIgnoreCase(k, wantedKey)) {
            result = unquote(v);
            return false;
        }
        return true;
    });
    return result;
}

namespace {
// The program's cut of a raw value: what a 100-character buffer holds, NULs removed, blanks
// trimmed.
std::string programValue(std::string value) {
    if (value.size() > 99)
        value.resize(99);
    return TrimBlanks(RemoveNuls(value));
}
} // namespace

std::string ReadProfileString(std::string_view section, std::string_view key,
                              const std::string& file) {
    return programValue(GetPrivateProfileValue(section, key, file, 100));
}

struct ProfileSnapshot::Index {
    FileIndex file;
};

ProfileSnapshot::ProfileSnapshot(std::string_view text) : m_index(new Index{buildIndex(text)}) {}

ProfileSnapshot::~ProfileSnapshot() {
    delete m_index;
}

std::string ProfileSnapshot::Read(std::string_view section, std::string_view key) const {
    return programValue(findInIndex(m_index->file, section, key));
}

namespace {

// Where a section lies in a text: the first byte after its header line (0 for the section
// without a name), the first byte of the next header (or the end), and the byte after the
// section's last non-blank line with whether that line was terminated.
struct SectionSpan {
    bool found = false;
    size_t header = 0;
    size_t body = 0;
    size_t end = 0;
    size_t contentEnd = 0;
    bool contentTerminated = true;
};

SectionSpan findSection(std::string_view text, std::string_view section) {
    SectionSpan span;
    span.end = text.size();
    bool inSection = section.empty();
    span.found = inSection;
    forEachLine(text, [&](const LineRef& line) {
        std::string_view content = text.substr(line.start, line.end - line.start);
        std::string name;
        if (sectionNameOf(content, name)) {
            if (inSection) {
                span.end = line.start;
                return false;
            }
            if (EqualsIgnoreCase(name, section)) {
                inSection = span.found = true;
                span.header = line.start;
                span.body = span.contentEnd = line.next;
                span.contentTerminated = line.next > line.end;
            }
            return true;
        }
        if (inSection && !trim(content, kFileSpace).empty()) {
            span.contentEnd = line.next;
            span.contentTerminated = line.next > line.end;
        }
        return true;
    });
    return span;
}

// The key's line inside the span, if any: the first of duplicates.
bool findKey(std::string_view text, const SectionSpan& span, std::string_view key, LineRef& at,
             std::string& spelling, std::string& value, bool* hasValue = nullptr) {
    bool found = false;
    const std::string_view body = text.substr(0, span.end);
    forEachLine(body.substr(span.body), [&](const LineRef& rel) {
        LineRef line{rel.start + span.body, rel.end + span.body, rel.next + span.body};
        std::string k, v;
        if (keyLineOf(text.substr(line.start, line.end - line.start), k, v, hasValue) &&
            EqualsIgnoreCase(k, key)) {
            at = line;
            spelling = k;
            value = v;
            found = true;
            return false;
        }
        return true;
    });
    return found;
}

// Sets the key in decoded text; names and value come trimmed and in the text's encoding.
std::string setIn(std::string_view text, const std::string& section, const std::string& key,
                  const std::string& value) {
    const SectionSpan span = findSection(text, section);
    LineRef line;
    std::string spelling, old;
    bool hasValue = false;
    if (span.found && findKey(text, span, key, line, spelling, old, &hasValue)) {
        if (hasValue && old == value)
            return std::string(text); // already holds it: the file stays as it is
        // The key keeps its spelling in the file, as with the Win32 writer.
        std::string out(text.substr(0, line.start));
        out += spelling + "=" + value;
        out.append(text.substr(line.end));
        return out;
    }
    const std::string newLine = key + "=" + value + "\r\n";
    if (span.found) {
        std::string out(text.substr(0, span.contentEnd));
        if (!span.contentTerminated)
            out += "\r\n";
        out += newLine;
        out.append(text.substr(span.contentEnd));
        return out;
    }
    std::string out(text);
    if (!out.empty() && out.back() != '\n' && out.back() != '\r')
        out += "\r\n";
    out += "[" + section + "]\r\n" + newLine;
    return out;
}

std::string deleteIn(std::string_view text, const std::string& section,
                     const std::optional<std::string>& key) {
    const SectionSpan span = findSection(text, section);
    if (!span.found)
        return std::string(text);
    if (!key) {
        // The header and every line up to the next header go.
        std::string out(text.substr(0, span.header));
        out.append(text.substr(span.end));
        return out;
    }
    LineRef line;
    std::string spelling, value;
    if (!findKey(text, span, *key, line, spelling, value))
        return std::string(text);
    std::string out(text.substr(0, line.start));
    out.append(text.substr(line.next));
    return out;
}

// Applies an edit to a file's bytes in the file's own encoding, its mark kept.
template <class Edit> std::string editBytes(std::string_view bytes, Edit edit) {
    Decoded file = decode(bytes);
    file.text = edit(file);
    return encode(file);
}

} // namespace

std::string SetInText(std::string_view bytes, std::string_view section, std::string_view key,
                      std::string_view value) {
    return editBytes(bytes, [&](const Decoded& file) {
        // Names are trimmed, and so is the front of the value, before anything is compared.
        const size_t first = value.find_first_not_of(kBlanks);
        const std::string_view front =
            first == std::string_view::npos ? std::string_view() : value.substr(first);
        return setIn(file.text, inEncodingOf(file, trim(section, kBlanks)),
                     inEncodingOf(file, trim(key, kBlanks)), inEncodingOf(file, front));
    });
}

std::string DeleteInText(std::string_view bytes, std::string_view section,
                         std::optional<std::string_view> key) {
    return editBytes(bytes, [&](const Decoded& file) {
        std::optional<std::string> wantedKey;
        if (key)
            wantedKey = inEncodingOf(file, trim(*key, kBlanks));
        return deleteIn(file.text, inEncodingOf(file, trim(section, kBlanks)), wantedKey);
    });
}

} // namespace qelp::profile
