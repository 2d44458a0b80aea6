#pragma once
// Keeping windows on the screen. A window is never made larger than the part of its screen
// that windows may use (task bars and docks excluded), so its buttons can always be reached;
// content that does not fit scrolls inside the window instead.
#include <QSize>

class QWidget;

namespace qelp::ui {

// The largest client size (the window without its title bar and borders) a top-level window
// may take on its screen. A window not shown yet counts as being on its parent's screen.
QSize AvailableClientSize(const QWidget* window);

// Shrinks a top-level window to AvailableClientSize when it would be larger (a window not
// shown yet is measured by its size hint) and, when it is visible, moves it fully onto the
// screen.
void FitToScreen(QWidget* window);

} // namespace qelp::ui
