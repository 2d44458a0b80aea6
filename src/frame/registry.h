#pragma once
// The per-machine registry store that stands in for HKEY_LOCAL_MACHINE: a text file in the
// REGEDIT4 export layout, so that an administrator can read and edit it by hand and a
// Windows export can be dropped in as it is.
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\Software\QELP]
//   "Driver"="/opt/disp/drv"            text; \\ and \" are the only escapes
//   "DispenserFamily"=dword:0000000a    32-bit number, eight hex digits
//   "Old"=hex(7):41,00,00,00            any hex form: a value that is not text
//
// Key paths and value names match without regard to ASCII letter case. A hex value may
// continue over lines ending in "\"; a continuation line holds hex bytes alone, so an
// export cut off after a "\" swallows nothing that follows. Lines that are none of the
// above are kept on writing and otherwise ignored. A missing or unreadable file is an empty
// store; a file over the read limit too, with a notice.
//
// The store may be a symbolic link (an administrator sharing it with the driver's side):
// it is read through the link, and a write replaces the link's target and keeps the link.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qelp {

struct RegistryValue {
    enum class Type { Text, Dword, Other };
    std::string key; // full key path as written in the file, root included
    std::string name;
    Type type = Type::Other;
    std::string text;
    uint32_t dword = 0;
};

class RegistryStore {
public:
    // notice gets the line that explains a store refused for its size.
    explicit RegistryStore(std::string filePath,
                           std::function<void(const std::string&)> notice = {});
    const std::string& filePath() const { return m_filePath; }

    // keyPath is below the local-machine root, for example "Software\QELP".
    std::optional<RegistryValue> Read(const std::string& keyPath, const std::string& name) const;
    // Text value as Win32 reads it: text as stored, a dword as signed decimal, other types
    // and missing values as the empty text.
    std::string ReadAsText(const std::string& keyPath, const std::string& name) const;
    // ReadAsText for several names from one read of the file.
    std::vector<std::string> ReadAsTexts(const std::string& keyPath,
                                         const std::vector<std::string>& names) const;
    // Sets a text (REG_SZ) or 32-bit value, creating the key when missing, keeping every
    // other key and value; the file is replaced atomically. False when it cannot be written.
    bool WriteText(const std::string& keyPath, const std::string& name, const std::string& value);
    bool WriteDword(const std::string& keyPath, const std::string& name, uint32_t value);
    std::vector<RegistryValue> List() const;

private:
    bool writeLine(const std::string& keyPath, const std::string& name, const std::string& line);
    // Reads the file; false when there is no readable store within the read limit.
    bool load(std::string& text) const;
    std::string m_filePath;
    std::function<void(const std::string&)> m_notice;
};

// The file name of the store inside the program's directory.
inline constexpr const char* kRegistryFileName = "registry.reg";

} // namespace qelp
