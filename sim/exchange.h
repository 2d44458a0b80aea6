#pragma once
// The exchange directory as the driver side sees it: names of the handshake files, atomic
// writes, tolerant reads and removals, and a wait for something to change there.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qelpsim {

namespace files {
inline constexpr std::string_view kCommandData = "cmd.dat";
inline constexpr std::string_view kCommandSignal = "cmd.sig";
inline constexpr std::string_view kBusy = "busy.flg";
inline constexpr std::string_view kResultData = "result.dat";
inline constexpr std::string_view kResultSignal = "result.sig";
inline constexpr std::string_view kAbortData = "abort.dat";
inline constexpr std::string_view kAbortSignal = "abort.sig";
inline constexpr std::string_view kMessageData = "msg.dat";
inline constexpr std::string_view kMessageSignal = "msg.sig";
inline constexpr std::string_view kReplyData = "reply.dat";
inline constexpr std::string_view kReplySignal = "reply.sig";
} // namespace files

class Exchange {
public:
    // directory ends with the path separator. With useInotify false (or when the system's
    // change notifications are unavailable) the waits fall back to plain polling every
    // pollIntervalMs.
    Exchange(std::string directory, int pollIntervalMs, bool useInotify);
    ~Exchange();
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    const std::string& directory() const { return m_directory; }
    std::string pathOf(std::string_view name) const { return m_directory + std::string(name); }

    bool directoryExists() const;
    bool exists(std::string_view name) const;
    // Missing files are fine: the console may delete exchange files at any moment.
    void remove(std::string_view name) const;
    // Replaces the file through a temporary file and a rename, so the console never reads
    // half of it. False when the directory cannot be written.
    bool write(std::string_view name, std::string_view bytes) const;
    std::optional<std::string> read(std::string_view name) const;

    // Sleeps until something changes in the directory or timeoutMs pass, whichever comes
    // first, but never longer than the poll interval: notifications may fail to arrive
    // (network shares, a directory replaced under us), and a look now and then costs
    // nothing.
    void waitForChange(int timeoutMs);
    // True while the directory is watched through the system's change notifications.
    bool watching() const { return m_watch != -1; }

private:
    void ensureWatch();
    void drain();

    std::string m_directory;
    int m_pollIntervalMs;
    // The notification source and the watch on the directory: an inotify descriptor and its
    // watch on Linux; on Windows a flag and a change-notification handle. -1 for none.
    std::intptr_t m_inotifyFd = -1;
    std::intptr_t m_watch = -1;
};

} // namespace qelpsim
