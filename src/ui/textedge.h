#pragma once
// The screens' edge to the core: core texts, paths included, are Windows-1252 bytes (the
// host converts paths to its file-system names), widgets speak QString. Every conversion
// between the two worlds goes through here.
#include <QString>
#include <string>

namespace qelp::ui {

// A core text (Windows-1252) for a widget.
QString FromCore(const std::string& cp1252);
// A widget's text for the core; characters without a Windows-1252 byte become '?'.
std::string ToCore(const QString& text);
// A path from the core (Windows-1252) for a widget, and back; a character without a
// Windows-1252 byte becomes '?', so such a file cannot be named.
QString FromPath(const std::string& path);
std::string ToPath(const QString& path);
// CR LF and lone CR become LF, which is what labels and message boxes lay out as a line end.
QString ForDisplay(QString text);

} // namespace qelp::ui
