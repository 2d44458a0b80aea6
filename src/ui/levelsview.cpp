#include "ui/levelsview.h"

#include "console/viewlogic.h"
#include "frame/program.h"
#include "ui/textedge.h"

#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace qelp::ui {

LevelBar::LevelBar(const CanisterState& canister, char decimalSeparator, QWidget* parent)
    : QWidget(parent), m_canister(canister),
      m_text(FromCore(LevelText(canister, decimalSeparator))) {
    setObjectName(QStringLiteral("LevelBar%1").arg(canister.canId));
    setAccessibleName(m_text);
    setFocusPolicy(Qt::TabFocus); // reachable from the keyboard, so its name is read out
    setToolTip(m_text);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize LevelBar::sizeHint() const {
    return {fontMetrics().horizontalAdvance(m_text) + 24, fontMetrics().height() + 12};
}

QColor LevelBar::fillColour() const {
    switch (LevelStateOf(m_canister)) {
    case LevelState::Minimum:
        return {211, 47, 47};
    case LevelState::Warning:
        return {245, 166, 35};
    case LevelState::Normal:
        break;
    }
    return {67, 160, 71};
}

void LevelBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    painter.fillRect(frame, palette().base());
    const double size = m_canister.sizeMl;
    QRect fill = frame;
    fill.setWidth(static_cast<int>(frame.width() * LevelFraction(m_canister.contentMl, size)));
    painter.fillRect(fill, fillColour());
    // The warning and minimum levels as ticks across the bar.
    painter.setPen(QPen(palette().text().color(), 2, Qt::DashLine));
    for (double level : {m_canister.warnMl, m_canister.minMl}) {
        if (level <= 0 || size <= 0)
            continue;
        const int x = frame.left() + static_cast<int>(frame.width() * LevelFraction(level, size));
        painter.drawLine(x, frame.top(), x, frame.bottom());
    }
    painter.setPen(palette().text().color());
    painter.drawRect(frame);
    painter.drawText(frame.adjusted(6, 0, -6, 0), Qt::AlignVCenter | Qt::AlignLeft, m_text);
    if (hasFocus())
        painter.drawRect(frame.adjusted(2, 2, -2, -2));
}

LevelsView::LevelsView(Program& program, const QString& settingsPath, QWidget* owner)
    : ViewWindow(QStringLiteral("CanisterLevels"), QStringLiteral("Canister Levels"), settingsPath,
                 QSize(420, 360), owner),
      m_program(program) {
    m_empty =
        new QLabel(QStringLiteral("No canister levels: the driver has not answered yet."), this);
    m_empty->setObjectName(QStringLiteral("NoLevels"));
    m_empty->setAccessibleName(m_empty->text());
    auto* rows = new QWidget;
    m_rows = new QVBoxLayout(rows);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setWidget(rows);
    scroll->setAccessibleName(QStringLiteral("Canisters"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_empty);
    layout->addWidget(scroll, 1);
    refresh();
}

void LevelsView::refresh() {
    const std::vector<CanisterState>& table = m_program.canisters.canisterTable;
    if (m_built && table == m_shown)
        return;
    m_built = true;
    m_shown = table;
    while (QLayoutItem* item = m_rows->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const CanisterState& canister : table)
        m_rows->addWidget(new LevelBar(canister, m_program.session.decimalSeparator, this));
    m_rows->addStretch(1);
    m_empty->setVisible(table.empty());
}

} // namespace qelp::ui
