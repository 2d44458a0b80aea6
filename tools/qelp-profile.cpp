// qelp-profile: read and write profile (INI) files exactly as the console and a driver do.
//   qelp-profile get FILE SECTION KEY        prints the value and a newline
//   qelp-profile set FILE SECTION KEY VALUE  sets the key (creating file and section)
#include "frame/fileio.h"
#include "frame/profile.h"

#include <cstdio>
#include <cstring>
#include <string>

static int usage() {
    std::fputs("usage: qelp-profile get FILE SECTION KEY\n"
               "       qelp-profile set FILE SECTION KEY VALUE\n",
               stderr);
    return 2;
}

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "get") == 0) {
        // Read once; a file over the read limit is named and refused, not looked into.
        std::string bytes;
        const auto read = qelp::fileio::ReadFileChecked(argv[2], bytes);
        if (read == qelp::fileio::ReadResult::TooLarge) {
            std::fprintf(stderr, "qelp-profile: %s\n",
                         qelp::fileio::RefusalText(read, argv[2]).c_str());
            return 1;
        }
        std::string value = qelp::profile::ProfileSnapshot(bytes).Read(argv[3], argv[4]);
        std::fwrite(value.data(), 1, value.size(), stdout);
        std::fputc('\n', stdout);
        return 0;
    }
    if (argc == 6 && std::strcmp(argv[1], "set") == 0) {
        if (!qelp::profile::WriteProfileString(argv[3], argv[4], argv[5], argv[2])) {
            std::string ignored;
            const auto read = qelp::fileio::ReadFileChecked(argv[2], ignored);
            if (read == qelp::fileio::ReadResult::TooLarge)
                std::fprintf(stderr, "qelp-profile: %s\n",
                             qelp::fileio::RefusalText(read, argv[2]).c_str());
            std::fprintf(stderr, "qelp-profile: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    return usage();
}
