#pragma once
// The exchange directory: the fixed file names through which the console and the driver
// talk, and the few operations every layer above needs on them. Each exchange has a data
// file and a signal file; the signal appears only once its data file is complete.
#include <array>
#include <string>
#include <string_view>

namespace qelp {

class Program;

enum ExchangeSlot : int {
    SlotCommand = 0,
    SlotBusy = 1,
    SlotResult = 2,
    SlotAbort = 3,
    SlotMessage = 4,
    SlotReply = 5
};
inline constexpr int kExchangeSlotCount = 6;

// Data file names, by slot.
inline constexpr std::array<std::string_view, kExchangeSlotCount> kExchangeDataNames = {
    "cmd.dat", "busy.flg", "result.dat", "abort.dat", "msg.dat", "reply.dat"};
// Signal file names, by slot. The busy flag is its own signal and has none.
inline constexpr std::array<std::string_view, kExchangeSlotCount> kExchangeSignalNames = {
    "cmd.sig", "", "result.sig", "abort.sig", "msg.sig", "reply.sig"};

// Paths in the driver's command directory.
std::string ExchangeDataPath(const Program& program, ExchangeSlot slot);
std::string ExchangeSignalPath(const Program& program, ExchangeSlot slot);
// The console's own command file: serverCommandDirectory + "cmd.dat".
std::string ServerCommandFile(const Program& program);

// "busy.flg" exists in the driver's command directory.
bool IsDriverBusy(Program& program);
// The slot's signal file exists in the driver's command directory.
bool SignalFileExists(Program& program, ExchangeSlot slot);
// Deletes the slot's data file, then its signal file (when it has one). Missing files are
// no error.
void DeleteExchangePair(Program& program, ExchangeSlot slot);

} // namespace qelp
