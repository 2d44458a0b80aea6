#include "frame/textutil.h"

#include <charconv>
#include <cmath>

namespace qelp {

std::string DirectoryOf(std::string_view path) {
    size_t at = path.rfind(kPathSeparator);
    if (at == std::string_view::npos)
        return std::string(path);
    return std::string(path.substr(0, at + 1));
}

std::string FileNameOf(std::string_view path) {
    size_t at = path.rfind(kPathSeparator);
    if (at == std::string_view::npos)
        return std::string(path);
    return std::string(path.substr(at + 1));
}

bool IsAllDigits(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

std::optional<int32_t> ParseDigits32(std::string_view text) {
    if (!IsAllDigits(text))
        return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        value = value * 10 + (c - '0');
        if (value > INT32_MAX)
            return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

std::string ToUpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

static std::string trimChars(std::string_view text, std::string_view chars) {
    size_t first = text.find_first_not_of(chars);
    if (first == std::string_view::npos)
        return {};
    size_t last = text.find_last_not_of(chars);
    return std::string(text.substr(first, last - first + 1));
}

std::string TrimBlanks(std::string_view text) {
    return trimChars(text, " ");
}
std::string TrimSpace(std::string_view text) {
    return trimChars(text, " \t");
}

std::string RemoveNuls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\0')
            out.push_back(c);
    return out;
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    if (from.empty())
        return;
    size_t at = 0;
    while ((at = text.find(from, at)) != std::string::npos) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
}

std::string WithTrailingSeparator(std::string_view dir) {
    std::string out(dir);
    if (out.empty() || out.back() != kPathSeparator)
        out.push_back(kPathSeparator);
    return out;
}

bool IsAbsolutePath(std::string_view path) {
    if (path.empty())
        return false;
    if (kPathSeparator == '/')
        return path.front() == '/';
    const auto separator = [](char c) { return c == '\\' || c == '/'; };
    return separator(path.front()) ||
           (path.size() >= 3 && path[1] == ':' && separator(path[2]) &&
            ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')));
}

std::string FormatGeneral(double value, char decimalSeparator) {
    if (value == 0)
        return "0"; // also for -0, which the screens never mean
    char buf[64];
    // The general form with 15 significant digits drops trailing zeros and the point of
    // whole values. to_chars ignores the C locale, which the screens' toolkit may have set
    // to the user's, so the separator is always ours to choose.
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    std::string out(buf, res.ptr);
    if (decimalSeparator != '.')
        for (char& c : out)
            if (c == '.')
                c = decimalSeparator;
    return out;
}

std::optional<double> ParseLocaleNumber(std::string_view text, char decimalSeparator,
                                        char groupSeparator) {
    std::string s = TrimSpace(text);
    if (s.empty())
        return std::nullopt;
    // Validate the shape first, then read a '.'-form, independent of the C locale.
    std::string canonical;
    size_t i = 0;
    if (s[i] == '+' || s[i] == '-')
        canonical.push_back(s[i++]);
    bool digits = false, separator = false;
    // Digits since the last group separator, and whether one was seen.
    size_t run = 0;
    bool grouped = false;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c >= '0' && c <= '9') {
            digits = true;
            ++run;
            canonical.push_back(c);
        } else if (groupSeparator && c == groupSeparator && c != decimalSeparator && !separator &&
                   run >= 1 && run <= 3 && (!grouped || run == 3)) {
            grouped = true;
            run = 0;
        } else if (c == decimalSeparator && !separator) {
            if (grouped && run != 3)
                return std::nullopt;
            separator = true;
            canonical.push_back('.');
        } else {
            break;
        }
    }
    // Grouping ends in a full group of three, before the separator or at the end of the digits.
    if (!digits || (grouped && !separator && run != 3))
        return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        canonical.push_back('e');
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            canonical.push_back(s[i++]);
        bool expDigits = false;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            expDigits = true;
            canonical.push_back(s[i++]);
        }
        if (!expDigits)
            return std::nullopt;
    }
    if (i != s.size())
        return std::nullopt;
    double value = 0;
    const char* first = canonical.c_str();
    if (*first == '+')
        ++first; // from_chars takes no plus sign
    auto res = std::from_chars(first, canonical.c_str() + canonical.size(), value);
    if (res.ec != std::errc() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double RoundHalfEven(double value) {
    // nearbyint rounds in the current rounding mode, which is to-nearest-even by default.
    return std::nearbyint(value);
}

} // namespace qelp
