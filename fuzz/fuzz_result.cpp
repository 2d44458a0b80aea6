// The result file reader on any bytes: no crash, no sanitizer report, the file copied into
// the log as whole lines, and both result files consumed.
#include "exchange/exchange.h"
#include "fuzzsupport.h"
#include "replies/resultfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static qelpfuzz::Console console;
    qelp::Program& program = console.program;
    console.nextInput();
    program.canisters.canisterTable.clear();
    const std::string dat = ExchangeDataPath(program, qelp::SlotResult);
    const std::string sig = ExchangeSignalPath(program, qelp::SlotResult);
    qelpfuzz::WriteBytes(dat, std::string(reinterpret_cast<const char*>(data), size));
    qelpfuzz::WriteBytes(sig, "");
    qelp::ReadResultFile(program);
    FUZZ_CHECK(console.logIsWhole());
    FUZZ_CHECK(!qelp::fileio::IsRegularFile(dat) && !qelp::fileio::IsRegularFile(sig));
    FUZZ_CHECK(program.result.driverResultCode >= -1);
    return 0;
}
