#pragma once
// Starting, adopting and stopping the driver process.
namespace qelp {

class Program;

// Brings the link up: configuration, checks, negotiation, a busy driver replaced, a fresh
// launch or adoption, reset, canister-size query, canisterTable rebuilt. Sets and returns
// driverRunning.
bool StartDriver(Program& program);

// Terminates the driver, waits (bounded, as start-up does) until it is gone, deletes every
// exchange file and clears driverRunning. Logs only a driver that outlives the wait.
void StopDriver(Program& program);

} // namespace qelp
