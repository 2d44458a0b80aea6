#pragma once
// What happens to the exchange files, in the order it happens. The checker reports a
// driver's file operations in order (which file appeared, was completed, went, and when), so
// it needs more than the existence tests the console makes: this and its system side
// (observerhost.h) are the one place that talks to the system's change notifications. Only the
// exchange files' own names are reported; temporary files a writer renames into place are left out.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qelpcheck {

// Milliseconds on a steady clock; the checker's timestamps all come from here.
int64_t NowMs();

enum class FileOp {
    Appeared, // the name came into being; the file may still be being written
    Written,  // the file is complete under its name (closed after writing, or renamed there)
    Gone,     // the name went (deleted, or renamed away)
};

struct FileEvent {
    int64_t atMs = 0; // NowMs() when the observer learnt of it
    std::string name;
    FileOp op = FileOp::Appeared;
};

// "appeared", "written", "gone".
const char* OpText(FileOp op);

class FileObserver {
public:
    // Watches the directory (ending in '/') with notifications when the system offers them
    // and notifications is true, and by looking at the files otherwise. Null when the
    // directory cannot be watched or looked at at all.
    static std::unique_ptr<FileObserver> Create(const std::string& directory,
                                                bool notifications = true);
    virtual ~FileObserver() = default;

    // Waits up to timeoutMs (0: not at all) until something happens, then returns what
    // happened since the last call, oldest first.
    virtual std::vector<FileEvent> take(int timeoutMs) = 0;
    // False for the looking fallback: what changes between two looks comes in a fixed order
    // (data file before signal file), not in the order it happened.
    virtual bool ordered() const = 0;
};

} // namespace qelpcheck
