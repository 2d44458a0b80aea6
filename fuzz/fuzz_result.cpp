// The result file reader on any bytes: no crash, no sanitizer report, the file copied into
// the log as whole lines, and both result files consumed.
#include "fuzzsupport.h"
#include "replies/resultfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static qelpfuzz::Console console;
    qelp::Program& program = console.program;
    program.canisters.canisterTable.clear();
    console.deliver(qelp::SlotResult, data, size);
    qelp::ReadResultFile(program);
    FUZZ_CHECK(console.logIsWhole());
    FUZZ_CHECK(!qelp::fileio::IsRegularFile(ExchangeDataPath(program, qelp::SlotResult)) &&
               !qelp::fileio::IsRegularFile(ExchangeSignalPath(program, qelp::SlotResult)));
    FUZZ_CHECK(program.result.driverResultCode >= -1);
    return 0;
}
