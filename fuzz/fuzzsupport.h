#pragma once
// Shared by the fuzz targets: a scratch directory for the whole run and a console core whose
// program and exchange directory it is. A failed property aborts, which libFuzzer reports
// as a crash with the input that caused it.
#include "exchange/exchange.h"
#include "frame/fileio.h"
#include "frame/posixhost.h"
#include "frame/program.h"
#include "frame/uiport.h"
#include "link/config.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

namespace qelpfuzz {

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);      \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// A directory under $TMPDIR, ending in '/', removed when the fuzzer exits normally.
struct Scratch {
    Scratch() {
        const char* tmp = std::getenv("TMPDIR");
        path = std::string(tmp && *tmp ? tmp : "/tmp") + "/qelpfuzz-XXXXXX";
        if (!::mkdtemp(path.data()))
            std::abort();
        path += '/';
    }
    ~Scratch() { std::filesystem::remove_all(path); }
    std::string path;
};

inline const std::string& ScratchDir() {
    static const Scratch scratch;
    return scratch.path;
}

// Text of the input, never empty: letters and digits only, as programs name keys and values,
// or any printable ASCII, like a path an installer writes.
inline std::string Printable(FuzzedDataProvider& in, bool alnum, size_t maxLength = 24) {
    std::string s;
    for (char c : in.ConsumeRandomLengthString(maxLength))
        if (alnum ? std::isalnum(static_cast<unsigned char>(c)) : c >= ' ' && c <= '~')
            s.push_back(c);
    return s.empty() ? "Name" : s;
}

// The console's core with the scratch directory as its program and exchange directory. The
// log is emptied before each input so that a long run does not fill the disk.
struct Console {
    Console() : host(ScratchDir() + "qelpserver"), program(host, ui) {
        qelp::StartProgram(program);
        qelp::ReadLinkConfiguration(program);
        program.link.driverCommandDirectory = ScratchDir();
    }
    // Empties the log, then leaves the input in the slot as the driver does: data, then signal.
    void deliver(qelp::ExchangeSlot slot, const uint8_t* data, size_t size) {
        std::filesystem::remove(program.files.logFilePath);
        const std::string_view bytes(reinterpret_cast<const char*>(data), size);
        FUZZ_CHECK(qelp::fileio::WriteFileReplacing(ExchangeDataPath(program, slot), bytes));
        FUZZ_CHECK(qelp::fileio::WriteFileReplacing(ExchangeSignalPath(program, slot), ""));
    }
    // True when the log holds only whole lines, each with its time stamp.
    bool logIsWhole() const {
        std::string text;
        qelp::fileio::ReadFileBytes(program.files.logFilePath, text);
        for (size_t at = 0; at < text.size();) {
            const size_t end = text.find("\r\n", at);
            if (end == std::string::npos || end - at < 22 || text.compare(at + 19, 3, " > ") != 0)
                return false;
            at = end + 2;
        }
        return true;
    }
    qelp::PosixHost host;
    qelp::NullUiPort ui;
    qelp::Program program;
};

} // namespace qelpfuzz
