#pragma once
// ViewWindow: the frame of the operator views (levels, history, event log). A view is a
// separate, non-modal window that only reads, so it stays usable while a command runs; it
// opens at the size it had when last closed, kept in the program's settings file.
#include <QString>
#include <QWidget>

namespace qelp::ui {

class ViewWindow : public QWidget {
    Q_OBJECT
public:
    // key names the view in the settings file; defaultSize is its size on first use.
    ViewWindow(const QString& key, const QString& title, const QString& settingsPath,
               QSize defaultSize, QWidget* owner);

    // Shows the window (restored to its last size the first time), raised and active.
    void present();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    QString m_key;
    QString m_settingsPath;
    bool m_sized = false;
};

} // namespace qelp::ui
