// qelp-reg: the console's registry store (registry.reg in the data directory).
//   qelp-reg [--data-dir DIR] get NAME
//   qelp-reg [--data-dir DIR] set NAME sz|dword VALUE
//   qelp-reg [--data-dir DIR] list
// Without --data-dir (or its older name --dir) the tool finds the store by the console's own
// rule (frame/layout.h): beside itself when portable, in the shared data directory when
// installed. On Windows the store is the machine's registry under HKEY_LOCAL_MACHINE unless a
// portable copy keeps a registry.reg beside itself or --data-dir names one. NAME is a value
// under Software\QELP.
#include "frame/fileio.h"
#include "frame/layout.h"
#include "frame/nativehost.h"
#include "frame/registry.h"
#include "frame/textutil.h"
#include "qelpversion.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

static const char* kKey = "Software\\QELP";

static constexpr const char* kUsage =
    "usage: qelp-reg [--data-dir DIR] get NAME\n"
    "       qelp-reg [--data-dir DIR] set NAME sz|dword VALUE\n"
    "       qelp-reg [--data-dir DIR] list\n"
    "       qelp-reg --help | --version\n"
    "\n"
    "Reads and edits the console's registry store, registry.reg in the data directory:\n"
    "the tool's own directory (portable copy), /var/lib/qelpserver (installed copy) or DIR.\n"
    "NAME is a value under HKEY_LOCAL_MACHINE\\Software\\QELP.\n"
    "Exit status: 0 done, 1 the store could not be written, 2 wrong usage.\n";

static int usage(const std::string& problem = {}) {
    if (!problem.empty())
        std::fprintf(stderr, "qelp-reg: %s\n", problem.c_str());
    std::fputs(kUsage, stderr);
    return 2;
}

static void printLine(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

namespace {

// The operations on one store, whichever it is.
struct Store {
    std::string name; // for the error message
    std::function<std::string(const std::string&)> get;
    std::function<bool(const std::string&, const std::string&)> setText;
    std::function<bool(const std::string&, uint32_t)> setDword;
    std::function<std::vector<qelp::RegistryValue>()> list;
};

Store fileStore(const std::string& path) {
    auto store = std::make_shared<qelp::RegistryStore>(path, [](const std::string& line) {
        std::fprintf(stderr, "qelp-reg: %s\n", line.c_str());
    });
    return {path, [store](const std::string& n) { return store->ReadAsText(kKey, n); },
            [store](const std::string& n, const std::string& v) {
                return store->WriteText(kKey, n, v);
            },
            [store](const std::string& n, uint32_t v) { return store->WriteDword(kKey, n, v); },
            [store] { return store->List(); }};
}

#ifdef _WIN32
Store machineStore(qelp::Win32Host& host) {
    return {
        std::string("HKEY_LOCAL_MACHINE\\") + kKey,
        [&host](const std::string& n) {
            return host.ReadRegistryValues(qelp::RegistryRoot::LocalMachine, kKey, {n})[0];
        },
        [&host](const std::string& n, const std::string& v) {
            host.WriteRegistryString(qelp::RegistryRoot::LocalMachine, kKey, n, v);
            return host.ReadRegistryValues(qelp::RegistryRoot::LocalMachine, kKey, {n})[0] == v;
        },
        [&host](const std::string& n, uint32_t v) { return host.WriteRegistryDword(kKey, n, v); },
        [&host] { return host.ListRegistryValues(kKey); }};
}
#endif

} // namespace

int main(int argc, char** argv) {
    qelp::fileio::UseBinaryStandardOutput();
    // --dir is the option's older name.
    std::vector<char*> args(argv, argv + argc);
    static char dataDirOption[] = "--data-dir";
    for (int at = 1; at < argc && args[at][0] == '-'; ++at)
        if (std::strcmp(args[at], "--dir") == 0)
            args[at] = dataDirOption;
    const qelp::StandardOptions options = qelp::ParseStandardOptions(argc, args.data());
    if (!options.error.empty())
        return usage(options.error);
    if (options.help || options.version) {
        std::fputs(options.help ? kUsage : "qelp-reg " QELP_VERSION "\n", stdout);
        return 0;
    }
    qelp::Layout layout;
    const std::string problem = qelp::EnterLayout(options.dataDirectory, layout);
    if (!problem.empty())
        std::fprintf(stderr, "qelp-reg: %s\n", problem.c_str());
#ifdef _WIN32
    qelp::NativeHost host;
    const auto portable = host.portableRegistryPath();
    const Store store = !options.dataDirectory.empty()
                            ? fileStore(layout.dataDirectory + qelp::kRegistryFileName)
                        : portable ? fileStore(*portable)
                                   : machineStore(host);
#else
    const Store store = fileStore(layout.dataDirectory + qelp::kRegistryFileName);
#endif
    const std::vector<std::string>& a = options.rest;
    const size_t left = a.size();
    if (left == 2 && a[0] == "get") {
        printLine(store.get(a[1]));
        return 0;
    }
    if (left == 4 && a[0] == "set") {
        const std::string type = a[2];
        bool ok = false;
        if (type == "sz") {
            ok = store.setText(a[1], a[3]);
        } else if (type == "dword") {
            const char* text = a[3].c_str();
            char* end = nullptr;
            long long v = std::strtoll(text, &end, 0);
            const bool noDigits = end == text;
            if (noDigits || *end != '\0' || v < INT32_MIN || v > UINT32_MAX) {
                std::fprintf(stderr, "qelp-reg: not a 32-bit number: %s\n", text);
                return 2;
            }
            ok = store.setDword(a[1], static_cast<uint32_t>(v));
        } else {
            return usage();
        }
        if (!ok) {
            std::fprintf(stderr, "qelp-reg: cannot write %s\n", store.name.c_str());
            return 1;
        }
        return 0;
    }
    if (left == 1 && a[0] == "list") {
        for (const qelp::RegistryValue& v : store.list()) {
            std::string shown;
            switch (v.type) {
            case qelp::RegistryValue::Type::Text:
                shown = "sz " + v.text;
                break;
            case qelp::RegistryValue::Type::Dword:
                shown = "dword " + std::to_string(static_cast<int32_t>(v.dword));
                break;
            default:
                shown = "other";
            }
            printLine(v.key + "\\" + v.name + " = " + shown);
        }
        return 0;
    }
    return usage();
}
