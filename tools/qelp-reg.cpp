// qelp-reg: the console's registry store (registry.reg in a program directory).
//   qelp-reg [--dir DIR] get NAME
//   qelp-reg [--dir DIR] set NAME sz|dword VALUE
//   qelp-reg [--dir DIR] list
// Without --dir the store beside this tool is used, which is where the console looks when
// both are installed in one directory. NAME is a value under Software\QELP.
#include "frame/posixhost.h"
#include "frame/registry.h"
#include "frame/textutil.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static const char* kKey = "Software\\QELP";

static int usage() {
    std::fputs("usage: qelp-reg [--dir DIR] get NAME\n"
               "       qelp-reg [--dir DIR] set NAME sz|dword VALUE\n"
               "       qelp-reg [--dir DIR] list\n",
               stderr);
    return 2;
}

static void printLine(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

int main(int argc, char** argv) {
    int i = 1;
    std::string dir;
    if (argc > 2 && std::strcmp(argv[1], "--dir") == 0) {
        dir = qelp::WithTrailingSeparator(argv[2]);
        i = 3;
    } else {
        dir = qelp::DirectoryOf(qelp::PosixHost().ProgramPath());
    }
    qelp::RegistryStore store(dir + qelp::kRegistryFileName, [](const std::string& line) {
        std::fprintf(stderr, "qelp-reg: %s\n", line.c_str());
    });
    const int left = argc - i;
    if (left == 2 && std::strcmp(argv[i], "get") == 0) {
        printLine(store.ReadAsText(kKey, argv[i + 1]));
        return 0;
    }
    if (left == 4 && std::strcmp(argv[i], "set") == 0) {
        const std::string type = argv[i + 2];
        bool ok = false;
        if (type == "sz") {
            ok = store.WriteText(kKey, argv[i + 1], argv[i + 3]);
        } else if (type == "dword") {
            char* end = nullptr;
            long long v = std::strtoll(argv[i + 3], &end, 0);
            const bool noDigits = end == argv[i + 3];
            if (noDigits || *end != '\0' || v < INT32_MIN || v > UINT32_MAX) {
                std::fprintf(stderr, "qelp-reg: not a 32-bit number: %s\n", argv[i + 3]);
                return 2;
            }
            ok = store.WriteDword(kKey, argv[i + 1], static_cast<uint32_t>(v));
        } else {
            return usage();
        }
        if (!ok) {
            std::fprintf(stderr, "qelp-reg: cannot write %s\n", store.filePath().c_str());
            return 1;
        }
        return 0;
    }
    if (left == 1 && std::strcmp(argv[i], "list") == 0) {
        for (const qelp::RegistryValue& v : store.List()) {
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
