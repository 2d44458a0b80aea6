#pragma once
// The console program: the Qt application, the program-wide state and the first window.
namespace qelp::ui {

// Runs the start-up sequence and the window event loop; returns the exit code.
int RunConsole(int argc, char** argv);

} // namespace qelp::ui
