#pragma once
// The handshake by which a command file is handed to the driver and its result awaited.
#include <cstdint>

namespace qelp {

class Program;

// Enables the abort button, sends serverCommandDirectory + "cmd.dat", waits for the result
// and evaluates it. True when the driver answered with code 0.
bool SendAndEvaluate(Program& program, int32_t busyWaitMs);

// 0 handed over, -1 the driver stayed busy or vanished while busy (or the command file
// could not be copied), -2 the driver process was not running.
int32_t SendCommandFile(Program& program, int32_t busyWaitMs);

// Waits until the result is signalled and the busy flag is gone, serving the driver's
// messages on the way, then reads the result. Leaves driverResultCode.
void WaitForDriverResult(Program& program);

// Writes "abort.dat" and then "abort.sig" into the driver's command directory.
void AbortCommand(Program& program);

} // namespace qelp
