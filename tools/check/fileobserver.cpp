#include "fileobserver.h"

#include "exchange/exchange.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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

class NotifyObserver : public FileObserver {
public:
    NotifyObserver(int fd) : m_fd(fd), m_names(ExchangeNames()) {}
    ~NotifyObserver() override { ::close(m_fd); }

    std::vector<FileEvent> take(int timeoutMs) override {
        std::vector<FileEvent> out;
        pollfd pfd{m_fd, POLLIN, 0};
        if (::poll(&pfd, 1, std::max(0, timeoutMs)) <= 0)
            return out;
        alignas(inotify_event) char buf[16384];
        for (ssize_t n; (n = ::read(m_fd, buf, sizeof buf)) > 0;) {
            const int64_t now = NowMs();
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                if (e->len == 0)
                    continue;
                const std::string name(e->name);
                if (std::find(m_names.begin(), m_names.end(), name) == m_names.end())
                    continue;
                // A file renamed into place appears complete.
                if (e->mask & (IN_CREATE | IN_MOVED_TO))
                    out.push_back({now, name, FileOp::Appeared});
                if (e->mask & (IN_CLOSE_WRITE | IN_MOVED_TO))
                    out.push_back({now, name, FileOp::Written});
                if (e->mask & (IN_DELETE | IN_MOVED_FROM))
                    out.push_back({now, name, FileOp::Gone});
            }
        }
        return out;
    }
    bool ordered() const override { return true; }

private:
    int m_fd;
    std::vector<std::string> m_names;
};

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
    struct Seen {
        bool present = false;
        ino_t inode = 0;
        off_t size = 0;
        int64_t mtimeNs = 0;
        bool operator==(const Seen&) const = default;
    };

    void look(std::vector<FileEvent>* out) {
        const int64_t now = NowMs();
        for (const std::string& name : m_names) {
            struct stat st {};
            Seen seen;
            if (::lstat((m_directory + name).c_str(), &st) == 0) {
                seen = {true, st.st_ino, st.st_size,
                        static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
            }
            Seen& last = m_seen[name];
            if (out && !(seen == last)) {
                if (!seen.present)
                    out->push_back({now, name, FileOp::Gone});
                else if (!last.present || last.inode != seen.inode)
                    out->push_back({now, name, FileOp::Appeared});
                if (seen.present)
                    out->push_back({now, name, FileOp::Written});
            }
            last = seen;
        }
    }

    std::string m_directory;
    std::vector<std::string> m_names;
    std::map<std::string, Seen> m_seen;
};

} // namespace

std::unique_ptr<FileObserver> FileObserver::Create(const std::string& directory,
                                                   bool notifications) {
    struct stat st {};
    if (::stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return nullptr;
    if (notifications) {
        const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd >= 0 && ::inotify_add_watch(fd, directory.c_str(),
                                           IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO |
                                               IN_MOVED_FROM | IN_DELETE | IN_DONT_FOLLOW) >= 0)
            return std::make_unique<NotifyObserver>(fd);
        if (fd >= 0)
            ::close(fd);
    }
    return std::make_unique<LookingObserver>(directory);
}

} // namespace qelpcheck
