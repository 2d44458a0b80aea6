// The event log and the program's start: the exact bytes of every line, the copy of a file
// into the log, and a log that cannot be written.
#include "frame/eventlog.h"
#include "frame/program.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace qelp;
using namespace qelptest;

namespace {

// Records every status-line text, so that tests can tell which log lines reached it.
class RecordingUi : public NullUiPort {
public:
    void setStatusLine(const std::string& text) override { statusLines.push_back(text); }
    std::vector<std::string> statusLines;
};

// A host whose clock ticks one second per reading, so each line shows when it was taken.
class TickingHost : public TestHost {
public:
    using TestHost::TestHost;
    std::string LocalTimestamp() override {
        char buf[32];
        std::snprintf(buf, sizeof buf, "2026-12-06 10:00:%02d", m_tick++ % 60);
        return buf;
    }

private:
    int m_tick = 0;
};

// A program whose log goes to <dir>/qelpserver.log, started with StartProgram.
struct LogFixture {
    LogFixture() : host(dir.path()), program(host, ui) { StartProgram(program); }
    TempDir dir;
    TickingHost host;
    RecordingUi ui;
    Program program;
    std::string log() const { return ReadFile(program.logFilePath); }
};

// True when some descriptor of this process is open on the file.
bool HeldOpen(const std::string& path) {
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0)
        return false;
    bool found = false;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (dirent* e = ::readdir(d)) {
            struct stat st {};
            std::string fd = std::string("/proc/self/fd/") + e->d_name;
            if (e->d_name[0] != '.' && ::stat(fd.c_str(), &st) == 0 && st.st_ino == target.st_ino &&
                st.st_dev == target.st_dev)
                found = true;
        }
        ::closedir(d);
    }
    return found;
}

} // namespace

TEST(ProgramStart, WritesTheFirstLineToTheLogBesideTheProgram) {
    ProgramFixture f;
    EXPECT_EQ(f.program.programDirectory, f.dir.path());
    EXPECT_EQ(f.program.logFilePath, f.dir.file("qelpserver.log"));
    EXPECT_EQ(f.logText(), "2026-12-06 10:00:00 > QELP Server started!\r\n");
    EXPECT_EQ(f.ui.statusLine, "QELP Server started!");
    EXPECT_FALSE(f.program.recipePresent);
}

TEST(ProgramStart, TouchesNothingButTheLog) {
    ProgramFixture f;
    // No registry store read into existence, no command directory, no other file.
    std::vector<std::string> names;
    if (DIR* d = ::opendir(f.dir.path().c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        ::closedir(d);
    }
    EXPECT_EQ(names, std::vector<std::string>{"qelpserver.log"});
    EXPECT_FALSE(f.program.driverRunning);
    EXPECT_EQ(f.program.driverExeName, "");
}

TEST(ProgramStart, TheLogIsNamedAfterTheProgramWithoutItsExtension) {
    struct Case {
        const char* program;
        const char* log;
    };
    for (Case c : {Case{"qelpserver", "qelpserver.log"}, Case{"QELPServer.exe", "QELPServer.log"},
                   Case{"my.server.bin", "my.server.log"}}) {
        TempDir dir;
        TestHost host(dir.path(), c.program);
        FakeUi ui;
        Program program(host, ui);
        StartProgram(program);
        EXPECT_EQ(program.logFilePath, dir.file(c.log)) << c.program;
        EXPECT_EQ(ReadFile(dir.file(c.log)), "2026-12-06 10:00:00 > QELP Server started!\r\n");
    }
}

TEST(ProgramStart, ARestartAppendsToTheExistingLog) {
    TempDir dir;
    WriteFile(dir.file("qelpserver.log"), "earlier line\r\n");
    for (int run = 0; run < 2; ++run) {
        TestHost host(dir.path());
        FakeUi ui;
        Program program(host, ui);
        StartProgram(program);
    }
    EXPECT_EQ(ReadFile(dir.file("qelpserver.log")),
              "earlier line\r\n"
              "2026-12-06 10:00:00 > QELP Server started!\r\n"
              "2026-12-06 10:00:00 > QELP Server started!\r\n");
}

TEST(WriteLogLine, AppendsOneTimeStampedLineAndShowsTheMessage) {
    LogFixture f;
    WriteLogLine(f.program, "Clean command created");
    WriteLogLine(f.program, "Gr\xFCn ; > [x]");
    EXPECT_EQ(f.log(), "2026-12-06 10:00:00 > QELP Server started!\r\n"
                       "2026-12-06 10:00:01 > Clean command created\r\n"
                       "2026-12-06 10:00:02 > Gr\xFCn ; > [x]\r\n");
    EXPECT_EQ(f.ui.statusLines,
              (std::vector<std::string>{"QELP Server started!", "Clean command created",
                                        "Gr\xFCn ; > [x]"}));
}

TEST(WriteLogLine, AnEmptyMessageEndsInTheMarkerAndClearsTheStatusLine) {
    LogFixture f;
    WriteLogLine(f.program, "");
    EXPECT_EQ(f.log(), "2026-12-06 10:00:00 > QELP Server started!\r\n"
                       "2026-12-06 10:00:01 > \r\n");
    EXPECT_EQ(f.ui.statusLines.back(), "");
}

TEST(WriteLogLine, TheLogIsNotHeldOpenBetweenLines) {
    LogFixture f;
    WriteLogLine(f.program, "one");
    EXPECT_FALSE(HeldOpen(f.program.logFilePath));
    // Another program may move the log away between lines: the next line starts a new one.
    ASSERT_EQ(::rename(f.program.logFilePath.c_str(), f.dir.file("old.log").c_str()), 0);
    WriteLogLine(f.program, "two");
    EXPECT_EQ(f.log(), "2026-12-06 10:00:02 > two\r\n");
    EXPECT_EQ(ReadFile(f.dir.file("old.log")), "2026-12-06 10:00:00 > QELP Server started!\r\n"
                                               "2026-12-06 10:00:01 > one\r\n");
}

TEST(LogFileContents, CopiesEachLineWithItsOwnTimeStampBetweenTheMarkers) {
    LogFixture f;
    const std::string file = f.dir.file("cmd.dat");
    WriteFile(file, "@RUN\r\n@EXT CLEAN 3\r\n@END\r\n");
    LogFileContents(f.program, file);
    EXPECT_EQ(f.log(), "2026-12-06 10:00:00 > QELP Server started!\r\n"
                       "2026-12-06 10:00:01 > Logging data in file: " +
                           file +
                           "\r\n"
                           "2026-12-06 10:00:02 > @RUN\r\n"
                           "2026-12-06 10:00:03 > @EXT CLEAN 3\r\n"
                           "2026-12-06 10:00:04 > @END\r\n"
                           "2026-12-06 10:00:05 > End of logged data.\r\n");
    // The copied lines do not reach the status line; the closing marker does.
    EXPECT_EQ(f.ui.statusLines,
              (std::vector<std::string>{"QELP Server started!", "Logging data in file: " + file,
                                        "End of logged data."}));
}

TEST(LogFileContents, LinesEndAtCrLfLoneCrOrLf) {
    LogFixture f;
    const std::string file = f.dir.file("result.dat");
    WriteFile(file, "a\r\nb\rc\nd\r\r\ne\n\nf");
    LogFileContents(f.program, file);
    std::vector<std::string> messages;
    for (const std::string& line : SplitCrLf(f.log()))
        messages.push_back(line.substr(line.find(" > ") + 3));
    EXPECT_EQ(messages, (std::vector<std::string>{"QELP Server started!",
                                                  "Logging data in file: " + file, "a", "b", "c",
                                                  "d", "", "e", "", "f", "End of logged data."}));
}

TEST(LogFileContents, TheFileBytesAreCopiedUnchanged) {
    LogFixture f;
    const std::string file = f.dir.file("msg.dat");
    WriteFile(file, "[Message]\r\nText=Gr\xFCn \x80 5 \t>\r\n");
    LogFileContents(f.program, file);
    EXPECT_NE(f.log().find("2026-12-06 10:00:03 > Text=Gr\xFCn \x80 5 \t>\r\n"), std::string::npos);
}

TEST(LogFileContents, AnEmptyFileGivesOnlyTheMarkers) {
    LogFixture f;
    const std::string file = f.dir.file("empty.dat");
    WriteFile(file, "");
    LogFileContents(f.program, file);
    EXPECT_EQ(f.log(), "2026-12-06 10:00:00 > QELP Server started!\r\n"
                       "2026-12-06 10:00:01 > Logging data in file: " +
                           file +
                           "\r\n"
                           "2026-12-06 10:00:02 > End of logged data.\r\n");
}

TEST(LogFileContents, AMissingFileIsReportedBetweenTheMarkers) {
    LogFixture f;
    for (const std::string& path : {f.dir.file("missing.dat"), f.dir.path()}) {
        const size_t before = f.log().size();
        LogFileContents(f.program, path);
        std::vector<std::string> added = SplitCrLf(f.log().substr(before));
        ASSERT_EQ(added.size(), 3u) << path;
        EXPECT_EQ(added[0].substr(19), " > Logging data in file: " + path);
        EXPECT_EQ(added[1].substr(19), " > - Error: No file found....");
        EXPECT_EQ(added[2].substr(19), " > End of logged data.");
        EXPECT_EQ(f.ui.statusLines.back(), "End of logged data.");
    }
}

TEST(LogFailure, AMissingLogDirectoryDropsTheLineButNotTheStatusLine) {
    TempDir dir;
    TestHost host(dir.file("gone/"));
    RecordingUi ui;
    Program program(host, ui);
    StartProgram(program);
    WriteLogLine(program, "next");
    WriteFile(dir.file("cmd.dat"), "@RUN\r\n");
    LogFileContents(program, dir.file("cmd.dat"));
    EXPECT_FALSE(Exists(dir.file("gone")));
    EXPECT_EQ(ui.statusLines,
              (std::vector<std::string>{"QELP Server started!", "next",
                                        "Logging data in file: " + dir.file("cmd.dat"),
                                        "End of logged data."}));
}

TEST(LogFailure, AReadOnlyProgramDirectoryDoesNotEndTheProgram) {
    TempDir dir;
    const std::string programDir = dir.file("ro/");
    ASSERT_EQ(::mkdir(programDir.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    WriteFile(dir.file("cmd.dat"), "@RUN\r\n@END\r\n");
    ASSERT_EQ(::chmod(dir.file("cmd.dat").c_str(), 0644), 0);
    int rc = RunInChild(
        [&] {
            TestHost host(programDir);
            RecordingUi ui;
            Program program(host, ui);
            StartProgram(program);
            WriteLogLine(program, "still running");
            LogFileContents(program, dir.file("cmd.dat"));
            const std::vector<std::string> expected = {
                "QELP Server started!", "still running",
                "Logging data in file: " + dir.file("cmd.dat"), "End of logged data."};
            return ui.statusLines == expected ? 0 : 1;
        },
        true);
    EXPECT_EQ(rc, 0);
    EXPECT_FALSE(Exists(programDir + "qelpserver.log"));
}

TEST(LogFailure, ALinkPlantedAtTheLogPathIsNotWrittenThrough) {
    TempDir dir;
    WriteFile(dir.file("victim"), "precious");
    ASSERT_EQ(::symlink(dir.file("victim").c_str(), dir.file("qelpserver.log").c_str()), 0);
    TestHost host(dir.path());
    RecordingUi ui;
    Program program(host, ui);
    StartProgram(program);
    EXPECT_EQ(ReadFile(dir.file("victim")), "precious");
    EXPECT_EQ(ui.statusLines, std::vector<std::string>{"QELP Server started!"});
}
