#pragma once
// The simulator's own log, <program directory>/<program name>.log: one time-stamped line
// for everything it received and did, so that a driver developer can read the
// conversation with the console from the driver's side.
#include <string>
#include <string_view>

namespace qelpsim {

// Local date and time, "yyyy-mm-dd hh:mm:ss", with ".mmm" added when asked.
std::string LocalTimestamp(bool withMilliseconds = false);

class SimLog {
public:
    explicit SimLog(std::string path) : m_path(std::move(path)) {}

    void write(std::string_view line);
    // A file's text under a heading, each of its lines indented; binary or oversized
    // content is summarised instead of copied.
    void writeFile(std::string_view heading, std::string_view bytes);

    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace qelpsim
