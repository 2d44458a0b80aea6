#include "fileobserver.h"

#include "exchange/exchange.h"
#include "observerhost.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

namespace qelpcheck {

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

const char* OpText(FileOp op) {
    switch (op) {
    case FileOp::Appeared:
        return "appeared";
    case FileOp::Written:
        return "written";
    case FileOp::Gone:
        return "gone";
    }
    return "?";
}

namespace {

// The exchange files, data file of each slot before its signal file.
std::vector<std::string> ExchangeNames() {
    std::vector<std::string> names;
    for (int slot = 0; slot < qelp::kExchangeSlotCount; ++slot) {
        names.emplace_back(qelp::kExchangeDataNames[slot]);
        if (!qelp::kExchangeSignalNames[slot].empty())
            names.emplace_back(qelp::kExchangeSignalNames[slot]);
    }
    return names;
}

// For file systems without notifications (some network shares): looks at every exchange
// file every few milliseconds and reports the differences.
class LookingObserver : public FileObserver {
public:
    explicit LookingObserver(std::string directory)
        : m_directory(std::move(directory)), m_names(ExchangeNames()) {
        look(nullptr);
    }

    std::vector<FileEvent> take(int timeoutMs) override {
        std::vector<FileEvent> out;
        const int64_t deadline = NowMs() + std::max(0, timeoutMs);
        for (;;) {
            look(&out);
            if (!out.empty() || NowMs() >= deadline)
                return out;
            std::this_thread::sleep_for(std::chrono::milliseconds(kLookMs));
        }
    }
    bool ordered() const override { return false; }

private:
    static constexpr int kLookMs = 5;

    void look(std::vector<FileEvent>* out) {
        const int64_t now = NowMs();
        for (const std::string& name : m_names) {
            const FileLook seen = LookAt(m_directory + name);
            FileLook& last = m_seen[name];
            if (out && !(seen == last)) {
                if (!seen.present)
                    out->push_back({now, name, FileOp::Gone});
                else if (!last.present || last.identity != seen.identity)
                    out->push_back({now, name, FileOp::Appeared});
                if (seen.present)
                    out->push_back({now, name, FileOp::Written});
            }
            last = seen;
        }
    }

    std::string m_directory;
    std::vector<std::string> m_names;
    std::map<std::string, FileLook> m_seen;
};

} // namespace

std::unique_ptr<FileObserver> FileObserver::Create(const std::string& directory,
                                                   bool notifications) {
    if (!IsWatchableDirectory(directory))
        return nullptr;
    if (notifications) {
        if (auto observer = CreateNotifiedObserver(directory, ExchangeNames()))
            return observer;
    }
    return std::make_unique<LookingObserver>(directory);
}

} // namespace qelpcheck
