#include "link/negotiation.h"

#include "frame/eventlog.h"
#include "frame/program.h"
#include "frame/textutil.h"
#include "link/config.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qelp {

namespace {

// The pieces between the commas, taken exactly as they stand. A piece that is empty, holds
// anything but digits, or does not fit a 32-bit signed number is skipped without a message.
std::vector<int32_t> ParseVersionList(std::string_view text) {
    std::vector<int32_t> versions;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        const std::string_view piece = text.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        if (const auto value = ParseDigits32(piece))
            versions.push_back(*value);
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    // Ascending order; which sort is used does not matter, only the highest common value
    // is looked for.
    std::sort(versions.begin(), versions.end());
    return versions;
}

} // namespace

bool NegotiateProtocolVersion(Program& program) {
    bool negotiated = false;
    program.link.activeVersion = -1;

    if (program.link.clientVersions.empty() || program.link.serverVersions.empty()) {
        WriteLogLine(program, "Error: Client and/or server version registry is empty. Cannot "
                              "negotiate protocol version!");
    } else {
        const std::vector<int32_t> client = ParseVersionList(program.link.clientVersions);
        const std::vector<int32_t> server = ParseVersionList(program.link.serverVersions);
        if (client.empty() || server.empty()) {
            WriteLogLine(program, "Error: Client and/or server version registry results in "
                                  "empty list. Cannot negotiate protocol version!");
        } else {
            // Highest server version first, and for it the client versions from the top.
            for (auto s = server.rbegin(); s != server.rend() && program.link.activeVersion == -1;
                 ++s) {
                if (std::find(client.begin(), client.end(), *s) != client.end())
                    program.link.activeVersion = *s;
            }
            // Version 0 is a common value but not a usable protocol version: it is refused,
            // yet still recorded as the active version.
            if (program.link.activeVersion < 1) {
                WriteLogLine(program, "Error: QELP server and client have no matching protocol "
                                      "version. Cannot negotiate protocol version to use!");
            } else {
                negotiated = true;
            }
        }
    }

    // Written on every call, so that the driver never sees a version left from an earlier
    // successful start.
    program.host.WriteRegistryString(RegistryRoot::LocalMachine, kConfigKey, "ActiveVersion",
                                     std::to_string(program.link.activeVersion));
    return negotiated;
}

std::string NegotiationReport(const Program& program, bool negotiated) {
    const std::string head = negotiated ? "Protocol versions: Server ["
                                        : "ERROR: Cannot negotiate protocol versions: Server [";
    return head + program.link.serverVersions + "] Client [" + program.link.clientVersions +
           "] Negotiated active version [" + std::to_string(program.link.activeVersion) + "]";
}

} // namespace qelp
