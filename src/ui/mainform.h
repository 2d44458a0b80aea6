#pragma once
// MainForm: the console window. It gathers the operator's input, calls one core operation
// per action and reports the outcome as a log line; the operations do all the talking to
// the driver.
#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace qelp {
class DispenseRecorder;
class Program;
} // namespace qelp

namespace qelp::ui {

class Dialogs;
class RecipeForm;
class CanColConf;
class HistoryView;
class LevelsView;
class LogView;

// What the status line says when a command action is pressed while a command still waits
// for the driver.
inline constexpr const char* kBusyStatusLine =
    "Busy: a command is still running; wait for it or press Abort.";
// What it says when the operator closes the console while a command waits: the window stays,
// since without it nobody could answer the driver or end the wait.
inline constexpr const char* kBusyCloseStatusLine =
    "Busy: a command is still running; press Abort first, then close the console.";

class MainForm : public QWidget {
    Q_OBJECT
public:
    MainForm(Program& program, Dialogs& dialogs, QWidget* parent = nullptr);
    ~MainForm() override;

    // Prepares the console once, on first use: empties the recipe and canister lists,
    // sets the title and applies the enable rules.
    void ensureLoaded();
    // The status area (Label1); text as Windows-1252 bytes. Loads the window first.
    void setStatusText(const std::string& text);
    void setAbortEnabled(bool enabled);

    // The enable rules, and while the driver runs the two list syncs.
    void refreshConsole();
    void syncCanisterList();
    void syncColorantList();

    // The two modal screens, created on first use and kept (null before).
    RecipeForm* recipeForm() const { return m_recipeForm; }
    CanColConf* canColConf() const { return m_canColConfForm; }

    // The views of the View menu: opened (created on first use) and raised; each stays
    // until the console closes.
    LevelsView* openLevels();
    HistoryView* openHistory();
    LogView* openEventLog();
    // Help, "About QELPServer": not modal, so it never holds a command's wait.
    QWidget* openAbout();
    // Every dosing command is recorded here.
    DispenseRecorder& dispenseRecorder();

protected:
    // Refused while a command is in flight (kBusyCloseStatusLine); otherwise the window
    // closes and leaves the driver and the exchange files as they are.
    void closeEvent(QCloseEvent* event) override;

private slots:
    void startQelp();
    void stopQelp();
    void abortCommand();
    void reset();
    void hardReset();
    void machineFeatures();
    void maintenanceWindow();
    void sendCommandFile();
    void sendCommandFileList();
    void getVersion();
    void clean();
    void purge();
    void prepare();
    void fillSet();
    void fillAdd();
    void cleanCol();
    void purgeCol();
    void setColorantName();
    void create();
    void dispense();
    void canColConfClicked();
    void showCanisterInfo();

private:
    void buildControls();
    void buildMenu();
    void log(const std::string& line);
    // True (and `line` on the status area) when a command is still in flight.
    bool refuseWhileBusy(const char* line = kBusyStatusLine);
    // The canister text of Combo1; nothing when it is empty. A text that is no canister
    // number is logged and also gives nothing.
    bool readCanister(int32_t& number, std::string& text);
    void fill(bool set);
    std::string canisterText() const;
    std::string colorantText() const;

    Program& m_program;
    Dialogs& m_dialogs;
    bool m_loaded = false;

    QPushButton* m_start = nullptr;        // Command1
    QPushButton* m_stop = nullptr;         // Command2
    QPushButton* m_abort = nullptr;        // Command13
    QLabel* m_status = nullptr;            // Label1
    QPushButton* m_cancolButton = nullptr; // cmd_cancol
    QGroupBox* m_dispenserGroup = nullptr;
    QGroupBox* m_canisterGroup = nullptr;
    QGroupBox* m_recipeGroup = nullptr;
    QComboBox* m_canisterBox = nullptr;
    QComboBox* m_colorantBox = nullptr;
    QPushButton* m_dispense = nullptr; // Command16

    std::unique_ptr<DispenseRecorder> m_recorder;
    QPointer<LevelsView> m_levels;
    QPointer<HistoryView> m_history;
    QPointer<LogView> m_eventLog;
    QPointer<QWidget> m_about;

    RecipeForm* m_recipeForm = nullptr;
    CanColConf* m_canColConfForm = nullptr;
};

} // namespace qelp::ui
