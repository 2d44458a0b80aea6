#pragma once
// The driver's main loop: become ready, take each command the console signals, run it on
// the machine while holding the busy flag, relay the machine's questions, honour aborts,
// and hand back the result, in the order of file operations the console relies on.
#include "commandparser.h"
#include "exchange.h"
#include "machine.h"
#include "simconfig.h"
#include "simlog.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace qelpsim {

// Exit status of a process that a "die" fault ended.
inline constexpr int kDiedExitStatus = 99;

// The running process's id, for the log.
long OwnProcessId();

class Simulator {
public:
    // programPath: the executable's full path. The ini, the log and the state file are named
    // after its file name.
    // dataDirectory (ending in '/') holds the ini, state and log files and is the base of a
    // relative CommandPath; empty means the program's own directory (a portable copy).
    explicit Simulator(const std::string& programPath, const std::string& dataDirectory = {});
    ~Simulator();

    // Runs until the data directory disappears (then returns 0) or a fault ends
    // the process.
    int run();

    const std::string& iniPath() const { return m_iniPath; }
    const std::string& logPath() const { return m_log.path(); }
    const std::string& statePath() const { return m_statePath; }

private:
    class ExchangeContext;
    struct ProgramGone {};
    enum class WaitEnd { Done, Aborted, TimedOut };

    void loadConfiguration();
    void awaitExchangeDirectory();
    void startUp();
    void idle();
    void serveCommand();
    CommandResult runCommand(const ParsedCommand& parsed, ExchangeContext& context);
    bool runMessageFaults(ExchangeContext& context);
    void consumeAbort();
    void saveState();
    void finishCommand(const CommandResult& result);
    std::string resultBytes(const CommandResult& result) const;

    // Waits until done() holds (done may be empty: wait the whole time), abort.sig appears
    // (when abortable) or timeoutMs pass (negative: no limit). Throws ProgramGone.
    WaitEnd waitUntil(const std::function<bool()>& done, int timeoutMs, bool abortable);
    void checkProgramDirectory() const;
    std::optional<int> askOperator(const OperatorMessage& message);
    // A message that wants no answer; waits until the console has taken it (msg.sig gone)
    // or the consume time passed. False when the command was aborted meanwhile.
    bool sendNotice(const OperatorMessage& message);
    void writeMessage(const OperatorMessage& message);
    [[noreturn]] void die(const std::string& phase);
    [[noreturn]] void hang();
    bool faulted() const { return m_faulted; }

    std::string m_programDirectory; // the data directory: the program's own when portable
    std::string m_programName;
    std::string m_iniPath;
    std::string m_statePath;
    SimLog m_log;
    SimConfig m_config;
    std::unique_ptr<Machine> m_machine;
    std::unique_ptr<Exchange> m_exchange;
    bool m_ready = false;
    bool m_ignoredNotice = false; // "not ready" logged for the pending cmd.sig
    bool m_directoryMissingLogged = false;
    int m_commandNumber = 0;
    bool m_faulted = false; // the configured faults select the running command
    bool m_abortHonoured = false;
    bool m_questionLeft = false; // the last command left a message file behind
};

} // namespace qelpsim
