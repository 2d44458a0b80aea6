// Profile files on Windows go through the system's own private-profile functions, the ones
// the driver uses on the same files: whatever Windows does with a quirk of a file, the
// console then does too. Only the in-memory lookups (LookupInText, ProfileSnapshot) and the
// text edits used by tests are this program's own.
#include "frame/profile.h"

#include <windows.h>
// This module's function of that name, not the system's ANSI/wide macro.
#undef WriteProfileString

#include <algorithm>
#include <string>
#include <vector>

namespace qelp::profile {

std::string GetPrivateProfileValue(std::string_view section, std::string_view key,
                                   const std::string& file, size_t bufferSize) {
    if (bufferSize == 0)
        return {};
    const std::string sectionText(section);
    const std::string keyText(key);
    std::vector<char> buffer(bufferSize, '\0');
    const DWORD n =
        ::GetPrivateProfileStringA(sectionText.c_str(), keyText.c_str(), "", buffer.data(),
                                   static_cast<DWORD>(bufferSize), file.c_str());
    return std::string(buffer.data(), std::min<size_t>(n, bufferSize - 1));
}

size_t IndexCacheBytes() {
    return 0; // the system reads the files; nothing is cached here
}

bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& file) {
    const std::string sectionText(section);
    const std::string keyText(key);
    const std::string valueText(value);
    return ::WritePrivateProfileStringA(sectionText.c_str(), keyText.c_str(), valueText.c_str(),
                                        file.c_str()) != 0;
}

bool DeleteProfileEntry(std::string_view section, std::optional<std::string_view> key,
                        const std::string& file) {
    // A missing file stays missing: the system would create an empty one.
    if (::GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES)
        return true;
    const std::string sectionText(section);
    const std::string keyText = key ? std::string(*key) : std::string();
    return ::WritePrivateProfileStringA(sectionText.c_str(), key ? keyText.c_str() : nullptr,
                                        nullptr, file.c_str()) != 0;
}

} // namespace qelp::profile
