#pragma once
// MsgWindow: the small modeless dialog that shows a driver's message and takes the
// operator's answer. It is built afresh from the program's message state each time it is
// shown, and it talks to the result wait only through replyPending, messageWindowOpen and
// messageWindowCloseRequest.
#include <QDialog>

#include <array>

class QLabel;
class QPushButton;
class QScrollArea;
class QTimer;

namespace qelp {
class Program;
}

namespace qelp::ui {

class MsgWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kSlotCount = 5;
    // The close-request check interval.
    static constexpr int kTimerIntervalMs = 25;

    MsgWindow(Program& program, QWidget* parent);
    ~MsgWindow() override;

    // Loads the window from the message state and shows it without waiting.
    void loadAndShow();

    QPushButton* slotButton(int slot) const { return m_slots[static_cast<size_t>(slot)]; }

public slots:
    // Escape and other dialog rejections go through the same rule as the close box.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void onSlotClicked(int slot);
    void onTimer();

private:
    void arrangeButtons();
    void showTitleAndIcon();
    // Sizes the text area to the text, within what the screen leaves for it.
    void fitText();

    Program& m_program;
    QLabel* m_image = nullptr;
    QLabel* m_label = nullptr;
    QScrollArea* m_textArea = nullptr; // holds m_label; a text too long for the screen scrolls
    std::array<QPushButton*, kSlotCount> m_slots{};
    std::array<int, kSlotCount> m_slotBits{};
    QTimer* m_timer = nullptr;
};

} // namespace qelp::ui
