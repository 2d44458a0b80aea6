// The driver-message reader on any bytes: no crash, no sanitizer report, a bounded message
// text, a dialog type the window knows or none, and the file copied into the log as whole
// lines.
#include "fuzzsupport.h"
#include "replies/message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static qelpfuzz::Console console;
    qelp::Program& program = console.program;
    console.deliver(qelp::SlotMessage, data, size);
    qelp::ReadDriverMessage(program);
    FUZZ_CHECK(console.logIsWhole());
    FUZZ_CHECK(program.message.messageDialogType >= -1 && program.message.messageDialogType <= 4);
    FUZZ_CHECK(program.message.messageText.size() <= 64 * 1024);
    FUZZ_CHECK(program.message.messageValues.size() <= 1000);
    return 0;
}
