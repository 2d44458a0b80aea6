#include "ui/dialogs.h"

#include "ui/screenfit.h"
#include "ui/textedge.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace qelp::ui {

namespace {
const char* const kLastFileKey = "FileDialog/LastFile";
}

QtDialogs::QtDialogs(QString settingsPath) : m_settingsPath(std::move(settingsPath)) {}

QString QtDialogs::inputBox(QWidget* parent, const QString& prompt, const QString& title,
                            const QString& defaultText) {
    bool ok = false;
    QString answer =
        QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, defaultText, &ok);
    return ok ? answer : QString();
}

std::unique_ptr<QDialog> MakeMessageBox(QWidget* parent, const QString& text) {
    // Not a QMessageBox: that grows with its text, and a long one (the canister sizes of a
    // large machine) pushes its OK button off the screen. Here the text scrolls inside a box
    // that is never larger than the screen.
    auto box = std::make_unique<QDialog>(parent);
    QDialog* dialog = box.get();
    dialog->setObjectName(QStringLiteral("MessageBox"));
    dialog->setWindowTitle(QString::fromLatin1(kProgramTitle));
    auto* label = new QLabel(ForDisplay(text));
    label->setObjectName(QStringLiteral("MessageText"));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setAccessibleName(label->text());
    auto* area = new QScrollArea;
    area->setObjectName(QStringLiteral("MessageArea"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(label);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(area, 1);
    layout->addWidget(buttons);

    // As wide as the longest line within bounds (longer lines wrap), as tall as the text;
    // then cut to the screen, where the text scrolls.
    const QFontMetrics metrics = label->fontMetrics();
    int longest = 0;
    for (const QString& line : label->text().split(QLatin1Char('\n')))
        longest = std::max(longest, metrics.horizontalAdvance(line));
    const int textWidth =
        std::clamp(longest + 2, metrics.averageCharWidth() * 30, metrics.averageCharWidth() * 80);
    const int scrollBar = dialog->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, area);
    const QMargins margins = layout->contentsMargins();
    const QSize wanted(textWidth + scrollBar + margins.left() + margins.right(),
                       label->heightForWidth(textWidth) + layout->spacing() +
                           buttons->sizeHint().height() + margins.top() + margins.bottom());
    dialog->resize(
        wanted.expandedTo(dialog->minimumSizeHint()).boundedTo(AvailableClientSize(dialog)));
    return box;
}

void QtDialogs::messageBox(QWidget* parent, const QString& text) {
    MakeMessageBox(parent, text)->exec();
}

QString QtDialogs::lastFile() const {
    QSettings settings(m_settingsPath, QSettings::IniFormat);
    return settings.value(QLatin1String(kLastFileKey)).toString();
}

QString QtDialogs::openFile(QWidget* parent, const QString& title) {
    // One dialog for both replay buttons: it opens where the last file was chosen and
    // preselects it. A cancelled dialog reports the empty path.
    QFileDialog dialog(parent, title);
    dialog.setObjectName(QStringLiteral("CommonDialog1"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QString last = lastFile();
    if (!last.isEmpty()) {
        dialog.setDirectory(QFileInfo(last).absolutePath());
        dialog.selectFile(last);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString chosen = dialog.selectedFiles().constFirst();
    QSettings settings(m_settingsPath, QSettings::IniFormat);
    settings.setValue(QLatin1String(kLastFileKey), chosen);
    return chosen;
}

QString QtDialogs::saveFile(QWidget* parent, const QString& title, const QString& suggestedName) {
    return QFileDialog::getSaveFileName(parent, title, suggestedName);
}

} // namespace qelp::ui
