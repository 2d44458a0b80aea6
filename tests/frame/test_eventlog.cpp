// The event log and the program's start: exact line bytes, the copy of a file into the log,
// and a log that cannot be written.
#include "frame/eventlog.h"
#include "frame/program.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace qelp;
using namespace qelptest;

namespace {

using Lines = std::vector<std::string>;

const std::string kAt = "2026-12-06 10:00:00 > ", kStarted = kAt + "QELP Server started!\r\n";

} // namespace

TEST(EventLog, ExactLineBytesTheCopyOfAFileBetweenMarkersAndTheLogOfEachStart) {
    ProgramFixture f;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(f.dir.path()), {}), 1);
    WriteLogLine(f.program, "Gr\xFCn ; > [x]");
    WriteLogLine(f.program, "");
    EXPECT_EQ(f.logText(), kStarted + kAt + "Gr\xFCn ; > [x]\r\n" + kAt + "\r\n");
    EXPECT_EQ(f.ui.statusLines, (Lines{"QELP Server started!", "Gr\xFCn ; > [x]", ""}));
    // The log may be moved away between lines: the next line starts a new one.
    ASSERT_EQ(::rename(f.program.files.logFilePath.c_str(), f.dir.file("old.log").c_str()), 0);
    WriteLogLine(f.program, "two");
    EXPECT_EQ(f.logText(), kAt + "two\r\n");
    ProgramFixture g; // a fresh log for the copies of a file
    const std::string file = g.dir.file("cmd.dat");
    WriteFile(file, "@RUN\r\nGr\xFCn \x80\t>\r\n");
    LogFileContents(g.program, file);
    EXPECT_EQ(g.logText(), kStarted + kAt + "Logging data in file: " + file + "\r\n" + kAt +
                               "@RUN\r\n" + kAt + "Gr\xFCn \x80\t>\r\n" + kAt +
                               "End of logged data.\r\n");
    // The copied lines do not reach the status line; the markers do.
    EXPECT_EQ(g.ui.statusLines, (Lines{"QELP Server started!", "Logging data in file: " + file,
                                       "End of logged data."}));
    // Messages (without time stamps) that one copy of path adds to the log.
    auto copy = [&](const std::string& path) {
        const size_t before = g.logMessages().size();
        LogFileContents(g.program, path);
        return g.messagesFrom(before);
    };
    WriteFile(file, "a\r\nb\rc\nd\r\r\ne\n\nf");
    EXPECT_EQ(copy(file), (Lines{"Logging data in file: " + file, "a", "b", "c", "d", "", "e", "",
                                 "f", "End of logged data."}));
    WriteFile(file, "");
    EXPECT_EQ(copy(file), (Lines{"Logging data in file: " + file, "End of logged data."}));
    for (const std::string& path : {g.dir.file("missing.dat"), g.dir.path()})
        EXPECT_EQ(copy(path), (Lines{"Logging data in file: " + path, "- Error: No file found....",
                                     "End of logged data."}));

    TempDir dir; // named after the program without its last extension
    WriteFile(dir.file("My.Server.log"), "earlier line\r\n");
    for (int run = 0; run < 2; ++run) {
        TestHost host(dir.path(), "My.Server.exe");
        Program program(host, g.ui, g.clock);
        StartProgram(program);
    }
    EXPECT_EQ(ReadFile(dir.file("My.Server.log")), "earlier line\r\n" + kStarted + kStarted);
}

TEST(LogFailure, AnUnwritableLogStillUpdatesTheStatusLine) {
    TempDir dir;
    WriteFile(dir.file("cmd.dat"), "@RUN\r\n");
    ASSERT_EQ(::mkdir(dir.file("ro").c_str(), 0555), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    for (const std::string& programDir : {dir.file("gone/"), dir.file("ro/")}) {
        int rc = RunInChild(
            [&] {
                TestHost host(programDir);
                FakeUi ui;
                Program program(host, ui);
                StartProgram(program);
                WriteLogLine(program, "next");
                LogFileContents(program, dir.file("cmd.dat"));
                return int(ui.statusLines != Lines{"QELP Server started!", "next",
                                                   "Logging data in file: " + dir.file("cmd.dat"),
                                                   "End of logged data."});
            },
            true);
        EXPECT_EQ(rc, 0) << programDir;
        EXPECT_FALSE(Exists(programDir + "qelpserver.log"));
    }
    EXPECT_FALSE(Exists(dir.file("gone")));
}

// A full disk (a file size limit here) loses whole appends and never leaves half a line for
// the next one to be glued onto; the copy of a file keeps its marker lines whole.
TEST(LogFailure, AFullDiskLosesWholeLinesAndNeverTearsOne) {
    ProgramFixture f;
    const std::string file = f.dir.file("cmd.dat");
    WriteFile(file, "@RUN\r\n@EXT RESET\r\n@END\r\n");
    const int rc = RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN); // a short write instead of the signal's end
        // Room for the first marker line and 10 bytes more.
        const std::string marker = "Logging data in file: " + file;
        rlimit full{f.logText().size() + 22 + marker.size() + 2 + 10, RLIM_INFINITY};
        if (::setrlimit(RLIMIT_FSIZE, &full) != 0)
            return 2;
        WriteLogLine(f.program, std::string(100, 'x'));
        LogFileContents(f.program, file);
        rlimit room{RLIM_INFINITY, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &room);
        WriteLogLine(f.program, "after");
        const std::regex line(kAt + "(.*)");
        Lines messages;
        std::smatch m;
        for (const std::string& text : SplitCrLf(f.logText())) {
            if (!std::regex_match(text, m, line))
                return 1;
            messages.push_back(m[1]);
        }
        return int(messages != Lines{"QELP Server started!", marker, "after"});
    });
    EXPECT_EQ(rc, 0) << f.logText();
}
