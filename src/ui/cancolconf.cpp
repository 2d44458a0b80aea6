#include "ui/cancolconf.h"

#include "frame/program.h"
#include "frame/textutil.h"
#include "ui/screenfit.h"
#include "ui/textedge.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace qelp::ui {

const std::array<const char*, kGridColumns> kGridHeadings{
    "Item#", "Paste", "PasteID", "CanID", "Size", "Content", "Warning", "Minimum", "LastDosedUL"};

std::string GridCellText(int row, int column, const CanisterState& c, char sep) {
    switch (column) {
    case 0:
        return std::to_string(row);
    case 1:
        return c.colorantName;
    case 2:
        return std::to_string(c.pasteId);
    case 3:
        return std::to_string(c.canId);
    case 4:
        return FormatGeneral(c.sizeMl, sep);
    case 5:
        return FormatGeneral(c.contentMl, sep);
    case 6:
        return FormatGeneral(c.warnMl, sep);
    case 7:
        return FormatGeneral(c.minMl, sep);
    case 8:
        return FormatGeneral(c.dosedUl, sep);
    default:
        return {};
    }
}

bool GridCellChanged(int column, const CanisterState& a, const CanisterState& b) {
    switch (column) {
    case 1:
        return a.colorantName != b.colorantName;
    case 2:
        return a.pasteId != b.pasteId;
    case 3:
        return a.canId != b.canId;
    case 4:
        return a.sizeMl != b.sizeMl;
    case 5:
        return a.contentMl != b.contentMl;
    case 6:
        return a.warnMl != b.warnMl;
    case 7:
        return a.minMl != b.minMl;
    case 8:
        return a.dosedUl != b.dosedUl;
    default:
        return false;
    }
}

void HighlightCells(QTableWidget* grid, int row, int column, const QColor& colour) {
    // Grid rows count the heading row: the table's row r - 1 is grid row r.
    const int lastRow = grid->rowCount();
    const int lastColumn = grid->columnCount() - 1;
    if (row < -1 || column < -1 || row == 0)
        return;
    const int firstColumn = column == -1 ? 0 : column;
    const int endColumn = column == -1 ? lastColumn : column;
    if (endColumn > lastColumn)
        return;
    const int firstRow = row == -1 ? 1 : std::min(row, lastRow);
    const int endRow = row == -1 ? lastRow : std::min(row, lastRow);
    grid->setUpdatesEnabled(false);
    if (lastRow + 1 > 1 && lastColumn + 1 > 1) {
        for (int r = firstRow; r <= endRow; ++r) {
            for (int c = firstColumn; c <= endColumn; ++c) {
                QTableWidgetItem* item = grid->item(r - 1, c);
                if (!item) {
                    item = new QTableWidgetItem;
                    grid->setItem(r - 1, c, item);
                }
                item->setBackground(colour);
            }
        }
    }
    grid->setUpdatesEnabled(true);
}

CanColConf::CanColConf(Program& program, QWidget* parent) : QDialog(parent), m_program(program) {
    setObjectName(QStringLiteral("CanColConf"));
    setWindowTitle(QStringLiteral("Form1"));
    setModal(true);
    m_grid = new QTableWidget(this);
    m_grid->setObjectName(QStringLiteral("grid"));
    m_grid->setAccessibleName(QStringLiteral("Canisters"));
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionMode(QAbstractItemView::NoSelection);
    m_grid->verticalHeader()->hide();
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_grid);
    resize(fontMetrics().averageCharWidth() * 90, fontMetrics().lineSpacing() * 30);
}

void CanColConf::openModal() {
    fillCanisterGrid();
    FitToScreen(this);
    exec();
}

void CanColConf::fillCanisterGrid() {
    m_grid->clear();
    m_grid->setRowCount(0);
    m_grid->setColumnCount(kGridColumns);
    QStringList headings;
    for (const char* heading : kGridHeadings)
        headings << QString::fromLatin1(heading);
    m_grid->setHorizontalHeaderLabels(headings);

    const std::vector<CanisterState>& table = m_program.canisters.canisterTable;
    const std::vector<CanisterState>& shown = m_program.canisters.shownCanisters;
    const bool compare = shown.size() == table.size();
    const char sep = m_program.session.decimalSeparator;
    const QBrush headingLook = palette().button();
    for (size_t i = 0; i < table.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        m_grid->insertRow(row - 1);
        for (int column : kGridWriteOrder) {
            auto* item = new QTableWidgetItem(FromCore(GridCellText(row, column, table[i], sep)));
            if (column == 0) {
                // The fixed column: heading look, right-aligned running number.
                item->setBackground(headingLook);
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            }
            m_grid->setItem(row - 1, column, item);
            if (compare && column >= 1 && GridCellChanged(column, table[i], shown[i]))
                HighlightCells(m_grid, row, column, kHighlightColour);
        }
    }
    m_program.canisters.shownCanisters = table;
    // Wide enough for all nine columns, so that only a long table scrolls (vertically);
    // but never wider than the screen: very long names scroll sideways instead.
    m_grid->resizeColumnsToContents();
    const QMargins margins = layout()->contentsMargins();
    const int screenWidth = AvailableClientSize(this).width() - margins.left() - margins.right();
    m_grid->setMinimumWidth(
        std::min(screenWidth, m_grid->horizontalHeader()->length() + 2 * m_grid->frameWidth() +
                                  m_grid->verticalScrollBar()->sizeHint().width()));
}

} // namespace qelp::ui
