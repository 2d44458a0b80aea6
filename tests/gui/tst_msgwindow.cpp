// The message window: button slots, titles, icon, text, the close box and the close timer.
#include "support/consolefixture.h"
#include "ui/consoletext.h"
#include "ui/msgwindow.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>

using qelp::ui::MsgWindow;

class TestMsgWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<guitest::ConsoleFixture> m_f;

    MsgWindow* show(int type, int buttons, const std::string& text = "Text", int code = 345,
                    int family = 12) {
        qelp::Program& p = m_f->program;
        p.messageDialogType = type;
        p.messageButtons = buttons;
        p.messageText = text;
        p.messageCode = code;
        p.dispenserFamily = family;
        p.replyPending = 0;
        p.messageWindowCloseRequest = false;
        m_f->port.showMessageWindow();
        return m_f->port.messageWindow();
    }
    QStringList captions(MsgWindow* w) {
        QStringList list;
        for (int slot = 0; slot < MsgWindow::kSlotCount; ++slot)
            list << (w->slotButton(slot)->isVisible() ? w->slotButton(slot)->text() : QString());
        return list;
    }

private slots:
    void init() { m_f = std::make_unique<guitest::ConsoleFixture>(); }
    void cleanup() { m_f.reset(); }

    void lowestBitsFillTheSlotsFromTheRight() {
        MsgWindow* w = show(4, 3);
        QVERIFY(w->isVisible());
        QVERIFY(m_f->program.messageWindowOpen);
        QCOMPARE(captions(w), (QStringList{"Yes", "No", "", "", ""}));
        QVERIFY(w->slotButton(0)->x() > w->slotButton(1)->x());
        QCOMPARE(w->slotButton(0)->accessibleName(), QString("Yes"));
        QCOMPARE(w->slotButton(0)->width(), w->slotButton(1)->width());

        w = show(4, 2047);
        QCOMPARE(captions(w), (QStringList{"Yes", "No", "Ok", "Cancel", "Abort"}));
        for (int slot = 1; slot < MsgWindow::kSlotCount; ++slot)
            QVERIFY(w->slotButton(slot - 1)->x() > w->slotButton(slot)->x());

        w = show(4, 5 | 4096);
        QCOMPARE(captions(w), (QStringList{"Yes", "Ok", "", "", ""}));
    }

    void pressingAButtonLeavesItsValueAndCloses() {
        MsgWindow* w = show(4, 3);
        QTest::mouseClick(w->slotButton(1), Qt::LeftButton);
        QCOMPARE(m_f->program.replyPending, 2);
        QVERIFY(!w->isVisible());
        QVERIFY(!m_f->program.messageWindowOpen);

        w = show(3, 1024);
        QCOMPARE(captions(w), (QStringList{"Help", "", "", "", ""}));
        w->slotButton(0)->click();
        QCOMPARE(m_f->program.replyPending, 1024);
        QVERIFY(!w->isVisible());
    }

    void aMaskWithoutOfferedBitsShowsNoButton() {
        for (int mask : {0, 2048, 4096 | 8192}) {
            MsgWindow* w = show(1, mask);
            QVERIFY(w->isVisible());
            QCOMPARE(captions(w), (QStringList{"", "", "", "", ""}));
        }
    }

    void eachShowingStartsAfresh() {
        MsgWindow* w = show(4, 2047);
        m_f->program.messageWindowCloseRequest = true;
        QTRY_VERIFY(!w->isVisible());
        w = show(0, 8, "");
        QCOMPARE(captions(w), (QStringList{"Cancel", "", "", "", ""}));
        QCOMPARE(w->slotButton(1)->text(), QString());
        QCOMPARE(w->windowTitle(), QString("12/345"));
        QVERIFY(!w->findChild<QLabel*>("Label1")->isVisible());
        QCOMPARE(m_f->port.messageWindow(), w); // one instance
    }

    void tabOrderStartsAtSlotZero() {
        MsgWindow* w = show(4, 31);
        for (int slot = 0; slot + 1 < MsgWindow::kSlotCount; ++slot) {
            QWidget* next = w->slotButton(slot)->nextInFocusChain();
            QCOMPARE(next, static_cast<QWidget*>(w->slotButton(slot + 1)));
        }
    }

    void titleCarriesTypeFamilyAndCode_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("title");
        QTest::newRow("error") << 2 << 12 << 345 << "Dispenser Error! 12/345";
        QTest::newRow("no code") << 2 << 12 << -1 << "Dispenser Error! 12/-1";
        QTest::newRow("family 0") << 2 << 0 << 345 << "Dispenser Error! /345";
        QTest::newRow("code 0") << 1 << 7 << 0 << "Dispenser Warning! 7/";
        QTest::newRow("information") << 3 << 1 << 2 << "Dispenser Information 1/2";
        QTest::newRow("confirmation") << 4 << 3 << 202 << "Dispenser Asking Confirmation 3/202";
        QTest::newRow("plain") << 0 << 12 << 345 << "12/345";
        QTest::newRow("unknown type") << 9 << 12 << 345 << "12/345";
        QTest::newRow("six digits") << 3 << 123456 << -99 << "Dispenser Information 123456/-99";
    }
    void titleCarriesTypeFamilyAndCode() {
        QFETCH(int, type);
        QFETCH(int, family);
        QFETCH(int, code);
        QFETCH(QString, title);
        QCOMPARE(show(type, 1, "x", code, family)->windowTitle(), title);
    }

    void iconShowsOnlyWhenItsFileExists() {
        // No graphics directory yet: no icon for any type.
        QVERIFY(!show(3, 4)->findChild<QLabel*>("Image1")->isVisible());
        m_f->installIcons();
        for (int type = 1; type <= 4; ++type) {
            QLabel* image = show(type, 4)->findChild<QLabel*>("Image1");
            QVERIFY2(image->isVisible(), qPrintable(QString("type %1").arg(type)));
            QVERIFY(!image->pixmap().isNull());
        }
        QVERIFY(!show(0, 4)->findChild<QLabel*>("Image1")->isVisible());
        std::filesystem::remove(m_f->dir.path() + "graphics/3.ico");
        QVERIFY(!show(3, 4)->findChild<QLabel*>("Image1")->isVisible());
    }

    void textIsShownPlainWithItsLineBreaks() {
        QLabel* label = show(1, 4, "First.\r\nSecond <b>7</b>")->findChild<QLabel*>("Label1");
        QVERIFY(label->isVisible());
        QCOMPARE(label->text(), QString("First.\nSecond <b>7</b>"));
        QCOMPARE(label->textFormat(), Qt::PlainText);
        // Windows-1252 bytes arrive as their characters.
        label = show(1, 4, "Gr\xfcn")->findChild<QLabel*>("Label1");
        QCOMPARE(label->text(), QString::fromUtf8("Grün"));
        QVERIFY(!show(1, 4, "")->findChild<QLabel*>("Label1")->isVisible());
    }

    void closeBoxAloneDoesNothing() {
        MsgWindow* w = show(2, 3);
        QVERIFY(!w->close());
        QVERIFY(w->isVisible());
        QTest::keyClick(w, Qt::Key_Escape);
        QVERIFY(w->isVisible());
        QVERIFY(m_f->program.messageWindowOpen);
        QCOMPARE(m_f->program.replyPending, 0);
        // A reply left by the result wait's side lets the close box through.
        m_f->program.replyPending = 4;
        QVERIFY(w->close());
        QVERIFY(!m_f->program.messageWindowOpen);
    }

    void closeRequestClosesWithinATickWithoutAnswer() {
        MsgWindow* w = show(4, 3);
        auto* timer = w->findChild<QTimer*>("Timer1");
        QVERIFY(timer && timer->isActive());
        QCOMPARE(timer->interval(), 25);
        QTest::qWait(60);
        QVERIFY(w->isVisible()); // ticks without a request change nothing
        m_f->program.messageWindowCloseRequest = true;
        QTRY_VERIFY(!w->isVisible());
        QVERIFY(!timer->isActive());
        QVERIFY(!m_f->program.messageWindowOpen);
        QCOMPARE(m_f->program.replyPending, 0);
    }

    void windowIsAFixedModelessDialog() {
        MsgWindow* w = show(4, 3);
        QVERIFY(!w->isModal());
        const Qt::WindowFlags flags = w->windowFlags();
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QCOMPARE(w->parentWidget(), static_cast<QWidget*>(m_f->form.get()));
    }

    void buttonCaptionsFollowTheBitTable() {
        const char* expected[] = {"Yes",    "No",  "Ok",        "Cancel",     "Abort", "Retry",
                                  "Ignore", "All", "No to All", "Yes to All", "Help"};
        for (int bit = 0; bit <= 10; ++bit)
            QCOMPARE(qelp::ui::ButtonCaption(bit), std::string(expected[bit]));
        QCOMPARE(qelp::ui::ButtonCaption(11), std::string());
        QCOMPARE(qelp::ui::ButtonCaption(-1), std::string());
    }
};

QTEST_MAIN(TestMsgWindow)
#include "tst_msgwindow.moc"
