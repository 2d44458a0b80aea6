#include "ui/textedge.h"

#include "frame/codepage.h"

namespace qelp::ui {

QString FromCore(const std::string& cp1252) {
    return QString::fromStdString(Cp1252ToUtf8(cp1252));
}

std::string ToCore(const QString& text) {
    return Utf8ToCp1252(text.toStdString());
}

QString FromPath(const std::string& path) {
    return FromCore(path);
}

std::string ToPath(const QString& path) {
    return ToCore(path);
}

QString ForDisplay(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace qelp::ui
