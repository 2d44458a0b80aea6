#include "exchange/exchange.h"

#include "frame/program.h"

namespace qelp {

std::string ExchangeDataPath(const Program& program, ExchangeSlot slot) {
    return program.link.driverCommandDirectory + std::string(kExchangeDataNames[slot]);
}

std::string ExchangeSignalPath(const Program& program, ExchangeSlot slot) {
    return program.link.driverCommandDirectory + std::string(kExchangeSignalNames[slot]);
}

std::string ServerCommandFile(const Program& program) {
    return program.link.serverCommandDirectory + std::string(kExchangeDataNames[SlotCommand]);
}

// Without an exchange directory (an empty CommandPath) a bare file name would be a file of
// the working directory, which the program never owns: nothing is tested or deleted then.
bool IsDriverBusy(Program& program) {
    if (program.link.driverCommandDirectory.empty())
        return false;
    return program.host.FileExists(ExchangeDataPath(program, SlotBusy));
}

bool SignalFileExists(Program& program, ExchangeSlot slot) {
    if (program.link.driverCommandDirectory.empty() || slot == SlotBusy)
        return false;
    return program.host.FileExists(ExchangeSignalPath(program, slot));
}

void DeleteExchangePair(Program& program, ExchangeSlot slot) {
    if (program.link.driverCommandDirectory.empty())
        return;
    program.host.DeleteFileAt(ExchangeDataPath(program, slot));
    if (slot != SlotBusy)
        program.host.DeleteFileAt(ExchangeSignalPath(program, slot));
}

} // namespace qelp
