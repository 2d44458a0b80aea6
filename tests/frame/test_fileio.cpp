// The file primitives: whole-file reads, atomic replacement through a temporary file and a
// rename, appends that refuse symbolic links, removal and the existence queries.
#include "frame/fileio.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace qelp;
using namespace qelptest;

namespace {

// Names in the directory other than "." and "..", sorted.
std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..")
                names.push_back(n);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

bool IsSymlink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

const std::string kBinary = std::string("line 1\r\nGr\xFCn\0tail\rlast", 23);

} // namespace

TEST(FileRead, ReadsEveryByte) {
    TempDir dir;
    WriteFile(dir.file("a"), kBinary);
    std::string out;
    ASSERT_TRUE(fileio::ReadFileBytes(dir.file("a"), out));
    EXPECT_EQ(out, kBinary);

    WriteFile(dir.file("empty"), "");
    out = "stale";
    EXPECT_TRUE(fileio::ReadFileBytes(dir.file("empty"), out));
    EXPECT_EQ(out, "");
}

TEST(FileRead, MissingFilesAndDirectoriesFailWithEmptyOutput) {
    TempDir dir;
    std::string out = "stale";
    EXPECT_FALSE(fileio::ReadFileBytes(dir.file("missing"), out));
    EXPECT_EQ(out, "");
    out = "stale";
    EXPECT_FALSE(fileio::ReadFileBytes(dir.path(), out));
    EXPECT_EQ(out, "");
}

TEST(FileRead, AFifoUnderAFileNameDoesNotBlockTheReader) {
    // Nobody writes to the fifo: a reader that opens it blocking would hang for ever.
    TempDir dir;
    const std::string fifo = dir.file("result.dat");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    int rc = RunInChild(
        [&] {
            std::string out;
            return fileio::ReadFileBytes(fifo, out) ? 1 : 0;
        },
        false, 10);
    EXPECT_EQ(rc, 0) << "128+14 means the read blocked until the alarm";
}

TEST(FileReplace, CreatesAndReplacesWithExactlyTheBytes) {
    TempDir dir;
    const std::string path = dir.file("cmd.dat");
    ASSERT_TRUE(fileio::WriteFileReplacing(path, kBinary));
    EXPECT_EQ(ReadFile(path), kBinary);
    ASSERT_TRUE(fileio::WriteFileReplacing(path, "short"));
    EXPECT_EQ(ReadFile(path), "short");
    ASSERT_TRUE(fileio::WriteFileReplacing(path, ""));
    EXPECT_EQ(ReadFile(path), "");
    EXPECT_TRUE(fileio::IsRegularFile(path));
}

TEST(FileReplace, ReplacesByRenameAndLeavesNoTemporaryFile) {
    TempDir dir;
    const std::string path = dir.file("registry.reg");
    WriteFile(path, "old content");
    const ino_t before = InodeOf(path);
    ASSERT_TRUE(fileio::WriteFileReplacing(path, "new content"));
    // A new inode under the name: the content was never rewritten in place, so a reader
    // holding the old file sees it whole and a reader opening the name sees the new one whole.
    EXPECT_NE(InodeOf(path), before);
    EXPECT_EQ(ReadFile(path), "new content");
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"registry.reg"});
}

TEST(FileReplace, NewFilesGetTheUsualPermissions) {
    TempDir dir;
    mode_t old = ::umask(022);
    bool ok = fileio::WriteFileReplacing(dir.file("f"), "x");
    ::umask(old);
    ASSERT_TRUE(ok);
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("f").c_str(), &st), 0);
    // Not the 0600 of a bare temporary file: the driver, maybe another user, reads it.
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    // A replaced file keeps the permissions it had.
    ASSERT_EQ(::chmod(dir.file("f").c_str(), 0600), 0);
    ASSERT_TRUE(fileio::WriteFileReplacing(dir.file("f"), "y"));
    ASSERT_EQ(::stat(dir.file("f").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(FileReplace, APlantedSymlinkIsReplacedNotWrittenThrough) {
    TempDir dir;
    const std::string victim = dir.file("victim");
    WriteFile(victim, "precious");
    const std::string path = dir.file("cmd.dat");
    ASSERT_EQ(::symlink(victim.c_str(), path.c_str()), 0);
    ASSERT_TRUE(fileio::WriteFileReplacing(path, "command"));
    EXPECT_EQ(ReadFile(victim), "precious");
    EXPECT_FALSE(IsSymlink(path));
    EXPECT_EQ(ReadFile(path), "command");
}

TEST(FileReplace, FailsWithoutDamageWhenTheDirectoryIsMissingOrReadOnly) {
    TempDir dir;
    EXPECT_FALSE(fileio::WriteFileReplacing(dir.file("nodir/f"), "x"));
    EXPECT_FALSE(fileio::WriteFileReplacing(dir.path(), "x")); // a path ending in '/'
    EXPECT_FALSE(fileio::WriteFileReplacing("", "x"));

    const std::string ro = dir.file("ro");
    ASSERT_EQ(::mkdir(ro.c_str(), 0755), 0);
    WriteFile(ro + "/f", "old");
    ASSERT_EQ(::chmod(ro.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    int rc = RunInChild([&] { return fileio::WriteFileReplacing(ro + "/f", "new") ? 1 : 0; }, true);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ReadFile(ro + "/f"), "old");
    EXPECT_EQ(Entries(ro), std::vector<std::string>{"f"});
}

TEST(FileCopy, CopiesBytesAndReplacesTheTarget) {
    TempDir dir;
    WriteFile(dir.file("from"), kBinary);
    WriteFile(dir.file("to"), "previous, longer content");
    ASSERT_TRUE(fileio::CopyFileReplacing(dir.file("from"), dir.file("to")));
    EXPECT_EQ(ReadFile(dir.file("to")), kBinary);
    EXPECT_EQ(ReadFile(dir.file("from")), kBinary);
}

TEST(FileCopy, AMissingSourceLeavesTheTargetAlone) {
    TempDir dir;
    WriteFile(dir.file("to"), "keep");
    EXPECT_FALSE(fileio::CopyFileReplacing(dir.file("missing"), dir.file("to")));
    EXPECT_EQ(ReadFile(dir.file("to")), "keep");
    EXPECT_FALSE(fileio::CopyFileReplacing(dir.path(), dir.file("to"))); // a directory
    EXPECT_EQ(ReadFile(dir.file("to")), "keep");
}

TEST(FileCopy, ASymlinkAtTheTargetIsReplaced) {
    TempDir dir;
    WriteFile(dir.file("victim"), "precious");
    WriteFile(dir.file("from"), "data");
    ASSERT_EQ(::symlink(dir.file("victim").c_str(), dir.file("to").c_str()), 0);
    ASSERT_TRUE(fileio::CopyFileReplacing(dir.file("from"), dir.file("to")));
    EXPECT_EQ(ReadFile(dir.file("victim")), "precious");
    EXPECT_FALSE(IsSymlink(dir.file("to")));
    EXPECT_EQ(ReadFile(dir.file("to")), "data");
}

TEST(FileAppend, CreatesThenAppends) {
    TempDir dir;
    const std::string log = dir.file("qelpserver.log");
    ASSERT_TRUE(fileio::AppendBytes(log, "one\r\n"));
    ASSERT_TRUE(fileio::AppendBytes(log, std::string("t\0o\r\n", 5)));
    EXPECT_EQ(ReadFile(log), std::string("one\r\nt\0o\r\n", 10));
}

TEST(FileAppend, RefusesSymlinksEvenDanglingOnes) {
    TempDir dir;
    WriteFile(dir.file("victim"), "precious");
    ASSERT_EQ(::symlink(dir.file("victim").c_str(), dir.file("log").c_str()), 0);
    EXPECT_FALSE(fileio::AppendBytes(dir.file("log"), "line\r\n"));
    EXPECT_EQ(ReadFile(dir.file("victim")), "precious");

    // A dangling link must not create its target either.
    ASSERT_EQ(::symlink(dir.file("created").c_str(), dir.file("log2").c_str()), 0);
    EXPECT_FALSE(fileio::AppendBytes(dir.file("log2"), "line\r\n"));
    EXPECT_FALSE(Exists(dir.file("created")));
}

TEST(FileAppend, FailsInAMissingDirectory) {
    TempDir dir;
    EXPECT_FALSE(fileio::AppendBytes(dir.file("nodir/log"), "x"));
    EXPECT_FALSE(Exists(dir.file("nodir")));
}

TEST(FileRemove, RemovesFilesAndLinksButNotDirectories) {
    TempDir dir;
    WriteFile(dir.file("f"), "x");
    EXPECT_TRUE(fileio::RemoveFile(dir.file("f")));
    EXPECT_FALSE(Exists(dir.file("f")));
    EXPECT_FALSE(fileio::RemoveFile(dir.file("f"))); // already gone

    WriteFile(dir.file("target"), "x");
    ASSERT_EQ(::symlink(dir.file("target").c_str(), dir.file("link").c_str()), 0);
    EXPECT_TRUE(fileio::RemoveFile(dir.file("link")));
    EXPECT_FALSE(Exists(dir.file("link")));
    EXPECT_TRUE(Exists(dir.file("target")));

    ASSERT_TRUE(fileio::MakeDirectory(dir.file("sub")));
    EXPECT_FALSE(fileio::RemoveFile(dir.file("sub")));
    EXPECT_TRUE(fileio::IsDirectory(dir.file("sub")));
    EXPECT_FALSE(fileio::RemoveFile(""));
}

TEST(FileQueries, RegularFilesAndDirectoriesAreToldApart) {
    TempDir dir;
    WriteFile(dir.file("f"), "x");
    ASSERT_TRUE(fileio::MakeDirectory(dir.file("d")));
    EXPECT_FALSE(fileio::MakeDirectory(dir.file("d"))); // exists already
    ASSERT_EQ(::symlink(dir.file("f").c_str(), dir.file("lf").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("none").c_str(), dir.file("dangling").c_str()), 0);

    EXPECT_TRUE(fileio::IsRegularFile(dir.file("f")));
    EXPECT_TRUE(fileio::IsRegularFile(dir.file("lf")));
    EXPECT_FALSE(fileio::IsRegularFile(dir.file("d")));
    EXPECT_FALSE(fileio::IsRegularFile(dir.file("dangling")));
    EXPECT_FALSE(fileio::IsRegularFile(dir.file("none")));
    EXPECT_FALSE(fileio::IsRegularFile(""));

    EXPECT_TRUE(fileio::IsDirectory(dir.file("d")));
    EXPECT_TRUE(fileio::IsDirectory(dir.file("d/")));
    EXPECT_FALSE(fileio::IsDirectory(dir.file("f")));
    EXPECT_FALSE(fileio::IsDirectory(dir.file("none/")));
    EXPECT_FALSE(fileio::IsDirectory(""));
}

TEST(FileStamp, ChangesWhenTheFileIsReplaced) {
    TempDir dir;
    const std::string path = dir.file("f");
    EXPECT_EQ(fileio::StampOf(path).size, -1);
    WriteFile(path, "abc");
    fileio::FileStamp first = fileio::StampOf(path);
    EXPECT_EQ(first.size, 3);
    EXPECT_EQ(fileio::StampOf(path), first);
    ASSERT_TRUE(fileio::WriteFileReplacing(path, "abd")); // same size, new file
    EXPECT_NE(fileio::StampOf(path), first);
}

TEST(HostFiles, DeleteFileAtAnswersZeroOnlyWhenAFileWasDeleted) {
    TempDir dir;
    TestHost host(dir.path());
    WriteFile(dir.file("cmd.sig"), "");
    EXPECT_EQ(host.DeleteFileAt(dir.file("cmd.sig")), 0);
    EXPECT_FALSE(Exists(dir.file("cmd.sig")));
    EXPECT_EQ(host.DeleteFileAt(dir.file("cmd.sig")), 1); // a missing file is a failure
    ASSERT_TRUE(host.CreateDirectoryAt(dir.file("sub")));
    EXPECT_EQ(host.DeleteFileAt(dir.file("sub")), 1);
    EXPECT_TRUE(host.DirectoryExists(dir.file("sub/")));
}

TEST(HostFiles, ExistenceQueriesTellFilesFromDirectories) {
    TempDir dir;
    TestHost host(dir.path());
    WriteFile(dir.file("result.dat"), "x");
    ASSERT_TRUE(host.CreateDirectoryAt(dir.file("ServerCmd")));
    EXPECT_TRUE(host.FileExists(dir.file("result.dat")));
    EXPECT_FALSE(host.FileExists(dir.file("ServerCmd")));
    EXPECT_FALSE(host.FileExists(dir.file("missing")));
    EXPECT_TRUE(host.DirectoryExists(dir.file("ServerCmd/")));
    EXPECT_FALSE(host.DirectoryExists(dir.file("result.dat")));
    EXPECT_FALSE(host.DirectoryExists(dir.file("missing/")));
}
