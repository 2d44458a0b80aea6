#pragma once
// INI profile files with the semantics of the Win32 private-profile functions, because a
// real driver reads and writes the same files with GetPrivateProfileStringA and
// WritePrivateProfileStringA.
//
// Reading:
//  - lines end at CR LF, LF or a lone CR;
//  - a file that starts with a UTF-8 or UTF-16LE byte-order mark is read in that encoding,
//    and its values come back in the single-byte code page (Windows-1252); any other file
//    is single-byte text;
//  - a header line starts with "[" (after white space); the section's name is the text
//    between the first "[" and the last "]" of the line, trimmed. A "[" line without "]" is
//    no header, and the lines after it stay in the section before it;
//  - a key line holds "=": the key is the text before the first "=", the value the text
//    after it, both trimmed of every white-space byte (Ctrl-Z included); control bytes
//    inside a value stay;
//  - the names a caller passes are trimmed of spaces and tabs; section and key names match
//    without regard to ASCII letter case; the lines above the first header are the section
//    with the empty name;
//  - the first of duplicate sections, and the first of duplicate keys in it, wins;
//  - one pair of matching double or single quotes around the value is removed;
//  - nothing is a comment: ";" and "#" lines are ordinary lines, a ";" after a value
//    belongs to the value;
//  - a non-blank line without "=" names a key that has no value: it reads as empty and, as
//    the first of duplicates, hides a later line of the same key; a write gives it "=" and
//    the value;
//  - a UTF-16 unit that is half of a surrogate pair reads as "?", so a character outside
//    the Basic Multilingual Plane reads as "??", as from the system's ANSI functions.
// Writing trims the names as reading does and drops the value's leading blanks. It replaces
// the key's line in place and keeps every other byte of the file; a new key goes after the
// last non-blank line of its section, a new section at the end of the file, and a missing
// file is created. New lines end in CR LF. A file keeps its encoding and mark, and when
// the key already holds the value the file is not touched at all.
#include <optional>
#include <string>
#include <string_view>

namespace qelp::profile {

// The raw lookup of GetPrivateProfileStringA with a buffer of bufferSize bytes: at most
// bufferSize - 1 characters of the value, empty for a missing file, section or key.
std::string GetPrivateProfileValue(std::string_view section, std::string_view key,
                                   const std::string& file, size_t bufferSize);

// Looks a value up in a profile file's bytes held in memory, with the same rules (no length
// cut).
std::string LookupInText(std::string_view bytes, std::string_view section, std::string_view key);

// The program's read: buffer of 100 characters (so at most 99 come back), then every NUL
// removed and blanks trimmed at both ends.
std::string ReadProfileString(std::string_view section, std::string_view key,
                              const std::string& file);

// Memory held by the indexes of large profile files, estimated; at most a few MiB.
size_t IndexCacheBytes();

// Sets the key; returns false when the file could not be written (callers that follow the
// Win32 contract ignore it).
bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& file);

// Deletes the key's line, or with no key the whole section (its header and every line up
// to the next header), as the Win32 writer does for a null value or a null key. A missing
// file, section or key leaves everything as it is. False when the file could not be
// written.
bool DeleteProfileEntry(std::string_view section, std::optional<std::string_view> key,
                        const std::string& file);

// The bytes that result from setting the key, or deleting the entry, in a file's bytes
// (used by the writers and by tests).
std::string SetInText(std::string_view bytes, std::string_view section, std::string_view key,
                      std::string_view value);
std::string DeleteInText(std::string_view bytes, std::string_view section,
                         std::optional<std::string_view> key);

// A profile file read once, for a reader that looks up many keys of a file that cannot
// change meanwhile (a result the driver has signalled complete). Lookups give exactly what
// ReadProfileString would give for the same bytes, without reading and parsing the file
// again for every key; an index makes even a runaway 10 MB file cheap to query.
class ProfileSnapshot {
public:
    explicit ProfileSnapshot(std::string_view text);
    ~ProfileSnapshot();
    ProfileSnapshot(const ProfileSnapshot&) = delete;
    ProfileSnapshot& operator=(const ProfileSnapshot&) = delete;
    std::string Read(std::string_view section, std::string_view key) const;

private:
    struct Index;
    Index* m_index;
};

} // namespace qelp::profile
