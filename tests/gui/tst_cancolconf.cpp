// The canister grid: headings, cell texts, the green marks on exactly the changed cells
// (after a dosing and after a colorant rename against the real simulator), and the
// HighlightCells routine.
#include "support/consolefixture.h"
#include "ui/cancolconf.h"

#include <QComboBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <set>

using guitest::ConsoleFixture;
using qelp::ui::CanColConf;

namespace {
using Cell = std::pair<int, int>; // grid row (from 1), column

std::set<Cell> GreenCells(QTableWidget* grid) {
    std::set<Cell> cells;
    for (int r = 0; r < grid->rowCount(); ++r) {
        for (int c = 0; c < grid->columnCount(); ++c) {
            QTableWidgetItem* item = grid->item(r, c);
            if (item && item->background().color() == QColor(0, 255, 0))
                cells.insert({r + 1, c});
        }
    }
    return cells;
}

qelp::CanisterState Canister(int id, const char* name, double content) {
    qelp::CanisterState c;
    c.canId = id;
    c.pasteId = id + 32;
    c.colorantName = name;
    c.sizeMl = 2000;
    c.contentMl = content;
    c.warnMl = 300;
    c.minMl = 100;
    return c;
}

QTableWidget* Table(int rows) {
    auto* grid = new QTableWidget(rows, qelp::ui::kGridColumns);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < grid->columnCount(); ++c)
            grid->setItem(r, c, new QTableWidgetItem);
    return grid;
}
} // namespace

class TestCanColConf : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ConsoleFixture> m_f;

    // Opens the grid with its button and returns the green cells it showed.
    std::set<Cell> openGrid(QStringList* firstRow = nullptr) {
        std::set<Cell> green;
        bool shown = false;
        guitest::WhenVisible("CanColConf", [&](QWidget* w) {
            auto* window = static_cast<CanColConf*>(w);
            shown = true;
            green = GreenCells(window->grid());
            if (firstRow && window->grid()->rowCount() > 0) {
                for (int c = 0; c < window->grid()->columnCount(); ++c)
                    *firstRow << window->grid()->item(0, c)->text();
            }
            window->close();
        });
        m_f->click("cmd_cancol");
        if (!shown)
            qWarning("the canister grid did not show");
        return green;
    }

private slots:
    void init() { m_f = std::make_unique<ConsoleFixture>(); }
    void cleanup() { m_f.reset(); }

    void gridShowsTheTableWithItsHeadings() {
        m_f->program.canisterTable = {Canister(3, "Lamp Black", 12.5),
                                      Canister(5, "Oxide Red", 750)};
        m_f->program.canisterTable[1].dosedUl = 0.25;
        CanColConf window(m_f->program, m_f->form.get());
        window.fillCanisterGrid();
        QTableWidget* grid = window.grid();
        QCOMPARE(window.windowTitle(), QString("Form1"));
        QCOMPARE(grid->objectName(), QString("grid"));
        QStringList headings;
        for (int c = 0; c < grid->columnCount(); ++c)
            headings << grid->horizontalHeaderItem(c)->text();
        QCOMPARE(headings, (QStringList{"Item#", "Paste", "PasteID", "CanID", "Size", "Content",
                                        "Warning", "Minimum", "LastDosedUL"}));
        QCOMPARE(grid->rowCount(), 2);
        QStringList row;
        for (int c = 0; c < grid->columnCount(); ++c)
            row << grid->item(1, c)->text();
        QCOMPARE(row,
                 (QStringList{"2", "Oxide Red", "37", "5", "2000", "750", "300", "100", "0.25"}));
        QCOMPARE(grid->item(0, 5)->text(), QString("12.5"));
        QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(GreenCells(grid).empty()); // first filling: nothing to compare with
        QCOMPARE(m_f->program.shownCanisters, m_f->program.canisterTable);
    }

    void numbersFollowTheUsersFormat() {
        m_f = std::make_unique<ConsoleFixture>(',');
        m_f->program.canisterTable = {Canister(3, "Lamp Black", 12.5)};
        CanColConf window(m_f->program, m_f->form.get());
        window.fillCanisterGrid();
        QCOMPARE(window.grid()->item(0, 5)->text(), QString("12,5"));
    }

    void exactlyTheChangedCellsTurnGreen() {
        std::vector<qelp::CanisterState>& table = m_f->program.canisterTable;
        table = {Canister(1, "White", 100), Canister(2, "Black", 200), Canister(3, "Red", 300)};
        CanColConf window(m_f->program, m_f->form.get());
        window.fillCanisterGrid();
        window.fillCanisterGrid();
        QVERIFY(GreenCells(window.grid()).empty());

        table[2].contentMl = 290.5;
        table[2].dosedUl = 9500;
        table[0].colorantName = "WHITE"; // letter case counts
        window.fillCanisterGrid();
        QCOMPARE(GreenCells(window.grid()), (std::set<Cell>{{3, 5}, {3, 8}, {1, 1}}));
        window.fillCanisterGrid();
        QVERIFY(GreenCells(window.grid()).empty());

        table[1].sizeMl = 1;
        table[1].warnMl = 2;
        table[1].minMl = 3;
        table[1].pasteId = 4;
        table[1].canId = 22;
        window.fillCanisterGrid();
        QCOMPARE(GreenCells(window.grid()),
                 (std::set<Cell>{{2, 2}, {2, 3}, {2, 4}, {2, 6}, {2, 7}}));

        // A different number of canisters: no marks, and the next filling compares again.
        table.push_back(Canister(4, "Blue", 1));
        table[0].contentMl = 1;
        window.fillCanisterGrid();
        QVERIFY(GreenCells(window.grid()).empty());
        table[3].contentMl = 2;
        window.fillCanisterGrid();
        QCOMPARE(GreenCells(window.grid()), (std::set<Cell>{{4, 5}}));

        table.clear();
        window.fillCanisterGrid();
        QCOMPARE(window.grid()->rowCount(), 0);
        QCOMPARE(window.grid()->columnCount(), 9);
        QVERIFY(m_f->program.shownCanisters.empty());
    }

    void highlightCellsCoversItsRanges() {
        const QColor green(0, 255, 0);
        std::unique_ptr<QTableWidget> grid(Table(3));
        qelp::ui::HighlightCells(grid.get(), 2, 4, green);
        QCOMPARE(GreenCells(grid.get()), (std::set<Cell>{{2, 4}}));

        grid.reset(Table(3));
        qelp::ui::HighlightCells(grid.get(), 7, 1, green); // beyond the last row: the last
        QCOMPARE(GreenCells(grid.get()), (std::set<Cell>{{3, 1}}));

        grid.reset(Table(3));
        qelp::ui::HighlightCells(grid.get(), -1, 0, green);
        QCOMPARE(GreenCells(grid.get()), (std::set<Cell>{{1, 0}, {2, 0}, {3, 0}}));

        grid.reset(Table(2));
        qelp::ui::HighlightCells(grid.get(), 1, -1, green);
        QCOMPARE(GreenCells(grid.get()).size(), size_t(9));
        qelp::ui::HighlightCells(grid.get(), -1, -1, green);
        QCOMPARE(GreenCells(grid.get()).size(), size_t(18));
        QVERIFY(grid->updatesEnabled());

        grid.reset(Table(2));
        qelp::ui::HighlightCells(grid.get(), 1, 9, green); // beyond the last column
        qelp::ui::HighlightCells(grid.get(), 0, 1, green); // the heading row
        qelp::ui::HighlightCells(grid.get(), -2, 1, green);
        QVERIFY(GreenCells(grid.get()).empty());

        grid.reset(Table(0)); // only the heading row
        qelp::ui::HighlightCells(grid.get(), -1, -1, green);
        QCOMPARE(grid->rowCount(), 0);
    }

    void gridMarksADosingAndARename() {
        m_f->installDriver();
        // The grid opens also while the driver is stopped.
        QCOMPARE(openGrid(), std::set<Cell>{});
        QVERIFY(m_f->start());
        QStringList firstRow;
        QCOMPARE(openGrid(&firstRow), std::set<Cell>{}); // 16 canisters now, none before
        QCOMPARE(firstRow, (QStringList{"1", "Titanium White", "33", "1", "4000", "3200", "600",
                                        "200", "0"}));
        QCOMPARE(openGrid(), std::set<Cell>{});

        // Dispense a recipe of canister 3 only.
        qelp::Program& p = m_f->program;
        p.currentRecipe.unitSize = 29.574;
        p.currentRecipe.unitFraction = 48;
        p.currentRecipe.numberOfCans = 1;
        p.recipeColorants = {{3, 24, 35, "Oxide Red"}};
        p.recipePresent = true;
        m_f->form->refreshConsole();
        const size_t mark = m_f->mark();
        m_f->click("Command16");
        QCOMPARE(m_f->since(mark).back(), std::string("Dosing completed."));
        QCOMPARE(openGrid(), (std::set<Cell>{{3, 5}, {3, 8}}));
        QCOMPARE(openGrid(), std::set<Cell>{});

        // Rename canister 6 changing only the letter case.
        m_f->dialogs.answerInput(QString("6"));
        m_f->dialogs.answerInput(QString("PHTHALO GREEN"));
        m_f->click("Command20");
        QCOMPARE(m_f->log().back(), std::string("SetCanColName completed."));
        // The rename's answer lists every canister with nothing dosed, so canister 3's last
        // dosed amount went back to 0 as well.
        QCOMPARE(openGrid(), (std::set<Cell>{{3, 8}, {6, 1}}));
    }
};

QTEST_MAIN(TestCanColConf)
#include "tst_cancolconf.moc"
