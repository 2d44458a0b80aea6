#include "checker.h"

#include "builders/builders.h"
#include "builders/dosing.h"
#include "exchange/exchange.h"
#include "fileobserver.h"
#include "frame/codepage.h"
#include "frame/fileio.h"
#include "frame/layout.h"
#include "frame/nativehost.h"
#include "frame/profile.h"
#include "frame/program.h"
#include "frame/textutil.h"
#include "link/config.h"
#include "link/supervision.h"
#include "link/transfer.h"
#include "qelpversion.h"
#include "replies/message.h"
#include "replies/resultfile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <random>
#include <sstream>

namespace qelpcheck {

using qelp::Program;

namespace {

// Start and stop clear the whole exchange directory, in this order, as the console does.
constexpr qelp::ExchangeSlot kAllSlots[] = {qelp::SlotAbort, qelp::SlotCommand, qelp::SlotMessage,
                                            qelp::SlotReply, qelp::SlotResult,  qelp::SlotBusy};
// How often a wait asks whether the driver process still runs.
constexpr int kProcessCheckMs = 200;
// A result larger than this is read, but is worth a word: real results are a few kilobytes.
constexpr size_t kLargeResultBytes = 64 * 1024;

std::string Utf8(const std::string& cp1252) {
    return qelp::Cp1252ToUtf8(cp1252);
}

// One of the console's commands, and what its answer must hold.
struct Command {
    const char* name;
    std::function<bool(Program&)> build;
    bool hasOutput = false;
    bool listsCanisters = false;
    bool startUp = false; // part of the console's start-up, which needs RESULT 0
};

// What one command did in the exchange directory, and what the driver answered.
struct Exchange {
    int64_t startMs = 0;
    std::vector<FileEvent> events;
    std::string sendProblem;  // the command could not be handed over
    bool finished = false;    // result.sig there and busy.flg gone
    bool processLost = false; // the driver ended during the wait
    bool timedOut = false;    //  ... or did not finish within the bound
    int64_t finishedMs = -1;  // relative to startMs
    int64_t abortMs = -1;     // when the abort files were written, relative to startMs
    int questions = 0;        // messages read during the command
    std::string lastQuestion; // the last one's text, its type and answer (UTF-8)
    std::vector<std::string> problems;
    std::vector<std::string> warnings;
    qelp::fileio::ReadResult resultRead = qelp::fileio::ReadResult::Missing;
    std::string resultBytes;
    int32_t resultCode = -1;
};

std::string Ms(int64_t ms) {
    return std::to_string(ms) + " ms";
}

// Lowest button the message offers (bits 0 to 10), as the operator's first choice; 0: none.
int32_t FirstButton(int32_t mask) {
    for (int bit = 0; bit <= 10; ++bit)
        if (mask & (1 << bit))
            return 1 << bit;
    return 0;
}

bool HasSection(const std::string& bytes, const char* section) {
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = bytes.size();
        const std::string line =
            qelp::TrimSpace(std::string_view(bytes).substr(start, end - start));
        const size_t close = line.rfind(']');
        if (!line.empty() && line[0] == '[' && close != std::string::npos &&
            qelp::EqualsIgnoreCase(qelp::TrimSpace(line.substr(1, close - 1)), section))
            return true;
        start = end + 1;
    }
    return false;
}

// Deviations from Windows-1252 text with CR LF line ends that the console's reader still
// copes with.
void TextWarnings(const std::string& file, const std::string& bytes,
                  std::vector<std::string>& warnings) {
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0 || bytes.rfind("\xFF\xFE", 0) == 0) {
        warnings.push_back(file + " starts with a byte-order mark; the console converts it, "
                                  "a Windows driver writes Windows-1252");
    } else {
        // Valid UTF-8 with at least one multi-byte sequence: almost never Windows-1252.
        bool utf8 = false, valid = true;
        for (size_t i = 0; i < bytes.size() && valid; ++i) {
            const auto c = static_cast<unsigned char>(bytes[i]);
            if (c < 0x80)
                continue;
            const size_t follow = (c & 0xE0) == 0xC0   ? 1
                                  : (c & 0xF0) == 0xE0 ? 2
                                  : (c & 0xF8) == 0xF0 ? 3
                                                       : 0;
            valid = follow > 0 && i + follow < bytes.size();
            for (size_t k = 1; valid && k <= follow; ++k)
                valid = (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
            utf8 = true;
            i += follow;
        }
        if (utf8 && valid)
            warnings.push_back(file + " looks like UTF-8; the console reads it as Windows-1252, "
                                      "so its accented letters change");
    }
    size_t bareLf = 0, bareCr = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            ++bareLf;
        if (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n'))
            ++bareCr;
    }
    if (bareLf + bareCr > 0)
        warnings.push_back(file + " has " + std::to_string(bareLf + bareCr) +
                           " line(s) not ended by CR LF; the console reads them, a Windows "
                           "driver writes CR LF");
}

// A new directory of ours in the system's temporary directory (UTF-8 name), or empty. The
// name is random, and creating it fails if it exists, so no other run shares it.
std::string MakeTemporaryDirectory(const std::string& prefix) {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec)
        return {};
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
        const std::filesystem::path candidate = base / (prefix + suffix);
        if (std::filesystem::create_directory(candidate, ec))
            return candidate.string();
        if (ec)
            return {};
    }
    return {};
}

class Checker {
public:
    Checker(const Options& options, std::ostream& out)
        : m_options(options), m_out(out), m_program(m_host, m_ui) {
        // The store the console of this layout reads: the data directory's when the layout
        // has one of its own (installed, or named by --data-dir), else the host's default.
        if (!m_options.dataDirectory.empty())
            m_host.setDataDirectory(m_options.dataDirectory);
    }
    ~Checker() {
        std::error_code ec;
        if (!m_serverDirectory.empty())
            std::filesystem::remove_all(m_serverDirectory, ec);
    }

    // Returns 2 with the reason in problem when the run cannot start.
    int setUp(std::string& problem);
    void run();
    const std::vector<CheckLine>& lines() const { return m_lines; }

private:
    bool selected(const std::string& name) const {
        return m_options.only.empty() || std::find(m_options.only.begin(), m_options.only.end(),
                                                   name) != m_options.only.end();
    }
    void report(CheckLine line);
    void skipRest(const std::string& from, const std::string& why);

    void checkReadiness();
    void checkCommand(const Command& command, bool reportIt);
    void checkQuestion();
    void checkTolerance();
    void checkAbort();
    void checkProcess();

    Exchange exchange(const std::function<bool(Program&)>& build, bool abort);
    void collect(Exchange& ex, int timeoutMs);
    void serveMessage(Exchange& ex);
    void judgeOrder(Exchange& ex);
    void judgeResult(Exchange& ex, const Command& command);
    std::string transcript(const Exchange& ex) const;
    bool processRunning();
    void noteLoss(const std::string& during);
    void stopIfStuck(const Exchange& ex, const std::string& name);
    std::vector<Command> commands();

    std::string path(std::string_view name) const {
        return m_program.link.driverCommandDirectory + std::string(name);
    }

    Options m_options;
    std::ostream& m_out;
    qelp::NativeHost m_host;
    qelp::NullUiPort m_ui; // no screen: no message window ever opens
    Program m_program;
    std::unique_ptr<FileObserver> m_observer;
    std::string m_serverDirectory; // our own ServerCmd, removed at the end
    std::vector<CheckLine> m_lines;
    std::string m_stopped; // why the remaining checks cannot run; empty while they can
    bool m_launched = false;
    bool m_foundAtStart = false;
    std::string m_lostDuring; // the check during which the process was found gone
    std::string m_current;    // the check that runs
    // What the canister-size answer told, for the commands that name a canister.
    int32_t m_canister = 1;
    std::string m_colorant;
    double m_contentMl = 0;
    std::map<std::string, int32_t> m_codes; // result code per command
};

int Checker::setUp(std::string& problem) {
    qelp::ProgramState::LinkSettings& link = m_program.link;
    const std::string driver = qelp::Utf8ToCp1252(m_options.driver);
    link.driverDirectory = qelp::DirectoryOf(driver);
    link.driverExeName = qelp::FileNameOf(driver);
    m_program.files.logFilePath = qelp::Utf8ToCp1252(m_options.logFile);

    std::string exchangeDir = qelp::Utf8ToCp1252(m_options.exchange);
    if (exchangeDir.empty()) {
        // Like the console: the exchange directory is the store's CommandPath.
        exchangeDir = m_host.ReadRegistryValues(qelp::RegistryRoot::LocalMachine, qelp::kConfigKey,
                                                {"CommandPath"})[0];
        if (exchangeDir.empty()) {
            problem = "no exchange directory: give --exchange DIR, or set CommandPath in " +
                      m_host.storeName(qelp::kConfigKey);
            return 2;
        }
    }
    link.driverCommandDirectory = qelp::WithTrailingSeparator(exchangeDir);
    if (!m_host.DirectoryExists(link.driverCommandDirectory)) {
        problem = "the exchange directory " + Utf8(link.driverCommandDirectory) + " does not exist";
        return 2;
    }
    if (link.driverExeName.empty() ||
        (!m_options.adopt && !m_host.FileExists(link.driverDirectory + link.driverExeName))) {
        problem = "the driver " + m_options.driver + " does not exist";
        return 2;
    }
    const bool running = m_host.IsProcessRunning(link.driverExeName);
    if (m_options.adopt && !running) {
        problem = "no running process is named " + Utf8(link.driverExeName) + " (--adopt)";
        return 2;
    }
    if (!m_options.adopt && running) {
        problem = "a process named " + Utf8(link.driverExeName) +
                  " already runs; end it, or check it with --adopt";
        return 2;
    }
    m_observer = FileObserver::Create(Utf8(link.driverCommandDirectory), m_options.notifications);
    // The command files are built where the console builds them: a ServerCmd of our own.
    m_serverDirectory = MakeTemporaryDirectory("qelp-check-");
    if (!m_observer || m_serverDirectory.empty()) {
        problem = "cannot watch the exchange directory or create a temporary directory";
        return 2;
    }
    link.serverCommandDirectory =
        qelp::WithTrailingSeparator(qelp::Utf8ToCp1252(m_serverDirectory));
    return 0;
}

void Checker::report(CheckLine line) {
    const char* word = line.verdict == Verdict::Pass   ? "PASS"
                       : line.verdict == Verdict::Fail ? "FAIL"
                                                       : "SKIP";
    m_out << word << ' ' << line.name << ": " << line.detail << '\n';
    for (const std::string& warning : line.warnings)
        m_out << "WARN " << line.name << ": " << warning << '\n';
    m_out.flush();
    m_lines.push_back(std::move(line));
}

bool Checker::processRunning() {
    return m_host.IsProcessRunning(m_program.link.driverExeName);
}

void Checker::noteLoss(const std::string& during) {
    if (m_lostDuring.empty())
        m_lostDuring = during;
    if (m_stopped.empty())
        m_stopped = "the driver process has ended";
}

void Checker::stopIfStuck(const Exchange& ex, const std::string& name) {
    if (!m_stopped.empty())
        return;
    if (ex.processLost || !processRunning())
        noteLoss(name);
    else if (ex.timedOut || !ex.sendProblem.empty())
        m_stopped = "the driver stayed busy after " + name;
}

// Every command the console sends, built by the console's own builders, in the order the
// checker sends them: the start-up pair first, so that the rest knows the canisters.
std::vector<Command> Checker::commands() {
    using qelp::MachineInfoKind;
    Checker* self = this;
    return {
        {"reset", [](Program& p) { return qelp::CreateResetCommand(p, false); }, false, false,
         true},
        {"canister-size",
         [](Program& p) {
             return qelp::CreateMachineInfoCommand(p, MachineInfoKind::CanisterSize);
         },
         true, true, true},
        {"reset-hard", [](Program& p) { return qelp::CreateResetCommand(p, true); }},
        {"features",
         [](Program& p) { return qelp::CreateMachineInfoCommand(p, MachineInfoKind::Features); },
         true},
        {"pump-count",
         [](Program& p) { return qelp::CreateMachineInfoCommand(p, MachineInfoKind::PumpCount); },
         true},
        {"canister-count",
         [](Program& p) {
             return qelp::CreateMachineInfoCommand(p, MachineInfoKind::CanisterCount);
         },
         true},
        {"version", [](Program& p) { return qelp::CreateVersionCommand(p); }, true},
        {"purge", [self](Program& p) { return qelp::CreatePurgeCommand(p, self->m_canister); }},
        {"purge-colorant",
         [self](Program& p) { return qelp::CreatePurgeColCommand(p, self->m_colorant); }},
        {"clean", [self](Program& p) { return qelp::CreateCleanCommand(p, self->m_canister); }},
        {"clean-colorant",
         [self](Program& p) { return qelp::CreateCleanColCommand(p, self->m_colorant); }},
        {"fill-prepare",
         [self](Program& p) {
             return qelp::CreateFillCanisterCommand(p, qelp::FillCanisterMode::Prepare,
                                                    self->m_canister, 0);
         }},
        {"fill-add",
         [self](Program& p) {
             return qelp::CreateFillCanisterCommand(p, qelp::FillCanisterMode::Add,
                                                    self->m_canister, 0);
         }},
        // Sets the content it already has, so the check leaves the machine as it found it.
        {"fill-set",
         [self](Program& p) {
             return qelp::CreateFillCanisterCommand(
                 p, qelp::FillCanisterMode::Set, self->m_canister,
                 static_cast<int32_t>(std::floor(self->m_contentMl)));
         }},
        {"service-window",
         [](Program& p) { return qelp::CreateShowServiceWindowCommand(p, std::string()); }},
        {"colorant-name",
         [self](Program& p) {
             return qelp::CreateSetCanColNameCommand(p, self->m_canister, self->m_colorant);
         }},
        {"dose", [self](Program& p) {
             p.recipe.sendPunch = false;
             qelp::DosingRecipe recipe{0, 1, 1, 1, {}, {}, {}, 0, 0};
             return qelp::CreateDosingCommand(p, recipe,
                                              {{self->m_canister, 0.1, 0, self->m_colorant}});
         }}};
}

void Checker::run() {
    m_current = "readiness";
    checkReadiness();
    for (const Command& command : commands()) {
        // The start-up pair runs whenever anything after it does: it tells the canisters.
        if (selected(command.name) || command.startUp)
            checkCommand(command, selected(command.name));
    }
    if (selected("question"))
        checkQuestion();
    if (selected("tolerance"))
        checkTolerance();
    if (selected("abort"))
        checkAbort();
    checkProcess();
    if (m_launched && processRunning())
        qelp::StopDriver(m_program); // ends it and clears the exchange directory, as Stop does
}

void Checker::skipRest(const std::string& name, const std::string& why) {
    report({name, Verdict::Skip, why, {}});
}

void Checker::checkReadiness() {
    CheckLine line{"readiness", Verdict::Fail, {}, {}};
    const int64_t start = NowMs();
    if (!m_options.adopt) {
        // As the console launches a driver: the exchange directory cleared, the busy flag
        // written, the full path alone as command line, its own directory to work in.
        for (qelp::ExchangeSlot slot : kAllSlots)
            qelp::DeleteExchangePair(m_program, slot);
        m_host.WriteProfileString("Any", "Dummy", "0", path("busy.flg"));
        m_observer->take(0);
        if (m_host.LaunchProcess(m_program.link.driverDirectory + m_program.link.driverExeName,
                                 m_program.link.driverDirectory, 1) != 0) {
            line.detail = "the driver could not be started";
            m_stopped = "the driver did not start";
            return report(line);
        }
        m_launched = true;
    }
    m_foundAtStart = processRunning();
    int64_t nextProcessCheck = NowMs() + kProcessCheckMs;
    std::vector<FileEvent> events;
    while (qelp::IsDriverBusy(m_program)) {
        const int64_t now = NowMs();
        if (now - start >= m_options.readyTimeoutMs) {
            line.detail = "busy.flg still there " + Ms(now - start) + " after the " +
                          (m_launched ? "launch" : "start of the check") +
                          "; the driver removes it when it is ready for commands";
            m_stopped = "the driver never became ready";
            return report(line);
        }
        if (now >= nextProcessCheck) {
            nextProcessCheck = now + kProcessCheckMs;
            if (!processRunning()) {
                line.detail = "the driver ended " + Ms(now - start) +
                              " after the launch without removing busy.flg";
                noteLoss("readiness");
                return report(line);
            }
        }
        for (FileEvent& e : m_observer->take(20))
            events.push_back(std::move(e));
    }
    const int64_t readyMs = NowMs() - start;
    for (FileEvent& e : m_observer->take(0))
        events.push_back(std::move(e));
    // Idle means nothing of a command: no result, no question lying signalled.
    for (const FileEvent& e : events) {
        if (e.op != FileOp::Gone && e.name != "busy.flg") {
            line.detail = "busy.flg went after " + Ms(readyMs) + ", but " + e.name + " " +
                          OpText(e.op) + " at +" + Ms(e.atMs - start) + " with no command sent";
            return report(line);
        }
    }
    line.verdict = Verdict::Pass;
    line.detail = m_launched ? "busy.flg went " + Ms(readyMs) + " after the launch; idle"
                             : "busy.flg absent after " + Ms(readyMs) +
                                   " (adopted: the launch was not watched); idle";
    report(line);
}

Exchange Checker::exchange(const std::function<bool(Program&)>& build, bool abort) {
    Exchange ex;
    m_observer->take(0); // what happened before belongs to no command
    ex.startMs = NowMs();
    if (!build(m_program)) {
        ex.sendProblem = "the command file could not be built";
        return ex;
    }
    const int32_t sent = qelp::SendCommandFile(m_program, m_options.timeoutMs);
    if (sent == -2) {
        ex.processLost = true;
        ex.sendProblem = "the driver process no longer runs";
        return ex;
    }
    if (sent != 0) {
        collect(ex, 0);
        ex.sendProblem = qelp::IsDriverBusy(m_program)
                             ? "not handed over: busy.flg stayed " + Ms(m_options.timeoutMs) +
                                   " after the previous command"
                             : "not handed over: the command file could not be written into "
                               "the exchange directory";
        return ex;
    }
    int64_t deadline = NowMs() + m_options.timeoutMs;
    int64_t nextProcessCheck = NowMs() + kProcessCheckMs;
    for (;;) {
        const bool busy = qelp::IsDriverBusy(m_program);
        // The console serves questions only while the driver holds its busy flag.
        if (busy && qelp::SignalFileExists(m_program, qelp::SlotMessage))
            serveMessage(ex);
        if (abort && ex.abortMs < 0 && (busy || !m_host.FileExists(path("cmd.sig")))) {
            qelp::AbortCommand(m_program);
            ex.abortMs = NowMs() - ex.startMs;
            deadline = NowMs() + m_options.timeoutMs; // the bound runs from the abort
        }
        if (qelp::SignalFileExists(m_program, qelp::SlotResult) && !qelp::IsDriverBusy(m_program)) {
            ex.finished = true;
            ex.finishedMs = NowMs() - ex.startMs;
            break;
        }
        const int64_t now = NowMs();
        if (now >= deadline) {
            ex.timedOut = true;
            break;
        }
        if (now >= nextProcessCheck) {
            nextProcessCheck = now + kProcessCheckMs;
            if (!processRunning()) {
                ex.processLost = true;
                break;
            }
        }
        collect(ex, static_cast<int>(std::min<int64_t>(20, deadline - now)));
    }
    collect(ex, 0);
    if (ex.finished) {
        // The raw bytes for the checks of form, then the console's own reader, which also
        // deletes the result files as the console does.
        ex.resultRead =
            qelp::fileio::ReadFileChecked(Utf8(path("result.dat")), ex.resultBytes, false);
        qelp::ReadResultFile(m_program);
        ex.resultCode = m_program.result.driverResultCode;
        collect(ex, 0);
    }
    return ex;
}

void Checker::collect(Exchange& ex, int timeoutMs) {
    for (FileEvent& e : m_observer->take(timeoutMs))
        ex.events.push_back(std::move(e));
}

void Checker::serveMessage(Exchange& ex) {
    ++ex.questions;
    const std::string raw =
        qelp::profile::ReadProfileString("Msg", "DlgType", Utf8(path("msg.dat")));
    std::string bytes;
    if (qelp::fileio::ReadFileChecked(Utf8(path("msg.dat")), bytes, false) ==
        qelp::fileio::ReadResult::Ok)
        TextWarnings("msg.dat", bytes, ex.warnings);
    else
        ex.problems.push_back("msg.sig appeared at +" + Ms(NowMs() - ex.startMs) +
                              " with no msg.dat to read");
    qelp::ReadDriverMessage(m_program); // the console's reader; it removes msg.sig
    const auto& message = m_program.message;
    if (message.messageDialogType < 0) {
        ex.problems.push_back("msg.dat DlgType \"" + Utf8(raw) +
                              "\" is not a number from 0 to 4; the console shows no such "
                              "message and sends no reply");
        return;
    }
    const int32_t button = FirstButton(message.messageButtons);
    if (button == 0) {
        ex.problems.push_back("msg.dat offers no button (Buttons \"" +
                              std::to_string(message.messageButtons) +
                              "\"); the operator cannot answer it");
        return;
    }
    std::string text = message.messageText;
    qelp::ReplaceAll(text, "\r\n", "<brk>"); // one report line per check
    ex.lastQuestion = "\"" + Utf8(text) + "\" (type " + std::to_string(message.messageDialogType) +
                      ", buttons " + std::to_string(message.messageButtons) + "), answered " +
                      std::to_string(button);
    m_program.message.replyPending = button;
    qelp::WriteReply(m_program);
}

std::string Checker::transcript(const Exchange& ex) const {
    std::string out;
    const auto& events = ex.events;
    for (size_t i = 0; i < events.size(); ++i) {
        const FileEvent& e = events[i];
        // A file that appears complete (renamed into place) is told once, as written.
        if (e.op == FileOp::Appeared && i + 1 < events.size() && events[i + 1].name == e.name &&
            events[i + 1].op == FileOp::Written)
            continue;
        out += (out.empty() ? "" : ", ") + std::string("+") + Ms(e.atMs - ex.startMs) + " " +
               e.name + " " + OpText(e.op);
    }
    return "observed: " + (out.empty() ? std::string("nothing") : out);
}

// The driver's side of the hand-shake, from the file operations in the order they happened.
void Checker::judgeOrder(Exchange& ex) {
    if (!m_observer->ordered())
        return; // the looking observer cannot tell the order within one look
    const auto& events = ex.events;
    auto find = [&](const char* name, FileOp op, size_t from) {
        for (size_t i = from; i < events.size(); ++i)
            if (events[i].name == name && events[i].op == op)
                return i;
        return events.size();
    };
    const size_t handedOver = find("cmd.sig", FileOp::Appeared, 0);
    const size_t taken = find("cmd.sig", FileOp::Gone, handedOver);
    const size_t signalled = find("result.sig", FileOp::Appeared, handedOver);
    if (taken == events.size() || taken > signalled) {
        ex.problems.push_back("expected cmd.sig to be removed when the command is taken, "
                              "before result.sig");
        return;
    }
    // A data file must be complete before its signal appears: its last event before the
    // signal is its completion.
    auto completeBefore = [&](const char* data, const char* signal) {
        for (size_t s = handedOver; (s = find(signal, FileOp::Appeared, s)) < events.size(); ++s) {
            FileOp last = FileOp::Gone;
            for (size_t i = handedOver; i < s; ++i)
                if (events[i].name == data)
                    last = events[i].op;
            if (last != FileOp::Written) {
                ex.problems.push_back(std::string("expected ") + data + " complete before " +
                                      signal + " appears");
                return;
            }
        }
    };
    completeBefore("msg.dat", "msg.sig");
    // The console reads a question only while the busy flag is up.
    bool up = false;
    for (size_t i = handedOver; i < events.size(); ++i) {
        if (events[i].name == "busy.flg")
            up = events[i].op != FileOp::Gone;
        if (events[i].name == "msg.sig" && events[i].op == FileOp::Appeared && !up) {
            ex.problems.push_back("expected busy.flg present when msg.sig appears; the console "
                                  "reads questions only while the driver is busy");
            return;
        }
    }
    completeBefore("result.dat", "result.sig");
    // The busy flag: up when the command is taken, and up until result.sig is there.
    bool busy = false;
    for (size_t i = handedOver; i < events.size() && i <= signalled; ++i) {
        if (events[i].name == "busy.flg")
            busy = events[i].op != FileOp::Gone;
        if (i == taken && !busy) {
            ex.problems.push_back("expected busy.flg present when cmd.sig is removed");
            return;
        }
        if (i > taken && i < signalled && !busy) {
            ex.problems.push_back("expected busy.flg present until result.sig appears");
            return;
        }
    }
}

void Checker::judgeResult(Exchange& ex, const Command& command) {
    using qelp::fileio::ReadResult;
    if (ex.resultRead != ReadResult::Ok) {
        ex.problems.push_back(ex.resultRead == ReadResult::Missing
                                  ? "result.sig was signalled without result.dat"
                                  : "result.dat is refused by the console: " +
                                        qelp::fileio::RefusalText(ex.resultRead, "result.dat"));
        return;
    }
    const std::string& bytes = ex.resultBytes;
    if (!HasSection(bytes, "General")) {
        ex.problems.push_back("result.dat has no section \"General\"");
        return;
    }
    const qelp::profile::ProfileSnapshot file(bytes);
    const std::string code = file.Read("General", "RESULT");
    if (!qelp::IsAllDigits(code)) {
        ex.problems.push_back(code.empty() ? "result.dat has no \"RESULT\" in \"General\""
                                           : "\"RESULT\" is \"" + Utf8(code) +
                                                 "\", not digits; the console reads -1");
        return;
    }
    if (ex.resultCode < 0) {
        ex.problems.push_back("\"RESULT\" " + code + " is out of range; the console reads -1");
        return;
    }
    if (ex.resultCode != 0) {
        const std::string text = "RESULT " + std::to_string(ex.resultCode);
        if (command.startUp)
            ex.problems.push_back(text + ": the console's start-up needs 0 from this command");
        else
            ex.warnings.push_back(text + ": the console reports the command as failed");
    }
    if (command.hasOutput && file.Read("General", "OUTPUT").empty())
        ex.warnings.push_back("no \"OUTPUT\" in \"General\"; the console shows an empty value");
    if (command.listsCanisters) {
        const char sep = m_program.session.decimalSeparator;
        const char group = m_program.session.groupSeparator;
        const auto& cans = m_program.result.resultCanisters;
        if (cans.empty())
            ex.problems.push_back("no \"Canister_1_ml\" in \"CanisterContents\"");
        for (size_t i = 1; i <= cans.size() && ex.problems.empty(); ++i) {
            for (const char* suffix : {"_ml", "_size_ml", "_warn_ml", "_min_ml"}) {
                const std::string key = "Canister_" + std::to_string(i) + suffix;
                const std::string value = file.Read("CanisterContents", key);
                if (!qelp::ParseLocaleNumber(value, sep, group)) {
                    ex.problems.push_back(key + " is \"" + Utf8(value) +
                                          "\", not a number the console reads (decimal "
                                          "separator '" +
                                          std::string(1, sep) + "')");
                    break;
                }
            }
            if (file.Read("CanisterContents", "Canister_" + std::to_string(i) + "_colorantName")
                    .empty())
                ex.warnings.push_back("canister " + std::to_string(i) + " has no colorant name");
        }
        if (!cans.empty()) {
            m_canister = cans.front().canId;
            m_colorant = cans.front().colorantName;
            m_contentMl = cans.front().contentMl;
        }
    }
    TextWarnings("result.dat", bytes, ex.warnings);
    if (bytes.size() > kLargeResultBytes)
        ex.warnings.push_back("result.dat is " + std::to_string(bytes.size()) +
                              " bytes; results are usually a few kilobytes");
}

void Checker::checkCommand(const Command& command, bool reportIt) {
    m_current = command.name;
    if (!m_stopped.empty()) {
        if (reportIt)
            skipRest(command.name, m_stopped);
        return;
    }
    Exchange ex = exchange(command.build, false);
    CheckLine line{command.name, Verdict::Fail, {}, {}};
    if (!ex.sendProblem.empty()) {
        line.detail = ex.sendProblem;
    } else if (ex.finished) {
        judgeOrder(ex);
        judgeResult(ex, command);
        m_codes[command.name] = ex.resultCode;
    }
    if (ex.sendProblem.empty() && !ex.finished)
        line.detail = ex.processLost
                          ? "the driver process ended during the command; " + transcript(ex)
                          : "expected result.sig and busy.flg gone within " +
                                Ms(m_options.timeoutMs) + "; " + transcript(ex);
    else if (ex.finished && !ex.problems.empty())
        line.detail = ex.problems.front() + "; " + transcript(ex);
    else if (ex.finished) {
        line.verdict = Verdict::Pass;
        line.detail = "taken and answered with RESULT " + std::to_string(ex.resultCode) +
                      " after " + Ms(ex.finishedMs);
        if (command.hasOutput)
            line.detail += ", OUTPUT \"" + Utf8(m_program.result.commandOutput) + "\"";
        if (command.listsCanisters)
            line.detail +=
                ", " + std::to_string(m_program.result.resultCanisters.size()) + " canisters";
    }
    line.warnings = ex.warnings;
    stopIfStuck(ex, command.name);
    // The start-up pair runs unasked, as the ground for the rest; its failure is told.
    if (reportIt || line.verdict == Verdict::Fail)
        report(line);
}

void Checker::checkQuestion() {
    m_current = "question";
    if (!m_stopped.empty())
        return skipRest("question", m_stopped);
    // A dosing command with the punch option set to ask for confirmation.
    Exchange ex = exchange(
        [this](Program& p) {
            p.recipe.sendPunch = true;
            p.recipe.punchMode = 1;
            qelp::DosingRecipe recipe{0, 1, 1, 1, {}, {}, {}, 0, 0};
            return qelp::CreateDosingCommand(p, recipe, {{m_canister, 0.1, 0, m_colorant}});
        },
        false);
    CheckLine line{"question", Verdict::Fail, {}, ex.warnings};
    if (!ex.sendProblem.empty()) {
        line.detail = ex.sendProblem;
    } else if (ex.finished) {
        judgeOrder(ex);
    }
    if (!ex.sendProblem.empty()) {
    } else if (!ex.problems.empty()) {
        line.detail = ex.problems.front() + "; " + transcript(ex);
    } else if (ex.questions == 0 && ex.finished) {
        line.verdict = Verdict::Skip;
        line.detail = "the driver asked no question during a dosing command with punch "
                      "confirmation (RESULT " +
                      std::to_string(ex.resultCode) + ")";
    } else if (!ex.finished) {
        line.detail = std::string(ex.processLost ? "the driver process ended"
                                                 : "expected the command to finish within " +
                                                       Ms(m_options.timeoutMs)) +
                      (ex.questions ? " after the reply" : "") + "; " + transcript(ex);
    } else {
        line.verdict = Verdict::Pass;
        line.detail = "asked " + ex.lastQuestion +
                      "; the driver went on and finished with "
                      "RESULT " +
                      std::to_string(ex.resultCode) + " after " + Ms(ex.finishedMs);
    }
    line.warnings = ex.warnings;
    stopIfStuck(ex, "question");
    report(line);
}

void Checker::checkTolerance() {
    m_current = "tolerance";
    if (!m_stopped.empty())
        return skipRest("tolerance", m_stopped);
    // As the console's stop and start do: every exchange file deleted between two commands,
    // whatever the last command left behind. Then the start-up pair must work as before.
    for (qelp::ExchangeSlot slot : kAllSlots)
        if (slot != qelp::SlotBusy || !qelp::IsDriverBusy(m_program))
            qelp::DeleteExchangePair(m_program, slot);
    CheckLine line{"tolerance", Verdict::Pass, {}, {}};
    std::string seen;
    for (const Command& command : commands()) {
        if (!command.startUp)
            continue;
        Exchange ex = exchange(command.build, false);
        stopIfStuck(ex, "tolerance");
        if (!ex.finished || ex.resultCode != 0) {
            line.verdict = Verdict::Fail;
            line.detail =
                std::string("after every exchange file was deleted, ") + command.name +
                (ex.finished ? " was answered with RESULT " + std::to_string(ex.resultCode) +
                                   " instead of 0"
                             : " was not answered" +
                                   (ex.sendProblem.empty() ? "" : ": " + ex.sendProblem)) +
                "; " + transcript(ex);
            return report(line);
        }
        seen += (seen.empty() ? "" : ", ") + std::string(command.name) + " answered 0";
    }
    line.detail = "every exchange file deleted between two commands and before each; " + seen;
    report(line);
}

void Checker::checkAbort() {
    m_current = "abort";
    if (!m_stopped.empty())
        return skipRest("abort", m_stopped);
    // A purge of every canister: the longest command a driver has.
    Exchange ex = exchange([](Program& p) { return qelp::CreatePurgeCommand(p, 0); }, true);
    CheckLine line{"abort", Verdict::Fail, {}, ex.warnings};
    if (!ex.sendProblem.empty()) {
        line.detail = ex.sendProblem;
    } else if (ex.finished && ex.abortMs < 0) {
        line.verdict = Verdict::Skip;
        line.detail = "the purge of every canister ended before the abort could be written (" +
                      Ms(ex.finishedMs) + ")";
    } else if (!ex.finished) {
        line.detail = std::string(ex.processLost ? "the driver process ended after the abort"
                                                 : "expected a result and busy.flg gone within " +
                                                       Ms(m_options.timeoutMs) + " of the abort") +
                      "; abort written at +" + Ms(ex.abortMs) + "; " + transcript(ex);
    } else {
        judgeOrder(ex);
        if (!ex.problems.empty()) {
            line.detail = ex.problems.front() + "; " + transcript(ex);
        } else {
            line.verdict = Verdict::Pass;
            line.detail = "abort written at +" + Ms(ex.abortMs) + "; RESULT " +
                          std::to_string(ex.resultCode) + " and busy.flg gone " +
                          Ms(ex.finishedMs - ex.abortMs) + " later";
        }
    }
    stopIfStuck(ex, "abort");
    report(line);
}

void Checker::checkProcess() {
    CheckLine line{"process", Verdict::Fail, {}, {}};
    const std::string name = Utf8(m_program.link.driverExeName);
    if (!m_foundAtStart) {
        line.detail = "no process found by the name " + name + ", as the console looks for it";
    } else if (!m_lostDuring.empty() || !processRunning()) {
        line.detail = "found as " + name + " at the start, but it ended on its own during " +
                      (m_lostDuring.empty() ? m_current : m_lostDuring);
    } else {
        line.verdict = Verdict::Pass;
        line.detail =
            "found as " + name + " after the launch and still running after the " + "last check";
    }
    report(line);
}

int Usage(std::ostream& err) {
    err << "usage: qelp-check [--adopt] [--exchange DIR] [--data-dir DIR] [--timeout SECONDS]\n"
           "                  [--ready-timeout SECONDS] [--json FILE] [--log FILE]\n"
           "                  [--only NAME[,NAME...]] [--poll] DRIVER\n"
           "       qelp-check --help | --version\n";
    return 2;
}

std::string JsonText(const std::string& utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else
            out += c;
    }
    return out + "\"";
}

} // namespace

std::vector<std::string> CheckNames() {
    return {"readiness",      "reset",          "canister-size", "reset-hard", "features",
            "pump-count",     "canister-count", "version",       "purge",      "purge-colorant",
            "clean",          "clean-colorant", "fill-prepare",  "fill-add",   "fill-set",
            "service-window", "colorant-name",  "dose",          "question",   "tolerance",
            "abort",          "process"};
}

int RunChecks(const Options& options, std::ostream& out, std::ostream& err,
              std::vector<CheckLine>* lines) {
    Checker checker(options, out);
    std::string problem;
    if (checker.setUp(problem) != 0) {
        err << "qelp-check: " << problem << '\n';
        return 2;
    }
    checker.run();
    int passed = 0, failed = 0, skipped = 0;
    for (const CheckLine& line : checker.lines())
        (line.verdict == Verdict::Pass   ? passed
         : line.verdict == Verdict::Fail ? failed
                                         : skipped)++;
    out << passed << " passed, " << failed << " failed, " << skipped << " skipped\n";
    if (lines)
        *lines = checker.lines();
    return failed ? 1 : 0;
}

} // namespace qelpcheck

namespace qelpcheck {

namespace {

bool WriteJson(const Options& options, const std::vector<CheckLine>& lines) {
    int counts[3] = {0, 0, 0};
    std::string out = "{\n  \"driver\": " + JsonText(options.driver) + ",\n  \"checks\": [";
    for (size_t i = 0; i < lines.size(); ++i) {
        const CheckLine& line = lines[i];
        static const char* const kWords[] = {"pass", "fail", "skip"};
        ++counts[static_cast<int>(line.verdict)];
        out += std::string(i ? "," : "") + "\n    {\"name\": " + JsonText(line.name) +
               ", \"result\": \"" + kWords[static_cast<int>(line.verdict)] +
               "\", \"detail\": " + JsonText(line.detail) + ", \"warnings\": [";
        for (size_t w = 0; w < line.warnings.size(); ++w)
            out += (w ? ", " : "") + JsonText(line.warnings[w]);
        out += "]}";
    }
    out += "\n  ],\n  \"passed\": " + std::to_string(counts[0]) +
           ",\n  \"failed\": " + std::to_string(counts[1]) +
           ",\n  \"skipped\": " + std::to_string(counts[2]) + "\n}\n";
    return qelp::fileio::WriteFileReplacing(options.jsonFile, out);
}

// Whole seconds from 1 to a day.
bool Seconds(const std::string& text, int& ms) {
    const auto value = qelp::ParseDigits32(text);
    if (!value || *value < 1 || *value > 86400)
        return false;
    ms = *value * 1000;
    return true;
}

} // namespace

int CheckMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options options;
    const std::vector<std::string> known = CheckNames();
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--help" || arg == "-h") {
            Usage(out);
            out << "Checks a dispenser driver against the console's exchange protocol.\n";
            out << "Checks: ";
            for (size_t k = 0; k < known.size(); ++k)
                out << (k ? ", " : "") << known[k];
            out << "\nExit status: 0 every check passed, 1 a check failed, 2 a usage or set-up "
                   "error.\nSee qelp-check(1).\n";
            return 0;
        } else if (arg == "--version") {
            out << "qelp-check " << QELP_VERSION << '\n';
            return 0;
        } else if (arg == "--adopt") {
            options.adopt = true;
        } else if (arg == "--poll") {
            options.notifications = false;
        } else if (arg == "--exchange" && hasValue) {
            options.exchange = args[++i];
        } else if (arg == "--data-dir" && hasValue) {
            options.dataDirectory = args[++i];
        } else if (arg == "--json" && hasValue) {
            options.jsonFile = args[++i];
        } else if (arg == "--log" && hasValue) {
            options.logFile = args[++i];
        } else if (arg == "--timeout" && hasValue) {
            if (!Seconds(args[++i], options.timeoutMs))
                return err << "qelp-check: --timeout takes whole seconds from 1\n", 2;
        } else if (arg == "--ready-timeout" && hasValue) {
            if (!Seconds(args[++i], options.readyTimeoutMs))
                return err << "qelp-check: --ready-timeout takes whole seconds from 1\n", 2;
        } else if (arg == "--only" && hasValue) {
            std::stringstream names(args[++i]);
            for (std::string name; std::getline(names, name, ',');) {
                if (std::find(known.begin(), known.end(), name) == known.end())
                    return err << "qelp-check: no check is named \"" << name << "\"\n", 2;
                options.only.push_back(name);
            }
        } else if (!arg.empty() && arg[0] != '-' && options.driver.empty()) {
            options.driver = arg;
        } else {
            static const char* const kTakesValue[] = {"--exchange", "--data-dir", "--json",
                                                      "--log",      "--timeout",  "--ready-timeout",
                                                      "--only"};
            if (!arg.empty() && arg[0] == '-')
                err << (std::find(std::begin(kTakesValue), std::end(kTakesValue), arg) !=
                                std::end(kTakesValue)
                            ? "option " + arg + " needs a value"
                            : "unknown option " + arg)
                    << '\n';
            return Usage(err);
        }
    }
    if (options.driver.empty())
        return Usage(err);
    // Without --exchange, the registry store of this copy's layout names the directory.
    qelp::Layout layout;
    const std::string problem = qelp::EnterLayout(options.dataDirectory, layout);
    if (!problem.empty())
        err << "qelp-check: " << problem << '\n';
    // A portable copy's store is the host's own: on Windows the machine's registry unless a
    // registry.reg lies beside the program.
    options.dataDirectory =
        layout.installed || !options.dataDirectory.empty() ? layout.dataDirectory : std::string();
    // The console names the driver by its full path.
    std::error_code ec;
    options.driver = std::filesystem::absolute(options.driver, ec).lexically_normal().string();
    std::vector<CheckLine> lines;
    const int status = RunChecks(options, out, err, &lines);
    if (status != 2 && !options.jsonFile.empty() && !WriteJson(options, lines)) {
        err << "qelp-check: cannot write " << options.jsonFile << '\n';
        return 2;
    }
    return status;
}

} // namespace qelpcheck
