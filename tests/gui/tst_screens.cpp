// The message window, the recipe screen (with a composed recipe dispensed against the real
// simulator, then found in the history and loaded again) and the canister grid with its
// green marks on exactly the changed cells.
#include "exchange/exchange.h"
#include "frame/eventlog.h"
#include "support/consolefixture.h"
#include "support/linkfixture.h"
#include "ui/cancolconf.h"
#include "ui/historyview.h"
#include "ui/msgwindow.h"
#include "ui/recipeform.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <set>

using qelp::ui::CanColConf;
using qelp::ui::HistoryView;
using qelp::ui::MsgWindow;
using qelp::ui::RecipeForm;
using Cells = std::set<std::pair<int, int>>; // grid row (from 1), column

namespace {
// Types the text key by key into the focused widget of the active window, as the operator
// does, followed by Return (QTest's keyClicks takes ASCII only).
void Type(QWidget* widget, const QString& text) {
    widget->window()->show();
    widget->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), widget->window());
    widget->setFocus();
    QVERIFY(widget->hasFocus());
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key(c.toUpper().unicode()), QString(c), {});
    QTest::keyClick(widget, Qt::Key_Return);
}
Cells GreenCells(QTableWidget* grid) {
    Cells cells;
    for (int r = 0; r < grid->rowCount(); ++r)
        for (int c = 0; c < grid->columnCount(); ++c)
            if (grid->item(r, c) && grid->item(r, c)->background().color() == QColor(0, 255, 0))
                cells.insert({r + 1, c});
    return cells;
}
qelp::CanisterState Canister(int id, const char* name, double content = 0) {
    return {id, id + 32, name, 2000, content, 300, 100, 0}; // size, content, warning, minimum
}
} // namespace

class TestScreens : public QObject {
    Q_OBJECT
    std::unique_ptr<guitest::ConsoleFixture> m_f;
    RecipeForm* m_form = nullptr;

    void makeFixture(char separator) {
        m_f = std::make_unique<guitest::ConsoleFixture>(separator);
        m_form = nullptr;
        m_f->program.canisters.canisterTable = {Canister(3, "Lamp Black"), Canister(5, "Oxide Red"),
                                                Canister(7, ""), Canister(9, "OXIDE RED")};
    }
    MsgWindow* show(int type, int buttons, const std::string& text = "Text", int code = 345,
                    int family = 12) {
        qelp::Program& p = m_f->program;
        p.message.messageDialogType = type;
        p.message.messageButtons = buttons;
        p.message.messageText = text;
        p.message.messageCode = code;
        p.link.dispenserFamily = family;
        p.message.replyPending = 0;
        p.message.messageWindowCloseRequest = false;
        m_f->port.showMessageWindow();
        return m_f->port.messageWindow();
    }
    QStringList captions(MsgWindow* w) {
        QStringList list;
        for (int slot = 0; slot < MsgWindow::kSlotCount; ++slot)
            list << (w->slotButton(slot)->isVisible() ? w->slotButton(slot)->text() : QString());
        return list;
    }
    QLabel* label(MsgWindow* w, const char* name) { return w->findChild<QLabel*>(name); }

    void open() { // as "Create" does, without its modal loop
        if (!m_form)
            m_form = new RecipeForm(m_f->program, m_f->dialogs, m_f->form.get());
        m_form->fillControls();
    }
    QComboBox* combo(const char* name) { return m_form->findChild<QComboBox*>(name); }
    QLineEdit* edit(const char* name) { return m_form->findChild<QLineEdit*>(name); }
    QCheckBox* check(const char* name) { return m_form->findChild<QCheckBox*>(name); }
    void press(const char* name) { m_form->findChild<QPushButton*>(name)->click(); }
    QString recipeText() { return m_form->findChild<QLabel*>("Recipe")->text(); }
    // The texts of edits and lists joined with '|'; enter() types them (a list that is not
    // editable picks the item); boxes(): the four check boxes as 0 and 1.
    QString texts(std::initializer_list<const char*> names) {
        QStringList list;
        for (const char* n : names)
            list << (edit(n) ? edit(n)->text() : combo(n)->currentText());
        return list.join('|');
    }
    void enter(const QString& values) { // "name=text;name=text"
        for (const QString& v : values.split(';')) {
            const QByteArray n = v.section('=', 0, 0).toLatin1();
            edit(n) ? edit(n)->setText(v.section('=', 1))
                    : combo(n)->setCurrentText(v.section('=', 1));
        }
    }
    static constexpr const char* kBoxes[] = {"Check1", "ShelfCheck", "PunchCheck", "CheckColName"};
    QString boxes() {
        QString states;
        for (const char* b : kBoxes)
            states += check(b)->isChecked() ? '1' : '0';
        return states;
    }
    void addColorant(int index, const QString& amount) {
        combo("Paste")->setCurrentIndex(index);
        edit("PasteAmount")->setText(amount);
        press("CommandAdd");
    }
    const qelp::DosingRecipe& stored() { return m_f->program.recipe.currentRecipe; }

private slots:
    void init() { makeFixture('.'); }
    void cleanup() { m_f.reset(); }

    // The title from type, family and code; the captions of slots 0 to 4, the lowest bits
    // filling them from the right.
    void titleAndButtonSlots() {
        const std::tuple<int, int, int, int, const char*, const char*> cases[] = {
            {2, 0, 345, 2047, "Dispenser Error! /345", "Yes|No|Ok|Cancel|Abort"},
            {1, 7, 0, 5 | 4096, "Dispenser Warning! 7/", "Yes|Ok|||"},
            {3, 1, 2, 128 | 256 | 512, "Dispenser Information 1/2", "All|No to All|Yes to All||"},
            {0, 12, 345, 0, "12/345", "||||"},
            {9, 12, 345, 1024, "12/345", "Help||||"}};
        for (auto [type, family, code, mask, title, expected] : cases) {
            MsgWindow* w = show(type, mask, "x", code, family);
            QCOMPARE(w->windowTitle() + ' ' + captions(w).join('|'),
                     title + (' ' + QString(expected)));
            for (int s = 1; s < MsgWindow::kSlotCount && w->slotButton(s)->isVisible(); ++s)
                QVERIFY(w->slotButton(s - 1)->x() > w->slotButton(s)->x()); // slot 0 rightmost
        }
    }

    void textAndIconAsGiven() {
        QLabel* text = label(show(1, 4, "First.\r\nSecond <b>7</b>"), "Label1");
        QVERIFY(text->isVisible());
        QCOMPARE(text->text(), QString("First.\nSecond <b>7</b>"));
        // What the operator sees and copies: the tags too, as text.
        text->setSelection(0, int(text->text().size()));
        QVERIFY(text->selectedText().endsWith("Second <b>7</b>"));
        QCOMPARE(label(show(1, 4, "Gr\xfcn"), "Label1")->text(), QString::fromUtf8("Grün"));
        QVERIFY(!label(show(1, 4, ""), "Label1")->isVisible());

        const std::string graphics = m_f->dir.path() + "graphics/"; // the program's icons
        std::filesystem::create_directories(graphics);
        for (const char* name : {"1.ico", "2.ico", "3.ico", "4.ico"})
            std::filesystem::copy_file(std::string(QELP_SOURCE_DIR) + "/graphics/" + name,
                                       graphics + name);
        for (int type = 1; type <= 4; ++type) {
            QLabel* image = label(show(type, 4), "Image1");
            QVERIFY2(image->isVisible() && !image->pixmap().isNull(),
                     qPrintable(QString::number(type)));
        }
        QVERIFY(!label(show(0, 4), "Image1")->isVisible());
        std::filesystem::remove(graphics + "3.ico");
        QVERIFY(!label(show(3, 4), "Image1")->isVisible());
    }

    // A button leaves its value and closes; neither the close box, Escape nor the timer's
    // ticks close it; a reply left by the result wait or a close request do, the request
    // without an answer.
    void closesOnlyByAnAnswerOrARequest() {
        MsgWindow* w = show(4, 2047);
        QTest::mouseClick(w->slotButton(3), Qt::LeftButton);
        QCOMPARE(m_f->program.message.replyPending, 8); // the bit, not the slot
        QVERIFY(!w->isVisible() && !m_f->program.message.messageWindowOpen);
        QCOMPARE(show(2, 3), w); // one instance, starting afresh
        QSignalSpy ticks(w->findChild<QTimer*>("Timer1"), &QTimer::timeout);
        QVERIFY(!w->close());
        QTest::keyClick(w, Qt::Key_Escape);
        QTRY_VERIFY(ticks.count() >= 2);
        QVERIFY(w->isVisible() && m_f->program.message.messageWindowOpen);
        QCOMPARE(m_f->program.message.replyPending, 0);
        m_f->program.message.replyPending = 4;
        QVERIFY(w->close());
        QVERIFY(!m_f->program.message.messageWindowOpen);
        show(4, 3);
        m_f->program.message.messageWindowCloseRequest = true;
        QTRY_VERIFY(!w->isVisible());
        QVERIFY(!m_f->program.message.messageWindowOpen);
        QCOMPARE(m_f->program.message.replyPending, 0);
    }

    // What the operator types goes out as typed: never completed to a list item, letter case
    // kept, and in the exchange files' code page.
    void typedTextGoesOutAsTyped() {
        open();
        for (auto [name, typed] :
             {std::pair{"Prod", "tandra"}, {"Base", "w0"}, {"ShelfPre", "No"}}) {
            combo(name)->clearEditText();
            Type(combo(name)->lineEdit(), typed);
        }
        press("CommandExit");
        QCOMPARE(stored().product + "|" + stored().basePaint, std::string("tandra|w0"));
        QCOMPARE(m_f->dialogs.messages(),
                 QStringList{"Invalid shelf move value (No). NO MOVE will be used!"});

        QVERIFY(m_f->installAndStart());
        QComboBox* colorant = m_f->combo("Combo2");
        for (auto [typed, sent] : {std::pair{"oxide", "@EXT PURGECOL oxide\r\n"},
                                   {"Gr\u00fcn", "@EXT PURGECOL Gr\xfcn\r\n"}}) {
            colorant->clearEditText();
            Type(colorant->lineEdit(), QString::fromUtf8(typed));
            m_f->click("Command19");
            const std::string command = qelptest::ReadFile(ServerCommandFile(m_f->program));
            QVERIFY2(command.find(sent) != std::string::npos, command.c_str());
        }
    }

    // Assistive technology reads what the screens show: an information label by its current
    // text and labelled by its heading, every button by its caption, every field by its label.
    void assistiveTechnologyReadsWhatIsShown() {
        const auto name = [](QObject* o) {
            return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name);
        };
        const auto labelledBy = [&](QObject* o) {
            QStringList labels;
            for (const auto& [label, relation] :
                 QAccessible::queryAccessibleInterface(o)->relations(QAccessible::Label))
                labels << label->text(QAccessible::Name);
            return labels;
        };
        qelp::WriteLogLine(m_f->program, "Commandfile a&b.cmd sending completed.");
        m_f->program.canisters.canisterTable[0].colorantName = "Black & White";
        open();
        addColorant(0, "5");
        for (auto [screen, label, text] :
             {std::tuple<QWidget*, const char*, const char*>{
                  m_f->form.get(), "Label1", "Status|Commandfile a&b.cmd sending completed."},
              {m_form, "Recipe", "Recipe|Black & White - 5; "}}) {
            QLabel* info = screen->findChild<QLabel*>(label);
            QCOMPARE(labelledBy(info).join('|') + '|' + name(info), QString(text));
            for (QAbstractButton* b : screen->findChildren<QAbstractButton*>())
                QCOMPARE(name(b), b->text());
            for (QWidget* field : screen->findChildren<QWidget*>())
                if (qobject_cast<QComboBox*>(field) ||
                    (qobject_cast<QLineEdit*>(field) &&
                     !qobject_cast<QComboBox*>(field->parentWidget())))
                    QCOMPARE(labelledBy(field).value(0, "<no label>"), field->accessibleName());
        }
    }

    // Every dialog fits on the screen, however long its text or wide its table: a long text
    // scrolls inside it, and its buttons stay within reach.
    void dialogsFitOnTheScreen() {
        const QRect screen = m_f->form->screen()->availableGeometry();
        const auto within = [&](QWidget* w) {
            return w->isVisible() &&
                   screen.contains(w->isWindow() ? w->frameGeometry()
                                                 : QRect(w->mapToGlobal(QPoint()), w->size()));
        };
        const auto scrolls = [](QWidget* w) {
            auto* area = w->findChild<QScrollArea*>();
            return area && area->verticalScrollBar()->isVisible() &&
                   area->verticalScrollBar()->maximum() > 0;
        };
        const QString text = QString("Canister #1\r\nSizeML: 4000\r\nWarnML: 600\r\n").repeated(30);
        bool boxFits = false;
        guitest::WhenVisible({}, [&](QWidget* w) {
            auto* ok = w->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
            boxFits = within(w) && within(ok) && scrolls(w);
            ok->click();
        });
        qelp::ui::QtDialogs(QString::fromStdString(m_f->dir.file("dialogs.ini")))
            .messageBox(m_f->form.get(), text);
        QVERIFY(boxFits);

        MsgWindow* message = show(4, 3, text.repeated(2).toStdString());
        QVERIFY(within(message) && within(message->slotButton(0)) &&
                within(message->slotButton(1)));
        QTRY_VERIFY(scrolls(message));
        message->slotButton(0)->click();

        m_f->program.canisters.canisterTable[1].colorantName = std::string(400, 'W');
        QRect grid; // the canister grid, opened with its button
        guitest::WhenVisible("CanColConf", [&](QWidget* w) {
            grid = w->frameGeometry();
            w->close();
        });
        m_f->click("cmd_cancol");
        QVERIFY(!grid.isEmpty() && screen.contains(grid));
    }

    void addClearCloseAndSave() {
        open();
        QCOMPARE(combo("CanType")->currentIndex() + combo("Paste")->currentIndex(), -2);
        QCOMPARE(recipeText() + boxes(), QString("1000")); // first opening: the defaults
        addColorant(0, "5");
        addColorant(1, "2.5");
        addColorant(0, "7");
        QCOMPARE(recipeText(), QString("Lamp Black - 7; Oxide Red - 2.5; "));
        const auto& lines = m_f->program.recipe.recipeColorants;
        QCOMPARE(QList<int>({int(lines.size()), lines[0].canister, lines[0].pasteId}),
                 QList<int>({2, 3, 35}));
        addColorant(3, "1"); // the other spelling: the first canister of that name
        QCOMPARE(recipeText(), QString("Lamp Black - 7; Oxide Red - 1; "));
        QCOMPARE(edit("PasteAmount")->text(), QString("1"));
        press("CommandClear");
        for (const char* amount : {"0", "-2", ""})
            addColorant(0, amount);
        addColorant(-1, "4");
        addColorant(2, "3"); // the canister without a name
        QCOMPARE(recipeText(), QString());
        addColorant(0, "abc");
        QCOMPARE(m_f->dialogs.messages(),
                 QStringList{"Invalid amount (abc). Nothing was added to the recipe."});
        QVERIFY(m_f->program.recipe.recipeColorants.empty());

        addColorant(0, "5"); // Clear, the close button and Save
        press("CommandExit");
        QVERIFY(m_f->program.recipe.recipePresent);
        open();
        QCOMPARE(recipeText(), QString("Lamp Black - 5; "));
        press("CommandClear");
        QCOMPARE(recipeText(), QString());
        m_form->reject(); // the close button
        QVERIFY(m_f->program.recipe.recipeColorants.empty() && m_f->program.recipe.recipePresent);
        open();
        press("CommandExit");
        QVERIFY(!m_f->program.recipe.recipePresent);
        // The close button drops header changes, and an unset unit size shows the default.
        edit("Usize")->setText("0");
        press("CommandExit");
        QCOMPARE(stored().unitSize, 0.0);
        open();
        edit("Usize")->setText("5");
        combo("PunchSel")->setCurrentIndex(2);
        m_form->reject();
        QCOMPARE(stored().unitSize, 0.0);
        QCOMPARE(m_f->program.recipe.punchMode, 0);
        open();
        QCOMPARE(edit("Usize")->text(), QString("29.574"));
    }

    void saveStoresWhatTheNextOpeningShows() {
        open();
        enter("Utype=GR;Usize=1000;UFract=0.5;NumCans=2.5;Prod=Custom Product;Base=BC;"
              "CanType=3L BigBin;ShelfDose=5;ShelfPost=all down;PunchSel=Ask Confirm");
        for (int i = 0; i < 4; ++i) // the boxes to 0111; 2.5 cans: half to even
            check(kBoxes[i])->setChecked(i > 0);
        press("CommandExit");
        const qelp::DosingRecipe& r = stored();
        QCOMPARE(r.product + "|" + r.basePaint + "|" + r.canType,
                 std::string("Custom Product|BC|3L BigBin"));
        const qelp::Program& p = m_f->program;
        QVERIFY(p.recipe.useShelf && p.recipe.sendPunch && p.recipe.sendColorantNames);
        QCOMPARE(QList<double>({r.unitSize, r.unitFraction, 1.0 * r.unitType, 1.0 * r.numberOfCans,
                                1.0 * r.canSize, 1.0 * r.canHeight, 1.0 * p.recipe.shelfPre,
                                1.0 * p.recipe.shelfDose, 1.0 * p.recipe.shelfPost,
                                1.0 * p.recipe.punchMode}),
                 QList<double>({1000, 0.5, 1, 2, 3000, 220, 0, 5, -1, 1}));
        open(); // emptied texts keep the stored values
        QCOMPARE(
            texts({"Utype", "UFract", "Prod", "CanType", "ShelfDose", "ShelfPost", "PunchSel"}),
            QString("GR|0.5|Custom Product|3L BigBin|5|All Down|Ask Confirm"));
        QCOMPARE(boxes(), QString("0111"));
        combo("Prod")->setEditText("");
        combo("Base")->setEditText("");
        check("Check1")->setChecked(true);
        press("CommandExit");
        QCOMPARE(r.product + "|" + r.basePaint, std::string("Custom Product|BC"));
        QCOMPARE(r.canHeight, 0);
        QCOMPARE(m_f->program.recipe.punchMode, 1);

        open(); // what cannot be read keeps the stored value, with a message; no move
        enter("Usize=abc;UFract=4 "
              "8;NumCans=99999999999;ShelfPre=abc;ShelfDose=;ShelfPost=99999999999");
        press("CommandExit");
        QCOMPARE(
            m_f->dialogs.messages(),
            (QStringList{"Invalid UnitSize value (abc). The stored value is kept.",
                         "Invalid UnitFraction value (4 8). The stored value is kept.",
                         "Invalid Number Of Cans value (99999999999). The stored value is kept.",
                         "Invalid shelf move value (abc). NO MOVE will be used!",
                         "Invalid shelf move value (). NO MOVE will be used!",
                         "Invalid shelf move value (99999999999). NO MOVE will be used!"}));
        QCOMPARE(QList<double>({r.unitSize, r.unitFraction, 1.0 * r.numberOfCans,
                                1.0 * p.recipe.shelfPre, 1.0 * p.recipe.shelfDose,
                                1.0 * p.recipe.shelfPost}),
                 QList<double>({1000, 0.5, 2, -3, -3, -3}));
    }

    void commaLocaleReadsAndShowsItsOwnNumbers() {
        makeFixture(',');
        open();
        QCOMPARE(edit("Usize")->text(), QString("29,574"));
        addColorant(0, "12,5");
        QCOMPARE(recipeText(), QString("Lamp Black - 12,5; "));
        enter("Usize=1.5;UFract=2,5"); // a point is no decimal separator here
        press("CommandExit");
        QCOMPARE(m_f->dialogs.messages().size(), 1);
        QCOMPARE(stored().unitSize, 0.0); // kept
        QCOMPARE(stored().unitFraction, 2.5);
        m_f->program.canisters.canisterTable[0].contentMl = 12.5; // the grid too
        CanColConf grid(m_f->program, m_f->form.get());
        grid.fillCanisterGrid();
        QCOMPARE(grid.grid()->item(0, 5)->text(), QString("12,5"));
    }

    void composedRecipeIsDispensedWithTheDriversQuestionAnswered() {
        m_f->program.canisters.canisterTable.clear();
        QVERIFY(m_f->installAndStart());
        bool composed = false; // "Create" opens the screen modally; compose while it is open
        guitest::WhenVisible("RecipeForm", [&](QWidget* w) {
            m_form = static_cast<RecipeForm*>(w);
            composed = m_form->isModal();
            addColorant(3, "12");  // Lamp Black
            addColorant(4, "4.5"); // Phthalo Blue
            combo("Prod")->setCurrentIndex(4);
            combo("CanType")->setCurrentIndex(1);
            check("PunchCheck")->setChecked(true);
            combo("PunchSel")->setCurrentIndex(1); // Ask Confirm
            press("CommandExit");
        });
        m_f->click("Command15");
        QVERIFY(composed);
        QVERIFY(m_f->dialogs.messages().isEmpty());

        guitest::WhenVisible("MsgWindow", [](QWidget* w) { // the driver's question: "Ok"
            for (QPushButton* b : w->findChildren<QPushButton*>())
                if (b->isVisible() && b->text() == "Ok")
                    return b->click();
        });
        const std::vector<std::string> out = m_f->press("Command16");
        for (const char* line : {"@CNX 4 12 5 4.5", "@PNC 1", "Button=4"})
            QVERIFY2(qelptest::CountOf(out, line), line);
        QCOMPARE(out.back(), std::string("Dosing completed."));

        // The dispense is in the history: found, exported, and loaded into the recipe again.
        HistoryView* view = m_f->form->openHistory();
        QCOMPARE(view->rowCount(), size_t(1));
        QCOMPARE(view->record(0)->outcome, out.back());
        view->findChild<QLineEdit*>("Find")->setText("no such product");
        QTRY_COMPARE(view->rowCount(), size_t(0));
        view->findChild<QLineEdit*>("Find")->setText("DEMOPRODUCT");
        QTRY_COMPARE(view->rowCount(), size_t(1));
        const std::string csv = m_f->dir.file("out.csv");
        m_f->dialogs.answerOpenFile(QString::fromStdString(csv));
        view->findChild<QPushButton*>("ExportCsv")->click();
        QCOMPARE(qelptest::SplitCrLf(qelptest::ReadFile(csv)).size(), size_t(3)); // 2 colorants
        qelp::Program& p = m_f->program;
        p.recipe.recipeColorants.clear();
        p.recipe.recipePresent = false;
        m_f->form->refreshConsole();
        view->table()->selectRow(0);
        view->findChild<QPushButton*>("DispenseAgain")->click();
        QCOMPARE(p.recipe.recipeColorants.size(), size_t(2));
        QCOMPARE(p.recipe.recipeColorants[1].amount, 4.5);
        QVERIFY(m_f->button("Command16")->isEnabled());
    }

    void exactlyTheChangedCellsTurnGreen() {
        std::vector<qelp::CanisterState>& table = m_f->program.canisters.canisterTable;
        table = {Canister(1, "White", 12.5), Canister(2, "Black", 200), Canister(3, "Red", 300)};
        table[1].dosedUl = 0.25;
        // A new window for every filling: what was shown last is the program's, not a window's.
        const auto marks = [&] {
            CanColConf other(m_f->program, m_f->form.get());
            other.fillCanisterGrid();
            return GreenCells(other.grid());
        };
        CanColConf window(m_f->program, m_f->form.get());
        window.fillCanisterGrid();
        QTableWidget* grid = window.grid();
        QStringList row; // the second canister, then the first one's content
        for (int c = 0; c < grid->columnCount(); ++c)
            row << grid->item(1, c)->text();
        QCOMPARE(row << grid->item(0, 5)->text(),
                 QString("2|Black|34|2|2000|200|300|100|0.25|12.5").split('|'));
        QVERIFY(GreenCells(grid).empty()); // first filling: nothing to compare with
        grid->setCurrentCell(0, 1);        // read only: neither a key nor a double click edits
        QTest::keyClick(grid, Qt::Key_F2);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {},
                           grid->visualItemRect(grid->item(0, 1)).center());
        QVERIFY(grid->viewport()->findChildren<QLineEdit*>().isEmpty());
        QVERIFY(marks().empty());

        table[2].contentMl = 290.5;
        table[2].dosedUl = 9500;
        table[0].colorantName = "WHITE"; // letter case counts
        QCOMPARE(marks(), (Cells{{3, 5}, {3, 8}, {1, 1}}));
        QVERIFY(marks().empty());

        table[1] = {22, 4, "Black", 1, 200, 2, 3, 0.25}; // name, content and dose as they were
        QCOMPARE(marks(), (Cells{{2, 2}, {2, 3}, {2, 4}, {2, 6}, {2, 7}}));

        // A different number of canisters: no marks, and the next filling compares again.
        table.push_back(Canister(4, "Blue", 1));
        table[0].contentMl = 1;
        QVERIFY(marks().empty());
        table[3].contentMl = 2;
        QCOMPARE(marks(), (Cells{{4, 5}}));
    }
};

QTEST_MAIN(TestScreens)
#include "tst_screens.moc"
