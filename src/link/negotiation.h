#pragma once
// Protocol version negotiation between serverVersions and clientVersions.
#include <string>

namespace qelp {

class Program;

// Chooses the highest version both lists hold, sets activeVersion (-1 when none) and
// writes it to the registry value ActiveVersion on every call. Logs one of the three error
// lines on failure.
bool NegotiateProtocolVersion(Program& program);

// The report line StartDriver logs after the negotiation, in its success or failure form.
std::string NegotiationReport(const Program& program, bool negotiated);

} // namespace qelp
