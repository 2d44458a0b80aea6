// The result file reader on any bytes: no crash, no sanitizer report, the file copied into
// the log as whole lines, and both result files consumed.
#include "fuzzsupport.h"
#include "replies/resultfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static qelpfuzz::Console console;
    qelp::Program& program = console.program;
    console.nextInput();
    program.canisterTable.clear();
    const std::string dat = program.exchangeDataPath(qelp::SlotResult);
    const std::string sig = program.exchangeSignalPath(qelp::SlotResult);
    qelpfuzz::WriteBytes(dat, std::string(reinterpret_cast<const char*>(data), size));
    qelpfuzz::WriteBytes(sig, "");
    qelp::ReadResultFile(program);
    FUZZ_CHECK(console.logIsWhole());
    FUZZ_CHECK(!qelp::fileio::IsRegularFile(dat) && !qelp::fileio::IsRegularFile(sig));
    FUZZ_CHECK(program.driverResultCode >= -1);
    return 0;
}
