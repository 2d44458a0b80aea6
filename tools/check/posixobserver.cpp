// The file observer's POSIX side: inotify, and lstat for the looking fallback.
#include "observerhost.h"

#include <algorithm>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qelpcheck {

namespace {

class NotifyObserver : public FileObserver {
public:
    NotifyObserver(int fd, std::vector<std::string> names) : m_fd(fd), m_names(std::move(names)) {}
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

} // namespace

bool IsWatchableDirectory(const std::string& directory) {
    struct stat st {};
    return ::stat(directory.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FileLook LookAt(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return {};
    return {true, static_cast<uint64_t>(st.st_ino), static_cast<int64_t>(st.st_size),
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

std::unique_ptr<FileObserver> CreateNotifiedObserver(const std::string& directory,
                                                     std::vector<std::string> names) {
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd >= 0 && ::inotify_add_watch(fd, directory.c_str(),
                                       IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM |
                                           IN_DELETE | IN_DONT_FOLLOW) >= 0)
        return std::make_unique<NotifyObserver>(fd, std::move(names));
    if (fd >= 0)
        ::close(fd);
    return nullptr;
}

} // namespace qelpcheck
