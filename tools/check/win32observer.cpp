// The file observer's Win32 side: ReadDirectoryChangesW on the exchange directory, and the
// file's attributes for the looking fallback. Windows tells no "closed after writing": a
// file counts as written at each change to its size or time, so the last such change before
// a signal file appears is its completion.
#include "observerhost.h"

#include <windows.h>

#include <algorithm>

namespace qelpcheck {

namespace {

std::wstring Wide(const std::string& utf8) {
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(std::max(n, 0)), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                              n);
    return wide;
}

std::string Narrow(const wchar_t* text, size_t length) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                        nullptr, nullptr);
    std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), n, nullptr,
                              nullptr);
    return out;
}

int64_t Ticks(FILETIME time) {
    return (static_cast<int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

class NotifyObserver : public FileObserver {
public:
    NotifyObserver(HANDLE directory, HANDLE event, std::vector<std::string> names)
        : m_directory(directory), m_event(event), m_names(std::move(names)) {
        m_overlapped.hEvent = m_event;
    }
    ~NotifyObserver() override {
        // The pending read writes into m_buffer: it must be over before the buffer goes.
        if (m_pending && ::CancelIoEx(m_directory, &m_overlapped)) {
            DWORD ignored = 0;
            ::GetOverlappedResult(m_directory, &m_overlapped, &ignored, TRUE);
        }
        ::CloseHandle(m_directory);
        ::CloseHandle(m_event);
    }

    // Starts the next read; false when the directory can no longer be watched.
    bool arm() {
        ::ResetEvent(m_event);
        m_pending = ::ReadDirectoryChangesW(m_directory, m_buffer, sizeof m_buffer, FALSE,
                                            FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE |
                                                FILE_NOTIFY_CHANGE_LAST_WRITE,
                                            nullptr, &m_overlapped, nullptr) != 0;
        return m_pending;
    }

    std::vector<FileEvent> take(int timeoutMs) override {
        std::vector<FileEvent> out;
        DWORD wait = static_cast<DWORD>(std::max(0, timeoutMs));
        // A directory that can no longer be watched (removed, its share gone) tells nothing;
        // the wait still lasts its time, so that callers polling in a loop do not spin.
        if (!m_pending && !arm()) {
            ::Sleep(wait);
            return out;
        }
        // Everything already told, then nothing more to wait for.
        while (m_pending && ::WaitForSingleObject(m_event, wait) == WAIT_OBJECT_0) {
            wait = 0;
            DWORD bytes = 0;
            const bool done = ::GetOverlappedResult(m_directory, &m_overlapped, &bytes, FALSE);
            m_pending = false;
            if (done)
                parse(bytes, out);
            if (!arm())
                break;
        }
        return out;
    }
    bool ordered() const override { return true; }

private:
    void parse(DWORD bytes, std::vector<FileEvent>& out) {
        // Nothing told means the system's own list overflowed and changes were lost; the
        // order of what follows is still right, and the judging reports what is missing.
        const int64_t now = NowMs();
        for (DWORD at = 0; bytes > 0 && at + sizeof(FILE_NOTIFY_INFORMATION) <= bytes;) {
            const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(m_buffer + at);
            const std::string name = Narrow(info->FileName, info->FileNameLength / sizeof(wchar_t));
            const auto known = std::find_if(m_names.begin(), m_names.end(), [&](const auto& n) {
                return ::lstrcmpiA(n.c_str(), name.c_str()) == 0; // names are case-blind here
            });
            if (known != m_names.end()) {
                switch (info->Action) {
                case FILE_ACTION_ADDED:
                    out.push_back({now, *known, FileOp::Appeared});
                    break;
                case FILE_ACTION_RENAMED_NEW_NAME: // renamed into place: appears complete
                    out.push_back({now, *known, FileOp::Appeared});
                    out.push_back({now, *known, FileOp::Written});
                    break;
                case FILE_ACTION_MODIFIED:
                    out.push_back({now, *known, FileOp::Written});
                    break;
                case FILE_ACTION_REMOVED:
                case FILE_ACTION_RENAMED_OLD_NAME:
                    out.push_back({now, *known, FileOp::Gone});
                    break;
                default:
                    break;
                }
            }
            if (info->NextEntryOffset == 0)
                break;
            at += info->NextEntryOffset;
        }
    }

    HANDLE m_directory;
    HANDLE m_event;
    OVERLAPPED m_overlapped{};
    bool m_pending = false;
    std::vector<std::string> m_names;
    alignas(DWORD) BYTE m_buffer[32768];
};

} // namespace

bool IsWatchableDirectory(const std::string& directory) {
    const DWORD attributes = ::GetFileAttributesW(Wide(directory).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

FileLook LookAt(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data))
        return {};
    // The creation time tells a file renamed into place from the one it replaced.
    return {true, static_cast<uint64_t>(Ticks(data.ftCreationTime)),
            (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
            Ticks(data.ftLastWriteTime) * 100};
}

std::unique_ptr<FileObserver> CreateNotifiedObserver(const std::string& directory,
                                                     std::vector<std::string> names) {
    const HANDLE handle =
        ::CreateFileW(Wide(directory).c_str(), FILE_LIST_DIRECTORY,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event) {
        ::CloseHandle(handle);
        return nullptr;
    }
    auto observer = std::make_unique<NotifyObserver>(handle, event, std::move(names));
    // A file system without notifications (some network shares) refuses the first read.
    if (!observer->arm())
        return nullptr;
    return observer;
}

} // namespace qelpcheck
