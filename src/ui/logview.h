#pragma once
// LogView, "Event Log": the event log as it grows. It opens on the log's last lines and reads
// further back on demand, follows new lines within a moment of their writing (file-system
// notification), filters by a text and by "Errors only", can pause following, and copies the
// selected lines.
#include "console/viewlogic.h"
#include "ui/viewwindow.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QFileSystemWatcher;
class QLineEdit;
class QListView;
class QPushButton;

namespace qelp::ui {

class LogLinesModel;

class LogView : public ViewWindow {
    Q_OBJECT
public:
    // How many lines opening the view and each "Earlier Lines" read.
    static constexpr size_t kPageLines = 2000;

    LogView(const std::string& logPath, const QString& settingsPath, QWidget* owner);
    ~LogView() override;

    // The lines shown, after the filter (UTF-8).
    std::vector<std::string> shownLines() const;
    QListView* list() const { return m_list; }

public slots:
    void readNew();
    void readEarlier();
    void copySelection();

private:
    void applyFilter();
    void watch();

    std::string m_path;
    LogTail m_tail;
    LogLinesModel* m_model = nullptr;
    QFileSystemWatcher* m_watcher = nullptr;
    QLineEdit* m_filter = nullptr;
    QCheckBox* m_errorsOnly = nullptr;
    QPushButton* m_pause = nullptr;
    QPushButton* m_earlier = nullptr;
    QListView* m_list = nullptr;
};

} // namespace qelp::ui
