#pragma once
// The driver's questions to the operator ("msg.dat") and the operator's answer ("reply.dat").
#include <string>
#include <vector>

namespace qelp {

class Program;

// Reads "msg.dat" into the message state, shows the message window (or withdraws an open
// one for a message without a valid dialog type) and deletes "msg.sig".
void ReadDriverMessage(Program& program);

// Replaces "$1$", "$2$", ... by the values, one parameter after the other.
std::string ExpandMessageValues(const std::string& text, const std::vector<std::string>& values);

// Writes "reply.dat" with the pending button value, logs it, writes "reply.sig" and clears
// replyPending.
void WriteReply(Program& program);

} // namespace qelp
