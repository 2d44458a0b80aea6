// The exchange directory's files; the waits are the host's (posixsystem.cpp, win32system.cpp).
#include "exchange.h"

#include "frame/fileio.h"

namespace qelpsim {

bool Exchange::directoryExists() const {
    return qelp::fileio::IsDirectory(m_directory);
}

bool Exchange::exists(std::string_view name) const {
    return qelp::fileio::IsRegularFile(pathOf(name));
}

void Exchange::remove(std::string_view name) const {
    qelp::fileio::RemoveFile(pathOf(name));
}

bool Exchange::write(std::string_view name, std::string_view bytes) const {
    return qelp::fileio::WriteFileReplacing(pathOf(name), bytes);
}

std::optional<std::string> Exchange::read(std::string_view name) const {
    std::string bytes;
    if (!qelp::fileio::ReadFileBytes(pathOf(name), bytes))
        return std::nullopt;
    return bytes;
}

} // namespace qelpsim
