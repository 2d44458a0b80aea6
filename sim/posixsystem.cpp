// The simulator's use of the system on Linux: its own id, and the exchange
// directory's change notifications through inotify.
#include "exchange.h"
#include "simulator.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace qelpsim {

long OwnProcessId() {
    return static_cast<long>(::getpid());
}

Exchange::Exchange(std::string directory, int pollIntervalMs, bool useInotify)
    : m_directory(std::move(directory)), m_pollIntervalMs(std::max(1, pollIntervalMs)) {
    if (useInotify)
        m_inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ensureWatch();
}

Exchange::~Exchange() {
    if (m_inotifyFd >= 0)
        ::close(static_cast<int>(m_inotifyFd));
}

void Exchange::ensureWatch() {
    if (m_inotifyFd < 0 || m_watch >= 0)
        return;
    // IN_ONLYDIR: a file planted under the directory's name is not watched by mistake.
    m_watch = ::inotify_add_watch(static_cast<int>(m_inotifyFd), m_directory.c_str(),
                                  IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE |
                                      IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
}

void Exchange::drain() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t n = ::read(static_cast<int>(m_inotifyFd), buffer, sizeof buffer);
        if (n <= 0)
            return;
        for (ssize_t offset = 0; offset < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            // The directory went away or was moved: the watch is dead, a new one is set up
            // once a directory of that name exists again.
            // Events of an earlier watch (the kernel reports its removal late) are ignored.
            if (event->wd == m_watch &&
                (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF))) {
                if (!(event->mask & IN_IGNORED))
                    ::inotify_rm_watch(static_cast<int>(m_inotifyFd), static_cast<int>(m_watch));
                m_watch = -1;
            }
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

void Exchange::waitForChange(int timeoutMs) {
    int wait = std::clamp(timeoutMs, 0, m_pollIntervalMs);
    ensureWatch();
    if (m_watch < 0) {
        if (wait > 0)
            ::usleep(static_cast<useconds_t>(wait) * 1000);
        return;
    }
    pollfd pfd{static_cast<int>(m_inotifyFd), POLLIN, 0};
    int ready = ::poll(&pfd, 1, wait);
    if (ready > 0)
        drain();
    else if (ready < 0 && errno != EINTR && wait > 0)
        ::usleep(static_cast<useconds_t>(wait) * 1000);
}

} // namespace qelpsim
