#pragma once
// The console program: the Qt application, the program-wide state and the first window.
#include <string>

namespace qelp {
class Program;
}

namespace qelp::ui {

// Runs the start-up sequence and the window event loop; returns the exit code.
int RunConsole(int argc, char** argv);

// Where the file dialog keeps the last chosen file: an ini file beside the program, named
// after it ("<program directory><program name>.ini").
std::string DialogSettingsPath(const Program& program);

} // namespace qelp::ui
