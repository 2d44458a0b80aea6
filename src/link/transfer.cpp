#include "link/transfer.h"

#include "exchange/exchange.h"
#include "frame/eventlog.h"
#include "frame/program.h"
#include "link/config.h"
#include "replies/message.h"
#include "replies/resultfile.h"

#include <string>

namespace qelp {

CommandTurn::CommandTurn(Program& program)
    : m_program(program), m_held(!program.session.commandInFlight) {
    if (m_held)
        m_program.session.commandInFlight = true;
    else
        WriteLogLine(m_program, kCommandRefusedLine);
}

CommandTurn::~CommandTurn() {
    if (m_held)
        m_program.session.commandInFlight = false;
}

bool SendAndEvaluate(Program& program, int32_t busyWaitMs) {
    const CommandTurn turn(program);
    return SendAndEvaluate(program, turn, busyWaitMs);
}

bool SendAndEvaluate(Program& program, const CommandTurn& turn, int32_t busyWaitMs) {
    if (!turn.held())
        return false;
    program.ui.setAbortEnabled(true);
    bool result = false;
    if (SendCommandFile(program, busyWaitMs) != 0) {
        WriteLogLine(program, "Unable to send command (driver busy?)");
    } else {
        ++program.result.commandsSent;
        WaitForDriverResult(program);
        if (program.result.driverResultCode != 0)
            WriteLogLine(program, "Error: Driver returns " +
                                      std::to_string(program.result.driverResultCode) +
                                      " on command.");
        else
            result = true;
    }
    program.ui.setAbortEnabled(false);
    return result;
}

int32_t SendCommandFile(Program& program, int32_t busyWaitMs) {
    Host& host = program.host;
    if (!host.IsProcessRunning(program.link.driverExeName)) {
        program.link.driverRunning = false;
        return -2;
    }
    bool idle = false;
    if (IsDriverBusy(program)) {
        WriteLogLine(program, "Driver is busy, waiting until idle...");
        // The flag is looked at before each 50 ms sleep and not after the last one; window
        // events are not processed, so nothing else can start meanwhile.
        for (int32_t remaining = busyWaitMs; remaining > 0; remaining -= 50) {
            if (!IsDriverBusy(program)) {
                WriteLogLine(program, "Driver idle.");
                idle = true;
                break;
            }
            if (!host.IsProcessRunning(program.link.driverExeName)) {
                WriteLogLine(program, "Driver process not running!");
                break;
            }
            program.clock.SleepMilliseconds(50);
        }
        if (!idle)
            WriteLogLine(program, "Busy file timeout");
    } else {
        WriteLogLine(program, "Driver idle.");
        idle = true;
    }
    if (!idle) {
        WriteLogLine(program, "Timeout: driver still busy or not running");
        return -1;
    }

    for (ExchangeSlot slot : {SlotAbort, SlotCommand, SlotMessage, SlotReply, SlotResult})
        DeleteExchangePair(program, slot);

    const std::string source = ServerCommandFile(program);
    const std::string target = ExchangeDataPath(program, SlotCommand);
    // A command file that cannot be handed over is a send that did not happen: the caller
    // reports it like a busy driver, and no signal file announces a missing command. The
    // bytes copied are the bytes logged, from one read.
    std::string command;
    if (!ReadExchangeFile(program, source, command) || !host.WriteWholeFile(target, command)) {
        WriteLogLine(program, "Error: Cannot copy command file " + source + " to " + target);
        return -1;
    }
    LogFileBytes(program, source, &command);
    if (!host.WriteWholeFile(ExchangeSignalPath(program, SlotCommand), std::string())) {
        WriteLogLine(program, "Error: Cannot create signal file " +
                                  ExchangeSignalPath(program, SlotCommand));
        return -1;
    }
    WriteLogLine(program, "Command file send to driver");
    return 0;
}

void WaitForDriverResult(Program& program) {
    program.message.replyPending = 0;
    program.result.driverResultCode = -2;
    int pass = 1;
    // The wait blocks between passes until the exchange directory changes, the driver
    // process ends, a window event arrives or the fallback time passes; so an idle wait costs
    // next to nothing, while every pass still runs the same tests in the same order. The
    // process check counts passes: a driver that ends wakes every pass at once, so it is
    // noticed immediately; where no notification arrives, 100 fallback passes take 2 s.
    std::unique_ptr<DirectoryWatch> watch = program.host.WatchDirectory(
        program.link.driverCommandDirectory, program.link.driverExeName);
    bool directoryGone = false;
    while (!SignalFileExists(program, SlotResult) || IsDriverBusy(program)) {
        if (IsDriverBusy(program)) {
            if (SignalFileExists(program, SlotMessage))
                ReadDriverMessage(program);
            if (!program.message.messageWindowOpen && program.message.replyPending != 0)
                WriteReply(program);
        } else if (program.host.DirectoryExists(program.link.driverCommandDirectory) ==
                   directoryGone) {
            // Neither busy flag nor result: a moment between two driver steps, or the
            // exchange directory itself has gone (deleted, unmounted) and the wait cannot end
            // until it is back. Said once; a directory that returns is a new directory, whose
            // watch must be set up afresh.
            directoryGone = !directoryGone;
            if (directoryGone) {
                WriteLogLine(program, "Error: Exchange directory " +
                                          program.link.driverCommandDirectory +
                                          " has gone; waiting for it to return");
            } else {
                WriteLogLine(program, "Exchange directory " + program.link.driverCommandDirectory +
                                          " is back");
                watch = program.host.WatchDirectory(program.link.driverCommandDirectory,
                                                    program.link.driverExeName);
            }
        }
        program.ui.waitForEvents(watch.get(), program.tuning.resultWaitFallbackMs);
        if (pass > 100) {
            pass = 0;
            if (!program.host.IsProcessRunning(program.link.driverExeName)) {
                program.link.driverRunning = false;
                program.result.driverResultCode = -2;
                if (program.message.messageWindowOpen)
                    program.message.messageWindowCloseRequest = true;
                return;
            }
        }
        ++pass;
    }
    ReadResultFile(program);
    if (program.message.messageWindowOpen)
        program.message.messageWindowCloseRequest = true;
}

void AbortCommand(Program& program) {
    program.host.WriteProfileString("ANY", "EMPTY", "ABORTME",
                                    ExchangeDataPath(program, SlotAbort));
    program.host.WriteWholeFile(ExchangeSignalPath(program, SlotAbort), std::string());
}

} // namespace qelp
