// The operator views' main paths on the real console: the levels follow the canister table,
// a dispense shows in the history and comes back into the recipe, and the event log view
// follows and filters the log.
#include "console/dispenses.h"
#include "console/viewlogic.h"
#include "frame/eventlog.h"
#include "support/consolefixture.h"
#include "ui/historyview.h"
#include "ui/levelsview.h"
#include "ui/logview.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

using namespace qelp::ui;

class TestViews : public QObject {
    Q_OBJECT
    std::unique_ptr<guitest::ConsoleFixture> m_f;

private slots:
    void init() { m_f = std::make_unique<guitest::ConsoleFixture>(); }
    void cleanup() { m_f.reset(); }

    void levelsFollowTheCanisterTable() {
        LevelsView* view = m_f->form->openLevels();
        QVERIFY(view->findChildren<LevelBar*>().isEmpty() &&
                view->findChild<QWidget*>("NoLevels")->isVisible());
        m_f->installDriver();
        QVERIFY(m_f->start());
        auto& table = m_f->program.canisters.canisterTable;
        QVERIFY(!table.empty());
        auto names = [&] {
            QStringList out;
            for (LevelBar* bar : view->findChildren<LevelBar*>())
                out << bar->accessibleName();
            return out;
        };
        QTRY_COMPARE(names().size(), int(table.size()));
        table[0].contentMl = table[0].minMl;
        const QString low = QString::fromStdString(qelp::LevelText(table[0], '.'));
        QVERIFY(low.endsWith(", minimum"));
        m_f->form->refreshConsole(); // as after every result
        QVERIFY(names().contains(low));
    }

    void aDispenseIsRecordedExportedAndLoadedAgain() {
        m_f->installDriver();
        QVERIFY(m_f->start());
        qelp::Program& p = m_f->program;
        const qelp::CanisterState& first = p.canisters.canisterTable.at(0);
        p.recipe.currentRecipe = {0, 29.574, 48, 1, "Morvex BL", "W05", "2L AshTray", 2000, 180};
        p.recipe.recipeColorants = {{first.canId, 2.5, first.pasteId, first.colorantName}};
        p.recipe.recipePresent = true;
        m_f->form->refreshConsole();
        const std::string outcome = m_f->press("Command16").back();
        HistoryView* view = m_f->form->openHistory();
        QCOMPARE(view->rowCount(), size_t(1));
        QCOMPARE(view->record(0)->outcome, outcome);
        view->findChild<QLineEdit*>("Find")->setText("no such product");
        QTRY_COMPARE(view->rowCount(), size_t(0));
        view->findChild<QLineEdit*>("Find")->setText("MORVEX");
        QTRY_COMPARE(view->rowCount(), size_t(1));

        const std::string csv = m_f->dir.file("out.csv");
        m_f->dialogs.answerOpenFile(QString::fromStdString(csv));
        view->findChild<QPushButton*>("ExportCsv")->click();
        QCOMPARE(qelptest::SplitCrLf(qelptest::ReadFile(csv)).size(), size_t(2));

        const auto before = p.recipe.recipeColorants;
        p.recipe.recipeColorants.clear();
        p.recipe.recipePresent = false;
        m_f->form->refreshConsole();
        view->table()->selectRow(0);
        view->findChild<QPushButton*>("DispenseAgain")->click();
        QCOMPARE(p.recipe.recipeColorants.size(), before.size());
        QCOMPARE(p.recipe.recipeColorants[0].amount, 2.5);
        QVERIFY(m_f->button("Command16")->isEnabled());
    }

    void eventLogFollowsAndFilters() {
        LogView* view = m_f->form->openEventLog();
        qelp::WriteLogLine(m_f->program, "- Error: probe one");
        qelp::WriteLogLine(m_f->program, "probe two");
        auto shown = [&] { return view->shownLines(); };
        QTRY_VERIFY(!shown().empty() && shown().back().ends_with("probe two"));
        view->findChild<QLineEdit*>("Filter")->setText("PROBE");
        view->findChild<QCheckBox*>("ErrorsOnly")->setChecked(true);
        QCOMPARE(shown().size(), size_t(1));
        QVERIFY(shown()[0].ends_with("- Error: probe one"));
    }
};

QTEST_MAIN(TestViews)
#include "tst_views.moc"
