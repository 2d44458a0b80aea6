// Profile (INI) files with the quirks of the Win32 private-profile functions, which a real
// driver uses on the same files: reading through every quirk, writing in place, and the
// host's wrappers.
#include "frame/profile.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace qelp;
using namespace qelptest;

namespace {

class ProfileRead : public ::testing::Test {
protected:
    // Writes the text as the profile file and reads the key the way the program does.
    std::string read(const std::string& text, const std::string& section, const std::string& key) {
        WriteFile(path, text);
        return profile::ReadProfileString(section, key, path);
    }
    TempDir dir;
    const std::string path = dir.file("result.dat");
};

class ProfileWrite : public ::testing::Test {
protected:
    // Writes the text as the file, sets the key, and returns the file's new bytes.
    std::string set(const std::string& text, const std::string& section, const std::string& key,
                    const std::string& value) {
        WriteFile(path, text);
        EXPECT_TRUE(profile::WriteProfileString(section, key, value, path));
        return ReadFile(path);
    }
    TempDir dir;
    const std::string path = dir.file("reply.dat");
};

} // namespace

TEST_F(ProfileRead, FindsTheKeyOfTheSection) {
    const std::string text = "[Result]\r\nCode=0\r\nText=done\r\n[Other]\r\nCode=7\r\n";
    EXPECT_EQ(read(text, "Result", "Code"), "0");
    EXPECT_EQ(read(text, "Result", "Text"), "done");
    EXPECT_EQ(read(text, "Other", "Code"), "7");
}

TEST_F(ProfileRead, MissingFileSectionOrKeyGivesEmptyText) {
    EXPECT_EQ(profile::ReadProfileString("Result", "Code", dir.file("missing.dat")), "");
    EXPECT_EQ(read("[Result]\r\nCode=0\r\n", "Nope", "Code"), "");
    EXPECT_EQ(read("[Result]\r\nCode=0\r\n", "Result", "Nope"), "");
    EXPECT_EQ(read("", "Result", "Code"), "");
    // A directory in place of the file reads as a missing file.
    EXPECT_EQ(profile::ReadProfileString("Result", "Code", dir.path()), "");
}

TEST_F(ProfileRead, NamesMatchWithoutRegardToCaseAndSurroundingBlanks) {
    const std::string text = "  [ ReSuLt ]  \r\n  CoDe  =5\r\n";
    EXPECT_EQ(read(text, "RESULT", "code"), "5");
    EXPECT_EQ(read(text, "result", "CODE"), "5");
    EXPECT_EQ(read("[Result]\r\n\tCode\t=\t6\t\r\n", "result", "code"), "6");
}

TEST_F(ProfileRead, ValuesAreTrimmed) {
    EXPECT_EQ(read("[S]\r\nk= 12 \r\n", "S", "k"), "12");
    EXPECT_EQ(read("[S]\r\nk=\t12\t\r\n", "S", "k"), "12");
    EXPECT_EQ(read("[S]\r\nk=  a  b  \r\n", "S", "k"), "a  b"); // inner blanks stay
    EXPECT_EQ(read("[S]\r\nk=   \r\n", "S", "k"), "");
}

TEST_F(ProfileRead, OnePairOfMatchingQuotesIsStripped) {
    EXPECT_EQ(read("[S]\r\nk=\"12\"\r\n", "S", "k"), "12");
    EXPECT_EQ(read("[S]\r\nk='a b'\r\n", "S", "k"), "a b");
    EXPECT_EQ(read("[S]\r\nk=\"\"12\"\"\r\n", "S", "k"), "\"12\""); // only one pair
    EXPECT_EQ(read("[S]\r\nk=\" 12 \"\r\n", "S", "k"), "12");       // then trimmed
    EXPECT_EQ(read("[S]\r\nk=\"\"\r\n", "S", "k"), "");
    // Quotes that do not match, or stand on one side only, stay.
    EXPECT_EQ(read("[S]\r\nk=\"12'\r\n", "S", "k"), "\"12'");
    EXPECT_EQ(read("[S]\r\nk=\"12\r\n", "S", "k"), "\"12");
    EXPECT_EQ(read("[S]\r\nk=12\"\r\n", "S", "k"), "12\"");
    EXPECT_EQ(read("[S]\r\nk=\"\r\n", "S", "k"), "\"");
    EXPECT_EQ(read("[S]\r\nk=a \"b\"\r\n", "S", "k"), "a \"b\"");
}

TEST_F(ProfileRead, LongValuesAreCutTo99Characters) {
    std::string value150;
    for (int i = 0; i < 150; ++i)
        value150.push_back(static_cast<char>('a' + i % 26));
    EXPECT_EQ(read("[S]\r\nk=" + value150 + "\r\n", "S", "k"), value150.substr(0, 99));
    EXPECT_EQ(read("[S]\r\nk=" + value150.substr(0, 99) + "\r\n", "S", "k"),
              value150.substr(0, 99));
    EXPECT_EQ(read("[S]\r\nk=" + value150.substr(0, 100) + "\r\n", "S", "k"),
              value150.substr(0, 99));
    // The quotes go before the cut, as the Win32 lookup copies the unquoted value.
    EXPECT_EQ(read("[S]\r\nk=\"" + value150 + "\"\r\n", "S", "k"), value150.substr(0, 99));
}

TEST_F(ProfileRead, TheCutComesBeforeTheFinalTrim) {
    // 98 letters, a blank, then more: the 99 characters that come back end in the blank,
    // which the program's trim then removes.
    const std::string value = std::string(98, 'x') + " tail";
    EXPECT_EQ(read("[S]\r\nk=" + value + "\r\n", "S", "k"), std::string(98, 'x'));
}

TEST_F(ProfileRead, RawLookupHonoursTheBufferSize) {
    WriteFile(path, "[S]\r\nk=abcdefghij\r\n");
    EXPECT_EQ(profile::GetPrivateProfileValue("S", "k", path, 100), "abcdefghij");
    EXPECT_EQ(profile::GetPrivateProfileValue("S", "k", path, 11), "abcdefghij");
    EXPECT_EQ(profile::GetPrivateProfileValue("S", "k", path, 5), "abcd");
    EXPECT_EQ(profile::GetPrivateProfileValue("S", "k", path, 1), "");
    EXPECT_EQ(profile::GetPrivateProfileValue("S", "k", path, 0), "");
}

TEST_F(ProfileRead, AcceptsCrLfLfAndLoneCrLineEnds) {
    EXPECT_EQ(read("[S]\r\na=1\r\nb=2\r\n", "S", "b"), "2");
    EXPECT_EQ(read("[S]\na=1\nb=2\n", "S", "b"), "2");
    EXPECT_EQ(read("[S]\ra=1\rb=2\r", "S", "b"), "2");
    EXPECT_EQ(read("[S]\ra=1\r\nb=2\nc=3", "S", "a"), "1");
    EXPECT_EQ(read("[S]\ra=1\r\nb=2\nc=3", "S", "b"), "2");
    EXPECT_EQ(read("[S]\ra=1\r\nb=2\nc=3", "S", "c"), "3"); // no final line end
    // A line end never becomes part of the value.
    EXPECT_EQ(read("[S]\r\r\na=1\r\r\n", "S", "a"), "1");
}

TEST_F(ProfileRead, NothingIsAComment) {
    // A ';' after a value belongs to the value.
    EXPECT_EQ(read("[S]\r\nk=12 ;units\r\n", "S", "k"), "12 ;units");
    EXPECT_EQ(read("[S]\r\nk=a#b\r\n", "S", "k"), "a#b");
    // ';' and '#' lines are ordinary lines: they neither hide nor end anything.
    const std::string text = "[S]\r\n;k=1\r\n#k=2\r\n; [T]\r\n# note\r\nk=3\r\n";
    EXPECT_EQ(read(text, "S", "k"), "3");
    EXPECT_EQ(read(text, "S", ";k"), "1");
    EXPECT_EQ(read(text, "S", "#k"), "2");
    EXPECT_EQ(read(text, "T", "k"), "");
}

TEST_F(ProfileRead, TheFirstOfDuplicateSectionsAndKeysWins) {
    EXPECT_EQ(read("[S]\r\nk=first\r\nk=second\r\n", "S", "k"), "first");
    EXPECT_EQ(read("[S]\r\nk=first\r\nK=second\r\n", "S", "k"), "first");
    const std::string text = "[S]\r\nk=1\r\n[T]\r\nx=9\r\n[s]\r\nk=2\r\nonly=3\r\n";
    EXPECT_EQ(read(text, "S", "k"), "1");
    // A key that is only in the later duplicate section is not found at all.
    EXPECT_EQ(read(text, "S", "only"), "");
}

TEST_F(ProfileRead, ALineWithoutEqualsHoldsNoValue) {
    EXPECT_EQ(read("[S]\r\nk\r\n", "S", "k"), "");
    // It is skipped, not taken as the key with an empty value.
    EXPECT_EQ(read("[S]\r\nk\r\nk=3\r\n", "S", "k"), "3");
    // Everything after the first '=' is the value.
    EXPECT_EQ(read("[S]\r\nk=a=b\r\n", "S", "k"), "a=b");
    EXPECT_EQ(read("[S]\r\nk=\r\n", "S", "k"), "");
}

TEST_F(ProfileRead, KeysBeforeTheFirstSectionAreNeverFound) {
    const std::string text = "k=0\r\n[S]\r\nj=1\r\n";
    EXPECT_EQ(read(text, "S", "k"), "");
    EXPECT_EQ(read(text, "", "k"), "");
}

TEST_F(ProfileRead, SingleByteTextPassesUnchanged) {
    EXPECT_EQ(read("[Canister]\r\nName=Gr\xFCn\r\n", "Canister", "Name"), "Gr\xFCn");
}

TEST_F(ProfileRead, InMemoryLookupFollowsTheSameRulesWithoutACut) {
    const std::string longValue(150, 'v');
    const std::string text = "[S]\nk = \"" + longValue + "\"\n[s]\nk=2\n";
    EXPECT_EQ(profile::LookupInText(text, "s", "K"), longValue);
    EXPECT_EQ(profile::LookupInText(text, "S", "missing"), "");
}

TEST_F(ProfileRead, AFifoIsNotWaitedFor) {
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    int rc = RunInChild([&] { return profile::ReadProfileString("S", "k", path).empty() ? 0 : 1; },
                        false, 10);
    EXPECT_EQ(rc, 0) << "128+14 means the read blocked until the alarm";
}

TEST_F(ProfileRead, LargeFilesFollowTheSameRulesAndSeeEveryRewrite) {
    // Above a quarter of a megabyte the reader indexes the file once per version; the
    // answers must not differ from the small-file reader, nor go stale after a write.
    std::string text = "[Junk]\r\n";
    for (int i = 0; i < 20000; ++i)
        text += "filler" + std::to_string(i) + "=some value that takes room\r\n";
    text += "[Result]\r\nCode = \"4\" \r\ncode=5\r\nbare\r\nNote=a ;b\r\nLong=" +
            std::string(150, 'L') + "\r\n[RESULT]\r\nLate=1\r\n";
    ASSERT_GT(text.size(), 300u * 1024);
    WriteFile(path, text);
    EXPECT_EQ(profile::ReadProfileString("result", "CODE", path), "4");
    EXPECT_EQ(profile::ReadProfileString("Result", "Note", path), "a ;b");
    EXPECT_EQ(profile::ReadProfileString("Result", "bare", path), "");
    EXPECT_EQ(profile::ReadProfileString("Result", "Late", path), "");
    EXPECT_EQ(profile::ReadProfileString("Result", "Long", path), std::string(99, 'L'));
    EXPECT_EQ(profile::ReadProfileString("Junk", "filler19999", path),
              "some value that takes room");

    ASSERT_TRUE(profile::WriteProfileString("Result", "Code", "6", path));
    EXPECT_EQ(profile::ReadProfileString("Result", "Code", path), "6");
    // A same-size rewrite by another program (the driver) is seen as well.
    std::string bytes = ReadFile(path);
    size_t at = bytes.find("Code=6");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 5] = '7';
    WriteFile(dir.file("next"), bytes);
    ASSERT_EQ(::rename(dir.file("next").c_str(), path.c_str()), 0);
    EXPECT_EQ(profile::ReadProfileString("Result", "Code", path), "7");
}

TEST_F(ProfileWrite, MissingFileIsCreated) {
    const std::string fresh = dir.file("new.dat");
    ASSERT_TRUE(profile::WriteProfileString("Reply", "Value", "2", fresh));
    EXPECT_EQ(ReadFile(fresh), "[Reply]\r\nValue=2\r\n");
    EXPECT_EQ(profile::ReadProfileString("reply", "value", fresh), "2");
}

TEST_F(ProfileWrite, ExistingKeyIsReplacedInPlaceKeepingEveryOtherByte) {
    const std::string before = "; written by the driver\r\n"
                               "[Header]\n"
                               "  Version = 3 ;keep\r\n"
                               "\r\n"
                               "[Reply]\r"
                               "# note\r\n"
                               "Value = 1   \r\n"
                               "Other=\"x\"\r\n"
                               "[Tail]\r\n"
                               "Value=9";
    const std::string after = "; written by the driver\r\n"
                              "[Header]\n"
                              "  Version = 3 ;keep\r\n"
                              "\r\n"
                              "[Reply]\r"
                              "# note\r\n"
                              "Value=42\r\n"
                              "Other=\"x\"\r\n"
                              "[Tail]\r\n"
                              "Value=9";
    EXPECT_EQ(set(before, "reply", "VALUE", "42"), after);
}

TEST_F(ProfileWrite, TheLineEndOfTheReplacedLineIsKept) {
    EXPECT_EQ(set("[S]\nk=1\nj=2\n", "S", "k", "5"), "[S]\nk=5\nj=2\n");
    EXPECT_EQ(set("[S]\rk=1\rj=2\r", "S", "k", "5"), "[S]\rk=5\rj=2\r");
    EXPECT_EQ(set("[S]\r\nk=1", "S", "k", "5"), "[S]\r\nk=5");
}

TEST_F(ProfileWrite, OnlyTheFirstDuplicateIsReplaced) {
    EXPECT_EQ(set("[S]\r\nk=1\r\nk=2\r\n", "S", "k", "5"), "[S]\r\nk=5\r\nk=2\r\n");
    EXPECT_EQ(set("[S]\r\nk=1\r\n[S]\r\nk=2\r\n", "S", "k", "5"), "[S]\r\nk=5\r\n[S]\r\nk=2\r\n");
    // A key missing from the first of duplicate sections goes there, where reads look.
    std::string out = set("[S]\r\na=1\r\n[S]\r\nk=2\r\n", "S", "k", "5");
    EXPECT_EQ(out, "[S]\r\na=1\r\nk=5\r\n[S]\r\nk=2\r\n");
    EXPECT_EQ(profile::ReadProfileString("S", "k", path), "5");
}

TEST_F(ProfileWrite, KeysOfOtherSectionsAreNotTouched) {
    EXPECT_EQ(set("[A]\r\nk=1\r\n[B]\r\nk=2\r\n", "B", "k", "5"), "[A]\r\nk=1\r\n[B]\r\nk=5\r\n");
    EXPECT_EQ(set("k=0\r\n[B]\r\nk=2\r\n", "B", "k", "5"), "k=0\r\n[B]\r\nk=5\r\n");
}

TEST_F(ProfileWrite, ANewKeyGoesAfterTheLastLineOfItsSection) {
    EXPECT_EQ(set("[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n", "a", "z", "3"),
              "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n");
    EXPECT_EQ(set("[A]\r\n[B]\r\ny=2\r\n", "A", "z", "3"), "[A]\r\nz=3\r\n[B]\r\ny=2\r\n");
    EXPECT_EQ(set("[B]\r\ny=2\r\n[A]\r\nx=1\r\n", "A", "z", "3"),
              "[B]\r\ny=2\r\n[A]\r\nx=1\r\nz=3\r\n");
    // The section's last line had no line end: it gets one before the new key.
    EXPECT_EQ(set("[A]\r\nx=1", "A", "z", "3"), "[A]\r\nx=1\r\nz=3\r\n");
    EXPECT_EQ(set("[A]", "A", "z", "3"), "[A]\r\nz=3\r\n");
    // A line without '=' is content of the section too.
    EXPECT_EQ(set("[A]\nbare\n\n[B]\n", "A", "z", "3"), "[A]\nbare\nz=3\r\n\n[B]\n");
}

TEST_F(ProfileWrite, ANewSectionGoesAtTheEndOfTheFile) {
    EXPECT_EQ(set("[A]\r\nx=1\r\n", "B", "y", "2"), "[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
    EXPECT_EQ(set("[A]\r\nx=1", "B", "y", "2"), "[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
    EXPECT_EQ(set("[A]\nx=1\n", "B", "y", "2"), "[A]\nx=1\n[B]\r\ny=2\r\n");
    EXPECT_EQ(set("", "B", "y", "2"), "[B]\r\ny=2\r\n");
}

TEST_F(ProfileWrite, WhatIsWrittenReadsBack) {
    ASSERT_TRUE(profile::WriteProfileString("Reply", "Value", " 12 ", path));
    EXPECT_EQ(profile::ReadProfileString("Reply", "Value", path), "12");
    ASSERT_TRUE(profile::WriteProfileString("Reply", "Text", "Gr\xFCn ;1", path));
    EXPECT_EQ(profile::ReadProfileString("Reply", "Text", path), "Gr\xFCn ;1");
    ASSERT_TRUE(profile::WriteProfileString("Reply", "Value", "", path));
    EXPECT_EQ(profile::ReadProfileString("Reply", "Value", path), "");
    EXPECT_EQ(ReadFile(path), "[Reply]\r\nValue=\r\nText=Gr\xFCn ;1\r\n");
}

TEST_F(ProfileWrite, AFileThatCannotBeWrittenIsReportedAndLeftAlone) {
    EXPECT_FALSE(profile::WriteProfileString("S", "k", "v", dir.file("nodir/reply.dat")));
    EXPECT_FALSE(Exists(dir.file("nodir")));

    const std::string ro = dir.file("ro");
    ASSERT_EQ(::mkdir(ro.c_str(), 0755), 0);
    const std::string file = ro + "/reply.dat";
    WriteFile(file, "[S]\r\nk=1\r\n");
    ASSERT_EQ(::chmod(ro.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    int rc =
        RunInChild([&] { return profile::WriteProfileString("S", "k", "2", file) ? 1 : 0; }, true);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ReadFile(file), "[S]\r\nk=1\r\n");
}

TEST_F(ProfileWrite, AnExistingFileThatCannotBeReadIsNotOverwritten) {
    WriteFile(path, "[S]\r\nk=1\r\nsecret=x\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0222), 0); // writable, not readable
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    int rc =
        RunInChild([&] { return profile::WriteProfileString("S", "k", "2", path) ? 1 : 0; }, true);
    EXPECT_EQ(rc, 0);
    ::chmod(path.c_str(), 0644);
    EXPECT_EQ(ReadFile(path), "[S]\r\nk=1\r\nsecret=x\r\n");
}

TEST(ProfileHost, HostWrappersUseTheProgramReadAndWrite) {
    TempDir dir;
    TestHost host(dir.path());
    const std::string file = dir.file("msg.dat");
    host.WriteProfileString("Message", "Text", "\"" + std::string(120, 'm') + "\"", file);
    EXPECT_EQ(host.ReadProfileString("MESSAGE", "text", file), std::string(99, 'm'));
    host.WriteProfileString("Message", "Text", "x", dir.file("nodir/msg.dat")); // no crash
    EXPECT_EQ(host.ReadProfileString("Message", "Text", dir.file("nodir/msg.dat")), "");
}
