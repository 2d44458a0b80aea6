// The console's machine-information queries and the replay of prepared command files.
#include "ui/mainform.h"

#include "console/commandlist.h"
#include "console/consoletext.h"
#include "frame/program.h"
#include "operations/operations.h"
#include "ui/dialogs.h"
#include "ui/textedge.h"

namespace qelp::ui {

void MainForm::machineFeatures() {
    if (refuseWhileBusy())
        return;
    // Always all four, whatever the outcome of the one before.
    for (MachineInfoKind kind : {MachineInfoKind::Features, MachineInfoKind::PumpCount,
                                 MachineInfoKind::CanisterCount, MachineInfoKind::CanisterSize}) {
        if (!QueryMachineInfo(m_program, kind)) {
            log(MachineInfoFailureLine(kind));
            continue;
        }
        log(MachineInfoSuccessLine(kind));
        m_dialogs.messageBox(this, FromCore(MachineInfoText(m_program, kind)));
    }
    refreshConsole();
}

void MainForm::getVersion() {
    if (refuseWhileBusy())
        return;
    if (QueryVersion(m_program)) {
        log("Version completed.");
        m_dialogs.messageBox(this, FromCore(VersionText(m_program)));
    } else {
        log("Version Failed.");
    }
    refreshConsole();
}

void MainForm::sendCommandFile() {
    if (refuseWhileBusy())
        return;
    // A cancelled dialog reports the empty path, which the send refuses: that is logged as a
    // failed sending like any other.
    const std::string path =
        ToPath(m_dialogs.openFile(this, QStringLiteral("Select a QELP commandfile")));
    log(SendPreparedCommandFile(m_program, path) ? "Commandfile sending completed."
                                                 : "Commandfile sending failed...");
    refreshConsole();
}

void MainForm::sendCommandFileList() {
    if (refuseWhileBusy())
        return;
    const std::string list =
        ToPath(m_dialogs.openFile(this, QStringLiteral("Select a QELP commandfileList")));
    // A cancelled dialog (empty path) is a list that is not there.
    if (list.empty() || !m_program.host.FileExists(list)) {
        log("Commandfile list " + list + " not found.");
        refreshConsole();
        return;
    }
    log("Processing commandfileList " + list);
    // The list is read whole and closed at once, so it is never held open while its files
    // are sent; another program may rewrite it meanwhile and the next run reads it afresh.
    std::string text;
    if (!m_program.host.ReadWholeFile(list, text)) {
        log("Commandfile list " + list + " could not be read.");
        refreshConsole();
        return;
    }
    int counted = 0;
    int errors = 0;
    for (const std::string& entry : ParseCommandFileList(text)) {
        ++counted;
        // The entry as written: a relative path is found from the current directory. A name
        // with wild cards names no file here and counts as an invalid entry.
        if (!m_program.host.FileExists(entry)) {
            ++errors;
            log("Commandfile list " + list + " contains invalid file entry: " + entry);
        } else if (SendPreparedCommandFile(m_program, entry)) {
            log("Commandfile " + entry + " sending completed.");
        } else {
            ++errors;
            log("Commandfile " + entry + " sending failed...");
        }
    }
    log("Finished Processing commandfileList " + list);
    log("The list contained " + std::to_string(counted) + " commandfiles, with " +
        std::to_string(errors) + " error(s)");
    refreshConsole();
}

} // namespace qelp::ui
