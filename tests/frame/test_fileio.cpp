// Whole-file reads, atomic replacement, appends that refuse links, removal and queries.
#include "frame/fileio.h"
#include "frame/posixhost.h"
#include "frame/profile.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace qelp;
using namespace qelptest;

namespace {

struct stat Lstat(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

const std::string kBinary = std::string("line 1\r\nGr\xFCn\0tail\rlast", 23);

} // namespace

TEST(FileReplace, ExactBytesByRenameNeverThroughALinkAndFailuresDamageNothing) {
    TempDir dir;
    const std::string path = dir.file("cmd.dat");
    mode_t old = ::umask(022);
    bool ok = fileio::WriteFileReplacing(path, kBinary);
    ::umask(old);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ReadFile(path), kBinary);
    EXPECT_EQ(Lstat(path).st_mode & 0777, 0644u); // not the 0600 of a bare temporary file
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    const ino_t before = Lstat(path).st_ino;
    ASSERT_TRUE(fileio::WriteFileReplacing(path, "short"));
    EXPECT_EQ(ReadFile(path), "short");
    EXPECT_NE(Lstat(path).st_ino, before);        // renamed in, never rewritten in place
    EXPECT_EQ(Lstat(path).st_mode & 0777, 0600u); // a replaced file keeps its permissions
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    // Planted links are replaced, never written through; appends refuse them.
    WriteFile(dir.file("victim"), "precious");
    WriteFile(dir.file("from"), "data"); // a written link: in the builders' tests
    ASSERT_EQ(::symlink(dir.file("victim").c_str(), dir.file("to").c_str()), 0);
    ASSERT_TRUE(fileio::CopyFileReplacing(dir.file("from"), dir.file("to")));
    EXPECT_EQ(ReadFile(dir.file("victim")), "precious");
    EXPECT_FALSE(S_ISLNK(Lstat(dir.file("to")).st_mode));
    EXPECT_EQ(ReadFile(dir.file("to")), "data");
    EXPECT_FALSE(fileio::CopyFileReplacing(dir.file("missing"), dir.file("to")));
    EXPECT_EQ(ReadFile(dir.file("to")), "data"); // a failed copy leaves the target alone
    const std::string log = dir.file("qelpserver.log");
    ASSERT_TRUE(fileio::AppendBytes(log, "one\r\n"));
    ASSERT_TRUE(fileio::AppendBytes(log, std::string("t\0o\r\n", 5)));
    EXPECT_EQ(ReadFile(log), std::string("one\r\nt\0o\r\n", 10));
    ASSERT_EQ(::symlink(dir.file("victim").c_str(), dir.file("log").c_str()), 0);
    EXPECT_FALSE(fileio::AppendBytes(dir.file("log"), "line\r\n"));
    EXPECT_EQ(ReadFile(dir.file("victim")), "precious");
    ASSERT_EQ(::symlink(dir.file("created").c_str(), dir.file("log2").c_str()), 0);
    EXPECT_FALSE(fileio::AppendBytes(dir.file("log2"), "line\r\n"));
    EXPECT_FALSE(Exists(dir.file("created")));
    EXPECT_FALSE(fileio::AppendBytes(dir.file("nodir/log"), "x"));

    // Missing or read-only directories: a failure, and nothing damaged.
    EXPECT_FALSE(fileio::WriteFileReplacing(dir.file("nodir/f"), "x"));
    EXPECT_FALSE(fileio::WriteFileReplacing(dir.path(), "x"));
    const std::string ro = dir.file("ro");
    ASSERT_EQ(::mkdir(ro.c_str(), 0755), 0);
    WriteFile(ro + "/f", "old");
    ASSERT_EQ(::chmod(ro.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    EXPECT_EQ(
        RunInChild([&] { return fileio::WriteFileReplacing(ro + "/f", "new") ? 1 : 0; }, true), 0);
    EXPECT_EQ(ReadFile(ro + "/f"), "old");
}

TEST(FileQueries, ReadRemoveAndExistenceTellFilesLinksFifosAndDirectoriesApart) {
    TempDir dir;
    TestHost host(dir.path());
    WriteFile(dir.file("f"), "x");
    ASSERT_TRUE(host.CreateDirectoryAt(dir.file("d")));
    ASSERT_EQ(::symlink(dir.file("f").c_str(), dir.file("lf").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("none").c_str(), dir.file("dangling").c_str()), 0);
    EXPECT_TRUE(fileio::IsRegularFile(dir.file("lf")));
    EXPECT_FALSE(fileio::IsRegularFile(dir.file("dangling")));
    EXPECT_FALSE(host.FileExists(dir.file("d")));
    EXPECT_TRUE(host.DirectoryExists(dir.file("d/")));
    EXPECT_FALSE(host.DirectoryExists(dir.file("f")));
    EXPECT_EQ(host.DeleteFileAt(dir.file("lf")), 0); // the link goes, its target stays
    EXPECT_TRUE(host.FileExists(dir.file("f")));
    EXPECT_EQ(host.DeleteFileAt(dir.file("f")), 0);
    EXPECT_EQ(host.DeleteFileAt(dir.file("f")), 1); // a missing file is a failure
    EXPECT_EQ(host.DeleteFileAt(dir.file("d")), 1);
    EXPECT_TRUE(host.DirectoryExists(dir.file("d/")));
    WriteFile(dir.file("a"), kBinary);
    std::string out;
    ASSERT_TRUE(fileio::ReadFileBytes(dir.file("a"), out));
    EXPECT_EQ(out, kBinary);
    for (const std::string& bad : {dir.file("missing"), dir.path()}) {
        out = "stale";
        EXPECT_FALSE(fileio::ReadFileBytes(bad, out));
        EXPECT_EQ(out, "");
    }
    const std::string fifo = dir.file("result.dat"); // nobody writes: a reader must not block
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(RunInChild([&] { return int(fileio::ReadFileBytes(fifo, out)); }, false, 10), 0);
}

// Files over the read limit are refused with a notice naming each, and read as missing.
TEST(HostReads, OversizedFilesAndPlantedLinksAreRefusedWithANotice) {
    TempDir dir;
    TestHost host(dir.path());
    std::vector<std::string> notices;
    host.SetFileNotice([&](const std::string& line) { notices.push_back(line); });
    const std::string big = dir.file("result.dat"), edge = dir.file("edge"),
                      reg = dir.file("registry.reg");
    for (const std::string& path : {big, edge, reg}) { // sparse: no disk space used
        WriteFile(path, "");
        ASSERT_EQ(::truncate(path.c_str(), fileio::kMaxReadBytes + (path == edge ? 0 : 1)), 0);
    }
    std::string out;
    EXPECT_TRUE(host.ReadWholeFile(edge, out));
    EXPECT_EQ(out.size(), size_t(fileio::kMaxReadBytes));
    EXPECT_FALSE(host.ReadWholeFile(big, out));
    EXPECT_FALSE(host.ReadPlainFile(big, out));
    EXPECT_FALSE(host.CopyFileTo(big, dir.file("cmd.dat")));
    EXPECT_EQ(host.ReadRegistryValues(RegistryRoot::LocalMachine, "Software\\QELP", {"A", "B"}),
              (std::vector<std::string>{"", ""}));
    host.WriteRegistryString(RegistryRoot::LocalMachine, "Software\\QELP", "ActiveVersion", "3");
    host.WriteProfileString("Reply", "Button", "4", big);
    EXPECT_EQ(profile::ReadProfileString("General", "RESULT", big), "");
    for (const std::string& path : {big, reg}) // neither is ever overwritten blindly
        EXPECT_EQ(Lstat(path).st_size, fileio::kMaxReadBytes + 1);
    const std::string tooLarge = " is larger than 16 MiB; it is not read";
    const std::string bigLine = "Error: File " + big + tooLarge;
    const std::string regLine = "Error: File " + reg + tooLarge;
    EXPECT_EQ(notices,
              (std::vector<std::string>{bigLine, bigLine, bigLine, regLine, regLine, bigLine}));

    // An operator's link is followed; where the driver writes, links are refused (and logged
    // by the exchange tests).
    ASSERT_EQ(::symlink(edge.c_str(), dir.file("msg.dat").c_str()), 0);
    EXPECT_TRUE(host.ReadWholeFile(dir.file("msg.dat"), out));
    EXPECT_FALSE(host.ReadPlainFile(dir.file("msg.dat"), out));
}

// Indexes of large profile files stay within a few MiB in all and go with their file.
TEST(ProfileIndexCache, StaysBoundedAndForgetsChangedOrVanishedFiles) {
    TempDir dir;
    auto large = [&](const std::string& name, const std::string& tag) {
        std::string text = "[S]\r\n";
        for (int i = 0; i < 3000; ++i)
            text += "Key" + std::to_string(i) + "=" + tag + std::string(90, '.') + "\r\n";
        WriteFile(dir.file(name), text);
        return dir.file(name);
    };
    const size_t before = profile::IndexCacheBytes();
    const std::string a = large("a", "old");
    EXPECT_EQ(profile::ReadProfileString("S", "Key7", a).substr(0, 3), "old");
    const size_t one = profile::IndexCacheBytes() - before;
    large("a", "newer"); // another size: a changed file
    EXPECT_EQ(profile::ReadProfileString("S", "Key7", a).substr(0, 5), "newer");
    EXPECT_LT(profile::IndexCacheBytes() - before, 2 * one);
    std::remove(a.c_str());
    EXPECT_EQ(profile::ReadProfileString("S", "Key7", a), "");
    EXPECT_EQ(profile::IndexCacheBytes(), before);
    for (int i = 0; i < 16; ++i)
        profile::ReadProfileString("S", "Key1", large("f" + std::to_string(i), "x"));
    EXPECT_GT(profile::IndexCacheBytes(), one);
    EXPECT_LE(profile::IndexCacheBytes(), 4u * 1024 * 1024);
}

// The host keeps its directory watch from one wait to the next; a watch whose directory was
// removed never fires again and must be replaced, or every later wait would sleep through
// the driver's answers.
TEST(HostWatch, IsReusedAndRebuiltWhenItsDirectoryGoes) {
    TempDir dir;
    const std::string watched = dir.path() + "exchange/";
    ASSERT_EQ(::mkdir(watched.c_str(), 0755), 0);
    PosixHost host(dir.path() + "qelpserver");
    auto fires = [&](DirectoryWatch& w) {
        w.drain();
        WriteFile(watched + "result.sig", "");
        std::remove((watched + "result.sig").c_str());
        pollfd p{static_cast<int>(w.nativeHandle()), POLLIN, 0};
        return ::poll(&p, 1, 2000) == 1;
    };
    auto first = host.WatchDirectory(watched, "");
    ASSERT_TRUE(fires(*first));
    auto again = host.WatchDirectory(watched, "");
    EXPECT_EQ(again->nativeHandle(), first->nativeHandle());

    std::filesystem::remove_all(watched);
    ASSERT_EQ(::mkdir(watched.c_str(), 0755), 0);
    first->drain(); // sees the directory go
    auto rebuilt = host.WatchDirectory(watched, "");
    EXPECT_TRUE(fires(*rebuilt));
}
