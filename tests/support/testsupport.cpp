#include "testsupport.h"

#include "frame/eventlog.h"
#include "frame/textutil.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace qelptest {

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
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
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

ProgramFixture::ProgramFixture() : host(dir.path()), program(host, ui, clock) {
    ui.attach(program);
    qelp::StartProgram(program);
}

std::string ProgramFixture::logText() const {
    return ReadFile(program.files.logFilePath);
}

std::vector<std::string> ProgramFixture::logMessages() const {
    std::vector<std::string> messages;
    for (const std::string& line : SplitCrLf(logText())) {
        size_t at = line.find(" > ");
        messages.push_back(at == std::string::npos ? line : line.substr(at + 3));
    }
    return messages;
}

std::vector<std::string> ProgramFixture::messagesFrom(size_t from) const {
    std::vector<std::string> all = logMessages();
    all.erase(all.begin(), all.begin() + static_cast<long>(std::min(from, all.size())));
    return all;
}

} // namespace qelptest
