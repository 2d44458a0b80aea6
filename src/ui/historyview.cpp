#include "ui/historyview.h"

#include "console/dispenses.h"
#include "console/recipelogic.h"
#include "frame/program.h"
#include "ui/dialogs.h"
#include "ui/textedge.h"

#include <QAbstractTableModel>
#include <QDateEdit>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace qelp::ui {

// The query's records as a table, read by pages as the view draws them: opening 100,000
// records costs their ids, not the records.
class HistoryModel : public QAbstractTableModel {
public:
    HistoryModel(HistoryStore& store, char decimalSeparator, QObject* parent)
        : QAbstractTableModel(parent), m_pages(store), m_separator(decimalSeparator) {}

    bool load(const HistoryFilter& filter) {
        beginResetModel();
        const bool ok = m_pages.load(filter);
        endResetModel();
        return ok;
    }
    HistoryPages& pages() const { return m_pages; }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_pages.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 7; }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        static const char* const headings[] = {"Time",      "Product", "Base Paint", "Can Type",
                                               "Colorants", "Result",  "Outcome"};
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 6)
            return {};
        return QString::fromLatin1(headings[section]);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole))
            return {};
        const DispenseRecord* r = m_pages.at(static_cast<size_t>(index.row()));
        if (!r)
            return {};
        switch (index.column()) {
        case 0:
            return QString::fromStdString(FormatLocalTime(r->time));
        case 1:
            return FromCore(r->recipe.product);
        case 2:
            return FromCore(r->recipe.basePaint);
        case 3:
            return FromCore(r->recipe.canType);
        case 4:
            return FromCore(RecipeText(r->colorants, m_separator));
        case 5:
            return r->resultCode == kResultNotSent ? QVariant(QStringLiteral("not sent"))
                                                   : QVariant(r->resultCode);
        default:
            return FromCore(r->outcome);
        }
    }

private:
    mutable HistoryPages m_pages; // reading a page is what drawing a cell asks for
    char m_separator;
};

namespace {
template <typename W> W* Named(W* widget, const char* name, const QString& accessibleName) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setAccessibleName(accessibleName);
    return widget;
}
} // namespace

HistoryView::HistoryView(Program& program, HistoryStore& store, Dialogs& dialogs,
                         std::function<void()> recipeLoaded, const QString& settingsPath,
                         QWidget* owner)
    : ViewWindow(QStringLiteral("DispenseHistory"), QStringLiteral("Dispense History"),
                 settingsPath, QSize(860, 480), owner),
      m_program(program), m_store(store), m_dialogs(dialogs),
      m_recipeLoaded(std::move(recipeLoaded)) {
    m_model = new HistoryModel(store, program.session.decimalSeparator, this);
    const QDate today = QDate::currentDate();
    m_from = Named(new QDateEdit(today.addDays(-30), this), "From", QStringLiteral("From"));
    m_to = Named(new QDateEdit(today, this), "To", QStringLiteral("To"));
    for (QDateEdit* edit : {m_from, m_to}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    }
    m_text = Named(new QLineEdit(this), "Find", QStringLiteral("Product, base or colorant"));
    m_text->setPlaceholderText(m_text->accessibleName());
    m_text->setClearButtonEnabled(true);
    m_table = Named(new QTableView(this), "Dispenses", QStringLiteral("Dispenses"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    // Fitting the columns measures this many rows, not every row of the history.
    m_table->verticalHeader()->setResizeContentsPrecision(int(HistoryPages::kPageRows / 2));
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_note = Named(new QLabel(this), "Note", QString());
    m_note->setTextFormat(Qt::PlainText);
    auto* exportButton = Named(new QPushButton(QStringLiteral("Export CSV…"), this), "ExportCsv",
                               QStringLiteral("Export CSV"));
    m_again = Named(new QPushButton(QStringLiteral("Dispense Again"), this), "DispenseAgain",
                    QStringLiteral("Dispense Again"));

    auto* filters = new QHBoxLayout;
    for (auto [text, widget] :
         {std::pair{"&From:", static_cast<QWidget*>(m_from)}, {"&To:", m_to}, {"F&ind:", m_text}}) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        label->setBuddy(widget);
        filters->addWidget(label);
        filters->addWidget(widget, widget == m_text ? 1 : 0);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_note, 1);
    buttons->addWidget(exportButton);
    buttons->addWidget(m_again);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);

    // Typing runs the query once the operator pauses, not at every key.
    m_debounce = new QTimer(this);
    m_debounce->setSingleShot(true);
    m_debounce->setInterval(150);
    connect(m_debounce, &QTimer::timeout, this, &HistoryView::reload);
    connect(m_text, &QLineEdit::textChanged, m_debounce, qOverload<>(&QTimer::start));
    connect(m_from, &QDateEdit::dateChanged, this, &HistoryView::reload);
    connect(m_to, &QDateEdit::dateChanged, this, &HistoryView::reload);
    connect(exportButton, &QPushButton::clicked, this, &HistoryView::exportCsv);
    connect(m_again, &QPushButton::clicked, this, &HistoryView::dispenseAgain);
    connect(m_table, &QTableView::doubleClicked, this, &HistoryView::dispenseAgain);
}

HistoryView::~HistoryView() = default;

size_t HistoryView::rowCount() const {
    return m_model->pages().size();
}

const DispenseRecord* HistoryView::record(size_t row) const {
    return m_model->pages().at(row);
}

void HistoryView::reload() {
    m_debounce->stop();
    HistoryFilter filter;
    filter.from = QDateTime(m_from->date(), QTime(0, 0)).toSecsSinceEpoch();
    filter.until = QDateTime(m_to->date().addDays(1), QTime(0, 0)).toSecsSinceEpoch();
    filter.text = ToCore(m_text->text());
    const bool ok = m_model->load(filter);
    m_table->resizeColumnsToContents();
    m_note->setText(ok ? QStringLiteral("%1 dispenses").arg(rowCount())
                       : QStringLiteral("The history cannot be read: %1")
                             .arg(QString::fromStdString(m_store.lastError())));
    m_note->setAccessibleName(m_note->text());
}

void HistoryView::exportCsv() {
    const QString path =
        m_dialogs.saveFile(this, QStringLiteral("Export CSV"), QStringLiteral("dispenses.csv"));
    if (path.isEmpty())
        return;
    // Page by page, so that the file, not the memory, holds the whole history.
    QFile file(path);
    auto write = [&file](const std::string& bytes) {
        return file.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
    };
    const bool opened = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    const bool ok = opened && write(HistoryCsv({})) &&
                    m_model->pages().forEachPage([&](const std::vector<DispenseRecord>& rows) {
                        return write(HistoryCsv(rows, false));
                    });
    const QString why = !opened || file.error() != QFileDevice::NoError
                            ? file.errorString()
                            : QString::fromStdString(m_store.lastError());
    m_note->setText(ok ? QStringLiteral("Exported %1 dispenses to %2").arg(rowCount()).arg(path)
                       : QStringLiteral("Cannot write %1: %2").arg(path, why));
    m_note->setAccessibleName(m_note->text());
}

void HistoryView::dispenseAgain() {
    const QModelIndexList selected = m_table->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    // The recipe belongs to the command in flight until it ends.
    if (m_program.session.commandInFlight) {
        m_note->setText(QStringLiteral("Busy: a command is still running; try again after it."));
        m_note->setAccessibleName(m_note->text());
        return;
    }
    const DispenseRecord* chosen = record(static_cast<size_t>(selected.first().row()));
    if (!chosen) {
        m_note->setText(QStringLiteral("The history cannot be read: %1")
                            .arg(QString::fromStdString(m_store.lastError())));
        m_note->setAccessibleName(m_note->text());
        return;
    }
    const std::vector<std::string> missing = LoadDispenseRecord(m_program, *chosen);
    QString note = QStringLiteral("Loaded into the recipe: press \"Dispense!\" to send it.");
    if (!missing.empty()) {
        QStringList names;
        for (const std::string& name : missing)
            names << FromCore(name);
        note += QStringLiteral(" Not in the canister table, left out: %1.")
                    .arg(names.join(QStringLiteral(", ")));
    }
    m_note->setText(note);
    m_note->setAccessibleName(note);
    if (m_recipeLoaded)
        m_recipeLoaded();
}

} // namespace qelp::ui
