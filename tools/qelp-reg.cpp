// qelp-reg: the console's registry store.
//   qelp-reg [--dir DIR] get NAME
//   qelp-reg [--dir DIR] set NAME sz|dword VALUE
//   qelp-reg [--dir DIR] list
// With --dir, the registry.reg in DIR. Without it, the store the console beside this tool
// uses: its registry.reg on Linux and in a portable Windows installation, otherwise the
// machine's registry under HKEY_LOCAL_MACHINE. NAME is a value under Software\QELP.
#include "frame/fileio.h"
#include "frame/nativehost.h"
#include "frame/registry.h"
#include "frame/textutil.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

static const char* kKey = "Software\\QELP";

namespace {

int usage() {
    std::fputs("usage: qelp-reg [--dir DIR] get NAME\n"
               "       qelp-reg [--dir DIR] set NAME sz|dword VALUE\n"
               "       qelp-reg [--dir DIR] list\n",
               stderr);
    return 2;
}

void printLine(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

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
    int i = 1;
    qelp::NativeHost host;
    Store store;
    if (argc > 2 && std::strcmp(argv[1], "--dir") == 0) {
        store = fileStore(qelp::WithTrailingSeparator(argv[2]) + qelp::kRegistryFileName);
        i = 3;
    } else {
#ifdef _WIN32
        const auto portable = host.portableRegistryPath();
        store = portable ? fileStore(*portable) : machineStore(host);
#else
        store = fileStore(qelp::DirectoryOf(host.ProgramPath()) + qelp::kRegistryFileName);
#endif
    }
    const int left = argc - i;
    if (left == 2 && std::strcmp(argv[i], "get") == 0) {
        printLine(store.get(argv[i + 1]));
        return 0;
    }
    if (left == 4 && std::strcmp(argv[i], "set") == 0) {
        const std::string type = argv[i + 2];
        bool ok = false;
        if (type == "sz") {
            ok = store.setText(argv[i + 1], argv[i + 3]);
        } else if (type == "dword") {
            char* end = nullptr;
            long long v = std::strtoll(argv[i + 3], &end, 0);
            const bool noDigits = end == argv[i + 3];
            if (noDigits || *end != '\0' || v < INT32_MIN || v > UINT32_MAX) {
                std::fprintf(stderr, "qelp-reg: not a 32-bit number: %s\n", argv[i + 3]);
                return 2;
            }
            ok = store.setDword(argv[i + 1], static_cast<uint32_t>(v));
        } else {
            return usage();
        }
        if (!ok) {
            std::fprintf(stderr, "qelp-reg: cannot write %s\n", store.name.c_str());
            return 1;
        }
        return 0;
    }
    if (left == 1 && std::strcmp(argv[i], "list") == 0) {
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
