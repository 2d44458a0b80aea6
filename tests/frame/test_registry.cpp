// The registry store: a REGEDIT4 text file beside the program. Values read as the Win32
// registry read gives them; writes keep every other key and value and replace the file
// atomically; a malformed file never ends the program.
#include "frame/registry.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace qelp;
using namespace qelptest;

namespace {

const char* const kKey = "Software\\QELP";

class Registry : public ::testing::Test {
protected:
    RegistryStore storeWith(const std::string& text) {
        WriteFile(path, text);
        return RegistryStore(path);
    }
    TempDir dir;
    const std::string path = dir.file("registry.reg");
};

const std::string kExport = "REGEDIT4\r\n"
                            "\r\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\QELP]\r\n"
                            "\"Driver\"=\"/opt/disp/drv\"\r\n"
                            "\"DispenserFamily\"=dword:00000007\r\n"
                            "\"Minus\"=dword:ffffffff\r\n"
                            "\"Lowest\"=dword:80000000\r\n"
                            "\"Multi\"=hex(7):41,00,42,00,00,00,00,00\r\n"
                            "\"Binary\"=hex:01,02\r\n"
                            "\"Expand\"=hex(2):25,00,00,00\r\n"
                            "\"Empty\"=\"\"\r\n"
                            "\"Path\"=\"C:\\\\dir\\\\\"\r\n"
                            "\"Quoted\"=\"say \\\"hi\\\"\"\r\n"
                            "\r\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\QELP\\Sub]\r\n"
                            "\"Only\"=\"in the sub-key\"\r\n"
                            "\r\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\QELPX]\r\n"
                            "\"Neighbour\"=\"not ours\"\r\n";

} // namespace

TEST_F(Registry, TextAndNumbersReadAsWin32GivesThem) {
    RegistryStore store = storeWith(kExport);
    EXPECT_EQ(store.ReadAsText(kKey, "Driver"), "/opt/disp/drv");
    EXPECT_EQ(store.ReadAsText(kKey, "DispenserFamily"), "7");
    EXPECT_EQ(store.ReadAsText(kKey, "Minus"), "-1");
    EXPECT_EQ(store.ReadAsText(kKey, "Lowest"), "-2147483648");
    EXPECT_EQ(store.ReadAsText(kKey, "Empty"), "");
}

TEST_F(Registry, MultiStringsAndOtherHexTypesReadAsEmptyText) {
    RegistryStore store = storeWith(kExport);
    EXPECT_EQ(store.ReadAsText(kKey, "Multi"), "");
    EXPECT_EQ(store.ReadAsText(kKey, "Binary"), "");
    EXPECT_EQ(store.ReadAsText(kKey, "Expand"), "");
    std::optional<RegistryValue> multi = store.Read(kKey, "Multi");
    ASSERT_TRUE(multi.has_value());
    EXPECT_EQ(multi->type, RegistryValue::Type::Other);
}

TEST_F(Registry, EscapesAreUndone) {
    RegistryStore store = storeWith(kExport);
    EXPECT_EQ(store.ReadAsText(kKey, "Path"), "C:\\dir\\");
    EXPECT_EQ(store.ReadAsText(kKey, "Quoted"), "say \"hi\"");
}

TEST_F(Registry, MissingValuesKeysAndFilesReadAsEmptyText) {
    RegistryStore store = storeWith(kExport);
    EXPECT_EQ(store.ReadAsText(kKey, "Nope"), "");
    EXPECT_FALSE(store.Read(kKey, "Nope").has_value());
    EXPECT_EQ(store.ReadAsText("Software\\Other", "Driver"), "");
    // Values of a sub-key or of a key whose name merely begins the same are not ours.
    EXPECT_EQ(store.ReadAsText(kKey, "Only"), "");
    EXPECT_EQ(store.ReadAsText(kKey, "Neighbour"), "");
    EXPECT_EQ(store.ReadAsText("Software\\QELP\\Sub", "Only"), "in the sub-key");

    RegistryStore none(dir.file("missing.reg"));
    EXPECT_EQ(none.ReadAsText(kKey, "Driver"), "");
    EXPECT_TRUE(none.List().empty());
    RegistryStore directory(dir.path());
    EXPECT_EQ(directory.ReadAsText(kKey, "Driver"), "");
}

TEST_F(Registry, KeysAndNamesMatchWithoutRegardToCase) {
    RegistryStore store = storeWith(kExport);
    EXPECT_EQ(store.ReadAsText("SOFTWARE\\qelp", "driver"), "/opt/disp/drv");
    EXPECT_EQ(store.ReadAsText(kKey, "DISPENSERFAMILY"), "7");
}

TEST_F(Registry, TheFirstOfDuplicatesWins) {
    RegistryStore store = storeWith("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\QELP]\r\n"
                                    "\"Driver\"=\"first\"\r\n\"driver\"=\"second\"\r\n\r\n"
                                    "[HKEY_LOCAL_MACHINE\\Software\\QELP]\r\n"
                                    "\"Driver\"=\"third\"\r\n");
    EXPECT_EQ(store.ReadAsText(kKey, "Driver"), "first");
}

TEST_F(Registry, HexDataContinuedOverLinesIsOneValue) {
    RegistryStore store = storeWith("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\QELP]\n"
                                    "\"Multi\"=hex(7):41,00,42,00,\\\n"
                                    "  43,00,00,00,\\\n"
                                    "  00,00\n"
                                    "\"After\"=\"x\"\n"
                                    "\"Dir\"=\"ends in a backslash\\\\\"\n"
                                    "\"Next\"=dword:0000000a\n");
    EXPECT_EQ(store.ReadAsText(kKey, "Multi"), "");
    EXPECT_EQ(store.ReadAsText(kKey, "After"), "x");
    // A text value ending in an escaped backslash does not swallow the next line.
    EXPECT_EQ(store.ReadAsText(kKey, "Dir"), "ends in a backslash\\");
    EXPECT_EQ(store.ReadAsText(kKey, "Next"), "10");
}

TEST_F(Registry, LineEndsOfEveryKindAreRead) {
    const std::string body = "[HKEY_LOCAL_MACHINE\\Software\\QELP]";
    for (const std::string eol : {"\r\n", "\n", "\r"}) {
        RegistryStore store = storeWith("REGEDIT4" + eol + eol + body + eol + "\"A\"=\"1\"" + eol +
                                        "\"B\"=dword:00000002" + eol);
        EXPECT_EQ(store.ReadAsText(kKey, "A"), "1");
        EXPECT_EQ(store.ReadAsText(kKey, "B"), "2");
    }
}

TEST_F(Registry, AMalformedFileYieldsWhatIsReadableAndNothingElse) {
    const std::string junk = std::string("\x7F"
                                         "ELF\0\x01\x02 garbage",
                                         16);
    RegistryStore store = storeWith(junk + "\r\n" +
                                    "\"Orphan\"=\"before any key\"\r\n"
                                    "[HKEY_LOCAL_MACHINE\\Software\\QELP\r\n" // header without ']'
                                    "[HKEY_LOCAL_MACHINE\\Software\\QELP]\r\n"
                                    "\"Open\"=\"never closed\r\n"
                                    "\"TooLong\"=dword:123456789\r\n"
                                    "\"NotHex\"=dword:0000000g\r\n"
                                    "\"NoDigits\"=dword:\r\n"
                                    "\"Deleted\"=-\r\n"
                                    "Bare=\"no quotes around the name\"\r\n"
                                    "\"NoEquals\" \"x\"\r\n"
                                    "\"Unknown\"=qword:1\r\n"
                                    "\"Good\"=\"still read\"\r\n"
                                    "\"Spaced\" = dword:00000003\r\n");
    EXPECT_EQ(store.ReadAsText(kKey, "Good"), "still read");
    EXPECT_EQ(store.ReadAsText(kKey, "Spaced"), "3");
    for (const char* name : {"Orphan", "Open", "TooLong", "NotHex", "NoDigits", "Deleted", "Bare",
                             "NoEquals", "Unknown"})
        EXPECT_FALSE(store.Read(kKey, name).has_value()) << name;
}

TEST_F(Registry, TheDefaultValueIsTheEmptyName) {
    RegistryStore store = storeWith("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\QELP]\r\n"
                                    "@=\"default\"\r\n\"A\"=\"a\"\r\n");
    EXPECT_EQ(store.ReadAsText(kKey, ""), "default");
    EXPECT_EQ(store.ReadAsText(kKey, "A"), "a");
}

TEST_F(Registry, ListShowsEveryValueWithItsKeyAndType) {
    RegistryStore store = storeWith(kExport);
    std::vector<RegistryValue> all = store.List();
    ASSERT_EQ(all.size(), 12u);
    EXPECT_EQ(all[0].key, "HKEY_LOCAL_MACHINE\\Software\\QELP");
    EXPECT_EQ(all[0].name, "Driver");
    EXPECT_EQ(all[0].type, RegistryValue::Type::Text);
    EXPECT_EQ(all[1].type, RegistryValue::Type::Dword);
    EXPECT_EQ(all[1].dword, 7u);
    EXPECT_EQ(all[2].dword, 0xFFFFFFFFu);
    EXPECT_EQ(all[10].key, "HKEY_LOCAL_MACHINE\\Software\\QELP\\Sub");
    EXPECT_EQ(all[10].name, "Only");
    EXPECT_EQ(all[11].key, "HKEY_LOCAL_MACHINE\\Software\\QELPX");
}

TEST_F(Registry, WritingIntoAMissingFileCreatesTheExportLayout) {
    RegistryStore store(path);
    ASSERT_TRUE(store.WriteText(kKey, "ActiveVersion", "3"));
    EXPECT_EQ(ReadFile(path), "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\QELP]\r\n"
                              "\"ActiveVersion\"=\"3\"\r\n");
    ASSERT_TRUE(store.WriteDword(kKey, "DispenserFamily", 10));
    EXPECT_EQ(ReadFile(path), "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\QELP]\r\n"
                              "\"ActiveVersion\"=\"3\"\r\n"
                              "\"DispenserFamily\"=dword:0000000a\r\n");
}

TEST_F(Registry, WrittenValuesReadBack) {
    RegistryStore store(path);
    const std::string tricky = "C:\\a \"b\"\\ Gr\xFCn ;=[x]\\";
    ASSERT_TRUE(store.WriteText(kKey, "Tricky", tricky));
    ASSERT_TRUE(store.WriteText(kKey, "Na\"me\\", "odd name"));
    ASSERT_TRUE(store.WriteDword(kKey, "Negative", static_cast<uint32_t>(-5)));
    ASSERT_TRUE(store.WriteDword(kKey, "Max", 0x7FFFFFFF));
    ASSERT_TRUE(store.WriteText(kKey, "Empty", ""));
    RegistryStore again(path);
    EXPECT_EQ(again.ReadAsText(kKey, "Tricky"), tricky);
    EXPECT_EQ(again.ReadAsText(kKey, "Na\"me\\"), "odd name");
    EXPECT_EQ(again.ReadAsText(kKey, "Negative"), "-5");
    EXPECT_EQ(again.ReadAsText(kKey, "Max"), "2147483647");
    EXPECT_EQ(again.ReadAsText(kKey, "Empty"), "");
    EXPECT_TRUE(again.Read(kKey, "Empty").has_value());
}

TEST_F(Registry, ReplacingAValueKeepsEveryOtherByte) {
    storeWith(kExport);
    RegistryStore store(path);
    ASSERT_TRUE(store.WriteText(kKey, "DispenserFamily", "now text"));
    std::string expected = kExport;
    const std::string old = "\"DispenserFamily\"=dword:00000007";
    expected.replace(expected.find(old), old.size(), "\"DispenserFamily\"=\"now text\"");
    EXPECT_EQ(ReadFile(path), expected);

    // A name given in another case still replaces the one value; no second one appears.
    ASSERT_TRUE(store.WriteDword(kKey, "DISPENSERFAMILY", 12));
    EXPECT_EQ(store.ReadAsText(kKey, "DispenserFamily"), "12");
    EXPECT_EQ(ReadFile(path).size(), kExport.size());
    EXPECT_EQ(store.List().size(), 12u);

    // A multi-line hex value is replaced as a whole.
    const std::string multi = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\QELP]\n"
                              "\"Multi\"=hex(7):41,00,\\\n  00,00\n\"After\"=\"x\"\n";
    storeWith(multi);
    ASSERT_TRUE(store.WriteDword(kKey, "Multi", 1));
    EXPECT_EQ(ReadFile(path), "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\QELP]\n"
                              "\"Multi\"=dword:00000001\n\"After\"=\"x\"\n");
}

TEST_F(Registry, ANewValueJoinsItsKeyAndANewKeyGoesAtTheEnd) {
    storeWith(kExport);
    RegistryStore store(path);
    ASSERT_TRUE(store.WriteText(kKey, "ActiveVersion", "2"));
    std::string expected = kExport;
    const std::string last = "\"Quoted\"=\"say \\\"hi\\\"\"\r\n";
    expected.insert(expected.find(last) + last.size(), "\"ActiveVersion\"=\"2\"\r\n");
    EXPECT_EQ(ReadFile(path), expected);

    ASSERT_TRUE(store.WriteText("Software\\Fresh", "A", "b"));
    expected += "\r\n[HKEY_LOCAL_MACHINE\\Software\\Fresh]\r\n\"A\"=\"b\"\r\n";
    EXPECT_EQ(ReadFile(path), expected);
    // Every value of the original file still reads the same.
    EXPECT_EQ(store.ReadAsText(kKey, "Driver"), "/opt/disp/drv");
    EXPECT_EQ(store.ReadAsText("Software\\QELP\\Sub", "Only"), "in the sub-key");
}

TEST_F(Registry, WritingIntoAMalformedFileKeepsItsLines) {
    const std::string junk = "not a registry file\r\n\"Orphan\"=\"x\"";
    storeWith(junk);
    RegistryStore store(path);
    ASSERT_TRUE(store.WriteText(kKey, "Driver", "/d"));
    EXPECT_EQ(ReadFile(path), junk + "\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\QELP]\r\n"
                                     "\"Driver\"=\"/d\"\r\n");
    EXPECT_EQ(store.ReadAsText(kKey, "Driver"), "/d");
}

TEST_F(Registry, WritesReplaceTheFileAtomically) {
    storeWith(kExport);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    RegistryStore store(path);
    ASSERT_TRUE(store.WriteText(kKey, "ActiveVersion", "1"));
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    // A new file renamed into place, never the old one rewritten under a reader.
    EXPECT_NE(before.st_ino, after.st_ino);
}

TEST_F(Registry, AStoreThatCannotBeWrittenReportsFalseAndStaysAsItWas) {
    RegistryStore nowhere(dir.file("nodir/registry.reg"));
    EXPECT_FALSE(nowhere.WriteText(kKey, "A", "b"));

    const std::string ro = dir.file("ro");
    ASSERT_EQ(::mkdir(ro.c_str(), 0755), 0);
    WriteFile(ro + "/registry.reg", kExport);
    ASSERT_EQ(::chmod(ro.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    int rc = RunInChild(
        [&] {
            RegistryStore store(ro + "/registry.reg");
            return store.WriteText(kKey, "ActiveVersion", "1") ? 1 : 0;
        },
        true);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ReadFile(ro + "/registry.reg"), kExport);
}

TEST(RegistryHost, TheHostUsesTheStoreBesideTheProgram) {
    TempDir dir;
    TestHost host(dir.path());
    EXPECT_EQ(host.registryPath(), dir.file("registry.reg"));
    EXPECT_EQ(host.ReadRegistryValue(RegistryRoot::LocalMachine, kKey, "ActiveVersion"), "");
    host.WriteRegistryString(RegistryRoot::LocalMachine, kKey, "ActiveVersion", "4");
    EXPECT_EQ(host.ReadRegistryValue(RegistryRoot::LocalMachine, kKey, "activeversion"), "4");
    ASSERT_TRUE(RegistryStore(dir.file("registry.reg")).WriteDword(kKey, "DispenserFamily", 7));
    EXPECT_EQ(host.ReadRegistryValue(RegistryRoot::LocalMachine, kKey, "DispenserFamily"), "7");
}
