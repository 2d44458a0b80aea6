#pragma once
// HistoryView, "Dispense History": the recorded dispenses, newest first, filtered by a date
// range and a text that matches product, base paint or colorant; the shown rows can be
// exported as CSV, and the selected formula can be loaded into the recipe again.
#include "history/history.h"
#include "ui/viewwindow.h"

#include <functional>

class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;

namespace qelp {
class Program;
}

namespace qelp::ui {

class Dialogs;
class HistoryModel;

class HistoryView : public ViewWindow {
    Q_OBJECT
public:
    // recipeLoaded runs after "Dispense Again" changed the recipe (the console re-applies its
    // enable rules).
    HistoryView(Program& program, HistoryStore& store, Dialogs& dialogs,
                std::function<void()> recipeLoaded, const QString& settingsPath, QWidget* owner);
    ~HistoryView() override;

    // Runs the query again with the present filter.
    void reload();
    size_t rowCount() const;
    // The record shown in that row; nullptr past the end or when it cannot be read. Valid
    // until the next call.
    const DispenseRecord* record(size_t row) const;
    QTableView* table() const { return m_table; }

private slots:
    void exportCsv();
    void dispenseAgain();

private:
    Program& m_program;
    HistoryStore& m_store;
    Dialogs& m_dialogs;
    std::function<void()> m_recipeLoaded;
    HistoryModel* m_model = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QLineEdit* m_text = nullptr;
    QTableView* m_table = nullptr;
    QLabel* m_note = nullptr;
    QPushButton* m_again = nullptr;
    QTimer* m_debounce = nullptr;
};

} // namespace qelp::ui
