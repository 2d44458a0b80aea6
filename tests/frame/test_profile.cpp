// Profile (INI) files with the quirks of the Win32 private-profile functions, which a real
// driver uses on the same files.
#include "frame/profile.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

using namespace qelp;
using namespace qelptest;

namespace {

// A literal's bytes, NULs included.
template <size_t N> std::string Bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

class Profile : public ::testing::Test {
protected:
    std::string read(const std::string& text, const std::string& section, const std::string& key) {
        WriteFile(path, text);
        return profile::ReadProfileString(section, key, path);
    }
    // Writes the text as the file, sets the key, and returns the file's new bytes.
    std::string set(const std::string& text, const std::string& section, const std::string& key,
                    const std::string& value) {
        WriteFile(path, text);
        EXPECT_TRUE(profile::WriteProfileString(section, key, value, path));
        return ReadFile(path);
    }
    TempDir dir;
    const std::string path = dir.file("result.dat");
};

} // namespace

TEST_F(Profile, ReadsThroughEveryQuirkWithoutWaitingForAFifo) {
    const std::string v150 = std::string(98, 'x') + " tail" + std::string(47, 'y');
    // Pairs of file text and the value of key k in section s: names ignore case and blanks,
    // values are trimmed, one pair of quotes goes, nothing is a comment, the first duplicate
    // wins, a line without '=' is a key without a value, CR, CRLF and LF end lines.
    const std::string cases[][2] = {
        {"  [ S ]  \r\n  K  =5\r\n", "5"},
        {"[S]\r\n\tk\t=\t6\t\r\n", "6"},
        {"[S]\r\nk=  a  b  \r\n", "a  b"},
        {"[S]\r\nk='a b'\r\n", "a b"},
        {"[S]\r\nk=\"\"12\"\"\r\n", "\"12\""},
        {"[S]\r\nk=\" 12 \"\r\n", "12"},
        {"[S]\r\nk=\"12'\r\n", "\"12'"},
        {"[S]\r\nk=a \"b\"\r\n", "a \"b\""},
        {"[S]\r\nk=12 ;units\r\n", "12 ;units"},
        {"[S]\r\n;k=1\r\n#k=2\r\n; [T]\r\nk=3\r\n", "3"},
        {"[S]\r\nk=first\r\nK=second\r\n", "first"},
        {"[S]\r\nk=1\r\n[T]\r\n[s]\r\nk=2\r\n", "1"},
        {"[S]\r\nj=1\r\n[s]\r\nk=2\r\n", ""},
        {"[S]\r\nk\r\nk=3\r\n", ""},
        {"[S]\r\nbare\r\nk=3\r\n", "3"},
        {"[S]\r\nk=a=b\r\n", "a=b"},
        {"k=0\r\n[S]\r\nj=1\r\n", ""},
        {"[S]\ra=1\r\nb=2\nk=3", "3"},
        {"[S]\r\r\nk=1\r\r\n", "1"},
        {"[a]b]\r\nk=1\r\n[ s ] x\r\nk=2\r\n", "2"},
        {"[S]\r\n[T\r\nk=3\r\n", "3"},
        {"[S]\r\n\vk\f=\v\f 7 \x1a\r\n", "7"},
        {"[S]\r\nk=a\x01\x1a"
         "b\x1a\r\n",
         "a\x01\x1a"
         "b"},
        {"\xEF\xBB\xBF[S]\r\nk=Gr\xC3\xBCn \xE2\x82\xAC\r\n", "Gr\xFCn \x80"},
        {"[S]\r\nk=Gr\xC3\xBCn\r\n", "Gr\xC3\xBCn"},
        {Bytes("\xFF\xFE[\0S\0]\0\n\0k\0=\0\xFC\0\xAC\x20\x3D\xD8\0\xDE\n\0"), "\xFC\x80??"},
        {"\xEF\xBB\xBF[S]\r\nk=\xF0\x9F\x98\x80|\xC3\r\n", "??|?"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read(c[0], "s", "k"), c[1]) << c[0];
    // Names passed are trimmed; keys above the first header have the empty section name.
    const std::pair<const char*, const char*> named[] = {{" \ts ", "1"}, {"", "0"},      {" ", "0"},
                                                         {"a]b", "2"},   {"[abc]", "3"}, {"T", ""}};
    for (const auto& [section, value] : named)
        EXPECT_EQ(
            read("k=0\r\n[S]\r\nk=1\r\n[a]b]\r\nk=2\r\n[[abc]]\r\nk=3\r\n[T\r\n", section, "\tk "),
            value)
            << section;
    // Cut to 99 characters after the quotes go, before the final trim.
    EXPECT_EQ(read("[S]\r\nk=\"" + v150 + "\"\r\n", "S", "k"), std::string(98, 'x'));
    EXPECT_EQ(read("[S]\r\nk=" + std::string(100, 'z') + "\r\n", "S", "k"), std::string(99, 'z'));
    EXPECT_EQ(profile::ReadProfileString("S", "k", dir.file("missing.dat")), "");
    EXPECT_EQ(profile::ReadProfileString("S", "k", dir.path()), "");
    WriteFile(path, "[S]\r\nk=abcdefghij\r\n");
    EXPECT_EQ(profile::GetPrivateProfileValue("S", "k", path, 5), "abcd");
    EXPECT_EQ(profile::LookupInText("[S]\nk = \"" + v150 + "\"\n", "s", "K"), v150); // no cut
#ifndef _WIN32 // a fifo under a file's name: Windows has no such thing
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    EXPECT_EQ(RunInChild([&] { return int(!profile::ReadProfileString("S", "k", path).empty()); },
                         false, 10),
              0);
#endif
}

TEST_F(Profile, LargeFilesFollowTheSameRulesAndSeeEveryRewrite) {
    // Above a quarter of a megabyte the reader indexes the file once per version.
    std::string text = "[Junk]\r\n";
    for (int i = 0; i < 20000; ++i)
        text += "filler" + std::to_string(i) + "=some value that takes room\r\n";
    text += "[Result]\r\nCode = \"4\" \r\ncode=5\r\nLong=" + std::string(150, 'L') +
            "\r\n[RESULT]\r\nLate=1\r\n";
    ASSERT_GT(text.size(), 300u * 1024);
    WriteFile(path, text);
    EXPECT_EQ(profile::ReadProfileString("result", "CODE", path), "4");
    EXPECT_EQ(profile::ReadProfileString("Result", "Late", path), "");
    EXPECT_EQ(profile::ReadProfileString("Result", "Long", path), std::string(99, 'L'));
    EXPECT_EQ(profile::ReadProfileString("Junk", "filler19999", path),
              "some value that takes room");
    ASSERT_TRUE(profile::WriteProfileString("Result", "Code", "6", path));
    EXPECT_EQ(profile::ReadProfileString("Result", "Code", path), "6");
    // A same-size rewrite by another program is seen as well.
    std::string bytes = ReadFile(path);
    bytes[bytes.find("Code=6") + 5] = '7';
    WriteFile(dir.file("next"), bytes);
    std::filesystem::rename(dir.file("next"), path);
    EXPECT_EQ(profile::ReadProfileString("Result", "Code", path), "7");
}

TEST_F(Profile, WritesInPlaceKeepingEveryOtherByteOrNotAtAll) {
#ifdef _WIN32
    GTEST_SKIP() << "the system's own writer lays the file out (it rewrites it with CR LF); "
                    "what a write leaves to read is checked through qelp-profile";
#endif
    EXPECT_EQ(set("; driver\r\n[Header]\n  Version = 3 ;keep\r\n\r\n[Reply]\r# note\r\n"
                  "Value = 1   \r\nOther=\"x\"\r\n[Tail]\r\nValue=9",
                  "reply", "VALUE", "42"),
              "; driver\r\n[Header]\n  Version = 3 ;keep\r\n\r\n[Reply]\r# note\r\n"
              "Value=42\r\nOther=\"x\"\r\n[Tail]\r\nValue=9");
    // Pairs of file text and the text after setting k=5 in section S: line ends are kept, only
    // the first duplicate changes, a new key ends its section, a new section ends the file.
    const std::string cases[][2] = {
        {"[S]\nk=1\nj=2\n", "[S]\nk=5\nj=2\n"},
        {"[S]\rk=1\rj=2\r", "[S]\rk=5\rj=2\r"},
        {"[S]\r\nk=1", "[S]\r\nk=5"},
        {"[S]\r\nk=1\r\nk=2\r\n", "[S]\r\nk=5\r\nk=2\r\n"},
        {"[S]\r\nk=1\r\n[S]\r\nk=2\r\n", "[S]\r\nk=5\r\n[S]\r\nk=2\r\n"},
        {"[S]\r\na=1\r\n[S]\r\nk=2\r\n", "[S]\r\na=1\r\nk=5\r\n[S]\r\nk=2\r\n"},
        {"k=0\r\n[A]\r\nk=1\r\n[S]\r\nk=2\r\n", "k=0\r\n[A]\r\nk=1\r\n[S]\r\nk=5\r\n"},
        {"[S]\r\nx=1\r\n\r\n[B]\r\n", "[S]\r\nx=1\r\nk=5\r\n\r\n[B]\r\n"},
        {"[B]\r\n[S]\r\nx=1", "[B]\r\n[S]\r\nx=1\r\nk=5\r\n"},
        {"[S]", "[S]\r\nk=5\r\n"},
        {"[S]\nbare\n\n[B]\n", "[S]\nbare\nk=5\r\n\n[B]\n"},
        {"[S]\r\n k \r\nk=1\r\n", "[S]\r\nk=5\r\nk=1\r\n"},
        {"[A]\r\nx=1", "[A]\r\nx=1\r\n[S]\r\nk=5\r\n"},
        {"[A]\nx=1\n", "[A]\nx=1\n[S]\r\nk=5\r\n"},
        {"[S]\r\nk = 5 \r\n", "[S]\r\nk = 5 \r\n"},
        {"[S\r\nx=1\r\n", "[S\r\nx=1\r\n[S]\r\nk=5\r\n"},
        {"[ s ]\r\n", "[ s ]\r\nk=5\r\n"},
        {"\xEF\xBB\xBF[S]\r\nk=\xC3\xBC\r\n", "\xEF\xBB\xBF[S]\r\nk=5\r\n"},
        {Bytes("\xFF\xFE[\0S\0]\0"), Bytes("\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0"
                                           "5\0\r\0\n\0")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(set(c[0], " S\t", "\tk ", "5"), c[1]) << c[0];
    // Names and values in the file's own encoding; the empty section is the top of the file.
    EXPECT_EQ(set("\xEF\xBB\xBF", "Gr\xFCn", "k", "\x80"),
              "\xEF\xBB\xBF[Gr\xC3\xBCn]\r\nk=\xE2\x82\xAC\r\n");
    EXPECT_EQ(set("[S]\r\n", "", "k", "1"), "k=1\r\n[S]\r\n");
    EXPECT_EQ(set("j=0\r\n\r\n[S]\r\nk=1\r\n", " ", "k", "2"), "j=0\r\nk=2\r\n\r\n[S]\r\nk=1\r\n");
#ifndef _WIN32 // whether the system's own writer rewrites the file is Windows' business
    // A value that is already there leaves the file alone, time stamp and inode included.
    struct stat before {};
    struct stat after {};
    WriteFile(path, "[S]\r\nk= 5\r\n");
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    ASSERT_TRUE(profile::WriteProfileString("s", "K", " 5", path));
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
#endif
    // Deleting a key or a whole section, as a null value or key does.
    const std::string text = "top=1\r\n[S]\r\nk=1\r\nj=2\r\n\r\n[T]\r\nk=3\r\n";
    EXPECT_EQ(profile::DeleteInText(text, "s", "K"), "top=1\r\n[S]\r\nj=2\r\n\r\n[T]\r\nk=3\r\n");
    EXPECT_EQ(profile::DeleteInText(text, " s ", std::nullopt), "top=1\r\n[T]\r\nk=3\r\n");
    EXPECT_EQ(profile::DeleteInText(text, "", std::nullopt),
              "[S]\r\nk=1\r\nj=2\r\n\r\n[T]\r\nk=3\r\n");
    EXPECT_EQ(profile::DeleteInText(text, "T", "x"), text);
    EXPECT_EQ(profile::DeleteInText(text, "U", std::nullopt), text);
    const std::string fresh = dir.file("new.dat"); // a missing file is created
    ASSERT_TRUE(profile::WriteProfileString("Reply", "Text", "Gr\xFCn ;1", fresh));
    ASSERT_TRUE(profile::WriteProfileString("Reply", "Value", " \t12 ", fresh));
    EXPECT_EQ(ReadFile(fresh), "[Reply]\r\nText=Gr\xFCn ;1\r\nValue=12 \r\n");
#ifndef _WIN32 // file modes and an unprivileged child: POSIX only
    // A file that cannot be read is not replaced by one that lost its other keys (missing and
    // read-only directories: the atomic replacement's own tests).
    WriteFile(path, "[S]\r\nk=1\r\nsecret=x\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0222), 0); // writable, not readable
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    EXPECT_EQ(RunInChild([&] { return profile::WriteProfileString("S", "k", "2", path); }, true),
              0);
    ::chmod(path.c_str(), 0644);
    EXPECT_EQ(ReadFile(path), "[S]\r\nk=1\r\nsecret=x\r\n");
#endif
}
