#pragma once
// LevelsView, "Canister Levels": one bar per canister of the canister table, filled to
// content / size and coloured by its level state, with the warning and minimum levels
// marked. It follows the table: the console calls refresh() wherever it brings its own lists
// up to date, which is after every command and so after every result that reports canisters.
#include "frame/types.h"
#include "ui/viewwindow.h"

#include <vector>

class QLabel;
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

    // Rebuilds the bars when the canister table differs from what they show; otherwise does
    // nothing, so it may be called as often as the console likes.
    void refresh();

private:
    Program& m_program;
    std::vector<CanisterState> m_shown;
    bool m_built = false;
    QLabel* m_empty = nullptr;
    QVBoxLayout* m_rows = nullptr;
};

} // namespace qelp::ui
