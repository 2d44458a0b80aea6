#include "frame/layout.h"

#include "frame/fileio.h"
#include "frame/textutil.h"

#include <filesystem>
#include <system_error>

// The build passes the configured install directories for this file only (CMakeLists.txt), so
// that a change of prefix rebuilds nothing else. A build that does not pass them is portable
// only: no executable lies in an empty bin directory.
#ifndef QELP_INSTALL_BINDIR
#define QELP_INSTALL_BINDIR ""
#endif
#ifndef QELP_INSTALL_DATADIR
#define QELP_INSTALL_DATADIR ""
#endif
#ifndef QELP_INSTALL_RESOURCEDIR
#define QELP_INSTALL_RESOURCEDIR ""
#endif

namespace qelp {

namespace {

std::string withoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == kPathSeparator))
        path.pop_back();
    return path;
}

// The directory with links resolved when it exists (/bin and /usr/bin are one directory on
// a merged-/usr system, and /proc/self/exe names the resolved one); as given otherwise.
std::string resolved(const std::string& directory) {
    std::error_code ec;
    if (!directory.empty()) {
        const std::filesystem::path real = std::filesystem::canonical(directory, ec);
        if (!ec)
            return real.string();
    }
    return withoutTrailingSeparators(directory);
}

std::string absolute(const std::string& path) {
    if (path.empty() || IsAbsolutePath(path))
        return path;
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    return ec ? path : WithTrailingSeparator(cwd.string()) + path;
}

} // namespace

const InstallDirectories& ConfiguredInstallDirectories() {
    static const InstallDirectories dirs{QELP_INSTALL_BINDIR, QELP_INSTALL_DATADIR,
                                         QELP_INSTALL_RESOURCEDIR};
    return dirs;
}

Layout ChooseLayout(const std::string& executablePath, const std::string& dataDirectoryOverride,
                    const InstallDirectories& install) {
    Layout layout;
    const std::string programDirectory = DirectoryOf(executablePath);
    layout.installed =
        !install.binDirectory.empty() && programDirectory != executablePath &&
        resolved(withoutTrailingSeparators(programDirectory)) == resolved(install.binDirectory);
    if (layout.installed) {
        layout.dataDirectory = WithTrailingSeparator(install.dataDirectory);
        layout.resourceDirectory = WithTrailingSeparator(install.resourceDirectory);
    } else {
        layout.dataDirectory = layout.resourceDirectory = programDirectory;
    }
    if (!dataDirectoryOverride.empty())
        layout.dataDirectory = WithTrailingSeparator(absolute(dataDirectoryOverride));
    return layout;
}

std::string EnterLayout(const std::string& dataDirectoryOverride, Layout& layout,
                        std::string executablePath) {
    if (executablePath.empty())
        executablePath = fileio::OwnExecutablePath();
    layout = ChooseLayout(executablePath, dataDirectoryOverride);
    if (layout.dataDirectory == DirectoryOf(executablePath))
        return {};
    fileio::ShareNewFilesWithGroup();
    // Not created here: the package creates the installed one with its group and mode, and a
    // mistyped --data-dir should not leave a directory behind.
    if (!fileio::IsDirectory(layout.dataDirectory))
        return "the data directory " + layout.dataDirectory + " does not exist";
    return {};
}

StandardOptions ParseStandardOptions(int argc, char** argv,
                                     int (*passThrough)(const std::string& option)) {
    StandardOptions options;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg.size() < 2 || arg[0] != '-')
            break;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--data-dir" || arg.rfind("--data-dir=", 0) == 0) {
            const bool joined = arg.size() > 10;
            if (!joined && i + 1 >= argc) {
                options.error = "--data-dir needs a directory";
                return options;
            }
            options.dataDirectory = joined ? arg.substr(11) : argv[++i];
            if (options.dataDirectory.empty()) {
                options.error = "--data-dir needs a directory";
                return options;
            }
        } else if (const int taken = passThrough ? passThrough(arg) : 0; taken > 0) {
            i += taken - 1;
        } else {
            options.error = "unknown option " + arg;
            return options;
        }
    }
    for (; i < argc; ++i)
        options.rest.emplace_back(argv[i]);
    return options;
}

} // namespace qelp
