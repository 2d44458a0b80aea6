#pragma once
// INI profile files with the semantics of the Win32 private-profile functions, because a
// real driver reads and writes the same files with GetPrivateProfileStringA and
// WritePrivateProfileStringA.
//
// Reading:
//  - lines end at CR LF, LF or a lone CR;
//  - a section line is "[" name "]" (blanks around the name ignored); a key line holds "=",
//    the key is the trimmed text before the first "=", the value the trimmed text after it;
//  - section and key names match without regard to ASCII letter case;
//  - the first of duplicate sections, and the first of duplicate keys in it, wins;
//  - one pair of matching double or single quotes around the value is removed;
//  - nothing is a comment: ";" and "#" lines are ordinary lines, a ";" after a value
//    belongs to the value; a line without "=" holds no key and is skipped;
//  - keys before the first section belong to no section and are never found.
// Writing replaces the key's line in place and keeps every other byte of the file; a new
// key goes after the last non-blank line of its section, a new section at the end of the
// file, and a missing file is created. New lines end in CR LF.
#include <string>
#include <string_view>

namespace qelp::profile {

// The raw lookup of GetPrivateProfileStringA with a buffer of bufferSize bytes: at most
// bufferSize - 1 characters of the value, empty for a missing file, section or key.
std::string GetPrivateProfileValue(std::string_view section, std::string_view key,
                                   const std::string& file, size_t bufferSize);

// Looks a value up in profile text held in memory, with the same rules (no length cut).
std::string LookupInText(std::string_view text, std::string_view section, std::string_view key);

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

// The text that results from setting the key in the given profile text (used by the writer
// and by tests).
std::string SetInText(std::string_view text, std::string_view section, std::string_view key,
                      std::string_view value);

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
