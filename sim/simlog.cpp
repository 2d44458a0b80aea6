#include "simlog.h"

#include "frame/fileio.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace qelpsim {

namespace {

constexpr size_t kLoggedFileLimit = 16 * 1024;

bool looksBinary(std::string_view bytes) {
    for (unsigned char c : bytes)
        if (c < 0x20 && c != '\r' && c != '\n' && c != '\t')
            return true;
    return false;
}

} // namespace

std::string LocalTimestamp(bool withMilliseconds) {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    char buf[40];
    size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    std::string out(buf, n);
    if (withMilliseconds) {
        auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
        char ms[8];
        std::snprintf(ms, sizeof ms, ".%03d", static_cast<int>(millis));
        out += ms;
    }
    return out;
}

void SimLog::write(std::string_view line) {
    std::string text = LocalTimestamp(true) + "  ";
    text += line;
    text += "\n";
    // A log that cannot be written must never stop the machine.
    qelp::fileio::AppendBytes(m_path, text);
}

void SimLog::writeFile(std::string_view heading, std::string_view bytes) {
    if (bytes.size() > kLoggedFileLimit || looksBinary(bytes)) {
        write(std::string(heading) + ": " + std::to_string(bytes.size()) + " bytes, not copied (" +
              (looksBinary(bytes) ? "binary" : "too long") + ")");
        return;
    }
    std::string text = LocalTimestamp(true) + "  " + std::string(heading) + ":\n";
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", start);
        std::string_view line = bytes.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        text += "        | ";
        text += line;
        text += "\n";
        if (end == std::string_view::npos)
            break;
        start = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    qelp::fileio::AppendBytes(m_path, text);
}

} // namespace qelpsim
