#include "simulator.h"

#include "frame/fileio.h"
#include "frame/profile.h"
#include "frame/textutil.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>

namespace qelpsim {

namespace {

using Clock = std::chrono::steady_clock;

std::string buttonCaption(int value) {
    static const char* const kCaptions[] = {"Yes",       "No",         "Ok",     "Cancel",
                                            "Abort",     "Retry",      "Ignore", "All",
                                            "No to All", "Yes to All", "Help"};
    for (int bit = 0; bit <= 10; ++bit)
        if (value == (1 << bit))
            return kCaptions[bit];
    return "no button";
}

std::string describeFaults(const FaultConfig& f) {
    std::string out;
    auto add = [&out](const std::string& text) { out += (out.empty() ? "" : ", ") + text; };
    static const char* const kDie[] = {"", "DieAt=AfterBusy", "DieAt=AfterResultDat",
                                       "DieAt=InQuestion"};
    static const char* const kResult[] = {"",
                                          "Result=NoResult",
                                          "Result=NonNumeric",
                                          "Result=Garbage",
                                          "Result=Binary",
                                          "Result=Huge",
                                          "Result=SignalOnly"};
    if (f.die != DiePhase::None)
        add(kDie[static_cast<int>(f.die)]);
    if (f.hang)
        add("Hang");
    if (f.result != ResultFault::None)
        add(kResult[static_cast<int>(f.result)]);
    if (f.invalidDialog)
        add("InvalidDialog");
    if (f.messageBurst > 0)
        add("MessageBurst=" + std::to_string(f.messageBurst));
    if (f.resultCode)
        add("ResultCode=" + std::to_string(*f.resultCode));
    if (f.order != OrderFault::None)
        add(f.order == OrderFault::SignalFirst ? "Order=SignalFirst" : "Order=BusyFirst");
    if (f.keepBusy)
        add("KeepBusy");
    if (f.ignoreAbort)
        add("IgnoreAbort");
    if (f.strictCleanup)
        add("StrictCleanup");
    return out;
}

// Bytes that no profile reader makes sense of, the same every time so that a failing test
// can be repeated.
std::string binaryBytes(size_t count) {
    std::string out(count, '\0');
    uint32_t state = 0x2545F491u;
    for (size_t i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        out[i] = static_cast<char>(state >> 24);
    }
    return out;
}

} // namespace

// Connects the machine to the exchange directory: work time is a wait that abort.sig ends,
// a question is a message file and the console's reply.
class Simulator::ExchangeContext : public CommandContext {
public:
    explicit ExchangeContext(Simulator& sim) : m_sim(sim) {}

    bool work(int ms) override {
        if (m_sim.waitUntil({}, ms, true) == WaitEnd::Aborted) {
            m_sim.m_abortHonoured = true;
            return false;
        }
        return true;
    }
    std::optional<int> ask(const OperatorMessage& message) override {
        return m_sim.askOperator(message);
    }
    void note(const std::string& line) override { m_sim.m_log.write("  machine: " + line); }

private:
    Simulator& m_sim;
};

Simulator::Simulator(const std::string& programPath, const std::string& dataDirectory)
    : m_programDirectory(dataDirectory.empty() ? qelp::DirectoryOf(programPath) : dataDirectory),
      m_programName(qelp::FileNameOf(programPath)),
      m_iniPath(m_programDirectory + m_programName + ".ini"),
      m_statePath(m_programDirectory + m_programName + ".state"),
      m_log(m_programDirectory + m_programName + ".log") {}

Simulator::~Simulator() = default;

int Simulator::run() {
    try {
        loadConfiguration();
        awaitExchangeDirectory();
        startUp();
        idle();
    } catch (const ProgramGone&) {
        // The program directory is gone, and with it the log: nothing left to tell.
    }
    return 0;
}

void Simulator::loadConfiguration() {
    m_log.write("---- " + m_programName + " started, process " + std::to_string(OwnProcessId()));
    std::string ini;
    if (!qelp::fileio::ReadFileBytes(m_iniPath, ini))
        m_log.write("No configuration file " + m_iniPath + "; every setting takes its default");
    m_config = ParseSimConfig(ini, m_programDirectory, LocaleDecimalSeparator());
    for (const std::string& warning : m_config.warnings)
        m_log.write("Configuration: " + warning);
    const TimingConfig& t = m_config.machine.timing;
    m_log.write("Configuration: " + std::to_string(m_config.machine.canisters.size()) +
                " canisters, " + std::to_string(m_config.machine.pumpCount) + " pumps, " +
                "decimal separator '" + std::string(1, m_config.decimalSeparator) + "', " +
                (t.fast ? "fast mode (no delays)" : "work times as configured") + ", " +
                (m_config.useInotify ? "inotify" : "polling") + " every " +
                std::to_string(m_config.pollIntervalMs) + " ms at most");
    const FaultConfig& f = m_config.faults;
    std::string faults = describeFaults(f);
    if (!faults.empty())
        m_log.write("Faults: " + faults + " on " +
                    (f.onCommand ? "command " + std::to_string(f.onCommand) : "every command") +
                    (f.onVerb.empty() ? "" : " with verb " + f.onVerb));
    if (f.neverReady)
        m_log.write("Faults: NeverReady, the busy flag will never be removed");

    m_machine = std::make_unique<Machine>(m_config.machine, m_config.decimalSeparator);
    std::string state;
    if (qelp::fileio::ReadFileBytes(m_statePath, state)) {
        for (const std::string& line : m_machine->applyStateText(state))
            m_log.write("State file: " + line);
        m_log.write("Machine state taken from " + m_statePath);
    } else {
        m_log.write("No state file yet; the machine starts as configured");
    }
    m_machine->markSaved();
}

void Simulator::awaitExchangeDirectory() {
    std::string reported;
    for (;;) {
        checkProgramDirectory();
        std::string problem;
        if (m_config.commandPath.empty())
            problem = "No exchange directory: set CommandPath in section [Link] of " + m_iniPath;
        else if (!qelp::fileio::IsDirectory(m_config.commandPath))
            problem = "Exchange directory " + m_config.commandPath + " does not exist";
        if (problem.empty())
            break;
        if (problem != reported) {
            m_log.write(problem + "; waiting for it");
            reported = problem;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(m_config.pollIntervalMs));
        // A corrected CommandPath is picked up without a restart.
        std::string ini;
        qelp::fileio::ReadFileBytes(m_iniPath, ini);
        m_config.commandPath =
            ParseSimConfig(ini, m_programDirectory, m_config.decimalSeparator).commandPath;
    }
    m_exchange = std::make_unique<Exchange>(m_config.commandPath, m_config.pollIntervalMs,
                                            m_config.useInotify);
    m_log.write("Exchange directory " + m_config.commandPath +
                (m_exchange->watching() ? " (watched)" : " (polled)"));
}

void Simulator::startUp() {
    // The console raises the flag before it launches a driver; one started by hand raises
    // it itself, so that nobody sends a command while the machine initialises.
    if (!m_exchange->exists(files::kBusy))
        m_exchange->write(files::kBusy, "[Busy]\r\nCommand=0\r\n");
    waitUntil({}, m_config.machine.timing.scaled(m_config.machine.timing.startupMs), false);
    if (m_config.faults.neverReady) {
        m_log.write("Initialised, but staying busy (fault NeverReady)");
        return;
    }
    m_exchange->remove(files::kBusy);
    m_ready = true;
    m_log.write("Ready for commands (busy.flg removed)");
}

void Simulator::idle() {
    for (;;) {
        if (m_exchange->exists(files::kCommandSignal)) {
            if (m_ready) {
                serveCommand();
                continue;
            }
            if (!m_ignoredNotice)
                m_log.write("cmd.sig appeared while not ready; ignored");
            m_ignoredNotice = true;
        } else {
            m_ignoredNotice = false;
        }
        m_exchange->waitForChange(m_config.pollIntervalMs);
        checkProgramDirectory();
        bool missing = !m_exchange->directoryExists();
        if (missing && !m_directoryMissingLogged)
            m_log.write("Exchange directory " + m_exchange->directory() +
                        " has disappeared; waiting for it to come back");
        else if (!missing && m_directoryMissingLogged)
            m_log.write("Exchange directory is back");
        m_directoryMissingLogged = missing;
    }
}

void Simulator::serveCommand() {
    ++m_commandNumber;
    m_abortHonoured = false;
    // The busy flag goes up before the command is touched, so the console never sees the
    // command taken while the driver looks idle.
    if (!m_exchange->write(files::kBusy,
                           "[Busy]\r\nCommand=" + std::to_string(m_commandNumber) + "\r\n"))
        m_log.write("Cannot write busy.flg in " + m_exchange->directory());
    std::optional<std::string> text = m_exchange->read(files::kCommandData);
    m_exchange->remove(files::kCommandSignal);
    m_exchange->remove(files::kCommandData);

    ParsedCommand parsed;
    if (text) {
        parsed = ParseCommandFile(*text);
    } else {
        parsed.error = "cmd.sig without cmd.dat";
        parsed.verbName = "NONE";
    }
    m_faulted = m_config.faults.selects(m_commandNumber, parsed.verbName);
    m_log.write("Command " + std::to_string(m_commandNumber) + " (" + parsed.verbName + ") taken" +
                (m_faulted && !describeFaults(m_config.faults).empty()
                     ? "; faults apply: " + describeFaults(m_config.faults)
                     : ""));
    if (text)
        m_log.writeFile("cmd.dat", *text);
    if (!parsed.command)
        m_log.write("Refused: " + parsed.error);

    if (faulted() && m_config.faults.die == DiePhase::AfterBusy)
        die("after taking the busy flag");
    if (faulted() && m_config.faults.hang)
        hang();

    // A driver that cleans up after its last question itself, and stumbles when the console
    // has already deleted the file (as it does before every command).
    const bool strict = faulted() && m_config.faults.strictCleanup && m_questionLeft;
    const bool leftoverGone = strict && !m_exchange->exists(files::kMessageData);
    if (strict)
        m_exchange->remove(files::kMessageData);
    m_questionLeft = false;

    ExchangeContext context(*this);
    CommandResult result = leftoverGone
                               ? m_machine->refuse("File not found: msg.dat (fault StrictCleanup)")
                               : runCommand(parsed, context);
    if (m_exchange->exists(files::kAbortSignal) || m_abortHonoured)
        consumeAbort();
    saveState();
    finishCommand(result);
}

CommandResult Simulator::runCommand(const ParsedCommand& parsed, ExchangeContext& context) {
    if (!runMessageFaults(context)) {
        CommandResult aborted;
        aborted.code = code::kAborted;
        aborted.errors.push_back("Aborted by the operator while messages were shown");
        return aborted;
    }
    CommandResult result = parsed.command ? m_machine->execute(*parsed.command, context)
                                          : m_machine->refuse(parsed.error);
    if (faulted() && m_config.faults.resultCode) {
        result.code = *m_config.faults.resultCode;
        result.errors.push_back("Simulated failure (result code " + std::to_string(result.code) +
                                ")");
    }
    return result;
}

bool Simulator::runMessageFaults(ExchangeContext& context) {
    if (!faulted())
        return true;
    if (m_config.faults.invalidDialog) {
        OperatorMessage m{
            "7", "This message has a dialog type no console shows.", button::kOk, 999, {}};
        if (!sendNotice(m))
            return false;
    }
    int burst = m_config.faults.messageBurst;
    for (int i = 1; i <= burst; ++i) {
        OperatorMessage m{
            std::to_string(dialog::kInformation),
            "Notice $1$ of $2$ for command $3$.",
            button::kOk,
            900 + i,
            {std::to_string(i), std::to_string(burst), std::to_string(m_commandNumber)}};
        // Only the last one waits for an answer; the earlier ones are replaced unanswered.
        bool goOn = i < burst ? sendNotice(m) : context.ask(m).has_value();
        if (!goOn)
            return false;
    }
    return true;
}

void Simulator::consumeAbort() {
    std::optional<std::string> data = m_exchange->read(files::kAbortData);
    m_log.writeFile("abort.dat", data.value_or("(missing)"));
    m_log.write(m_abortHonoured ? "Command aborted (abort.sig)"
                                : "abort.sig came after the work was done; result unchanged");
    m_exchange->remove(files::kAbortSignal);
    m_exchange->remove(files::kAbortData);
}

void Simulator::saveState() {
    if (!m_machine->stateChanged())
        return;
    if (qelp::fileio::WriteFileReplacing(m_statePath, m_machine->stateText()))
        m_machine->markSaved();
    else
        m_log.write("Cannot write the state file " + m_statePath);
}

std::string Simulator::resultBytes(const CommandResult& result) const {
    std::string text = RenderResultFile(result, m_config.decimalSeparator);
    if (!faulted())
        return text;
    std::string resultLine = "RESULT=" + std::to_string(result.code) + "\r\n";
    switch (m_config.faults.result) {
    case ResultFault::None:
    case ResultFault::SignalOnly:
        return text;
    case ResultFault::NoResult:
        qelp::ReplaceAll(text, resultLine, "");
        return text;
    case ResultFault::NonNumeric:
        qelp::ReplaceAll(text, resultLine, "RESULT=OK\r\n");
        return text;
    case ResultFault::Garbage:
        // Keys before any section belong to none, and "General" is never opened.
        return "RESULT=0\r\nGarbage from a confused driver >>> ]General[ <<<\r\n=0\r\n"
               "{\"RESULT\": 0}\r\n";
    case ResultFault::Binary:
        return binaryBytes(4096);
    case ResultFault::Huge: {
        text += "[Padding]\r\n";
        std::string filler(96, 'x');
        for (size_t i = 1; text.size() < m_config.faults.hugeResultBytes; ++i)
            text += "Filler" + std::to_string(i) + "=" + filler + "\r\n";
        return text;
    }
    }
    return text;
}

void Simulator::finishCommand(const CommandResult& result) {
    std::string bytes = resultBytes(result);
    const OrderFault order = faulted() ? m_config.faults.order : OrderFault::None;
    if (order == OrderFault::BusyFirst)
        m_exchange->remove(files::kBusy);
    if (order == OrderFault::SignalFirst && !m_exchange->write(files::kResultSignal, ""))
        m_log.write("Cannot write result.sig in " + m_exchange->directory());
    if (faulted() && m_config.faults.result == ResultFault::SignalOnly) {
        m_exchange->remove(files::kResultData);
        m_log.write("Fault SignalOnly: result.sig without result.dat");
    } else {
        if (!m_exchange->write(files::kResultData, bytes))
            m_log.write("Cannot write result.dat in " + m_exchange->directory());
        m_log.writeFile("result.dat", bytes);
        if (faulted() && m_config.faults.die == DiePhase::AfterResultData)
            die("after writing result.dat, before result.sig");
    }
    if (order != OrderFault::SignalFirst && !m_exchange->write(files::kResultSignal, ""))
        m_log.write("Cannot write result.sig in " + m_exchange->directory());
    if (faulted() && m_config.faults.keepBusy) {
        m_log.write("Command " + std::to_string(m_commandNumber) + " finished with RESULT " +
                    std::to_string(result.code) + "; busy.flg kept (fault KeepBusy)");
        return;
    }
    m_exchange->remove(files::kBusy);
    m_log.write("Command " + std::to_string(m_commandNumber) + " finished with RESULT " +
                std::to_string(result.code) + "; busy.flg removed");
}

Simulator::WaitEnd Simulator::waitUntil(const std::function<bool()>& done, int timeoutMs,
                                        bool abortable) {
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
    for (;;) {
        if (done && done())
            return WaitEnd::Done;
        if (abortable && !(faulted() && m_config.faults.ignoreAbort) && m_exchange &&
            m_exchange->exists(files::kAbortSignal))
            return WaitEnd::Aborted;
        int remaining = m_config.pollIntervalMs;
        if (timeoutMs >= 0) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return WaitEnd::TimedOut;
            remaining = static_cast<int>(std::min<long long>(left.count(), remaining));
        }
        if (m_exchange)
            m_exchange->waitForChange(remaining);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(remaining));
        checkProgramDirectory();
    }
}

void Simulator::checkProgramDirectory() const {
    if (!qelp::fileio::IsDirectory(m_programDirectory))
        throw ProgramGone{};
}

void Simulator::writeMessage(const OperatorMessage& message) {
    // A reply still lying around belongs to an earlier question.
    m_exchange->remove(files::kReplySignal);
    m_exchange->remove(files::kReplyData);
    std::string bytes = RenderMessageFile(message);
    const bool signalFirst = faulted() && m_config.faults.order == OrderFault::SignalFirst;
    bool written = !signalFirst || m_exchange->write(files::kMessageSignal, "");
    written = m_exchange->write(files::kMessageData, bytes) && written;
    if (!signalFirst)
        written = m_exchange->write(files::kMessageSignal, "") && written;
    if (!written)
        m_log.write("Cannot write the message files in " + m_exchange->directory());
    m_questionLeft = true;
    m_log.writeFile("msg.dat (code " + std::to_string(message.code) + ")", bytes);
    if (faulted() && m_config.faults.die == DiePhase::InQuestion)
        die("while a message is open");
}

std::optional<int> Simulator::askOperator(const OperatorMessage& message) {
    writeMessage(message);
    WaitEnd end = waitUntil([this] { return m_exchange->exists(files::kReplySignal); }, -1, true);
    if (end == WaitEnd::Aborted) {
        m_abortHonoured = true;
        m_log.write("Question " + std::to_string(message.code) + " ended by abort.sig");
        return std::nullopt;
    }
    std::string reply = m_exchange->read(files::kReplyData).value_or("");
    m_exchange->remove(files::kReplySignal);
    m_exchange->remove(files::kReplyData);
    m_log.writeFile("reply.dat", reply.empty() ? "(missing)" : reply);
    std::optional<int32_t> value =
        qelp::ParseDigits32(qelp::profile::LookupInText(reply, "Reply", "Button"));
    if (!value) {
        m_log.write("The reply names no button; taken as no consent");
        return 0;
    }
    m_log.write("Operator answered " + std::to_string(*value) + " (" + buttonCaption(*value) + ")");
    return *value;
}

bool Simulator::sendNotice(const OperatorMessage& message) {
    writeMessage(message);
    WaitEnd end = waitUntil([this] { return !m_exchange->exists(files::kMessageSignal); },
                            m_config.machine.timing.messageConsumeMs, true);
    if (end == WaitEnd::Aborted) {
        m_abortHonoured = true;
        return false;
    }
    if (end == WaitEnd::TimedOut)
        m_log.write("The console did not take message " + std::to_string(message.code) +
                    " in time; going on");
    return true;
}

void Simulator::die(const std::string& phase) {
    m_log.write("Fault DieAt: the process ends " + phase);
    std::_Exit(kDiedExitStatus);
}

void Simulator::hang() {
    m_log.write("Fault Hang: the command never ends; busy.flg stays");
    for (;;) {
        if (m_exchange)
            m_exchange->waitForChange(m_config.pollIntervalMs);
        checkProgramDirectory();
    }
}

} // namespace qelpsim
