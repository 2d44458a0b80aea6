// The simulator's use of the system on Windows: its own id, and the exchange
// directory's change notifications (FindFirstChangeNotification), the driver side's usual
// way of waiting for the console's files.
#include "exchange.h"
#include "simulator.h"

#include <windows.h>

#include <algorithm>

namespace qelpsim {

long OwnProcessId() {
    return static_cast<long>(::GetCurrentProcessId());
}

namespace {
HANDLE handleOf(std::intptr_t watch) {
    return reinterpret_cast<HANDLE>(watch);
}
} // namespace

Exchange::Exchange(std::string directory, int pollIntervalMs, bool useInotify)
    : m_directory(std::move(directory)), m_pollIntervalMs(std::max(1, pollIntervalMs)) {
    // Change notifications need no set-up of their own: the flag says they are wanted.
    if (useInotify)
        m_inotifyFd = 1;
    ensureWatch();
}

Exchange::~Exchange() {
    if (m_watch != -1)
        ::FindCloseChangeNotification(handleOf(m_watch));
}

void Exchange::ensureWatch() {
    if (m_inotifyFd < 0 || m_watch != -1 || !directoryExists())
        return;
    HANDLE change = ::FindFirstChangeNotificationA(
        m_directory.c_str(), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE);
    m_watch = change == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(change);
}

void Exchange::drain() {
    // The handle is closed after every notification and opened again at the next wait: a
    // watched directory that is being removed stays in place for as long as a handle on it
    // is open, so a watch kept open would keep the directory it watches from going. Changes
    // in between are caught by the next pass, which looks at the files anyway.
    ::FindCloseChangeNotification(handleOf(m_watch));
    m_watch = -1;
}

void Exchange::waitForChange(int timeoutMs) {
    const int wait = std::clamp(timeoutMs, 0, m_pollIntervalMs);
    ensureWatch();
    if (m_watch == -1) {
        if (wait > 0)
            ::Sleep(static_cast<DWORD>(wait));
        return;
    }
    if (::WaitForSingleObject(handleOf(m_watch), static_cast<DWORD>(wait)) == WAIT_OBJECT_0)
        drain();
}

} // namespace qelpsim
