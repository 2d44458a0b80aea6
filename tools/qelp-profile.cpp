// qelp-profile: read and write profile (INI) files exactly as the console and a driver do.
// A relative FILE lies in the data directory of an installed copy (frame/layout.h) or of
// --data-dir; a portable copy takes it from the current directory, as any shell tool does.
#include "frame/fileio.h"
#include "frame/layout.h"
#include "frame/profile.h"
#include "frame/textutil.h"
#include "qelpversion.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: qelp-profile [--data-dir DIR] get FILE SECTION KEY\n"
    "       qelp-profile [--data-dir DIR] set FILE SECTION KEY VALUE\n"
    "       qelp-profile [--data-dir DIR] del FILE SECTION [KEY]\n"
    "       qelp-profile --help | --version\n"
    "\n"
    "Reads and writes a profile (INI) file as the console and a Windows driver do.\n"
    "  get  prints the key's value (at most 99 characters, trimmed) and a newline;\n"
    "       a missing file, section or key prints an empty line\n"
    "  set  sets the key, creating the file and the section when missing\n"
    "  del  deletes the key, or without KEY the whole section\n"
    "An empty SECTION names the keys above the first section header. A relative FILE\n"
    "lies in DIR, or in /var/lib/qelpserver for an installed copy.\n"
    "Exit status: 0 done, 1 the file could not be written, 2 wrong usage.\n";

int usage(bool asked) {
    std::fputs(kUsage, asked ? stdout : stderr);
    return asked ? 0 : 2;
}

// True (after saying so) when the file exists but is over the read limit.
bool refusedAsTooLarge(const char* file) {
    std::string bytes;
    const auto read = qelp::fileio::ReadFileChecked(file, bytes);
    if (read != qelp::fileio::ReadResult::TooLarge)
        return false;
    std::fprintf(stderr, "qelp-profile: %s\n", qelp::fileio::RefusalText(read, file).c_str());
    return true;
}

int cannotWrite(const char* file) {
    refusedAsTooLarge(file);
    std::fprintf(stderr, "qelp-profile: cannot write %s\n", file);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    qelp::fileio::UseBinaryStandardOutput();
    const qelp::StandardOptions options = qelp::ParseStandardOptions(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "qelp-profile: %s\n", options.error.c_str());
        return usage(false);
    }
    if (options.version) {
        std::fputs("qelp-profile " QELP_VERSION "\n", stdout);
        return 0;
    }
    if (options.help || (options.rest.size() == 1 && options.rest[0] == "help"))
        return usage(true);
    qelp::Layout layout;
    const std::string problem = qelp::EnterLayout(options.dataDirectory, layout);
    if (!problem.empty())
        std::fprintf(stderr, "qelp-profile: %s\n", problem.c_str());
    // The arguments after the options, FILE taken into the data directory when relative.
    std::vector<std::string> args{argv[0]};
    args.insert(args.end(), options.rest.begin(), options.rest.end());
    if (args.size() > 2 && !args[2].empty() && !qelp::IsAbsolutePath(args[2]) &&
        (layout.installed || !options.dataDirectory.empty()))
        args[2] = layout.dataDirectory + args[2];
    std::vector<char*> pointers;
    for (std::string& arg : args)
        pointers.push_back(arg.data());
    argc = static_cast<int>(pointers.size());
    argv = pointers.data();
    const std::string command = argc > 1 ? argv[1] : "";
    if (argc == 5 && command == "get") {
        // A file over the read limit is named and refused, not taken for an empty one.
        if (refusedAsTooLarge(argv[2]))
            return 1;
        std::string value = qelp::profile::ReadProfileString(argv[3], argv[4], argv[2]);
        std::fwrite(value.data(), 1, value.size(), stdout);
        std::fputc('\n', stdout);
        return 0;
    }
    if (argc == 6 && command == "set")
        return qelp::profile::WriteProfileString(argv[3], argv[4], argv[5], argv[2])
                   ? 0
                   : cannotWrite(argv[2]);
    if ((argc == 4 || argc == 5) && command == "del") {
        std::optional<std::string_view> key;
        if (argc == 5)
            key = argv[4];
        return qelp::profile::DeleteProfileEntry(argv[3], key, argv[2]) ? 0 : cannotWrite(argv[2]);
    }
    return usage(false);
}
