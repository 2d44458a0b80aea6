// The console window against the real simulator: enable rules, start and stop, every
// maintenance action with its log line, the two selection lists, the canister line and the
// one-command-at-a-time rule.
#include "link/transfer.h"
#include "support/consolefixture.h"
#include "ui/msgwindow.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>

using guitest::ConsoleFixture;

namespace {
QStringList Items(QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}
int Count(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}
bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return Count(lines, line) > 0;
}
} // namespace

class TestConsole : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ConsoleFixture> m_f;

    void startWithDriver(const std::string& iniExtra = {}) {
        m_f->installDriver(iniExtra);
        const bool started = m_f->start();
        if (!started) {
            for (const auto& l : m_f->log())
                qDebug("%s", l.c_str());
        }
        QVERIFY(started);
    }
    bool enabled(const char* name) { return m_f->button(name)->isEnabled(); }
    bool frameEnabled(const char* name) {
        return m_f->form->findChild<QGroupBox*>(QString::fromLatin1(name))->isEnabled();
    }

private slots:
    void init() { m_f = std::make_unique<ConsoleFixture>(); }
    void cleanup() { m_f.reset(); }

    void startsUnlinkedWithOneLogLine() {
        QCOMPARE(m_f->form->windowTitle(), QString("QELP Server POC"));
        QCOMPARE(m_f->log(), std::vector<std::string>{"QELP Server started!"});
        QCOMPARE(m_f->status(), QString("QELP Server started!"));
        QVERIFY(enabled("Command1"));
        QVERIFY(!enabled("Command2"));
        QVERIFY(!enabled("Command13"));
        QVERIFY(enabled("cmd_cancol"));
        for (const char* frame : {"Frame1", "Frame2", "Frame3"})
            QVERIFY(!frameEnabled(frame));
        QVERIFY(!m_f->button("Command7")->isEnabled()); // "Clean", inside a disabled group
        QCOMPARE(m_f->combo("Combo1")->count(), 0);
        QCOMPARE(m_f->combo("Combo2")->count(), 0);
        // Nothing looked at the registry or the driver.
        QVERIFY(!qelptest::Exists(m_f->dir.path() + "ServerCmd"));
    }

    void everyControlHasItsCaptionAndName() {
        const std::pair<const char*, const char*> buttons[] = {
            {"Command1", "Start QELP"},
            {"Command2", "Stop QELP"},
            {"Command13", "Abort"},
            {"cmd_cancol", "CanCoLConf"},
            {"Command3", "Reset"},
            {"Command4", "Reset (Hard)"},
            {"Command5", "Machine Features"},
            {"Command6", "Maintenance Window"},
            {"Command12", "Send Command File"},
            {"Command14", "Send Command FileList"},
            {"Command17", "Get Version"},
            {"Command7", "Clean"},
            {"Command8", "Purge"},
            {"Command9", "Prepare"},
            {"Command10", "Fill (Set)"},
            {"Command11", "Fill (add)"},
            {"Command18", "CleanCol"},
            {"Command19", "PurgeCol"},
            {"Command20", "Set ColorantName"},
            {"Command15", "Create"},
            {"Command16", "Dispense!"}};
        for (const auto& [name, caption] : buttons) {
            QPushButton* b = m_f->button(name);
            QVERIFY2(b, name);
            QCOMPARE(b->text(), QString(caption));
            QCOMPARE(b->accessibleName(), QString(caption));
        }
        const std::pair<const char*, const char*> frames[] = {{"Frame1", "Dispenser Maintenance"},
                                                              {"Frame2", "Canister Maintenance"},
                                                              {"Frame3", "Dispense Recipe"}};
        for (const auto& [name, title] : frames) {
            QGroupBox* frame = m_f->form->findChild<QGroupBox*>(name);
            QCOMPARE(frame->title(), QString(title));
        }
        QCOMPARE(m_f->combo("Combo1")->accessibleName(), QString("Canister:"));
        QCOMPARE(m_f->combo("Combo2")->accessibleName(), QString("Colorant:"));
        auto* label3 = m_f->form->findChild<QLabel*>("Label3");
        QCOMPARE(label3->buddy(), static_cast<QWidget*>(m_f->combo("Combo1")));
        QCOMPARE(m_f->form->findChild<QLabel*>("Label2")->text(), QString("Status"));
        // The groups stand side by side, left to right, under the start buttons.
        auto x = [&](const char* n) { return m_f->form->findChild<QGroupBox*>(n)->x(); };
        QVERIFY(x("Frame1") < x("Frame2") && x("Frame2") < x("Frame3"));
        QVERIFY(m_f->button("Command1")->y() < m_f->form->findChild<QGroupBox*>("Frame1")->y());
    }

    void startLinksAndSwitchesTheGroupsOn() {
        startWithDriver();
        QCOMPARE(m_f->status(), QString("Driver started, Dispenser reset."));
        QVERIFY(!enabled("Command1"));
        QVERIFY(enabled("Command2"));
        QVERIFY(!enabled("Command13"));
        for (const char* frame : {"Frame1", "Frame2", "Frame3"})
            QVERIFY(frameEnabled(frame));
        QVERIFY(!enabled("Command16")); // no recipe yet
        QVERIFY(m_f->form->isEnabled());
        QStringList canisters{"0"};
        for (int i = 1; i <= 16; ++i)
            canisters << QString::number(i);
        QCOMPARE(Items(m_f->combo("Combo1")), canisters);
        QCOMPARE(m_f->combo("Combo2")->count(), 16);
        QCOMPARE(m_f->combo("Combo2")->itemText(0), QString("Titanium White"));
        QCOMPARE(m_f->combo("Combo1")->currentText(), QString());

        m_f->click("Command2");
        QCOMPARE(m_f->status(), QString("Driver stopped."));
        QVERIFY(enabled("Command1"));
        QVERIFY(!enabled("Command2"));
        QVERIFY(!frameEnabled("Frame2"));
        QCOMPARE(m_f->combo("Combo1")->count(), 17); // lists are left alone when stopped
    }

    void failedStartSaysSoAndStaysUnlinked() {
        const size_t mark = m_f->mark();
        QVERIFY(!m_f->start());
        QCOMPARE(m_f->status(), QString("Driver failed to start...."));
        QVERIFY(m_f->logged(mark, "Client executable does not exist!"));
        QVERIFY(enabled("Command1"));
        QVERIFY(!frameEnabled("Frame1"));
        QVERIFY(m_f->form->isEnabled());
    }

    void maintenanceActionsLogTheirOutcome() {
        startWithDriver();
        size_t mark = m_f->mark();
        m_f->click("Command3");
        QVERIFY(m_f->logged(mark, "@EXT RESET"));
        QCOMPARE(m_f->since(mark).back(), std::string("Reset completed."));
        QCOMPARE(m_f->status(), QString("Reset completed."));

        mark = m_f->mark();
        m_f->click("Command4");
        QVERIFY(m_f->logged(mark, "@EXT RESET HARD"));
        QCOMPARE(m_f->since(mark).back(), std::string("Hard Reset completed."));

        m_f->dialogs.answerInput(QString());
        mark = m_f->mark();
        m_f->click("Command6");
        QCOMPARE(m_f->dialogs.asked.back().text,
                 QString("Enter password (leave blank for default)"));
        QCOMPARE(m_f->dialogs.asked.back().title, QString("Pass please!"));
        QCOMPARE(m_f->dialogs.asked.back().defaultText, QString());
        QVERIFY(m_f->logged(mark, "@EXT SHOWSERVICEWINDOW"));
        QCOMPARE(m_f->since(mark).back(), std::string("ServiceWindow completed."));

        m_f->dialogs.answerInput(QString("not-the-password"));
        mark = m_f->mark();
        m_f->click("Command6");
        QVERIFY(m_f->logged(mark, "@EXT SHOWSERVICEWINDOW not-the-password"));
        QCOMPARE(m_f->since(mark).back(), std::string("ServiceWindow failed..."));
        QCOMPARE(m_f->dialogs.unscripted, 0);
    }

    void canisterActionsUseTheCanisterList() {
        startWithDriver();
        QComboBox* canister = m_f->combo("Combo1");

        // Nothing chosen: nothing sent, nothing logged.
        size_t mark = m_f->mark();
        for (const char* b : {"Command7", "Command8", "Command9"})
            m_f->click(b);
        QVERIFY(m_f->since(mark).empty());

        canister->setEditText("3");
        mark = m_f->mark();
        m_f->click("Command7");
        QVERIFY(m_f->logged(mark, "@EXT CLEAN 3"));
        QCOMPARE(m_f->since(mark).back(), std::string("Clean completed."));
        mark = m_f->mark();
        m_f->click("Command8");
        QVERIFY(m_f->logged(mark, "@EXT PURGE 3"));
        QCOMPARE(m_f->since(mark).back(), std::string("Purge completed."));
        mark = m_f->mark();
        m_f->click("Command9");
        QVERIFY(m_f->logged(mark, "@EXT FILLCANISTER PREPARE 3"));
        QCOMPARE(m_f->since(mark).back(), std::string("Prepare completed."));

        // "0" is every canister for Clean, but Prepare does not take it.
        canister->setCurrentIndex(0);
        QCOMPARE(canister->currentText(), QString("0"));
        mark = m_f->mark();
        m_f->click("Command9");
        QVERIFY(m_f->since(mark).empty());
        m_f->click("Command7");
        QVERIFY(m_f->logged(mark, "@EXT CLEAN 0"));
        QCOMPARE(m_f->since(mark).back(), std::string("Clean completed."));

        // A canister the driver does not know fails at the driver.
        canister->setEditText("99");
        mark = m_f->mark();
        m_f->click("Command8");
        QCOMPARE(m_f->since(mark).back(), std::string("Purge failed..."));

        // Text that is no canister number is refused with a line of its own.
        canister->setEditText("3b");
        mark = m_f->mark();
        m_f->click("Command7");
        QCOMPARE(m_f->since(mark),
                 std::vector<std::string>{"Invalid canister number (3b). Nothing was sent."});
        canister->setEditText("99999999999");
        mark = m_f->mark();
        m_f->click("Command8");
        QCOMPARE(m_f->since(mark).size(), size_t(1));
    }

    void colorantActionsUseTheColorantText() {
        startWithDriver();
        size_t mark = m_f->mark();
        m_f->click("Command18");
        QVERIFY(m_f->since(mark).empty());
        m_f->combo("Combo2")->setCurrentIndex(3);
        mark = m_f->mark();
        m_f->click("Command18");
        QVERIFY(m_f->logged(mark, "@EXT CLEANCOL Lamp Black"));
        QCOMPARE(m_f->since(mark).back(), std::string("CleanCol completed."));
        mark = m_f->mark();
        m_f->click("Command19");
        QVERIFY(m_f->logged(mark, "@EXT PURGECOL Lamp Black"));
        QCOMPARE(m_f->since(mark).back(), std::string("PurgeCol completed."));
        m_f->combo("Combo2")->setEditText("No Such Paste");
        mark = m_f->mark();
        m_f->click("Command19");
        QCOMPARE(m_f->since(mark).back(), std::string("PurgeCol failed..."));
    }

    void fillSendsOneCommandPerMatchingCanister() {
        startWithDriver();
        QComboBox* canister = m_f->combo("Combo1");
        canister->setCurrentIndex(0); // "0": all sixteen
        m_f->dialogs.answerInput(QString("1"));
        size_t mark = m_f->mark();
        m_f->click("Command10");
        const auto& q = m_f->dialogs.asked.back();
        QCOMPARE(q.text, QString("Enter amount (L) to set to:"));
        QCOMPARE(q.title, QString("Amount please!"));
        QCOMPARE(q.defaultText, QString("0"));
        QCOMPARE(Count(m_f->since(mark), "Set Fill completed."), 16);
        QVERIFY(m_f->logged(mark, "@EXT FILLCANISTER SET 1 1000"));
        QVERIFY(m_f->logged(mark, "@EXT FILLCANISTER SET 16 1000"));

        canister->setEditText("5");
        m_f->dialogs.answerInput(QString("0.0025")); // 2.5 ml: half to even, 2
        mark = m_f->mark();
        m_f->click("Command11");
        QCOMPARE(m_f->dialogs.asked.back().text, QString("Enter amount (L) to add to:"));
        QVERIFY(m_f->logged(mark, "@EXT FILLCANISTER ADD 5 2"));
        QCOMPARE(Count(m_f->since(mark), "Add Fill completed."), 1);

        m_f->dialogs.answerInput(QString("0.0035")); // 3.5 ml: 4
        mark = m_f->mark();
        m_f->click("Command11");
        QVERIFY(m_f->logged(mark, "@EXT FILLCANISTER ADD 5 4"));

        // A number that matches no canister sends nothing.
        canister->setEditText("42");
        m_f->dialogs.answerInput(QString("0.5"));
        mark = m_f->mark();
        m_f->click("Command11");
        QVERIFY(m_f->since(mark).empty());

        // The amount box comes first, even without a canister; bad answers are logged.
        canister->setEditText("");
        m_f->dialogs.answerInput(QString("0.5"));
        mark = m_f->mark();
        m_f->click("Command10");
        QVERIFY(m_f->since(mark).empty());
        QCOMPARE(m_f->dialogs.asked.back().kind, qelp::ui::ScriptedDialogs::Question::Kind::Input);
        canister->setEditText("5");
        m_f->dialogs.answerInput(QString("half"));
        mark = m_f->mark();
        m_f->click("Command10");
        QCOMPARE(m_f->since(mark),
                 std::vector<std::string>{"Invalid amount (half). Nothing was sent."});
        m_f->dialogs.answerInput(std::nullopt);
        mark = m_f->mark();
        m_f->click("Command11");
        QCOMPARE(m_f->since(mark), std::vector<std::string>{"No amount given. Nothing was sent."});
        QCOMPARE(m_f->dialogs.unscripted, 0);
    }

    void setColorantNameAsksTwiceAndUpdatesTheList() {
        startWithDriver();
        m_f->combo("Combo1")->setCurrentIndex(0);
        m_f->dialogs.answerInput(QString("12a"));
        size_t mark = m_f->mark();
        m_f->click("Command20");
        QCOMPARE(m_f->dialogs.asked.back().text, QString("Specify Canister#"));
        QCOMPARE(m_f->dialogs.asked.back().title, QString("CanisterID?"));
        QCOMPARE(m_f->dialogs.asked.back().defaultText, QString("1"));
        QVERIFY(m_f->since(mark).empty());

        m_f->dialogs.answerInput(QString("4"));
        m_f->dialogs.answerInput(QString("   "));
        m_f->click("Command20");
        QCOMPARE(m_f->dialogs.asked.back().text, QString("New colorantName?"));
        QCOMPARE(m_f->dialogs.asked.back().title, QString("ColorantName"));
        QVERIFY(m_f->since(mark).empty());

        m_f->combo("Combo1")->setEditText("4");
        m_f->dialogs.answerInput(std::nullopt); // cancelled: silent
        m_f->click("Command20");
        QCOMPARE(m_f->dialogs.asked.back().defaultText, QString("4"));
        QVERIFY(m_f->since(mark).empty());

        m_f->dialogs.answerInput(QString("4"));
        m_f->dialogs.answerInput(QString("  Jet Black "));
        m_f->click("Command20");
        QVERIFY(m_f->logged(mark, "@EXT SETCANCOLNAME 4 \"Jet Black\""));
        QCOMPARE(m_f->since(mark).back(), std::string("SetCanColName completed."));
        QCOMPARE(m_f->program.canisterTable[3].colorantName, std::string("Jet Black"));
        QCOMPARE(m_f->combo("Combo2")->itemText(3), QString("Jet Black"));

        m_f->dialogs.answerInput(QString("77"));
        m_f->dialogs.answerInput(QString("Ghost"));
        mark = m_f->mark();
        m_f->click("Command20");
        QCOMPARE(m_f->since(mark).back(), std::string("SetCanColName failed..."));
        QCOMPARE(m_f->dialogs.unscripted, 0);
    }

    void listsInStepAreLeftAlone() {
        startWithDriver();
        QComboBox* canister = m_f->combo("Combo1");
        QComboBox* colorant = m_f->combo("Combo2");
        canister->setCurrentIndex(5);
        colorant->setCurrentIndex(2);
        // An item differing only in letter case still counts as in step.
        colorant->setItemText(7, colorant->itemText(7).toUpper());
        m_f->click("Command3");
        QCOMPARE(canister->currentIndex(), 5);
        QCOMPARE(canister->currentText(), QString("5"));
        QCOMPARE(colorant->currentIndex(), 2);
        QCOMPARE(colorant->itemText(7), QString("ORGANIC RED"));

        // A canister the table lacks makes the list rebuild, without selection.
        canister->addItem("17");
        colorant->addItem("Stray");
        m_f->click("Command3");
        QCOMPARE(canister->count(), 17);
        QCOMPARE(canister->currentText(), QString());
        QCOMPARE(colorant->count(), 16);
        QCOMPARE(colorant->itemText(7), QString("Organic Red"));
    }

    void canisterLineFollowsTheTypedNumber() {
        startWithDriver();
        QComboBox* canister = m_f->combo("Combo1");
        m_f->program.canisterTable[0].contentMl = 12.5;
        QTest::keyClicks(canister->lineEdit(), "1");
        QCOMPARE(m_f->status(),
                 QString("Canister# 1 Colorant Titanium White\nTotal Size: 4000 Current Level: "
                         "12.5\nLastDosed(ul): 0"));
        QTest::keyClicks(canister->lineEdit(), "2");
        QCOMPARE(m_f->status(), QString("Canister# 12 Colorant Burnt Sienna\nTotal Size: 2000 "
                                        "Current Level: 1460\nLastDosed(ul): 0"));
        // Text that names no canister leaves the status area alone.
        for (const char* text : {"0", "x", "99", ""}) {
            canister->setEditText(text);
            QVERIFY(m_f->status().startsWith("Canister# 12"));
        }
        canister->setCurrentIndex(3);
        QVERIFY(m_f->status().startsWith("Canister# 3 Colorant Oxide Red"));
        // Not logged.
        QVERIFY(!m_f->log().back().starts_with("Canister#"));
    }

    void machineFeaturesShowsFourAnswers() {
        startWithDriver();
        const size_t mark = m_f->mark();
        m_f->click("Command5");
        const std::vector<std::string> lines = m_f->since(mark);
        for (const char* line :
             {"Machinfo Features completed.", "Machinfo Pumpcount completed.",
              "Machinfo CanisterCount completed.", "Machinfo CanisterSize completed."})
            QVERIFY2(Contains(lines, line), line);
        const QStringList boxes = m_f->dialogs.messages();
        QCOMPARE(boxes.size(), 4);
        QVERIFY(
            boxes[0].startsWith("Feature return:\r\nFeature Code: 31\r\n\r\nFeature Text:\r\n"));
        QVERIFY(boxes[0].contains("\r\n\r\nErrorlog:\r\n"));
        QCOMPARE(boxes[1], QString("Pumpcount returns:16\r\n"));
        QCOMPARE(boxes[2], QString("Canistercount returns:16\r\n"));
        QVERIFY(boxes[3].startsWith("CanisterSize return:"));
        QVERIFY(boxes[3].contains("\r\n\r\nCanister #1\r\nSizeML: 4000\r\nWarnML: 600\r\nMin ML: "
                                  "200\r\nContML: 3200\r\nCanister #2\r\n"));
        QVERIFY(boxes[3].endsWith("Canister #16\r\nSizeML: 2000\r\nWarnML: 300\r\nMin ML: "
                                  "100\r\nContML: 1370\r\n"));
    }

    void machineFeaturesAlwaysAsksAllFour() {
        // With the driver gone every query fails; each failure is logged and the next query
        // still runs, and no message box is shown.
        startWithDriver();
        m_f->driver->killAll();
        const size_t mark = m_f->mark();
        m_f->click("Command5");
        std::vector<std::string> outcome;
        for (const std::string& line : m_f->since(mark)) {
            if (line.starts_with("Machinfo "))
                outcome.push_back(line);
        }
        QCOMPARE(outcome, (std::vector<std::string>{"Machinfo Features failed.....",
                                                    "Machinfo Pumpcount failed.....",
                                                    "Machinfo CanisterCount failed.....",
                                                    "Machinfo CanisterSize failed....."}));
        QVERIFY(m_f->dialogs.messages().isEmpty());
    }

    void getVersionShowsTheVersionText() {
        startWithDriver();
        const size_t mark = m_f->mark();
        m_f->click("Command17");
        QCOMPARE(m_f->since(mark).back(), std::string("Version completed."));
        QCOMPARE(m_f->dialogs.messages().size(), 1);
        const QString text = m_f->dialogs.messages().first();
        QVERIFY(text.startsWith("Version return:\r\nVersion Code: "));
        QVERIFY(text.contains("\r\n\r\nVersion Text:\r\n"));
        QVERIFY(text.endsWith("\r\n"));

        m_f->driver->killAll();
        const size_t after = m_f->mark();
        m_f->click("Command17");
        QCOMPARE(m_f->since(after).back(), std::string("Version Failed."));
        QCOMPARE(m_f->dialogs.messages().size(), 1);
        QVERIFY(!m_f->program.driverRunning);
        QVERIFY(enabled("Command1")); // the lost driver switched the groups off
        QVERIFY(!frameEnabled("Frame1"));
    }

    void secondCommandIsRefusedWhileOneWaits() {
        // The dosing waits for the operator's answer; meanwhile every command action is
        // refused without asking anything, and Abort ends the dosing.
        startWithDriver();
        m_f->program.currentRecipe.unitSize = 29.574;
        m_f->program.currentRecipe.unitFraction = 48;
        m_f->program.currentRecipe.numberOfCans = 1;
        m_f->program.recipeColorants.push_back({1, 5, 33, "Titanium White"});
        m_f->program.recipePresent = true;
        m_f->program.sendPunch = true;
        m_f->program.punchMode = 1;
        m_f->form->refreshConsole();
        QVERIFY(enabled("Command16"));
        // Checked inside the wait, then Abort is pressed in any case, so that a failing
        // check cannot leave the driver waiting for an answer.
        bool checked = false;
        bool abortUsable = false;
        bool abortStillUsable = false;
        QStringList statuses;
        size_t askedInside = 0;
        std::vector<std::string> loggedInside;
        guitest::WhenVisible("MsgWindow", [&](QWidget*) {
            abortUsable = enabled("Command13");
            const size_t inside = m_f->mark();
            const size_t asked = m_f->dialogs.asked.size();
            for (const char* b : {"Command3", "Command10", "Command20", "Command16", "Command5",
                                  "Command14", "Command15"}) {
                m_f->click(b);
                statuses << m_f->status();
            }
            askedInside = m_f->dialogs.asked.size() - asked;
            abortStillUsable = enabled("Command13");
            loggedInside = m_f->since(inside);
            checked = true;
            if (enabled("Command13"))
                m_f->click("Command13");
            else
                qelp::AbortCommand(m_f->program); // never leave the driver waiting
        });
        const size_t mark = m_f->mark();
        m_f->click("Command16");
        QVERIFY(checked);
        QVERIFY(abortUsable);
        QVERIFY(abortStillUsable);
        QCOMPARE(statuses, QStringList(7, QString(qelp::ui::kBusyStatusLine)));
        QCOMPARE(askedInside, size_t(0));
        QVERIFY(loggedInside.empty());
        // The driver ended the dosing as aborted (its code 3).
        QVERIFY(m_f->logged(mark, "Error: Driver returns 3 on command."));
        QCOMPARE(m_f->since(mark).back(), std::string("Dosing Failed."));
        // The finished command asked the unanswered window to close; its timer does that.
        QVERIFY(m_f->program.messageWindowCloseRequest);
        QTRY_VERIFY(!m_f->program.messageWindowOpen);
        QVERIFY(!m_f->port.messageWindow()->isVisible());
        QCOMPARE(m_f->program.replyPending, 0);
        QVERIFY(!enabled("Command13"));
    }

    void stopEndsAWaitingCommand() {
        startWithDriver();
        m_f->program.currentRecipe = {0, 29.574, 48, 1, "", "", "", 0, 0};
        m_f->program.recipeColorants.push_back({2, 3, 34, "Oxide Yellow"});
        m_f->program.sendPunch = true;
        m_f->program.punchMode = 1;
        m_f->program.recipePresent = true;
        m_f->form->refreshConsole();
        bool abortKept = false;
        guitest::WhenVisible("MsgWindow", [&](QWidget*) {
            m_f->click("Command2");
            abortKept = enabled("Command13"); // the dosing still waits for its driver
        });
        const size_t mark = m_f->mark();
        m_f->click("Command16");
        QVERIFY(!m_f->since(mark).empty());
        QVERIFY(abortKept);
        QCOMPARE(m_f->since(mark).back(), std::string("Dosing Failed."));
        QVERIFY(m_f->logged(mark, "Error: Driver returns -2 on command."));
        QVERIFY(!m_f->program.driverRunning);
        QVERIFY(enabled("Command1"));
        QVERIFY(!enabled("Command13"));
        QTRY_VERIFY(!m_f->program.messageWindowOpen);
        QCOMPARE(m_f->driver->processCount(), 0);
    }
};

QTEST_MAIN(TestConsole)
#include "tst_console.moc"
