// The recipe screen: its fixed lists, the opening from the stored recipe, Add, Clear,
// Save + Exit, the invalid-input messages, the user's number format, and a recipe composed
// on the screen and dispensed while the driver asks for confirmation.
#include "support/consolefixture.h"
#include "ui/recipeform.h"
#include "ui/recipelogic.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using guitest::ConsoleFixture;
using qelp::ui::RecipeForm;

namespace {
QStringList Items(QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

qelp::CanisterState Canister(int id, const char* name) {
    qelp::CanisterState c;
    c.canId = id;
    c.pasteId = id + 32;
    c.colorantName = name;
    c.sizeMl = 2000;
    return c;
}
} // namespace

class TestRecipeForm : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ConsoleFixture> m_f;
    RecipeForm* m_form = nullptr;

    // Opens the screen as "Create" would, without its modal loop.
    RecipeForm* open() {
        if (!m_form)
            m_form = new RecipeForm(m_f->program, m_f->dialogs, m_f->form.get());
        m_form->fillControls();
        return m_form;
    }
    template <typename T> T* get(const char* name) {
        return m_form->findChild<T*>(QString::fromLatin1(name));
    }
    QComboBox* combo(const char* name) { return get<QComboBox>(name); }
    QLineEdit* edit(const char* name) { return get<QLineEdit>(name); }
    QCheckBox* check(const char* name) { return get<QCheckBox>(name); }
    void press(const char* name) { get<QPushButton>(name)->click(); }
    QString recipeText() { return get<QLabel>("Recipe")->text(); }
    void addColorant(int index, const QString& amount) {
        combo("Paste")->setCurrentIndex(index);
        edit("PasteAmount")->setText(amount);
        press("CommandAdd");
    }

private slots:
    void init() {
        m_f = std::make_unique<ConsoleFixture>();
        m_form = nullptr;
        m_f->program.canisterTable = {Canister(3, "Lamp Black"), Canister(5, "Oxide Red"),
                                      Canister(7, ""), Canister(9, "OXIDE RED")};
    }
    void cleanup() { m_f.reset(); }

    void firstOpeningShowsTheDefaultsAndFixedLists() {
        open();
        QCOMPARE(m_form->windowTitle(), QString("Compose a Recipe!"));
        QCOMPARE(Items(combo("Utype")), (QStringList{"ML", "GR"}));
        QCOMPARE(Items(combo("Prod")), (QStringList{"Morvex BL", "Tandra UV", "Quilon SUV",
                                                    "Nurel Blur", "DemoProduct"}));
        QCOMPARE(Items(combo("Base")), (QStringList{"W05", "BC", "M00"}));
        QCOMPARE(Items(combo("CanType")),
                 (QStringList{"1L DustBin", "2L AshTray", "3L BigBin", "4L TinCan"}));
        for (const char* shelf : {"ShelfPre", "ShelfDose", "ShelfPost"}) {
            QCOMPARE(Items(combo(shelf)),
                     (QStringList{"All Up", "All Down", "Ref Plane", "No Move"}));
            QCOMPARE(combo(shelf)->currentText(), QString("All Up"));
            QVERIFY(combo(shelf)->isEditable());
        }
        QCOMPARE(Items(combo("PunchSel")), (QStringList{"None", "Ask Confirm", "No Confirm"}));
        QCOMPARE(Items(combo("Paste")), (QStringList{"Lamp Black", "Oxide Red", "", "OXIDE RED"}));
        QCOMPARE(combo("Utype")->currentText(), QString("ML"));
        QCOMPARE(edit("Usize")->text(), QString("29.574"));
        QCOMPARE(edit("UFract")->text(), QString("48"));
        QCOMPARE(edit("NumCans")->text(), QString("1"));
        QCOMPARE(combo("Prod")->currentText(), QString());
        QCOMPARE(combo("Base")->currentText(), QString());
        QCOMPARE(combo("CanType")->currentIndex(), -1);
        QCOMPARE(combo("Paste")->currentIndex(), -1);
        QVERIFY(check("Check1")->isChecked());
        QVERIFY(!check("ShelfCheck")->isChecked());
        QVERIFY(!check("PunchCheck")->isChecked());
        QVERIFY(!check("CheckColName")->isChecked());
        QCOMPARE(combo("PunchSel")->currentText(), QString("None"));
        QCOMPARE(recipeText(), QString());
        QCOMPARE(edit("PasteAmount")->text(), QString());
        QVERIFY(!combo("Utype")->isEditable());
        QVERIFY(combo("Prod")->isEditable());
    }

    void controlsCarryTheirLabelsForAccessibility() {
        open();
        const std::pair<const char*, const char*> named[] = {
            {"Utype", "UnitType"},
            {"Usize", "UnitSize"},
            {"UFract", "UnitFraction"},
            {"NumCans", "Number Of Cans"},
            {"Prod", "Product"},
            {"Base", "BasePaint"},
            {"CanType", "Cantype"},
            {"Paste", "Colorant:"},
            {"PasteAmount", "Amount:"},
            {"ShelfPre", "ShelfPre"},
            {"ShelfDose", "ShelfDose"},
            {"ShelfPost", "ShelfPost"},
            {"PunchSel", "PunchType"},
            {"CommandAdd", "Add"},
            {"CommandClear", "Clear"},
            {"CommandExit", "Save + Exit"},
            {"Check1", "Dont use Can Height"},
            {"ShelfCheck", "Use Shelf"},
            {"PunchCheck", "Send Punch"},
            {"CheckColName", "Send Colorant Names"}};
        for (const auto& [name, text] : named) {
            QWidget* w = m_form->findChild<QWidget*>(name);
            QVERIFY2(w, name);
            QCOMPARE(w->accessibleName(), QString(text));
        }
        bool buddied = false;
        for (QLabel* label : m_form->findChildren<QLabel*>())
            buddied = buddied || (label->text() == "UnitSize" && label->buddy() == edit("Usize"));
        QVERIFY(buddied);
    }

    void addKeepsOneLinePerCanister() {
        open();
        addColorant(0, "5");
        addColorant(1, "2.5");
        addColorant(0, "7");
        QCOMPARE(recipeText(), QString("Lamp Black - 7; Oxide Red - 2.5; "));
        QCOMPARE(m_f->program.recipeColorants.size(), size_t(2));
        QCOMPARE(m_f->program.recipeColorants[0].canister, 3);
        QCOMPARE(m_f->program.recipeColorants[0].pasteId, 35);
        // The other spelling of the same name adds to the first canister of that name.
        addColorant(3, "1");
        QCOMPARE(recipeText(), QString("Lamp Black - 7; Oxide Red - 1; "));
        QCOMPARE(combo("Paste")->currentIndex(), 3);
        QCOMPARE(edit("PasteAmount")->text(), QString("1"));
    }

    void addIgnoresEmptyAndNonPositiveInput() {
        open();
        addColorant(0, "0");
        addColorant(0, "-2");
        addColorant(0, "");
        combo("Paste")->setCurrentIndex(-1);
        edit("PasteAmount")->setText("4");
        press("CommandAdd");
        addColorant(2, "3"); // the canister without a name gives an empty line: ignored
        QCOMPARE(recipeText(), QString());
        QVERIFY(m_f->program.recipeColorants.empty());
        QVERIFY(m_f->dialogs.messages().isEmpty());
        addColorant(0, "abc");
        QCOMPARE(m_f->dialogs.messages(),
                 QStringList{"Invalid amount (abc). Nothing was added to the recipe."});
        QVERIFY(m_f->program.recipeColorants.empty());
    }

    void clearAndCloseVersusSave() {
        open();
        addColorant(0, "5");
        press("CommandExit");
        QVERIFY(m_f->program.recipePresent);
        open();
        QCOMPARE(recipeText(), QString("Lamp Black - 5; "));
        press("CommandClear");
        QCOMPARE(recipeText(), QString());
        m_form->reject(); // the window's own close button
        QVERIFY(m_f->program.recipeColorants.empty());
        QVERIFY(m_f->program.recipePresent);
        open();
        press("CommandExit");
        QVERIFY(!m_f->program.recipePresent);
    }

    void saveStoresTheHeaderAndOptions() {
        open();
        combo("Utype")->setCurrentIndex(1);
        edit("Usize")->setText("1000");
        edit("UFract")->setText("0.5");
        edit("NumCans")->setText("2.5"); // half to even
        combo("Prod")->setEditText("Custom Product");
        combo("Base")->setCurrentIndex(1);
        combo("CanType")->setCurrentIndex(2);
        check("Check1")->setChecked(false);
        check("ShelfCheck")->setChecked(true);
        combo("ShelfDose")->setEditText("5");
        combo("ShelfPost")->setEditText("all down");
        check("PunchCheck")->setChecked(true);
        combo("PunchSel")->setCurrentIndex(1);
        check("CheckColName")->setChecked(true);
        press("CommandExit");
        QVERIFY(m_f->dialogs.messages().isEmpty());
        const qelp::DosingRecipe& r = m_f->program.currentRecipe;
        QCOMPARE(r.unitType, 1);
        QCOMPARE(r.unitSize, 1000.0);
        QCOMPARE(r.unitFraction, 0.5);
        QCOMPARE(r.numberOfCans, 2);
        QCOMPARE(r.product, std::string("Custom Product"));
        QCOMPARE(r.basePaint, std::string("BC"));
        QCOMPARE(r.canType, std::string("3L BigBin"));
        QCOMPARE(r.canSize, 3000);
        QCOMPARE(r.canHeight, 220);
        QVERIFY(m_f->program.useShelf);
        QCOMPARE(m_f->program.shelfPre, 0);
        QCOMPARE(m_f->program.shelfDose, 5);
        QCOMPARE(m_f->program.shelfPost, -1);
        QVERIFY(m_f->program.sendPunch);
        QCOMPARE(m_f->program.punchMode, 1);
        QVERIFY(m_f->program.sendColorantNames);

        // The next opening shows what was stored; emptied texts keep the stored values.
        open();
        QCOMPARE(combo("Utype")->currentText(), QString("GR"));
        QCOMPARE(edit("UFract")->text(), QString("0.5"));
        QCOMPARE(combo("Prod")->currentText(), QString("Custom Product"));
        QCOMPARE(combo("CanType")->currentText(), QString("3L BigBin"));
        QVERIFY(!check("Check1")->isChecked());
        QCOMPARE(combo("ShelfDose")->currentText(), QString("5"));
        QCOMPARE(combo("ShelfPost")->currentText(), QString("All Down"));
        QCOMPARE(combo("PunchSel")->currentText(), QString("Ask Confirm"));
        combo("Prod")->setEditText("");
        combo("Base")->setEditText("");
        check("Check1")->setChecked(true);
        press("CommandExit");
        QCOMPARE(r.product, std::string("Custom Product"));
        QCOMPARE(r.basePaint, std::string("BC"));
        QCOMPARE(r.canHeight, 0);
        QCOMPARE(m_f->program.punchMode, 1);
    }

    void closingWithoutSaveDropsHeaderChanges() {
        open();
        edit("Usize")->setText("5");
        combo("PunchSel")->setCurrentIndex(2);
        m_form->reject();
        QCOMPARE(m_f->program.currentRecipe.unitSize, 0.0);
        QCOMPARE(m_f->program.punchMode, 0);
        open();
        QCOMPARE(edit("Usize")->text(), QString("29.574"));
    }

    void zeroUnitSizeFallsBackToTheDefault() {
        open();
        edit("Usize")->setText("0");
        press("CommandExit");
        QCOMPARE(m_f->program.currentRecipe.unitSize, 0.0);
        open();
        QCOMPARE(edit("Usize")->text(), QString("29.574"));
        press("CommandExit");
        QCOMPARE(m_f->program.currentRecipe.unitSize, 29.574);
        QCOMPARE(m_f->program.currentRecipe.unitFraction, 48.0);
        QCOMPARE(m_f->program.currentRecipe.numberOfCans, 1);
    }

    void invalidInputIsRejectedWithAMessage() {
        open();
        press("CommandExit");
        m_f->dialogs.clear();
        open();
        edit("Usize")->setText("abc");
        edit("UFract")->setText("4 8");
        edit("NumCans")->setText("99999999999");
        combo("ShelfPre")->setEditText("abc");
        combo("ShelfDose")->setEditText("");
        combo("ShelfPost")->setEditText("99999999999");
        check("ShelfCheck")->setChecked(false);
        press("CommandExit");
        QCOMPARE(
            m_f->dialogs.messages(),
            (QStringList{"Invalid UnitSize value (abc). The stored value is kept.",
                         "Invalid UnitFraction value (4 8). The stored value is kept.",
                         "Invalid Number Of Cans value (99999999999). The stored value is kept.",
                         "Invalid shelf move value (abc). NO MOVE will be used!",
                         "Invalid shelf move value (). NO MOVE will be used!",
                         "Invalid shelf move value (99999999999). NO MOVE will be used!"}));
        QCOMPARE(m_f->program.currentRecipe.unitSize, 29.574);
        QCOMPARE(m_f->program.currentRecipe.unitFraction, 48.0);
        QCOMPARE(m_f->program.currentRecipe.numberOfCans, 1);
        QCOMPARE(m_f->program.shelfPre, -3);
        QCOMPARE(m_f->program.shelfDose, -3);
        QCOMPARE(m_f->program.shelfPost, -3);
        QVERIFY(!m_form->isVisible());
    }

    void commaLocaleReadsAndShowsItsOwnNumbers() {
        m_f = std::make_unique<ConsoleFixture>(',');
        m_form = nullptr;
        m_f->program.canisterTable = {Canister(3, "Lamp Black")};
        open();
        QCOMPARE(edit("Usize")->text(), QString("29,574"));
        addColorant(0, "12,5");
        QCOMPARE(recipeText(), QString("Lamp Black - 12,5; "));
        QCOMPARE(m_f->program.recipeColorants[0].amount, 12.5);
        press("CommandExit");
        QCOMPARE(m_f->program.currentRecipe.unitSize, 29.574);
        QCOMPARE(m_f->program.currentRecipe.unitFraction, 48.0);
        open();
        edit("Usize")->setText("29.574"); // a point is no decimal separator here
        press("CommandExit");
        QCOMPARE(m_f->dialogs.messages().size(), 1);
        QCOMPARE(m_f->program.currentRecipe.unitSize, 29.574);
    }

    void composedRecipeIsDispensedWithTheDriversQuestionAnswered() {
        m_f->program.canisterTable.clear();
        m_f->installDriver();
        m_f->installIcons();
        QVERIFY(m_f->start());
        QVERIFY(!m_f->button("Command16")->isEnabled());

        // "Create" opens the screen modally; compose while it is open.
        bool composed = false;
        guitest::WhenVisible("RecipeForm", [&](QWidget* w) {
            m_form = static_cast<RecipeForm*>(w);
            QVERIFY(m_form->isModal());
            addColorant(3, "12");  // Lamp Black
            addColorant(4, "4,5"); // not a number here: refused with a message
            addColorant(4, "4.5"); // Phthalo Blue
            combo("Prod")->setCurrentIndex(4);
            combo("CanType")->setCurrentIndex(1);
            check("PunchCheck")->setChecked(true);
            combo("PunchSel")->setCurrentIndex(1); // Ask Confirm
            composed = true;
            press("CommandExit");
        });
        m_f->click("Command15");
        QVERIFY(composed);
        QVERIFY(m_f->program.recipePresent);
        QVERIFY(m_f->button("Command16")->isEnabled());
        QCOMPARE(m_f->dialogs.messages().size(), 1);

        const double blackBefore = m_f->program.canisterTable[3].contentMl;
        auto seen = guitest::AnswerMessage("Ok");
        const size_t mark = m_f->mark();
        m_f->click("Command16");
        QVERIFY(seen->answered);
        QCOMPARE(seen->title, QString("Dispenser Asking Confirmation 3/202"));
        QVERIFY(seen->text.startsWith("Place the can under the nozzle.\n"));
        QCOMPARE(seen->captions, (QStringList{"Ok", "Cancel", "", "", ""}));
        QVERIFY(m_f->logged(mark, "@CNX 4 12 5 4.5"));
        QVERIFY(m_f->logged(mark, "@PNC 1"));
        QVERIFY(m_f->logged(mark, "Button=4"));
        QCOMPARE(m_f->since(mark).back(), std::string("Dosing completed."));
        QVERIFY(m_f->program.canisterTable[3].contentMl < blackBefore);
        QVERIFY(m_f->program.canisterTable[3].dosedUl > 0);
        QTRY_VERIFY(!m_f->program.messageWindowOpen);

        // Answering Cancel makes the driver decline the dosing.
        seen = guitest::AnswerMessage("Cancel");
        const size_t again = m_f->mark();
        m_f->click("Command16");
        QVERIFY(seen->answered);
        QVERIFY(m_f->logged(again, "Button=8"));
        QCOMPARE(m_f->since(again).back(), std::string("Dosing Failed."));
    }
};

QTEST_MAIN(TestRecipeForm)
#include "tst_recipeform.moc"
