// The console against the real simulator: enable rules and the levels view, maintenance
// actions, selection lists, canister line, the busy rule, machine information, command-file
// replay, and the event log view.
#include "console/viewlogic.h"
#include "exchange/exchange.h"
#include "frame/eventlog.h"
#include "link/transfer.h"
#include "support/consolefixture.h"
#include "support/linkfixture.h"
#include "ui/levelsview.h"
#include "ui/logview.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QTest>

#include <filesystem>
#include <map>

using qelptest::CountOf;
using Lines = std::vector<std::string>;
using namespace qelp;
using namespace qelp::ui;

namespace {
// Each maintenance button after start (N of CommandN): select is typed into both lists,
// answers (split at ';', "<cancel>" cancels) go to the input boxes. line: the command line
// the click sends, or the one line it logs when it refuses; empty: nothing is logged.
struct Action {
    const char *button, *select, *answers, *line;
};
constexpr Action kActions[] = {
    {"3", "", "", "@EXT RESET"},
    {"4", "", "", "@EXT RESET HARD"},
    {"6", "", "", "@EXT SHOWSERVICEWINDOW"},
    {"7", "3", "", "@EXT CLEAN 3"},
    {"8", "3", "", "@EXT PURGE 3"},
    {"9", "3", "", "@EXT FILLCANISTER PREPARE 3"},
    {"10", "0", "1", "@EXT FILLCANISTER SET 16 1000"}, // "0": every canister
    {"11", "5", "0.0035", "@EXT FILLCANISTER ADD 5 4"},
    {"18", "Lamp Black", "", "@EXT CLEANCOL Lamp Black"},
    {"7", "", "", ""},
    {"9", "0", "", ""},
    {"18", "", "", ""},
    {"7", "3b", "", "Invalid canister number (3b). Nothing was sent."},
    {"8", "99999999999", "", "Invalid canister number (99999999999). Nothing was sent."},
    {"11", "42", "0.5", ""},
    {"10", "", "0.5", ""},
    {"10", "5", "half", "Invalid amount (half). Nothing was sent."},
    {"11", "5", "<cancel>", "No amount given. Nothing was sent."},
    {"20", "", "12a", ""},
    {"20", "", "4;   ", ""},
};
} // namespace

class TestConsole : public QObject {
    Q_OBJECT
    std::unique_ptr<guitest::ConsoleFixture> m_f;
    const QString m_cwd = QDir::currentPath();

    QStringList enabledControls() { // Command7 sits inside Frame1
        QStringList on;
        for (const char* n : {"Command1", "Command2", "Command13", "cmd_cancol", "Frame1", "Frame2",
                              "Frame3", "Command7", "Command16"})
            if (m_f->form->findChild<QWidget*>(n)->isEnabled())
                on << n;
        return on;
    }
    std::string write(const std::string& name, const std::string& bytes) {
        qelptest::WriteFile(m_f->dir.file(name), bytes);
        return m_f->dir.file(name);
    }

private slots:
    void init() { m_f = std::make_unique<guitest::ConsoleFixture>(); }
    void cleanup() {
        QVERIFY(QDir::setCurrent(m_cwd));
        m_f.reset();
    }

    void enableRulesFollowTheLink() {
        const QStringList unlinked{"Command1", "cmd_cancol"};
        QCOMPARE(m_f->log(), Lines{"QELP Server started!"});
        QCOMPARE(enabledControls(), unlinked);
        QCOMPARE(m_f->combo("Combo1")->count(), 0);
        QVERIFY(!qelptest::Exists(m_f->dir.path() + "ServerCmd")); // driver left alone
        LevelsView* levels = m_f->form->openLevels();
        QVERIFY(levels->findChildren<LevelBar*>().isEmpty() &&
                levels->findChild<QWidget*>("NoLevels")->isVisible());

        QVERIFY(!m_f->start()); // no driver installed
        QCOMPARE(m_f->status(), QString("Driver failed to start...."));
        QCOMPARE(enabledControls(), unlinked);

        QVERIFY(m_f->installAndStart());
        QCOMPARE(m_f->status(), QString("Driver started, Dispenser reset."));
        QCOMPARE(enabledControls(),
                 (QStringList{"Command2", "cmd_cancol", "Frame1", "Frame2", "Frame3", "Command7"}));
        QComboBox* c1 = m_f->combo("Combo1");
        QCOMPARE(c1->currentText(), QString());
        const auto bars = [&] { // the levels follow the canister table
            QStringList names;
            for (LevelBar* bar : levels->findChildren<LevelBar*>())
                names << bar->accessibleName();
            return names;
        };
        auto& table = m_f->program.canisters.canisterTable;
        QTRY_COMPARE(bars().size(), int(table.size()));
        table.at(0).contentMl = table.at(0).minMl;
        m_f->form->refreshConsole(); // as after every result
        QVERIFY(bars().contains(QString::fromStdString(LevelText(table[0], '.'))));

        m_f->click("Command2");
        QCOMPARE(m_f->status(), QString("Driver stopped."));
        QCOMPARE(enabledControls(), unlinked);
        QCOMPARE(c1->count(), 17); // lists are left alone when stopped
    }

    void maintenanceActions() {
        QVERIFY(m_f->installAndStart());
        for (const Action& a : kActions) {
            const std::string button = "Command" + std::string(a.button);
            const QByteArray row = QByteArray(button.c_str()) + " '" + a.select + "'";
            m_f->dialogs.clear();
            m_f->combo("Combo1")->setEditText(a.select);
            m_f->combo("Combo2")->setEditText(a.select);
            for (const QString& s : QString(a.answers).split(';'))
                m_f->dialogs.answerInput(s == "<cancel>" ? std::nullopt
                                                         : std::optional<QString>(s));
            const Lines out = m_f->press(button.c_str());
            QVERIFY2(m_f->dialogs.unscripted == 0, row);
            if (std::string(a.line).starts_with("@"))
                QVERIFY2(CountOf(out, a.line) && out.back().ends_with(" completed."), row);
            else
                QVERIFY2(out == (*a.line ? Lines{a.line} : Lines{}), row);
        }
    }

    // The status line follows the canister typed or chosen; the lists are rebuilt only when
    // they are out of step with the canister table.
    void canisterLineAndLists() {
        QVERIFY(m_f->installAndStart());
        QComboBox* canister = m_f->combo("Combo1");
        QComboBox* colorant = m_f->combo("Combo2");
        m_f->program.canisters.canisterTable[0].contentMl = 12.5;
        QTest::keyClicks(canister->lineEdit(), "1");
        QCOMPARE(m_f->status(), QString("Canister# 1 Colorant Titanium White\nTotal Size: 4000 "
                                        "Current Level: 12.5\nLastDosed(ul): 0"));
        QTest::keyClicks(canister->lineEdit(), "2");
        QCOMPARE(m_f->status(), QString("Canister# 12 Colorant Burnt Sienna\nTotal Size: 2000 "
                                        "Current Level: 1460\nLastDosed(ul): 0"));
        for (const char* text : {"0", "x", "99", ""}) { // no canister: status left alone
            canister->setEditText(text);
            QVERIFY(m_f->status().startsWith("Canister# 12"));
        }
        canister->setCurrentIndex(3);
        QVERIFY(m_f->status().startsWith("Canister# 3 Colorant Oxide Red"));
        QVERIFY(!m_f->log().back().starts_with("Canister#")); // not logged

        canister->setCurrentIndex(5);
        colorant->setCurrentIndex(2);
        colorant->setItemText(7, colorant->itemText(7).toUpper()); // letter case: in step
        m_f->click("Command3");
        QCOMPARE(canister->currentText(), QString("5"));
        QCOMPARE(colorant->currentIndex(), 2);
        QCOMPARE(colorant->itemText(7), QString("ORGANIC RED"));

        canister->addItem("17"); // unknown to the table: both lists rebuilt, nothing selected
        colorant->addItem("Stray");
        m_f->click("Command3");
        QCOMPARE(canister->count(), 17);
        QCOMPARE(canister->currentText(), QString());
        QCOMPARE(colorant->count(), 16);
        QCOMPARE(colorant->itemText(7), QString("Organic Red"));

        m_f->dialogs.answerInput(QString("4")); // a rename puts the trimmed name in the list
        m_f->dialogs.answerInput(QString("  Jet Black "));
        QVERIFY(CountOf(m_f->press("Command20"), "@EXT SETCANCOLNAME 4 \"Jet Black\""));
        QCOMPARE(m_f->program.canisters.canisterTable[3].colorantName, std::string("Jet Black"));
        QCOMPARE(colorant->itemText(3), QString("Jet Black"));
    }

    void commandIsRefusedWhileOneWaits() {
        QVERIFY(m_f->installAndStart());
        qelp::Program& p = m_f->program;
        p.recipe.currentRecipe = {0, 29.574, 48, 1, "", "", "", 0, 0};
        p.recipe.recipeColorants = {{1, 5, 33, "Titanium White"}};
        p.recipe.sendPunch = p.recipe.recipePresent = true;
        p.recipe.punchMode = 1;
        m_f->form->refreshConsole();
        // Checked inside the wait; Abort is pressed in any case so the driver never hangs.
        QStringList statuses;
        Lines loggedInside;
        bool abortUsable = false, gridOpened = false, closed = true; // the grid: closed at once
        guitest::WhenVisible("CanColConf", [&](QWidget* w) { gridOpened = w->close(); });
        guitest::WhenVisible("MsgWindow", [&](QWidget*) {
            const size_t inside = m_f->log().size();
            for (const char* b : {"Command3", "Command10", "Command20", "Command16", "Command5",
                                  "Command14", "Command15", "cmd_cancol"}) {
                m_f->click(b);
                statuses << m_f->status();
            }
            closed = m_f->form->close();
            statuses << m_f->status();
            loggedInside = qelptest::LogMessages(m_f->program, inside);
            abortUsable = m_f->button("Command13")->isEnabled();
            if (abortUsable)
                m_f->click("Command13");
            else
                qelp::AbortCommand(m_f->program);
        });
        const Lines out = m_f->press("Command16");
        QVERIFY(abortUsable && !gridOpened && !closed && m_f->form->isVisible());
        QCOMPARE(statuses, QStringList(8, QString(kBusyStatusLine))
                               << "Busy: a command is still running; press Abort first, then "
                                  "close the console.");
        QVERIFY(loggedInside.empty() && m_f->dialogs.asked.empty());  // nothing asked either
        QVERIFY(CountOf(out, "Error: Driver returns 3 on command.")); // aborted
        QCOMPARE(out.back(), std::string("Dosing Failed."));
        QTRY_VERIFY(!m_f->program.message.messageWindowOpen); // on the request of the wait
        QVERIFY(!m_f->button("Command13")->isEnabled());

        bool abortKept = false; // Stop ends a waiting command by ending its driver
        guitest::WhenVisible("MsgWindow", [&](QWidget*) {
            m_f->click("Command2");
            abortKept = m_f->button("Command13")->isEnabled();
        });
        m_f->click("Command16");
        QVERIFY(abortKept);
        QCOMPARE(enabledControls(), (QStringList{"Command1", "cmd_cancol"}));
        QCOMPARE(m_f->driver->processCount(), 0);
    }

    // Closing the console ends the console only: the driver goes on running for the next
    // one, and the exchange files stay as they are.
    void closingLeavesTheDriverAndTheExchangeFiles() {
        QVERIFY(m_f->installAndStart());
        const auto files = [&] {
            std::map<std::string, std::string> found;
            for (const std::string& dir : {m_f->program.link.driverCommandDirectory,
                                           m_f->program.link.serverCommandDirectory})
                for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
                    found[e.path().string()] = qelptest::ReadFile(e.path().string());
            return found;
        };
        const auto before = files();
        QVERIFY(before.count(ServerCommandFile(m_f->program)));
        QVERIFY(m_f->form->close());
        m_f->form.reset(); // the window goes, as at the end of the program
        QCOMPARE(files(), before);
        QCOMPARE(m_f->driver->processCount(), 1);
    }

    void machineFeaturesAndVersion() {
        QVERIFY(m_f->installAndStart());
        m_f->click("Command5");
        m_f->click("Command17");
        const QStringList boxes = m_f->dialogs.messages();
        QCOMPARE(boxes.size(), 5);
        QVERIFY(
            boxes[0].startsWith("Feature return:\r\nFeature Code: 31\r\n\r\nFeature Text:\r\n") &&
            boxes[0].contains("\r\n\r\nErrorlog:\r\n"));
        QCOMPARE(boxes[1] + boxes[2],
                 QString("Pumpcount returns:16\r\nCanistercount returns:16\r\n"));
        QVERIFY(boxes[3].startsWith("CanisterSize return:") &&
                boxes[3].contains("\r\n\r\nCanister #1\r\nSizeML: 4000\r\nWarnML: 600\r\nMin ML: "
                                  "200\r\nContML: 3200\r\nCanister #2\r\n") &&
                boxes[3].contains("Canister #16\r\n"));
        QVERIFY(boxes[4].startsWith("Version return:\r\nVersion Code: "));

        // With the driver gone every query fails and is logged; no message box shows.
        m_f->driver->killAll();
        m_f->dialogs.clear();
        Lines out = m_f->press("Command5");
        std::erase_if(out, [](const std::string& l) { return !l.starts_with("Machinfo "); });
        QCOMPARE(out.size(), size_t(4));
        QVERIFY(out.back() == "Machinfo CanisterSize failed....." &&
                m_f->dialogs.messages().isEmpty());
        QCOMPARE(enabledControls(), (QStringList{"Command1", "cmd_cancol"})); // the link is lost
    }

    void mixedListIsReplayedWithItsSummary() {
        QVERIFY(m_f->installAndStart());
        const std::string a = write("a.cmd", "@RUN\r\n@EXT RESET\r\n@END\r\n");
        const std::string c = write("c.cmd", "@RUN\r\n@EXT CLEAN 99\r\n@END\r\n"); // fails
        const std::string e = write("e.cmd", "@RUN\r\n@EXT MACHINE_INFO PUMPCOUNT\r\n@END\r\n");
        const std::string b = m_f->dir.file("b.cmd"); // missing
        write("rel.cmd", "@RUN\r\n@EXT RESET\r\n@END\r\n");
        const std::string list =
            write("list.txt", a + "\r\n\r\n" + b + "\r\n" + c + ", \"" + e + "\"\r\nrel.cmd\r\n");
        // Relative entries are read from the current directory.
        QVERIFY(QDir::setCurrent(QString::fromStdString(m_f->dir.path())));
        m_f->dialogs.answerOpenFile(QString::fromStdString(list));
        Lines own = m_f->press("Command14");
        QCOMPARE(m_f->dialogs.asked.back().text, QString("Select a QELP commandfileList"));
        QVERIFY(CountOf(own, "Error: Driver returns 2 on command."));
        std::erase_if(own, [](const std::string& l) {
            return !l.starts_with("Commandfile") && !l.starts_with("Processing") &&
                   !l.starts_with("Finished") && !l.starts_with("The list");
        });
        const std::string summary = "The list contained 5 commandfiles, with 2 error(s)";
        QCOMPARE(own, (Lines{"Processing commandfileList " + list,
                             "Commandfile " + a + " sending completed.",
                             "Commandfile list " + list + " contains invalid file entry: " + b,
                             "Commandfile " + c + " sending failed...",
                             "Commandfile " + e + " sending completed.",
                             "Commandfile rel.cmd sending completed.",
                             "Finished Processing commandfileList " + list, summary}));
        QCOMPARE(m_f->status(), QString::fromStdString(summary));
        QCOMPARE(qelptest::ReadFile(ServerCommandFile(m_f->program)),
                 qelptest::ReadFile("rel.cmd"));

        m_f->dialogs.answerOpenFile(QString::fromStdString(b));
        QCOMPARE(m_f->press("Command14"), Lines{"Commandfile list " + b + " not found."});
        m_f->dialogs.answerOpenFile(QString()); // cancelled
        QCOMPARE(m_f->press("Command14"), Lines{"Commandfile list  not found."});

        m_f->dialogs.answerOpenFile(QString::fromStdString(e)); // one file
        const Lines out = m_f->press("Command12");
        QCOMPARE(m_f->dialogs.asked.back().text, QString("Select a QELP commandfile"));
        QVERIFY(CountOf(out, "@EXT MACHINE_INFO PUMPCOUNT"));
        QCOMPARE(out.back(), std::string("Commandfile sending completed."));
        m_f->dialogs.answerOpenFile(QString());
        QCOMPARE(m_f->press("Command12"), Lines{"Commandfile sending failed..."});
    }

    void eventLogViewFollowsAndFilters() {
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

QTEST_MAIN(TestConsole)
#include "tst_console.moc"
