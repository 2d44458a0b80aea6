// The operator views' main paths on the real console: the levels follow the canister table
// and the event log view follows and filters the log (the history: with the recipe screen).
#include "console/viewlogic.h"
#include "frame/eventlog.h"
#include "support/consolefixture.h"
#include "ui/levelsview.h"
#include "ui/logview.h"

#include <QCheckBox>
#include <QLineEdit>
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
        m_f->form->refreshConsole(); // as after every result
        QVERIFY(names().contains(QString::fromStdString(qelp::LevelText(table[0], '.'))));
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
