// Command-file replay: the list format and both replay buttons against the simulator.
#include "support/consolefixture.h"
#include "ui/commandlist.h"
#include "ui/dialogs.h"

#include <QFileDialog>

#include <QTest>

#include <unistd.h>

using guitest::ConsoleFixture;
using qelp::ui::ParseCommandFileList;
using Entries = std::vector<std::string>;

class TestReplay : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ConsoleFixture> m_f;
    std::string m_cwd;

    std::string write(const std::string& name, const std::string& bytes) {
        qelptest::WriteFile(m_f->dir.file(name), bytes);
        return m_f->dir.file(name);
    }

private slots:
    void initTestCase() {
        char buffer[4096];
        m_cwd = ::getcwd(buffer, sizeof buffer) ? buffer : ".";
    }
    void init() { m_f = std::make_unique<ConsoleFixture>(); }
    void cleanup() {
        if (::chdir(m_cwd.c_str()) != 0)
            qWarning("cannot return to %s", m_cwd.c_str());
        m_f.reset();
    }

    void listEntriesAreSplitAtCommasAndLineEnds() {
        QCOMPARE(ParseCommandFileList("a.cmd\r\n\r\nb.cmd\r\nc.cmd\r\n"),
                 (Entries{"a.cmd", "b.cmd", "c.cmd"}));
        QCOMPARE(ParseCommandFileList("a.cmd, b.cmd"), (Entries{"a.cmd", "b.cmd"}));
        QCOMPARE(ParseCommandFileList("a.cmd\nb.cmd\rc.cmd"), (Entries{"a.cmd", "b.cmd", "c.cmd"}));
        QCOMPARE(ParseCommandFileList(""), Entries{});
        QCOMPARE(ParseCommandFileList(" \r\n\t\r\n , ,\r\n"), Entries{});
    }

    void quotesKeepCommasAndBlanks() {
        QCOMPARE(ParseCommandFileList("\"dir, one/a.cmd\",b.cmd"),
                 (Entries{"dir, one/a.cmd", "b.cmd"}));
        QCOMPARE(ParseCommandFileList("  \" spaced .cmd\"  \r\nx"), (Entries{" spaced .cmd", "x"}));
        // Text after the closing quote belongs to no path.
        QCOMPARE(ParseCommandFileList("\"a.cmd\"junk,b.cmd"), (Entries{"a.cmd", "b.cmd"}));
        // A quote left open ends at the line end, not at the end of the list.
        QCOMPARE(ParseCommandFileList("\"open.cmd\r\nnext.cmd"), (Entries{"open.cmd", "next.cmd"}));
        QCOMPARE(ParseCommandFileList("\"\",\"  \""), Entries{});
    }

    void blanksAroundUnquotedEntriesAreDropped() {
        QCOMPARE(ParseCommandFileList("   a.cmd  ,\tb c.cmd\t\r\n"), (Entries{"a.cmd", "b c.cmd"}));
    }

    void mixedListIsReplayedWithItsSummary() {
        m_f->installDriver();
        QVERIFY(m_f->start());
        const std::string a = write("a.cmd", "@RUN\r\n@EXT RESET\r\n@END\r\n");
        const std::string c =
            write("c.cmd", "@RUN\r\n@EXT CLEAN 99\r\n@END\r\n"); // no such canister
        const std::string d = write("d.cmd", "@RUN\r\n@EXT VERSION\r\n@END\r\n");
        const std::string e = write("e.cmd", "@RUN\r\n@EXT MACHINE_INFO PUMPCOUNT\r\n@END\r\n");
        const std::string b = m_f->dir.file("b.cmd"); // missing
        const std::string list =
            write("list.txt", a + "\r\n\r\n" + b + "\r\n" + c + "\r\n" + d + ", \"" + e + "\"\r\n");
        m_f->dialogs.answerOpenFile(QString::fromStdString(list));
        const size_t mark = m_f->mark();
        m_f->click("Command14");
        QCOMPARE(m_f->dialogs.asked.back().text, QString("Select a QELP commandfileList"));
        std::vector<std::string> own;
        for (const std::string& line : m_f->since(mark)) {
            if (line.starts_with("Commandfile") || line.starts_with("Processing") ||
                line.starts_with("Finished") || line.starts_with("The list"))
                own.push_back(line);
        }
        QCOMPARE(own, (Entries{"Processing commandfileList " + list,
                               "Commandfile " + a + " sending completed.",
                               "Commandfile list " + list + " contains invalid file entry: " + b,
                               "Commandfile " + c + " sending failed...",
                               "Commandfile " + d + " sending completed.",
                               "Commandfile " + e + " sending completed.",
                               "Finished Processing commandfileList " + list,
                               "The list contained 5 commandfiles, with 2 error(s)"}));
        QVERIFY(m_f->logged(mark, "Error: Driver returns 2 on command."));
        QCOMPARE(m_f->status(), QString("The list contained 5 commandfiles, with 2 error(s)"));
        // The server command file holds the last file sent.
        QCOMPARE(qelptest::ReadFile(m_f->program.serverCommandFile()), qelptest::ReadFile(e));
    }

    void relativeEntriesAreFoundFromTheCurrentDirectory() {
        m_f->installDriver();
        QVERIFY(m_f->start());
        write("rel.cmd", "@RUN\r\n@EXT RESET\r\n@END\r\n");
        const std::string list = write("rel-list.txt", "rel.cmd\r\n");
        QVERIFY(::chdir(m_f->dir.path().c_str()) == 0);
        m_f->dialogs.answerOpenFile(QString::fromStdString(list));
        const size_t mark = m_f->mark();
        m_f->click("Command14");
        QVERIFY(m_f->logged(mark, "Commandfile rel.cmd sending completed."));
        QCOMPARE(m_f->log().back(),
                 std::string("The list contained 1 commandfiles, with 0 error(s)"));
    }

    void emptyAndMissingLists() {
        m_f->installDriver();
        QVERIFY(m_f->start());
        const std::string empty = write("empty.txt", "");
        m_f->dialogs.answerOpenFile(QString::fromStdString(empty));
        size_t mark = m_f->mark();
        m_f->click("Command14");
        QCOMPARE(m_f->since(mark), (Entries{"Processing commandfileList " + empty,
                                            "Finished Processing commandfileList " + empty,
                                            "The list contained 0 commandfiles, with 0 error(s)"}));

        const std::string missing = m_f->dir.file("nowhere.txt");
        m_f->dialogs.answerOpenFile(QString::fromStdString(missing));
        mark = m_f->mark();
        m_f->click("Command14");
        QCOMPARE(m_f->since(mark), Entries{"Commandfile list " + missing + " not found."});

        m_f->dialogs.answerOpenFile(QString()); // cancelled
        mark = m_f->mark();
        m_f->click("Command14");
        QCOMPARE(m_f->since(mark), Entries{"Commandfile list  not found."});
    }

    void singleFileIsSentOrRefused() {
        m_f->installDriver();
        QVERIFY(m_f->start());
        const std::string file =
            write("one.cmd", "@RUN\r\n@EXT MACHINE_INFO CANISTERCOUNT\r\n@END\r\n");
        m_f->dialogs.answerOpenFile(QString::fromStdString(file));
        size_t mark = m_f->mark();
        m_f->click("Command12");
        QCOMPARE(m_f->dialogs.asked.back().text, QString("Select a QELP commandfile"));
        QVERIFY(m_f->logged(mark, "@EXT MACHINE_INFO CANISTERCOUNT"));
        QCOMPARE(m_f->since(mark).back(), std::string("Commandfile sending completed."));

        m_f->dialogs.answerOpenFile(QString()); // cancelled
        mark = m_f->mark();
        m_f->click("Command12");
        QCOMPARE(m_f->since(mark), Entries{"Commandfile sending failed..."});
        QCOMPARE(m_f->dialogs.unscripted, 0);
    }

    void fileDialogRemembersTheLastFileAcrossRuns() {
        const std::string chosen = write("remember.cmd", "@RUN\r\n@END\r\n");
        const QString settings = QString::fromStdString(m_f->dir.file("qelpserver.ini"));
        QString preselected;
        auto pick = [&](QWidget* w) {
            auto* dialog = static_cast<QFileDialog*>(w);
            preselected = dialog->directory().absolutePath();
            dialog->selectFile(QString::fromStdString(chosen));
            static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept is not public
        };
        guitest::WhenVisible("CommonDialog1", pick);
        qelp::ui::QtDialogs firstRun(settings);
        QCOMPARE(firstRun.openFile(nullptr, "Select a QELP commandfile"),
                 QString::fromStdString(chosen));
        // A later run opens where the last file was chosen and reports it again.
        qelp::ui::QtDialogs secondRun(settings);
        QCOMPARE(secondRun.lastFile(), QString::fromStdString(chosen));
        preselected.clear();
        guitest::WhenVisible("CommonDialog1", [&](QWidget* w) {
            preselected = static_cast<QFileDialog*>(w)->directory().absolutePath() + "/";
            static_cast<QFileDialog*>(w)->reject();
        });
        QCOMPARE(secondRun.openFile(nullptr, "Select a QELP commandfileList"), QString());
        QCOMPARE(preselected, QString::fromStdString(m_f->dir.path()));
        QCOMPARE(secondRun.lastFile(), QString::fromStdString(chosen)); // a cancel keeps it
    }
};

QTEST_MAIN(TestReplay)
#include "tst_replay.moc"
