#include "ui/screenfit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace qelp::ui {

namespace {

QScreen* ScreenOf(const QWidget* window) {
    if (!window->isVisible() && window->parentWidget())
        return window->parentWidget()->window()->screen();
    return window->screen() ? window->screen() : QGuiApplication::primaryScreen();
}

// The window frame's thickness on each side. Known from the window system once the window
// (or its parent) has been shown; before that, a title bar and thin borders are assumed.
QMargins FrameOf(const QWidget* window) {
    for (const QWidget* w = window; w;
         w = w->parentWidget() ? w->parentWidget()->window() : nullptr) {
        if (w->windowHandle() && w->isVisible() && !w->windowHandle()->frameMargins().isNull())
            return w->windowHandle()->frameMargins();
    }
    const int border = window->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, window);
    const int title =
        std::max(window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window),
                 window->fontMetrics().height() * 2);
    return {border, title, border, border};
}

} // namespace

QSize AvailableClientSize(const QWidget* window) {
    const QScreen* screen = ScreenOf(window);
    if (!screen)
        return {QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
    const QMargins frame = FrameOf(window);
    const QSize area = screen->availableGeometry().size();
    return {std::max(1, area.width() - frame.left() - frame.right()),
            std::max(1, area.height() - frame.top() - frame.bottom())};
}

void FitToScreen(QWidget* window) {
    const QSize wanted = window->isVisible() || window->testAttribute(Qt::WA_Resized)
                             ? window->size()
                             : window->sizeHint();
    const QSize fitting = wanted.boundedTo(AvailableClientSize(window));
    if (fitting != window->size())
        window->resize(fitting);
    if (!window->isVisible())
        return; // a dialog places itself on its parent's screen when it is shown
    const QRect area = ScreenOf(window)->availableGeometry();
    const QRect frame = window->frameGeometry();
    const QPoint inside(std::clamp(frame.left(), area.left(),
                                   std::max(area.left(), area.right() + 1 - frame.width())),
                        std::clamp(frame.top(), area.top(),
                                   std::max(area.top(), area.bottom() + 1 - frame.height())));
    if (inside != frame.topLeft())
        window->move(inside);
}

} // namespace qelp::ui
