#include "frame/program.h"

#include "frame/eventlog.h"
#include "frame/textutil.h"

namespace qelp {

Program::Program(Host& h, UiPort& u) : host(h), ui(u) {
    const std::string path = host.ProgramPath();
    programDirectory = DirectoryOf(path);
    programFileName = FileNameOf(path);
    decimalSeparator = host.DecimalSeparator();
    groupSeparator = host.GroupSeparator();
    host.SetFileNotice([this](const std::string& line) { WriteLogLine(*this, line); });
}

Program::~Program() {
    host.SetFileNotice({});
}

std::string Program::exchangeDataPath(int slot) const {
    return driverCommandDirectory + exchangeDataNames[static_cast<size_t>(slot)];
}

std::string Program::exchangeSignalPath(int slot) const {
    return driverCommandDirectory + exchangeSignalNames[static_cast<size_t>(slot)];
}

std::string Program::serverCommandFile() const {
    return serverCommandDirectory + exchangeDataNames[SlotCommand];
}

void StartProgram(Program& program) {
    program.recipePresent = false;
    // The directory as the host reports it, then the separator: the host reports the root
    // directory with its separator, so a program there gets a doubled one, which the file
    // system accepts.
    std::string directory = program.programDirectory;
    if (directory.size() > 1 && directory.back() == kPathSeparator)
        directory.pop_back();
    std::string name = program.programFileName;
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    program.logFilePath = directory + kPathSeparator + name + ".log";
    WriteLogLine(program, "QELP Server started!");
}

void ResetConsoleState(Program& program) {
    program.recipePresent = false;
    program.recipeColorants.clear();
    program.canisterTable.clear();
    program.shownCanisters.clear();
}

} // namespace qelp
