#include "link/supervision.h"

#include "builders/builders.h"
#include "exchange/exchange.h"
#include "frame/eventlog.h"
#include "frame/program.h"
#include "link/config.h"
#include "link/negotiation.h"
#include "link/transfer.h"

namespace qelp {

namespace {

// Start and stop clear the whole exchange directory, in this order.
constexpr ExchangeSlot kAllSlots[] = {SlotAbort, SlotCommand, SlotMessage,
                                      SlotReply, SlotResult,  SlotBusy};

bool configurationUsable(Program& program) {
    Host& host = program.host;
    if (program.link.driverDirectory.empty() || program.link.driverExeName.empty() ||
        !host.FileExists(program.link.driverDirectory + program.link.driverExeName)) {
        WriteLogLine(program, "Client executable does not exist!");
        WriteLogLine(program, "Client Communication path does not exist!");
        return false;
    }
    if (program.link.driverCommandDirectory.empty() ||
        !host.DirectoryExists(program.link.driverCommandDirectory)) {
        WriteLogLine(program, "Client Communication path does not exist!");
        return false;
    }
    if (program.link.dispenserFamily < 0) {
        WriteLogLine(program, "Client Dispenser family unknown.");
        return false;
    }
    return true;
}

// Waits for a terminated driver to disappear, so that nothing that follows (a start right
// after a stop above all) finds it still there. The wait is bounded: a driver that survives
// the kill (one we lack the rights to end) would otherwise freeze the console for good.
bool waitUntilGone(Program& program, const char* consequence) {
    Host& host = program.host;
    const int64_t deadline = program.clock.MonotonicMs() + program.tuning.terminateWaitLimitMs;
    while (host.IsProcessRunning(program.link.driverExeName)) {
        if (program.clock.MonotonicMs() >= deadline) {
            WriteLogLine(program, "Error: Driver still running " +
                                      std::to_string(program.tuning.terminateWaitLimitMs) +
                                      " ms after termination. " + consequence);
            return false;
        }
        program.clock.SleepMilliseconds(50);
        program.ui.processPendingEvents();
    }
    return true;
}

bool fail(Program& program) {
    program.link.driverRunning = false;
    return false;
}

} // namespace

bool StartDriver(Program& program) {
    Host& host = program.host;
    WriteLogLine(program, "Starting QELP Client");
    ReadLinkConfiguration(program);
    program.canisters.canisterTable.clear();

    bool ok = configurationUsable(program);
    const bool negotiated = NegotiateProtocolVersion(program);
    WriteLogLine(program, NegotiationReport(program, negotiated));
    if (!negotiated || !ok)
        return fail(program);

    if (host.IsProcessRunning(program.link.driverExeName) && IsDriverBusy(program)) {
        WriteLogLine(program,
                     "Driver shows busy during startup. Attempting to terminate driver...");
        host.TerminateProcessByName(program.link.driverExeName);
        if (!waitUntilGone(program, "Start abandoned."))
            return fail(program);
    }

    if (host.IsProcessRunning(program.link.driverExeName)) {
        WriteLogLine(program, "Client already running");
    } else {
        for (ExchangeSlot slot : kAllSlots)
            DeleteExchangePair(program, slot);
        // The fresh driver removes this flag when it is ready; until then every send waits.
        host.WriteProfileString("Any", "Dummy", "0", ExchangeDataPath(program, SlotBusy));
        host.LaunchProcess(program.link.driverDirectory + program.link.driverExeName,
                           program.link.driverDirectory, 1);
        WriteLogLine(program, "Client started");
    }

    if (!CreateResetCommand(program, false) ||
        !SendAndEvaluate(program, program.tuning.startupResetBusyWaitMs))
        return fail(program);
    if (!CreateMachineInfoCommand(program, MachineInfoKind::CanisterSize) ||
        !SendAndEvaluate(program, program.tuning.commandBusyWaitMs))
        return fail(program);

    program.canisters.canisterTable.clear();
    for (size_t i = 0; i < program.result.resultCanisters.size(); ++i) {
        const CanisterState& reported = program.result.resultCanisters[i];
        CanisterState entry;
        entry.canId = reported.canId;
        entry.colorantName = reported.colorantName;
        entry.sizeMl = reported.sizeMl;
        entry.contentMl = reported.contentMl;
        entry.warnMl = reported.warnMl;
        entry.minMl = reported.minMl;
        entry.pasteId = static_cast<int32_t>(i + 1) + 32; // position from 1, plus 32
        entry.dosedUl = 0;
        program.canisters.canisterTable.push_back(entry);
    }
    program.link.driverRunning = true;
    return true;
}

void StopDriver(Program& program) {
    if (program.host.IsProcessRunning(program.link.driverExeName)) {
        program.host.TerminateProcessByName(program.link.driverExeName);
        waitUntilGone(program, "It may still be ending.");
    }
    for (ExchangeSlot slot : kAllSlots)
        DeleteExchangePair(program, slot);
    program.link.driverRunning = false;
}

} // namespace qelp
