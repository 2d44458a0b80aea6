#pragma once
// The console program: the Qt application, the program-wide state and the first window.
#include <string>

namespace qelp {
class Program;
}

namespace qelp::ui {

// Answers --help and --version, or refuses a wrong command line with exit code 2, before
// any window exists; otherwise chooses the layout (frame/layout.h), runs the start-up
// sequence and the window event loop and returns the exit code.
int RunConsole(int argc, char** argv);

// Where the file dialog keeps the last chosen file: an ini file in the data directory, named
// after the program ("<data directory><program name>.ini").
std::string DialogSettingsPath(const Program& program);

} // namespace qelp::ui
