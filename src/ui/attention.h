#pragma once
// The call for attention when a driver's question opens while the operator looks elsewhere:
// the window system's alert (a flashing task bar entry) and, where the desktop offers
// notifications over D-Bus, a notification with the question's title and text.
#include <QString>

class QWidget;

namespace qelp::ui {

// Does nothing while `console` (or a window of its own) is the active window. A desktop
// without a session bus or without a notification service gets the alert alone, silently.
void CallForAttention(QWidget* console, const QString& title, const QString& text);

} // namespace qelp::ui
