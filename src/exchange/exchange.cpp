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

bool IsDriverBusy(Program& program) {
    return program.host.FileExists(ExchangeDataPath(program, SlotBusy));
}

bool SignalFileExists(Program& program, ExchangeSlot slot) {
    return slot != SlotBusy && program.host.FileExists(ExchangeSignalPath(program, slot));
}

void DeleteExchangePair(Program& program, ExchangeSlot slot) {
    program.host.DeleteFileAt(ExchangeDataPath(program, slot));
    if (slot != SlotBusy)
        program.host.DeleteFileAt(ExchangeSignalPath(program, slot));
}

} // namespace qelp
