#include "ui/viewwindow.h"

#include "ui/screenfit.h"

#include <QSettings>

namespace qelp::ui {

ViewWindow::ViewWindow(const QString& key, const QString& title, const QString& settingsPath,
                       QSize defaultSize, QWidget* owner)
    : QWidget(owner, Qt::Window), m_key(key), m_settingsPath(settingsPath) {
    setObjectName(key);
    setWindowTitle(title);
    setAccessibleName(title);
    resize(defaultSize);
}

void ViewWindow::present() {
    if (!m_sized) {
        m_sized = true;
        QSettings settings(m_settingsPath, QSettings::IniFormat);
        const QSize size = settings.value(QStringLiteral("Views/%1/Size").arg(m_key)).toSize();
        if (size.isValid())
            resize(size);
        FitToScreen(this);
    }
    show();
    raise();
    activateWindow();
}

void ViewWindow::hideEvent(QHideEvent* event) {
    QSettings settings(m_settingsPath, QSettings::IniFormat);
    settings.setValue(QStringLiteral("Views/%1/Size").arg(m_key), size());
    QWidget::hideEvent(event);
}

} // namespace qelp::ui
