#include "ui/msgwindow.h"

#include "console/consoletext.h"
#include "frame/program.h"
#include "frame/textutil.h"
#include "ui/screenfit.h"
#include "ui/textedge.h"

#include <QCloseEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace qelp::ui {

MsgWindow::MsgWindow(Program& program, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_program(program) {
    // A fixed dialog: a title and a close box, no minimise or maximise box, no resizing.
    // As a window owned by the console it stays out of the task bar.
    setObjectName(QStringLiteral("MsgWindow"));
    setModal(false);
    setSizeGripEnabled(false);

    m_image = new QLabel(this);
    m_image->setObjectName(QStringLiteral("Image1"));
    m_image->setFixedSize(32, 32);
    m_image->setAlignment(Qt::AlignCenter);
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("Label1"));
    m_label->setTextFormat(Qt::PlainText);
    m_label->setWordWrap(true);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_textArea = new QScrollArea(this);
    m_textArea->setFrameShape(QFrame::NoFrame);
    m_textArea->setWidgetResizable(true);
    m_textArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_textArea->setWidget(m_label);

    auto* top = new QHBoxLayout;
    top->addWidget(m_image, 0, Qt::AlignTop);
    top->addWidget(m_textArea, 1);

    // Slot 0 sits at the right end, slot 4 at the left; hidden slots take no room, so the
    // offered buttons line up from the right.
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    const int buttonWidth = fontMetrics().horizontalAdvance(QStringLiteral("Yes to All")) + 24;
    for (int slot = kSlotCount - 1; slot >= 0; --slot) {
        auto* button = new QPushButton(this);
        button->setObjectName(QStringLiteral("Command1_%1").arg(slot));
        button->setMinimumWidth(buttonWidth);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, slot] { onSlotClicked(slot); });
        m_slots[static_cast<size_t>(slot)] = button;
        buttons->addWidget(button);
    }
    for (int slot = 0; slot + 1 < kSlotCount; ++slot)
        setTabOrder(m_slots[static_cast<size_t>(slot)], m_slots[static_cast<size_t>(slot + 1)]);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    connect(m_timer, &QTimer::timeout, this, &MsgWindow::onTimer);
    m_slotBits.fill(-1);
}

MsgWindow::~MsgWindow() {
    // A window that goes away is no longer open.
    m_program.message.messageWindowOpen = false;
}

void MsgWindow::loadAndShow() {
    m_program.message.messageWindowOpen = true;
    m_timer->stop();
    arrangeButtons();
    showTitleAndIcon();
    m_textArea->hide();
    m_label->hide();
    m_label->clear();
    m_label->setAccessibleName(QString());
    if (!m_program.message.messageText.empty()) {
        m_label->setText(ForDisplay(FromCore(m_program.message.messageText)));
        // Assistive technology reads the message itself, exactly as shown.
        m_label->setAccessibleName(m_label->text());
        m_label->show();
        m_textArea->show();
    }
    m_timer->setInterval(kTimerIntervalMs);
    m_timer->start();
    // The console disables itself while the driver starts; the driver may still ask then,
    // so the message window is enabled on its own (a window may be, unlike a child control).
    setEnabled(true);
    fitText();
    adjustSize();
    show();
    FitToScreen(this);
    raise();
    activateWindow();
    if (m_slots[0]->isVisible())
        m_slots[0]->setFocus();
}

void MsgWindow::fitText() {
    // Room for several lines of 48 characters, more when the text needs it; the scroll bar's
    // room is kept, so a text that scrolls wraps as one that does not.
    const int textWidth = fontMetrics().averageCharWidth() * 48;
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_textArea);
    const int natural =
        std::max(fontMetrics().lineSpacing() * 4, m_label->heightForWidth(textWidth));
    m_textArea->setFixedSize(textWidth + scrollBar, natural);
    // A fixed window: when it would be taller than the screen, the text gives way.
    const int excess = sizeHint().height() - AvailableClientSize(this).height();
    if (excess > 0)
        m_textArea->setFixedHeight(std::max(fontMetrics().lineSpacing() * 4, natural - excess));
}

void MsgWindow::arrangeButtons() {
    for (QPushButton* button : m_slots) {
        button->setText(QString());
        button->setAccessibleName(QString());
        button->hide();
    }
    m_slotBits = ArrangeButtonBits(m_program.message.messageButtons);
    for (size_t slot = 0; slot < m_slots.size(); ++slot) {
        if (m_slotBits[slot] < 0)
            continue;
        const QString caption = QString::fromLatin1(ButtonCaption(m_slotBits[slot]).c_str());
        m_slots[slot]->setText(caption);
        m_slots[slot]->setAccessibleName(caption);
        m_slots[slot]->show();
    }
}

void MsgWindow::showTitleAndIcon() {
    m_image->hide();
    m_image->clear();
    const int32_t type = m_program.message.messageDialogType;
    if (type > 0) {
        const std::string path = m_program.files.resourceDirectory + "graphics" + kPathSeparator +
                                 std::to_string(type) + ".ico";
        QPixmap icon;
        if (QFile::exists(FromPath(path)) && icon.load(FromPath(path))) {
            m_image->setPixmap(
                icon.scaled(m_image->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
            m_image->show();
        }
    }
    setWindowTitle(FromCore(
        MessageWindowTitle(type, m_program.link.dispenserFamily, m_program.message.messageCode)));
}

void MsgWindow::onSlotClicked(int slot) {
    const int bit = m_slotBits[static_cast<size_t>(slot)];
    if (bit < 0)
        return;
    m_program.message.replyPending = int32_t{1} << bit;
    close();
}

void MsgWindow::onTimer() {
    if (!m_program.message.messageWindowCloseRequest)
        return;
    m_timer->stop();
    close();
}

void MsgWindow::reject() {
    close();
}

void MsgWindow::closeEvent(QCloseEvent* event) {
    // The operator's close box alone does not end a question; only an answer
    // or the program's close request does.
    if (m_program.message.replyPending == 0 && !m_program.message.messageWindowCloseRequest) {
        event->ignore();
        return;
    }
    m_timer->stop();
    m_program.message.messageWindowOpen = false;
    event->accept();
}

} // namespace qelp::ui
