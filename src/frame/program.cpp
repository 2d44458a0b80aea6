#include "frame/program.h"

#include "frame/codepage.h"
#include "frame/eventlog.h"
#include "frame/layout.h"
#include "frame/textutil.h"

namespace qelp {

Program::Program(Host& h, UiPort& u, Clock& c) : host(h), ui(u), clock(c) {
    const std::string path = host.ProgramPath();
    files.programDirectory = DirectoryOf(path);
    files.programFileName = FileNameOf(path);
    files.dataDirectory = files.resourceDirectory = files.programDirectory;
    session.decimalSeparator = host.DecimalSeparator();
    session.groupSeparator = host.GroupSeparator();
    host.SetFileNotice([this](const std::string& line) { WriteLogLine(*this, line); });
}

Program::~Program() {
    host.SetFileNotice({});
}

void ApplyLayout(Program& program, const Layout& layout) {
    program.files.dataDirectory = Utf8ToCp1252(layout.dataDirectory);
    program.files.resourceDirectory = Utf8ToCp1252(layout.resourceDirectory);
}

void StartProgram(Program& program) {
    program.recipe.recipePresent = false;
    // The directory as the host reports it, then the separator: the host reports the root
    // directory with its separator, so a program there gets a doubled one, which the file
    // system accepts.
    std::string directory = program.files.dataDirectory;
    if (directory.size() > 1 && directory.back() == kPathSeparator)
        directory.pop_back();
    std::string name = program.files.programFileName;
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    program.files.logFilePath = directory + kPathSeparator + name + ".log";
    std::string started = "QELP Server started!";
    if (program.files.dataDirectory != program.files.programDirectory ||
        program.files.resourceDirectory != program.files.programDirectory)
        started += " Data: " + program.files.dataDirectory +
                   " Installation data: " + program.files.resourceDirectory;
    WriteLogLine(program, started);
}

void ResetConsoleState(Program& program) {
    program.recipe.recipePresent = false;
    program.recipe.recipeColorants.clear();
    program.canisters.canisterTable.clear();
    program.canisters.shownCanisters.clear();
}

} // namespace qelp
