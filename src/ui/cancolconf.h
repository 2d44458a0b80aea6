#pragma once
// CanColConf, "Form1": the canister table in a read-only grid, with every cell that changed
// since the grid was last filled marked with a green background (the text keeps its colour,
// so the values stay readable).
//
// Grid coordinates: row 0 is the heading row, rows 1 to n the canisters; column 0 holds the
// running number. The heading row is the table's header, so it never scrolls away; column 0
// is drawn in the heading look.
#include "frame/types.h"

#include <QColor>
#include <QDialog>

#include <array>
#include <string>

class QTableWidget;

namespace qelp {
class Program;
}

namespace qelp::ui {

inline constexpr int kGridColumns = 9;
// The highlight colour: pure green.
inline const QColor kHighlightColour(0, 255, 0);
// The headings of columns 0 to 8.
extern const std::array<const char*, kGridColumns> kGridHeadings;
// The order in which the cells of a row are written.
inline constexpr std::array<int, kGridColumns> kGridWriteOrder{0, 5, 3, 8, 7, 4, 6, 2, 1};

// The text of a cell of row `row` (from 1) for a canister; numbers in the general form.
std::string GridCellText(int row, int column, const CanisterState& canister, char decimalSeparator);
// True when the field shown in the column differs between two canister records (exact
// comparison; letter case counts). Column 0 never differs.
bool GridCellChanged(int column, const CanisterState& now, const CanisterState& before);

// Colours cells: row and column in grid coordinates, -1 meaning all (rows 1 to the last,
// columns 0 to the last); a row beyond the last is the last. A column beyond the last does
// nothing, and so do a row or column below -1 and the heading row itself, which is the
// table's header and takes no cell colour. Drawing is suspended while the range is coloured.
void HighlightCells(QTableWidget* grid, int row, int column, const QColor& colour);

class CanColConf : public QDialog {
    Q_OBJECT
public:
    CanColConf(Program& program, QWidget* parent);

    // Fills the grid and shows the window modally; returns when closed.
    void openModal();
    // Fills the grid from the canister table, marks the changes against shownCanisters,
    // then replaces shownCanisters.
    void fillCanisterGrid();

    QTableWidget* grid() const { return m_grid; }

private:
    Program& m_program;
    QTableWidget* m_grid = nullptr;
};

} // namespace qelp::ui
