#pragma once
// LevelsView, "Canister Levels": one bar per canister of the canister table, filled to
// content / size and coloured by its level state, with the warning and minimum levels
// marked. It follows the table: a change shows within a fraction of a second.
#include "frame/types.h"
#include "ui/viewwindow.h"

#include <vector>

class QLabel;
class QTimer;
class QVBoxLayout;

namespace qelp {
class Program;
}

namespace qelp::ui {

// One canister's bar. Its accessible name is the canister's level text.
class LevelBar : public QWidget {
    Q_OBJECT
public:
    LevelBar(const CanisterState& canister, char decimalSeparator, QWidget* parent);
    QSize sizeHint() const override;
    QColor fillColour() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CanisterState m_canister;
    QString m_text;
};

class LevelsView : public ViewWindow {
    Q_OBJECT
public:
    LevelsView(Program& program, const QString& settingsPath, QWidget* owner);

    // Rebuilds the bars when the canister table differs from what they show.
    void refresh();

private:
    Program& m_program;
    std::vector<CanisterState> m_shown;
    bool m_built = false;
    QLabel* m_empty = nullptr;
    QVBoxLayout* m_rows = nullptr;
    QTimer* m_poll = nullptr;
};

} // namespace qelp::ui
