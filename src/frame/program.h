#pragma once
// The program-wide state: one Program object per program run, created by the entry and
// handed to every operation.
#include "frame/clock.h"
#include "frame/host.h"
#include "frame/types.h"
#include "frame/uiport.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qelp {

struct Layout;

// The state one program run shares between its parts, grouped by the part that owns it.
struct ProgramState {
    // Where the program runs and logs. A portable copy keeps everything in its own directory;
    // an installed one writes into a shared data directory and reads its installation data
    // elsewhere (see frame/layout.h). Both start out as the program directory.
    struct Files {
        std::string logFilePath;
        std::string programDirectory; // the executable's directory, ending in kPathSeparator
        std::string programFileName;  // the executable's file name
        // Where everything the program writes lives: the registry store, the event log,
        // ServerCmd (with lastdose.txt) and the dialog settings file. Ends in kPathSeparator.
        std::string dataDirectory;
        // Read-only installation data: graphics/ for the message window. Ends in kPathSeparator.
        std::string resourceDirectory;
    } files;

    // The link to the driver: its configuration, read at every start of the driver, and
    // whether it runs.
    struct LinkSettings {
        std::string driverDirectory;
        std::string driverExeName;
        std::string driverCommandDirectory;
        std::string serverCommandDirectory;
        int32_t dispenserFamily = 0;
        std::string serverVersions;
        std::string clientVersions;
        int32_t activeVersion = 0;
        bool driverRunning = false;
    } link;

    // What the driver answered to the last command.
    struct LastResult {
        int32_t driverResultCode = 0;
        // Commands handed over to the driver since the start: a caller tells by it whether
        // its command got that far, and so whether driverResultCode answers it.
        uint64_t commandsSent = 0;
        std::string commandOutput;
        std::vector<CanisterState> resultCanisters;
        std::vector<std::string> featureLines;
        std::vector<std::string> errorLogLines;
        std::vector<std::string> versionLines;
    } result;

    // The driver's current question and the flags shared by the result wait and the
    // message window.
    struct MessageExchange {
        int32_t messageDialogType = -1;
        std::string messageText;
        int32_t messageButtons = 0;
        int32_t messageCode = -1;
        std::vector<std::string> messageValues;
        int32_t replyPending = 0;
        bool messageWindowOpen = false;
        bool messageWindowCloseRequest = false;
    } message;

    // The console's canister table and the canisters its list shows.
    struct CanisterTables {
        std::vector<CanisterState> canisterTable;
        std::vector<CanisterState> shownCanisters;
    } canisters;

    // The recipe to dispense and the dosing options that go with it.
    struct RecipeOptions {
        DosingRecipe currentRecipe;
        std::vector<RecipeColorant> recipeColorants;
        bool recipePresent = false;
        bool useShelf = false;
        int32_t shelfPre = 0;
        int32_t shelfDose = 0;
        int32_t shelfPost = 0;
        bool sendPunch = false;
        int32_t punchMode = 0;
        bool sendColorantNames = false;
    } recipe;

    // The run itself.
    struct Session {
        // True while a command holds the console's one command turn (see CommandTurn).
        bool commandInFlight = false;
        // The user's decimal separator, taken from the host when the program starts.
        char decimalSeparator = '.';
        // The user's digit-grouping separator (0: none).
        char groupSeparator = 0;
    } session;
};

// Waits and bounds that are ours to choose, or that tests need to shorten. The product
// uses the defaults.
struct Tuning {
    // Busy wait of the start-up reset: five minutes for a fresh driver to get ready.
    int32_t startupResetBusyWaitMs = 300000;
    // Busy wait of every other command.
    int32_t commandBusyWaitMs = 2000;
    // Longest time one result-wait pass blocks when no notification arrives. Each wake-up
    // costs a little CPU on a loaded machine; 20 ms keeps an idle wait well below 1 % of a
    // core, and a driver's end wakes the wait at once anyway.
    int32_t resultWaitFallbackMs = 20;
    // How long start-up waits for a busy driver it terminated to disappear.
    int32_t terminateWaitLimitMs = 10000;
    // How long a new message waits for the previous message window to close.
    int32_t messageCloseWaitLimitMs = 2000;
};

class Program : public ProgramState {
public:
    // Files the host refuses to read are logged as this program's lines.
    Program(Host& host, UiPort& ui, Clock& clock = SystemClock::instance());
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    Host& host;
    UiPort& ui;
    Clock& clock;
    Tuning tuning;
};

// Takes the layout's directories (the system's names) as the program's data and resource
// directories, in the program's code page.
void ApplyLayout(Program& program, const Layout& layout);

// The start-up sequence of the entry, without showing any window: sets recipePresent,
// the log file path (in the data directory), and writes the first log line. A program whose
// data or resources lie outside its own directory names both directories on that line.
void StartProgram(Program& program);
// The state part of preparing the console: empties the recipe and canister lists.
void ResetConsoleState(Program& program);

} // namespace qelp
