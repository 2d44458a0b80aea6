// The registry store: a REGEDIT4 text file beside the program, read as the Win32 registry
// gives values, written atomically keeping every other key; a malformed file is survived.
#include "frame/registry.h"
#include "frame/textutil.h"
#include "link/config.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <iterator>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace qelp;
using namespace qelptest;

namespace {

const char* const kKey = "Software\\QELP";
const std::string kHead = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\QELP]\r\n";

const std::string kExport =
    kHead + "\"Driver\"=\"/opt/disp/drv\"\r\n\"DispenserFamily\"=dword:00000007\r\n"
            "\"Minus\"=dword:ffffffff\r\n\"Lowest\"=dword:80000000\r\n"
            "\"Multi\"=hex(7):41,00,42,00,00,00,00,00\r\n\"Binary\"=hex:01,02\r\n\"Empty\"=\"\"\r\n"
            "\"Path\"=\"C:\\\\dir\\\\\"\r\n\"Quoted\"=\"say \\\"hi\\\"\"\r\n"
            "\"driver\"=\"duplicate\"\r\n@=\"default\"\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\QELP\\Sub]\r\n\"Only\"=\"in the sub-key\"\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\QELPX]\r\n\"Neighbour\"=\"not ours\"\r\n";

class Registry : public ::testing::Test {
protected:
    RegistryStore storeWith(const std::string& text) {
        WriteFile(path, text);
        return RegistryStore(path);
    }
    TempDir dir;
    const std::string path = dir.file("registry.reg");
};

} // namespace

TEST_F(Registry, ValuesReadAsWin32GivesThemAndMalformedLinesAreSkipped) {
    RegistryStore store = storeWith(kExport);
    // Pairs of name and text: names ignore case and the first duplicate wins; hex types read as
    // empty text; values of a sub-key or a longer key name are not ours.
    const char* const cases[] = {"driver",      "/opt/disp/drv", "Minus",  "-1",         "Lowest",
                                 "-2147483648", "Multi",         "",       "Binary",     "",
                                 "Path",        "C:\\dir\\",     "Quoted", "say \"hi\"", "",
                                 "default",     "Only",          "",       "Neighbour",  ""};
    for (size_t i = 0; i < std::size(cases); i += 2)
        EXPECT_EQ(store.ReadAsText(kKey, cases[i]), cases[i + 1]) << cases[i];
    EXPECT_EQ(store.ReadAsText("SOFTWARE\\qelp", "DispenserFamily"), "7");
    EXPECT_EQ(store.ReadAsText("Software\\QELP\\Sub", "Only"), "in the sub-key");
    EXPECT_TRUE(store.Read(kKey, "Empty").has_value());
    EXPECT_FALSE(store.Read(kKey, "Nope").has_value());
    EXPECT_EQ(RegistryStore(dir.file("missing.reg")).ReadAsText(kKey, "Driver"), "");
    EXPECT_EQ(RegistryStore(dir.path()).ReadAsText(kKey, "Driver"), "");

    std::vector<RegistryValue> all = store.List();
    ASSERT_EQ(all.size(), 13u);
    EXPECT_EQ(all[11].key, "HKEY_LOCAL_MACHINE\\Software\\QELP\\Sub");

    // Hex values continued over other line ends; malformed lines are skipped alone.
    for (const std::string eol : {"\n", "\r"}) {
        storeWith("REGEDIT4" + eol + eol + "[HKEY_LOCAL_MACHINE\\Software\\QELP]" + eol +
                  "\"Multi\"=hex(7):41,00,\\" + eol + "  43,00,\\" + eol + "  00,00" + eol +
                  "\"Dir\"=\"ends in a backslash\\\\\"" + eol + "\"Next\"=dword:0000000a" + eol);
        EXPECT_EQ(store.ReadAsText(kKey, "Multi"), "");
        EXPECT_EQ(store.ReadAsText(kKey, "Dir"), "ends in a backslash\\");
        EXPECT_EQ(store.ReadAsText(kKey, "Next"), "10");
    }
    storeWith(std::string("\x7F\x45LF\0\x01 garbage\r\n", 16) +
              "\"Orphan\"=\"before any key\"\r\n[HKEY_LOCAL_MACHINE\\Software\\QELP\r\n" +
              kHead.substr(12) +
              "\"Open\"=\"never closed\r\n\"TooLong\"=dword:123456789\r\n"
              "\"NotHex\"=dword:0000000g\r\n\"NoDigits\"=dword:\r\n\"Deleted\"=-\r\n"
              "Bare=\"no quotes\"\r\n\"NoEquals\" \"x\"\r\n\"Unknown\"=qword:1\r\n"
              "\"Good\"=\"still read\"\r\n\"Spaced\" = dword:00000003\r\n");
    EXPECT_EQ(store.ReadAsText(kKey, "Good"), "still read");
    EXPECT_EQ(store.ReadAsText(kKey, "Spaced"), "3");
    for (const char* name : {"Orphan", "Open", "TooLong", "NotHex", "NoDigits", "Deleted", "Bare",
                             "NoEquals", "Unknown"})
        EXPECT_FALSE(store.Read(kKey, name).has_value()) << name;
}

TEST_F(Registry, WritesRoundTripKeepEveryOtherByteAndNeverLoseAValue) {
    RegistryStore store(path);
    const std::string tricky = "C:\\a \"b\"\\ Gr\xFCn ;=[x]\\";
    ASSERT_TRUE(store.WriteText(kKey, "Tricky", tricky));
    ASSERT_TRUE(store.WriteDword(kKey, "Negative", static_cast<uint32_t>(-5)));
    ASSERT_TRUE(store.WriteText(kKey, "Na\"me\\", ""));
    EXPECT_EQ(ReadFile(path), kHead + "\"Tricky\"=\"C:\\\\a \\\"b\\\"\\\\ Gr\xFCn ;=[x]\\\\\"\r\n"
                                      "\"Negative\"=dword:fffffffb\r\n"
                                      "\"Na\\\"me\\\\\"=\"\"\r\n");
    RegistryStore again(path);
    EXPECT_EQ(again.ReadAsText(kKey, "Tricky"), tricky);
    EXPECT_EQ(again.ReadAsText(kKey, "Negative"), "-5");
    EXPECT_TRUE(again.Read(kKey, "Na\"me\\").has_value());

    // A write into an export keeps every other byte and is renamed in.
    storeWith(kExport);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    ASSERT_TRUE(store.WriteText(kKey, "DispenserFamily", "now text"));
    std::string expected = kExport;
    const std::string old = "\"DispenserFamily\"=dword:00000007";
    expected.replace(expected.find(old), old.size(), "\"DispenserFamily\"=\"now text\"");
    EXPECT_EQ(ReadFile(path), expected);
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
#ifndef _WIN32                              // Windows' stat has no file serial number
    EXPECT_NE(before.st_ino, after.st_ino); // renamed in, never rewritten in place
#endif
    ASSERT_TRUE(store.WriteDword(kKey, "DISPENSERFAMILY", 12)); // still one value
    EXPECT_EQ(store.List().size(), 13u);
    ASSERT_TRUE(store.WriteText(kKey, "DispenserFamily", "now text"));

    ASSERT_TRUE(store.WriteText(kKey, "ActiveVersion", "2"));
    const std::string last = "@=\"default\"\r\n";
    expected.insert(expected.find(last) + last.size(), "\"ActiveVersion\"=\"2\"\r\n");
    ASSERT_TRUE(store.WriteText("Software\\Fresh", "A", "b"));
    expected += "\r\n[HKEY_LOCAL_MACHINE\\Software\\Fresh]\r\n\"A\"=\"b\"\r\n";
    EXPECT_EQ(ReadFile(path), expected);

    storeWith(kHead + "\"Multi\"=hex(7):41,00,\\\n  00,00\n\"After\"=\"x\"\n");
    ASSERT_TRUE(store.WriteDword(kKey, "Multi", 1)); // replaced as a whole
    EXPECT_EQ(ReadFile(path), kHead + "\"Multi\"=dword:00000001\n\"After\"=\"x\"\n");

    const std::string junk = "not a registry file\r\n\"Orphan\"=\"x\"";
    storeWith(junk);
    ASSERT_TRUE(store.WriteText(kKey, "Driver", "/d"));
    EXPECT_EQ(ReadFile(path), junk + "\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\QELP]\r\n"
                                     "\"Driver\"=\"/d\"\r\n");
    EXPECT_FALSE(RegistryStore(dir.file("nodir/registry.reg")).WriteText(kKey, "A", "b"));

    // Only hex values continue, and only onto hex data: an export cut off after a "\\" or a
    // stray backslash elsewhere never swallows the next value or invents one. Every other
    // value reads back unchanged after a write.
    const std::string cut = "\"Old\"=hex(7):41,00,\\";
    for (const std::string& text :
         {kHead + cut, kHead + cut + "\r\n", kHead + cut + "\r\n\r\n\"Next\"=\"n\"\r\n",
          kHead + "\"T\"=\"x=hex\\\r\n\"Y\"=\"1\"\r\n", kHead + "; a=hex\\\r\n\"Y\"=\"1\"\r\n"}) {
        storeWith(text);
        const std::vector<RegistryValue> was = store.List();
        ASSERT_TRUE(store.WriteText(kKey, "New", "v"));
        const std::vector<RegistryValue> is = store.List();
        ASSERT_EQ(is.size(), was.size() + 1) << text;
        EXPECT_EQ(store.ReadAsText(kKey, "New"), "v") << text;
        for (size_t i = 0; i < was.size(); ++i)
            EXPECT_TRUE(is[i].name == was[i].name && is[i].text == was[i].text &&
                        is[i].type == was[i].type)
                << text;
    }
}

#ifndef _WIN32 // symbolic links and inotify: the Linux store's own guarantees
// An administrator's link stays a link; its target takes the value, replaced atomically.
TEST_F(Registry, AStoreThatIsALinkKeepsItAndItsTargetIsWritten) {
    ASSERT_EQ(::mkdir(dir.file("shared").c_str(), 0755), 0);
    WriteFile(dir.file("shared/qelp.reg"), kExport);
    ASSERT_EQ(::symlink("shared/qelp.reg", path.c_str()), 0);
    RegistryStore store(path);
    ASSERT_TRUE(store.WriteText(kKey, "ActiveVersion", "3"));
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(RegistryStore(dir.file("shared/qelp.reg")).ReadAsText(kKey, "ActiveVersion"), "3");
    EXPECT_EQ(store.ReadAsText(kKey, "Driver"), "/opt/disp/drv");
}

// The configuration of one start comes from one read of the store, not one per value.
TEST(RegistryReads, TheLinkConfigurationOpensTheStoreOnce) {
    ProgramFixture f;
    ASSERT_TRUE(RegistryStore(f.host.registryPath()).WriteText(kKey, "Driver", "/opt/drv"));
    // Closes between the opens keep the kernel from merging repeated open events.
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(watch, f.host.registryPath().c_str(), IN_OPEN | IN_CLOSE), 0);
    ReadLinkConfiguration(f.program);
    inotify_event events[32]; // a file watch's events carry no name
    const ssize_t n = ::read(watch, events, sizeof events);
    ::close(watch);
    int opens = 0;
    for (ssize_t i = 0; i < n / ssize_t(sizeof(inotify_event)); ++i)
        opens += (events[i].mask & IN_OPEN) != 0;
    EXPECT_EQ(opens, 1);
}
#endif

#ifdef _WIN32
// The machine registry through the Win32 API: texts, 32-bit numbers as signed decimal,
// other types as no text; a registry.reg in the program directory takes its place.
TEST(MachineRegistry, ReadsAsTextsAndGivesWayToAPortableStore) {
    TempDir dir;
    TestHost host(dir.path());
    const std::string key =
        "Software\\QELP-test-" + FileNameOf(dir.path().substr(0, dir.path().size() - 1));
    host.WriteRegistryString(RegistryRoot::LocalMachine, key, "Driver", "C:\\d\\drv.exe");
    ASSERT_TRUE(host.WriteRegistryDword(key, "Family", 7));
    ASSERT_TRUE(host.WriteRegistryDword(key, "Minus", 0xffffffffu));
    HKEY k = nullptr;
    ASSERT_EQ(
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE | KEY_WOW64_32KEY, &k),
        0);
    ::RegSetValueExA(k, "Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>("A\0B\0"), 5);
    ::RegCloseKey(k);
    EXPECT_EQ(host.ReadRegistryValues(RegistryRoot::LocalMachine, key,
                                      {"driver", "Family", "Minus", "Multi", "Missing"}),
              (std::vector<std::string>{"C:\\d\\drv.exe", "7", "-1", "", ""}));
    EXPECT_EQ(host.ListRegistryValues(key).size(), 4u);
    WriteFile(host.registryPath(), kExport);
    EXPECT_EQ(host.ReadRegistryValues(RegistryRoot::LocalMachine, kKey, {"Driver"})[0],
              "/opt/disp/drv");
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_32KEY, 0);
}
#endif
