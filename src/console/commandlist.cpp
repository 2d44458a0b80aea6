#include "console/commandlist.h"

namespace qelp {

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}
} // namespace

std::vector<std::string> ParseCommandFileList(std::string_view text) {
    std::vector<std::string> entries;
    size_t pos = 0;
    const size_t n = text.size();
    while (pos < n) {
        while (pos < n && IsBlank(text[pos]))
            ++pos;
        std::string entry;
        if (pos < n && text[pos] == '"') {
            // Quoted: up to the closing quote. A quote left open ends at the line end, so
            // that one missing quote cannot swallow the rest of the list.
            size_t end = pos + 1;
            while (end < n && text[end] != '"' && !IsLineEnd(text[end]))
                ++end;
            entry.assign(text.substr(pos + 1, end - pos - 1));
            pos = end < n && text[end] == '"' ? end + 1 : end;
            // Whatever stands between the closing quote and the next separator is not part
            // of any path (a stray blank, mostly) and is passed over.
            while (pos < n && text[pos] != ',' && !IsLineEnd(text[pos]))
                ++pos;
        } else {
            size_t end = pos;
            while (end < n && text[end] != ',' && !IsLineEnd(text[end]))
                ++end;
            entry.assign(text.substr(pos, end - pos));
            pos = end;
            // Trailing blanks of an unquoted entry are dropped: a blank before the comma is
            // far more likely a typing habit than part of a file name; a path that really
            // ends in a blank can be quoted.
            while (!entry.empty() && IsBlank(entry.back()))
                entry.pop_back();
        }
        if (pos < n && text[pos] == ',')
            ++pos;
        else if (pos < n && text[pos] == '\r')
            pos += (pos + 1 < n && text[pos + 1] == '\n') ? 2 : 1;
        else if (pos < n && text[pos] == '\n')
            ++pos;
        bool blank = true;
        for (char c : entry)
            blank = blank && IsBlank(c);
        if (!blank)
            entries.push_back(entry);
    }
    return entries;
}

} // namespace qelp
