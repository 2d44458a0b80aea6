#include "testsupport.h"

#include "frame/textutil.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace qelptest {

namespace fs = std::filesystem;

TempDir::TempDir() {
    // The run's token (set by CTest) marks every directory of this run, so that the clean-up
    // after the run can end the drivers a timed-out test left running, and only those.
    const char* run = std::getenv("QELP_TEST_RUN");
    const std::string prefix = (fs::temp_directory_path() / "qelptest-").string() +
                               (run && *run ? std::string(run) + "-" : std::string());
    static std::mt19937_64 gen(std::random_device{}());
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        const std::string path = prefix + std::to_string(gen() % 1000000000ULL);
        std::error_code ec;
        if (fs::create_directory(path, ec)) {
            fs::permissions(path, fs::perms::owner_all, ec); // private, as mkdtemp makes it
            m_path = path + qelp::kPathSeparator;
        }
    }
    if (m_path.empty())
        throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    // What tests made read-only is made removable again; a folder is listed only after that.
    std::error_code ec, ignored;
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (auto it = fs::recursive_directory_iterator(m_path, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (!it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(m_path, ignored);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

std::string HostPath(std::string path) {
    if (qelp::kPathSeparator != '/')
        for (char& c : path)
            c = c == '/' ? qelp::kPathSeparator : c == qelp::kPathSeparator ? '/' : c;
    return path;
}

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < text.size(); start = end + 2) {
        end = std::min(text.find("\r\n", start), text.size());
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TestHost::TestHost(const std::string& programDirectory, const std::string& programName)
    : qelp::NativeHost(programDirectory + programName) {}

void FakeUi::processPendingEvents() {
    ++eventPasses;
    if (!m_program)
        return;
    qelp::Program& p = *m_program;
    if (p.message.messageWindowOpen && p.message.messageWindowCloseRequest && windowCanClose) {
        p.message.messageWindowOpen = false;
        ++windowsClosedByRequest;
    }
    if (p.message.messageWindowOpen && autoAnswer != 0) {
        p.message.replyPending = autoAnswer;
        p.message.messageWindowOpen = false;
    }
    if (onEvents)
        onEvents(p);
}

void FakeUi::waitForEvents(qelp::DirectoryWatch* watch, int timeoutMs) {
    qelp::NullUiPort().waitForEvents(watch, timeoutMs);
    processPendingEvents();
}

void FakeUi::showMessageWindow() {
    ++windowsShown;
    if (!m_program)
        return;
    m_program->message.messageWindowOpen = true;
    shownTexts.push_back(m_program->message.messageText);
}

std::vector<std::string> LogMessages(const qelp::Program& program, size_t from) {
    std::vector<std::string> messages;
    for (const std::string& line : SplitCrLf(ReadFile(program.files.logFilePath))) {
        size_t at = line.find(" > ");
        messages.push_back(at == std::string::npos ? line : line.substr(at + 3));
    }
    messages.erase(messages.begin(),
                   messages.begin() + static_cast<long>(std::min(from, messages.size())));
    return messages;
}

} // namespace qelptest
