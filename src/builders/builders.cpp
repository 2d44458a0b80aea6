#include "builders/builders.h"

#include "exchange/exchange.h"
#include "frame/eventlog.h"
#include "frame/program.h"

#include <string>

namespace qelp {

namespace {

// Builds the frame around one command line and logs the builder's line once the file is
// on disk. Without a file nothing is logged but WriteCommandFile's error line.
bool BuildSingleLine(Program& program, const std::string& commandLine, const char* createdLine) {
    if (!WriteCommandFile(program, {commandLine}))
        return false;
    WriteLogLine(program, createdLine);
    return true;
}

} // namespace

bool WriteCommandFile(Program& program, const std::vector<std::string>& commandLines) {
    const std::string path = ServerCommandFile(program);
    if (program.link.serverCommandDirectory.empty()) {
        // The configuration has not been read: the bare name would land in whatever the
        // current directory happens to be.
        WriteLogLine(program,
                     "Error: Cannot write command file (server command directory not configured)");
        return false;
    }

    std::string bytes = "@RUN\r\n";
    for (const std::string& line : commandLines)
        bytes += line + "\r\n";
    bytes += "@END\r\n";

    // Written as a whole through a temporary file: a driver or a copy never sees half a
    // command, and a link planted at the name is replaced rather than written through.
    if (!program.host.WriteWholeFile(path, bytes)) {
        WriteLogLine(program, "Error: Cannot write command file " + path);
        return false;
    }
    return true;
}

bool CreateResetCommand(Program& program, bool hard) {
    return BuildSingleLine(program, hard ? "@EXT RESET HARD" : "@EXT RESET",
                           "Reset command created");
}

bool CreateMachineInfoCommand(Program& program, MachineInfoKind kind) {
    // A kind outside the four known ones leaves the verb with its trailing blank and no
    // keyword; the driver answers it with an error code.
    std::string line = "@EXT MACHINE_INFO ";
    switch (kind) {
    case MachineInfoKind::Features:
        line += "FEATURES";
        break;
    case MachineInfoKind::PumpCount:
        line += "PUMPCOUNT";
        break;
    case MachineInfoKind::CanisterCount:
        line += "CANISTERCOUNT";
        break;
    case MachineInfoKind::CanisterSize:
        line += "CANISTERSIZE";
        break;
    }
    return BuildSingleLine(program, line, "MachineInfo command created");
}

bool CreateVersionCommand(Program& program) {
    return BuildSingleLine(program, "@EXT VERSION", "Version command created");
}

bool CreatePurgeCommand(Program& program, int32_t canister) {
    return BuildSingleLine(program, "@EXT PURGE " + std::to_string(canister),
                           "Purge command created");
}

bool CreatePurgeColCommand(Program& program, const std::string& colorantName) {
    return BuildSingleLine(program, "@EXT PURGECOL " + colorantName, "Purgecol command created");
}

bool CreateCleanCommand(Program& program, int32_t canister) {
    return BuildSingleLine(program, "@EXT CLEAN " + std::to_string(canister),
                           "Clean command created");
}

bool CreateCleanColCommand(Program& program, const std::string& colorantName) {
    return BuildSingleLine(program, "@EXT CLEANCOL " + colorantName, "Cleancol command created");
}

bool CreateFillCanisterCommand(Program& program, FillCanisterMode mode, int32_t canister,
                               int32_t amountMl) {
    const std::string can = std::to_string(canister);
    const std::string amount = std::to_string(amountMl);
    std::vector<std::string> lines;
    switch (mode) {
    case FillCanisterMode::Prepare:
        lines.push_back("@EXT FILLCANISTER PREPARE " + can);
        break;
    case FillCanisterMode::Add:
        lines.push_back("@EXT FILLCANISTER ADD " + can + " " + amount);
        break;
    case FillCanisterMode::Set:
        lines.push_back("@EXT FILLCANISTER SET " + can + " " + amount);
        break;
    }
    // Any other mode writes the bare frame.
    if (!WriteCommandFile(program, lines))
        return false;
    WriteLogLine(program, "FillCanister command created");
    return true;
}

bool CreateShowServiceWindowCommand(Program& program, const std::string& password) {
    return BuildSingleLine(program,
                           password.empty() ? std::string("@EXT SHOWSERVICEWINDOW")
                                            : "@EXT SHOWSERVICEWINDOW " + password,
                           "ShowServiceWindow command created");
}

bool CreateSetCanColNameCommand(Program& program, int32_t canister,
                                const std::string& colorantName) {
    // Quotes inside the name are not escaped: the command language has no escape.
    return BuildSingleLine(
        program, "@EXT SETCANCOLNAME " + std::to_string(canister) + " \"" + colorantName + "\"",
        "Setcancolname command created");
}

} // namespace qelp
