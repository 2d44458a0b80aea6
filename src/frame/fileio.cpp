// The file primitives that need no system call of their own, shared by every host.
#include "frame/fileio.h"

namespace qelp::fileio {

std::string RefusalText(ReadResult result, const std::string& path) {
    switch (result) {
    case ReadResult::Link:
        return "Error: File " + path + " is a symbolic link; it is not read";
    case ReadResult::TooLarge:
        return "Error: File " + path + " is larger than 16 MiB; it is not read";
    default:
        return {};
    }
}

bool ReadFileBytes(const std::string& path, std::string& out) {
    return ReadFileChecked(path, out) == ReadResult::Ok;
}

bool CopyFileReplacing(const std::string& from, const std::string& to) {
    std::string bytes;
    if (!ReadFileBytes(from, bytes))
        return false;
    return WriteFileReplacing(to, bytes);
}

} // namespace qelp::fileio
