#pragma once
// Runs the real simulator binary under a unique name in a temporary directory and plays
// the console's side of the exchange against it.
#include "testsupport.h"

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace simtest {

// Generous bound for anything the simulator does in fast mode; reaching it fails the test.
inline constexpr int kPatienceMs = 10000;

// Answer of a test's message handler: a button value, or one of these.
inline constexpr int kNoAnswer = 0; // take the message (delete msg.sig) without replying
inline constexpr int kAbort = -1;   // press the console's abort button instead

struct CommandRun {
    bool finished = false;             // result.sig seen with busy.flg gone
    int code = -100;                   // RESULT when it is digits, -1 otherwise
    std::string result;                // result.dat as it was when the result was signalled
    std::vector<std::string> messages; // msg.dat texts, in order
    // Exchange-directory events while the command ran: "+name" created (or renamed into
    // place), "-name" removed. Temporary files (leading dot) are left out.
    std::vector<std::string> events;
    std::vector<std::string> violations; // broken handshake rules seen while polling

    std::string value(const std::string& section, const std::string& key) const;
};

class SimProcess {
public:
    // A copy of the simulator under a unique name in <tmp>/prog/, exchange directory
    // <tmp>/ex/, fast mode on.
    SimProcess();
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Sets an ini value for the next start.
    void set(const std::string& section, const std::string& key, const std::string& value);
    // Creates the busy flag as the console does before it launches a driver.
    void raiseBusyFlag();
    void start();
    // Starts and waits until busy.flg is gone.
    void startReady();
    void kill();
    // Waits for the process to end by itself; its exit status, or -1 when it is still
    // running after timeoutMs.
    int waitForExit(int timeoutMs = kPatienceMs);
    bool running();

    std::string ex(const std::string& name) const { return m_exchange + name; }
    const std::string& exchangeDirectory() const { return m_exchange; }
    const std::string& programDirectory() const { return m_program; }
    std::string logText() const;
    const std::string& name() const { return m_name; }

    // The console's hand-over: waits for the driver to be idle, clears the old exchange
    // files, writes cmd.dat then cmd.sig, and serves messages through `answer` until the
    // result is signalled and busy.flg is gone (or kPatienceMs pass).
    CommandRun send(const std::string& commandLines,
                    const std::function<int(const std::string&)>& answer = {});
    // Waits until the file exists (or not); false after kPatienceMs.
    bool waitFor(const std::string& name, bool present = true);

private:
    qelptest::TempDir m_root;
    std::string m_program;
    std::string m_exchange;
    std::string m_name;
    std::string m_ini;
    pid_t m_pid = -1;
    int m_status = 0; // wait status of the process once it has ended
};

// Canister figures of a result file, by canister number from 1.
double CanisterValue(const std::string& resultText, int canister, const std::string& field);

// Position of an event in the list, or -1.
int EventIndex(const std::vector<std::string>& events, const std::string& event);

} // namespace simtest
