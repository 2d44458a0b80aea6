#pragma once
// The handshake by which a command file is handed to the driver and its result awaited.
#include <cstdint>

namespace qelp {

class Program;

// The line logged when a command is refused because another one is still in flight.
inline constexpr const char* kCommandRefusedLine =
    "Command refused: another command is still waiting for the driver.";

// The console's one command slot. The buttons stay live while a result is awaited, so a
// click can start a second command from inside the first one's wait; the exchange directory
// holds one command at a time, and a second send would delete the first one's files under
// the driver's feet. A turn is taken for a command's whole life and given back however it
// ends; taking one while another is held fails and logs the refusal.
class CommandTurn {
public:
    explicit CommandTurn(Program& program);
    ~CommandTurn();
    CommandTurn(const CommandTurn&) = delete;
    CommandTurn& operator=(const CommandTurn&) = delete;
    bool held() const { return m_held; }

private:
    Program& m_program;
    bool m_held;
};

// Enables the abort button, sends serverCommandDirectory + "cmd.dat", waits for the result
// and evaluates it. True when the driver answered with code 0. The first form takes its own
// turn; the second is for a caller that took one before building the command file.
bool SendAndEvaluate(Program& program, int32_t busyWaitMs);
bool SendAndEvaluate(Program& program, const CommandTurn& turn, int32_t busyWaitMs);

// 0 handed over, -1 the driver stayed busy or vanished while busy (or the command file
// could not be copied), -2 the driver process was not running.
int32_t SendCommandFile(Program& program, int32_t busyWaitMs);

// Waits until the result is signalled and the busy flag is gone, serving the driver's
// messages on the way, then reads the result. Leaves driverResultCode.
void WaitForDriverResult(Program& program);

// Writes "abort.dat" and then "abort.sig" into the driver's command directory.
void AbortCommand(Program& program);

} // namespace qelp
