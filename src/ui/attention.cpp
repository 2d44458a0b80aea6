#include "ui/attention.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>
#include <QWidget>

namespace qelp::ui {

namespace {
constexpr const char* kService = "org.freedesktop.Notifications";
}

void CallForAttention(QWidget* console, const QString& title, const QString& text) {
    if (!console)
        return;
    const QWidget* active = QApplication::activeWindow();
    if (active && (active == console->window() || active->parentWidget() == console->window()))
        return;
    QApplication::alert(console->window());
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(QString::fromLatin1(kService)).value())
        return;
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QString::fromLatin1(kService), QStringLiteral("/org/freedesktop/Notifications"),
        QString::fromLatin1(kService), QStringLiteral("Notify"));
    // app name, replaces id, icon, summary, body, actions, hints, timeout (-1: the server's).
    notify << QStringLiteral("QELPServer") << 0u << QString() << title << text << QStringList()
           << QVariantMap() << -1;
    // Not waited for: the question must not hang on a slow desktop.
    bus.asyncCall(notify);
}

} // namespace qelp::ui
