// The console's texts and small decisions, without windows: machine-information texts, the
// canister line, the list synchronisation tests, the fill amount, the recipe texts.
#include "frame/program.h"
#include "ui/consoletext.h"
#include "ui/recipelogic.h"

#include <QTest>

using namespace qelp;
using namespace qelp::ui;

namespace {
CanisterState Canister(int id, const char* name) {
    CanisterState c;
    c.canId = id;
    c.colorantName = name;
    return c;
}
} // namespace

class TestConsoleText : public QObject {
    Q_OBJECT

private slots:
    void featureTextListsFeaturesAndErrorLog() {
        ProgramState p;
        p.commandOutput = "31";
        p.featureLines = {"Model TM-16", "Pumps 16"};
        QCOMPARE(MachineInfoText(p, MachineInfoKind::Features),
                 std::string(
                     "Feature return:\r\nFeature Code: 31\r\n\r\nFeature Text:\r\nModel "
                     "TM-16\r\nPumps 16\r\n\r\nErrorlog:\r\nNo data returned\?\?\?\?\?\?!!!!\r\n"));
        p.featureLines.clear();
        p.errorLogLines = {"E1"};
        p.commandOutput.clear();
        QCOMPARE(MachineInfoText(p, MachineInfoKind::Features),
                 std::string("Feature return:\r\nFeature Code: \r\n\r\nFeature Text:\r\nNo data "
                             "returned\?\?\?\?\?\?!!!!\r\n\r\nErrorlog:\r\nE1\r\n"));
    }

    void countTextsFollowTheOutputDirectly() {
        ProgramState p;
        p.commandOutput = "12";
        QCOMPARE(MachineInfoText(p, MachineInfoKind::PumpCount),
                 std::string("Pumpcount returns:12\r\n"));
        QCOMPARE(MachineInfoText(p, MachineInfoKind::CanisterCount),
                 std::string("Canistercount returns:12\r\n"));
    }

    void canisterSizeTextHasFiveLinesPerCanister() {
        ProgramState p;
        p.commandOutput = "2";
        p.decimalSeparator = ',';
        CanisterState a = Canister(1, "W");
        a.sizeMl = 2000;
        a.warnMl = 300;
        a.minMl = 100;
        a.contentMl = 12.5;
        CanisterState b = Canister(2, "K");
        b.sizeMl = 1000;
        b.contentMl = 0.1 + 0.2;
        p.resultCanisters = {a, b};
        QCOMPARE(MachineInfoText(p, MachineInfoKind::CanisterSize),
                 std::string("CanisterSize return:2\r\n\r\nCanister #1\r\nSizeML: 2000\r\nWarnML: "
                             "300\r\nMin ML: 100\r\nContML: 12,5\r\nCanister #2\r\nSizeML: "
                             "1000\r\nWarnML: 0\r\nMin ML: 0\r\nContML: 0,3\r\n"));
        p.resultCanisters.clear();
        QCOMPARE(MachineInfoText(p, MachineInfoKind::CanisterSize),
                 std::string("CanisterSize return:2\r\n\r\nNo data returned\?\?\?\?\?\?!!!!\r\n"));
    }

    void versionText() {
        ProgramState p;
        p.commandOutput = "4.2.7";
        QCOMPARE(VersionText(p),
                 std::string("Version return:\r\nVersion Code: 4.2.7\r\n\r\nVersion "
                             "Text:\r\nNo data returned\?\?\?\?\?\?!!!!\r\n"));
        p.versionLines = {"qelpsim", "QELP 3"};
        QCOMPARE(VersionText(p),
                 std::string("Version return:\r\nVersion Code: 4.2.7\r\n\r\nVersion "
                             "Text:\r\nqelpsim\r\nQELP 3\r\n"));
    }

    void machineInfoLogLines() {
        QCOMPARE(MachineInfoSuccessLine(MachineInfoKind::CanisterCount),
                 std::string("Machinfo CanisterCount completed."));
        QCOMPARE(MachineInfoFailureLine(MachineInfoKind::PumpCount),
                 std::string("Machinfo Pumpcount failed....."));
    }

    void canisterLineNeedsAKnownNumberAboveZero() {
        ProgramState p;
        CanisterState c = Canister(12, "Red");
        c.sizeMl = 2000;
        c.contentMl = 750;
        c.dosedUl = 2.5;
        p.canisterTable = {Canister(1, "White"), c, Canister(12, "Shadow")};
        QCOMPARE(CanisterInfoText(p, "12").value_or("-"),
                 std::string("Canister# 12 Colorant Red\r\nTotal Size: 2000 Current Level: "
                             "750\r\nLastDosed(ul): 2.5"));
        QCOMPARE(CanisterInfoText(p, "012").value_or("-").substr(0, 13),
                 std::string("Canister# 12 "));
        for (const char* text : {"", "0", "5", "1a", " 1", "-1", "99999999999"})
            QVERIFY2(!CanisterInfoText(p, text), text);
    }

    void canisterListStepTest() {
        const std::vector<CanisterState> table{Canister(3, "a"), Canister(5, "b"),
                                               Canister(7, "c")};
        QVERIFY(CanisterListInStep({"0", "3", "5", "7"}, table));
        QVERIFY(CanisterListInStep({"7", "3", "5"}, table)); // order and "0" do not matter
        QVERIFY(!CanisterListInStep({"0", "3", "5"}, table));
        QVERIFY(!CanisterListInStep({"0", "3", "5", "7", "9"}, table));
        QVERIFY(!CanisterListInStep({"0"}, {}));
        QCOMPARE(CanisterListItems(table), (std::vector<std::string>{"0", "3", "5", "7"}));
        QCOMPARE(CanisterListItems({}), std::vector<std::string>{"0"});
    }

    void colorantListStepTestIgnoresLetterCase() {
        const std::vector<CanisterState> table{Canister(1, "RED"), Canister(2, "Blue"),
                                               Canister(3, "")};
        QVERIFY(ColorantListInStep({"Red", "blue", ""}, table));
        QVERIFY(!ColorantListInStep({"Red", "blue"}, table));
        QVERIFY(!ColorantListInStep({"Red", "blue", "", "Green"}, table));
        QVERIFY(ColorantListInStep({}, {}));
        QVERIFY(!ColorantListInStep({"Red"}, {}));
        QCOMPARE(ColorantListItems(table), (std::vector<std::string>{"RED", "Blue", ""}));
    }

    void fillAmountRoundsHalfToEven_data() {
        QTest::addColumn<QString>("litres");
        QTest::addColumn<char>("separator");
        QTest::addColumn<int>("ml");
        QTest::newRow("half litre") << "0.5" << '.' << 500;
        QTest::newRow("2.5 ml") << "0.0025" << '.' << 2;
        QTest::newRow("3.5 ml") << "0.0035" << '.' << 4;
        QTest::newRow("binary noise") << "2.0005" << '.' << 2000;
        QTest::newRow("comma") << "1,25" << ',' << 1250;
        QTest::newRow("negative") << "-0.1" << '.' << -100;
        QTest::newRow("max") << "2147483.647" << '.' << 2147483647;
    }
    void fillAmountRoundsHalfToEven() {
        QFETCH(QString, litres);
        QFETCH(char, separator);
        QFETCH(int, ml);
        QCOMPARE(FillAmountMl(litres.toStdString(), separator).value_or(-999999), ml);
    }

    void fillAmountRejectsWhatIsNoNumberOfLitres() {
        for (const char* text : {"", "abc", "1.5", "2147483.648", "1e9"}) {
            const char separator = std::string(text) == "1.5" ? ',' : '.';
            QVERIFY2(!FillAmountMl(text, separator), text);
        }
    }

    void shelfAndPunchTexts() {
        for (int v : {0, -1, -2, -3, 5, 100})
            QCOMPARE(ParseShelfMove(ShelfMoveText(v)).value_or(-99), v);
        QCOMPARE(ShelfMoveText(-7), std::string("-7"));
        QCOMPARE(ParseShelfMove("ref plane").value_or(-99), -2);
        QVERIFY(!ParseShelfMove("-7"));
        QVERIFY(!ParseShelfMove(""));
        QCOMPARE(InvalidShelfMoveMessage("abc"),
                 std::string("Invalid shelf move value (abc). NO MOVE will be used!"));
        for (int v : {0, 1, 2})
            QCOMPARE(ParsePunchMode(PunchModeText(v)), v);
        QCOMPARE(PunchModeText(3), std::string());
        QCOMPARE(ParsePunchMode("no confirm"), 2);
        QCOMPARE(ParsePunchMode("sometimes"), 0);
    }

    void recipeTextUsesTheUsersSeparator() {
        const std::vector<RecipeColorant> lines{{1, 12.5, 33, "Black"}, {2, 4, 34, "Red"}};
        QCOMPARE(RecipeText(lines, '.'), std::string("Black - 12.5; Red - 4; "));
        QCOMPARE(RecipeText(lines, ','), std::string("Black - 12,5; Red - 4; "));
        QCOMPARE(RecipeText({}, '.'), std::string());
    }
};

QTEST_MAIN(TestConsoleText)
#include "tst_consoletext.moc"
