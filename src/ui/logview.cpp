#include "ui/logview.h"

#include "frame/textutil.h"
#include "ui/textedge.h"

#include <QAbstractListModel>
#include <QCheckBox>
#include <QClipboard>
#include <QFileSystemWatcher>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

namespace qelp::ui {

// Every line read so far, and the indexes of those the filter lets through.
class LogLinesModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_shown.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole))
            return {};
        return QString::fromStdString(line(index.row()));
    }
    const std::string& line(int row) const { return m_lines[m_shown[static_cast<size_t>(row)]]; }

    void setFilter(LogFilter filter) {
        beginResetModel();
        m_filter = std::move(filter);
        m_shown.clear();
        for (size_t i = 0; i < m_lines.size(); ++i)
            if (LogLineMatches(m_lines[i], m_filter))
                m_shown.push_back(i);
        endResetModel();
    }
    void append(std::vector<std::string> lines) {
        std::vector<size_t> added;
        for (std::string& line : lines) {
            if (LogLineMatches(line, m_filter))
                added.push_back(m_lines.size());
            m_lines.push_back(std::move(line));
        }
        if (added.empty())
            return;
        const int first = static_cast<int>(m_shown.size());
        beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
        m_shown.insert(m_shown.end(), added.begin(), added.end());
        endInsertRows();
    }
    // Earlier lines go in front: every index moves, so the filter runs again.
    void prepend(std::vector<std::string> lines) {
        m_lines.insert(m_lines.begin(), std::make_move_iterator(lines.begin()),
                       std::make_move_iterator(lines.end()));
        setFilter(m_filter);
    }
    void clear() {
        m_lines.clear();
        setFilter(m_filter);
    }

private:
    std::deque<std::string> m_lines;
    std::vector<size_t> m_shown;
    LogFilter m_filter;
};

LogView::LogView(const std::string& logPath, const QString& settingsPath, QWidget* owner)
    : ViewWindow(QStringLiteral("EventLog"), QStringLiteral("Event Log"), settingsPath,
                 QSize(900, 520), owner),
      m_path(logPath), m_tail(logPath) {
    m_model = new LogLinesModel(this);
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("Filter"));
    m_filter->setAccessibleName(QStringLiteral("Filter"));
    m_filter->setPlaceholderText(QStringLiteral("Filter"));
    m_filter->setClearButtonEnabled(true);
    m_errorsOnly = new QCheckBox(QStringLiteral("&Errors only"), this);
    m_errorsOnly->setObjectName(QStringLiteral("ErrorsOnly"));
    m_errorsOnly->setAccessibleName(QStringLiteral("Errors only"));
    m_pause = new QPushButton(QStringLiteral("&Pause"), this);
    m_pause->setObjectName(QStringLiteral("Pause"));
    m_pause->setAccessibleName(QStringLiteral("Pause following"));
    m_pause->setCheckable(true);
    auto* copy = new QPushButton(QStringLiteral("&Copy"), this);
    copy->setObjectName(QStringLiteral("Copy"));
    copy->setAccessibleName(QStringLiteral("Copy selected lines"));
    m_earlier = new QPushButton(QStringLiteral("Ea&rlier Lines"), this);
    m_earlier->setObjectName(QStringLiteral("EarlierLines"));
    m_earlier->setAccessibleName(QStringLiteral("Earlier lines"));
    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("Lines"));
    m_list->setAccessibleName(QStringLiteral("Event log lines"));
    m_list->setModel(m_model);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setUniformItemSizes(true); // every line one row high: long logs scroll fast
    m_list->setFont(QFont(QStringLiteral("monospace")));

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_filter, 1);
    bar->addWidget(m_errorsOnly);
    bar->addWidget(m_earlier);
    bar->addWidget(m_pause);
    bar->addWidget(copy);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_list, 1);

    connect(m_filter, &QLineEdit::textChanged, this, &LogView::applyFilter);
    connect(m_errorsOnly, &QCheckBox::toggled, this, &LogView::applyFilter);
    connect(m_earlier, &QPushButton::clicked, this, &LogView::readEarlier);
    connect(copy, &QPushButton::clicked, this, &LogView::copySelection);
    connect(m_pause, &QPushButton::toggled, this, [this](bool paused) {
        m_pause->setText(paused ? QStringLiteral("&Resume") : QStringLiteral("&Pause"));
        m_pause->setAccessibleName(paused ? QStringLiteral("Resume following")
                                          : QStringLiteral("Pause following"));
        if (!paused)
            readNew();
    });
    auto* copyKey = new QShortcut(QKeySequence::Copy, m_list);
    connect(copyKey, &QShortcut::activated, this, &LogView::copySelection);
    // Scrolling to the top reads further back, as a pager does.
    connect(m_list->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (value == 0 && m_list->verticalScrollBar()->maximum() > 0 && !m_tail.atStart())
            readEarlier();
    });

    m_watcher = new QFileSystemWatcher(this);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &LogView::readNew);
    // The log may not exist yet, or be replaced: its directory says when it (re)appears.
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &LogView::readNew);
    m_model->append(m_tail.readEarlier(kPageLines));
    m_earlier->setEnabled(!m_tail.atStart());
    watch();
    m_list->scrollToBottom();
}

LogView::~LogView() = default;

void LogView::watch() {
    const QString file = FromPath(m_path);
    if (!m_watcher->files().contains(file))
        m_watcher->addPath(file); // fails quietly while there is no file
    const QString dir = FromPath(DirectoryOf(m_path));
    if (!dir.isEmpty() && !m_watcher->directories().contains(dir))
        m_watcher->addPath(dir);
}

void LogView::readNew() {
    watch();
    if (m_pause->isChecked())
        return;
    bool restarted = false;
    std::vector<std::string> lines = m_tail.readNew(restarted);
    if (restarted) {
        m_model->clear();
        lines = m_tail.readEarlier(kPageLines);
        m_earlier->setEnabled(!m_tail.atStart());
    }
    if (lines.empty())
        return;
    m_model->append(std::move(lines));
    m_list->scrollToBottom();
}

void LogView::readEarlier() {
    std::vector<std::string> lines = m_tail.readEarlier(kPageLines);
    m_earlier->setEnabled(!m_tail.atStart());
    if (lines.empty())
        return;
    const int before = m_model->rowCount({});
    m_model->prepend(std::move(lines));
    // Keep the line that was at the top in view.
    m_list->scrollTo(m_model->index(m_model->rowCount({}) - before, 0),
                     QAbstractItemView::PositionAtTop);
}

void LogView::applyFilter() {
    m_model->setFilter({m_filter->text().toStdString(), m_errorsOnly->isChecked()});
    if (!m_pause->isChecked())
        m_list->scrollToBottom();
}

std::vector<std::string> LogView::shownLines() const {
    std::vector<std::string> lines;
    for (int row = 0; row < m_model->rowCount({}); ++row)
        lines.push_back(m_model->line(row));
    return lines;
}

void LogView::copySelection() {
    QModelIndexList rows = m_list->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList lines;
    for (const QModelIndex& row : rows)
        lines << QString::fromStdString(m_model->line(row.row()));
    if (!lines.isEmpty())
        QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

} // namespace qelp::ui
