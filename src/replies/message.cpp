#include "replies/message.h"

#include "exchange/exchange.h"
#include "frame/eventlog.h"
#include "frame/profile.h"
#include "frame/program.h"
#include "frame/textutil.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qelp {

namespace {

// A message text is at most 99 characters and so is each parameter, but parameters may
// contain placeholders of later parameters, which are expanded again: a crafted message
// could grow without bound. Expansion stops before the text would pass this size.
constexpr size_t kMaxExpandedMessage = 64 * 1024;
// The parameters read from "MsgValues". A count beyond this reads only the first ones (with
// a log line): no real message comes near it, and a count of two billion must not cost two
// billion reads and their memory.
constexpr int32_t kMaxMessageValues = 1000;
// One pass of the wait for an open message window to close.
constexpr int32_t kCloseWaitSleepMs = 10;

// Replaces every occurrence of `from` in text; false (text unchanged) when the result
// would be longer than the limit.
bool ReplaceBounded(std::string& text, const std::string& from, const std::string& to,
                    size_t limit) {
    size_t count = 0;
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + from.size()))
        ++count;
    if (count == 0)
        return true;
    if (to.size() > from.size() && text.size() + count * (to.size() - from.size()) > limit)
        return false;
    std::string out;
    out.reserve(text.size() + count * to.size());
    size_t start = 0;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, start)) {
        out.append(text, start, at - start);
        out += to;
        start = at + from.size();
    }
    out.append(text, start, std::string::npos);
    text = std::move(out);
    return true;
}

// ExpandMessageValues with the size bound; `complete` is false when it stopped early.
std::string ExpandBounded(const std::string& text, const std::vector<std::string>& values,
                          bool& complete) {
    complete = true;
    if (text.empty() || values.empty() || text.find('$') == std::string::npos)
        return text;
    std::string out = text;
    for (size_t i = 1; i <= values.size(); ++i) {
        if (!ReplaceBounded(out, "$" + std::to_string(i) + "$", values[i - 1],
                            kMaxExpandedMessage)) {
            complete = false;
            break;
        }
    }
    return out;
}

// Asks the open message window to close and waits for it, running window events between
// sleeps so that the window's timer can act. The window normally closes within one tick;
// one that cannot close (a stuck screen, a port without windows) must not hold up the
// result wait for ever, so the wait is bounded and then the window is taken as closed.
void CloseMessageWindow(Program& program) {
    program.message.messageWindowCloseRequest = true;
    const int64_t start = program.clock.MonotonicMs();
    while (program.message.messageWindowOpen) {
        program.ui.processPendingEvents();
        if (!program.message.messageWindowOpen)
            break;
        if (program.clock.MonotonicMs() - start >= program.tuning.messageCloseWaitLimitMs) {
            WriteLogLine(program, "Error: Message window did not close within " +
                                      std::to_string(program.tuning.messageCloseWaitLimitMs) +
                                      " ms; the earlier message is dropped");
            program.message.messageWindowOpen = false;
            break;
        }
        program.clock.SleepMilliseconds(kCloseWaitSleepMs);
    }
}

} // namespace

std::string ExpandMessageValues(const std::string& text, const std::vector<std::string>& values) {
    bool complete = true;
    return ExpandBounded(text, values, complete);
}

void ReadDriverMessage(Program& program) {
    const std::string path = ExchangeDataPath(program, SlotMessage);
    // Read once: the lines logged are the lines parsed, and nothing of the file is kept
    // once the message has been taken.
    std::string bytes;
    const bool found = ReadExchangeFile(program, path, bytes);
    LogFileBytes(program, path, found ? &bytes : nullptr);
    const profile::ProfileSnapshot file(bytes);
    auto read = [&](const char* section, const std::string& key) {
        return file.Read(section, key);
    };

    // Only the digits 0 to 4 make a dialog type; digits beyond 32 bits are no number.
    const auto type = ParseDigits32(read("Msg", "DlgType"));
    program.message.messageDialogType = (type && *type <= 4) ? *type : -1;

    if (program.message.messageDialogType >= 0) {
        // An unanswered earlier message is dropped without a reply.
        if (program.message.messageWindowOpen)
            CloseMessageWindow(program);
        program.message.messageButtons = 0;
        program.message.messageText.clear();
        program.message.replyPending = 0;
        program.message.messageWindowOpen = false;
        program.message.messageWindowCloseRequest = false;

        std::string text = read("Msg", "Msg");
        ReplaceAll(text, "<brk>", "\r\n");
        program.message.messageText = text;

        if (const auto buttons = ParseDigits32(read("Msg", "Buttons")))
            program.message.messageButtons = *buttons;
        program.message.messageCode = -1;
        if (const auto code = ParseDigits32(read("Msg", "Code")))
            program.message.messageCode = *code;

        program.message.messageValues.clear();
        if (const auto count = ParseDigits32(read("MsgValues", "Count"))) {
            int32_t n = *count;
            if (n > kMaxMessageValues) {
                WriteLogLine(program, "Warning: Message parameter count " + std::to_string(n) +
                                          " is too large; only the first " +
                                          std::to_string(kMaxMessageValues) + " are read");
                n = kMaxMessageValues;
            }
            for (int32_t i = 1; i <= n; ++i)
                program.message.messageValues.push_back(
                    read("MsgValues", "Parm" + std::to_string(i)));
        }
        if (!program.message.messageValues.empty()) {
            bool complete = true;
            program.message.messageText =
                ExpandBounded(program.message.messageText, program.message.messageValues, complete);
            if (!complete) {
                WriteLogLine(program, "Warning: Message parameters expand beyond " +
                                          std::to_string(kMaxExpandedMessage) +
                                          " characters; later parameters are not filled in");
            }
        }

        program.ui.showMessageWindow();
    } else if (program.message.messageWindowOpen) {
        // A message without a valid dialog type withdraws the open one; the rest of the
        // message state stays as it was.
        CloseMessageWindow(program);
    }

    // "msg.dat" stays; the next hand-over deletes it. An unfilled slot table names no file,
    // and the bare directory must never reach a delete.
    program.host.DeleteFileAt(ExchangeSignalPath(program, SlotMessage));
}

void WriteReply(Program& program) {
    const std::string replyPath = ExchangeDataPath(program, SlotReply);
    program.host.WriteProfileString("Reply", "Button", std::to_string(program.message.replyPending),
                                    replyPath);
    // A reply file that could not be written shows up here as "No file found".
    LogFileContents(program, replyPath);
    // The signal only after the reply file is complete.
    program.host.WriteProfileString("Main", "Nothing", "0", ExchangeSignalPath(program, SlotReply));
    program.message.replyPending = 0;
}

} // namespace qelp
