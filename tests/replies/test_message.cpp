// The driver's messages and the operator's replies: "msg.dat" into the message state and
// the message window, parameter expansion, "reply.dat" and "reply.sig", and message files
// that are missing, junk or huge.
#include "frame/registry.h"
#include "link/config.h"
#include "replies/message.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

using namespace qelp;
using namespace qelptest;

namespace {

// --- Parameter expansion ---

TEST(ExpandMessageValues, PlaceholdersReplacedInAscendingOrder) {
    const std::vector<std::string> v = {"7", "x"};
    EXPECT_EQ(ExpandMessageValues("a $1$ b $2$ c $1$", v), "a 7 b x c 7");
    // Unchanged: no values, an empty text, a text without "$".
    EXPECT_EQ(ExpandMessageValues("keep $1$", {}), "keep $1$");
    EXPECT_EQ(ExpandMessageValues("", v), "");
    EXPECT_EQ(ExpandMessageValues("no dollar 1", v), "no dollar 1");
    // Placeholders without a value, and near misses, stay.
    EXPECT_EQ(ExpandMessageValues("$3$ $1 1$ $$1$$", v), "$3$ $1 1$ $7$");
    // $1$ is not found inside $10$ or $11$.
    std::vector<std::string> eleven;
    for (int i = 1; i <= 11; ++i)
        eleven.push_back("v" + std::to_string(i));
    EXPECT_EQ(ExpandMessageValues("$11$/$10$/$1$", eleven), "v11/v10/v1");
}

TEST(ExpandMessageValues, LaterPassesExpandEarlierValues) {
    // Value 1 brings in $2$, which the second pass fills; value 2 brings in $1$, which no
    // later pass touches.
    EXPECT_EQ(ExpandMessageValues("[$1$]", {"<$2$>", "two $1$"}), "[<two $1$>]");
    // A value holding its own placeholder is not expanded again.
    EXPECT_EQ(ExpandMessageValues("$1$$1$", {"$1$"}), "$1$$1$");
    // An empty value removes its placeholder.
    EXPECT_EQ(ExpandMessageValues("a$2$b", {"1", ""}), "ab");
}

TEST(ExpandMessageValues, SelfFeedingParametersStayBounded) {
    // Each value holds 33 placeholders of the next: unbounded, this doubles the text by
    // 33 times per pass and would need terabytes.
    std::vector<std::string> values;
    for (int i = 1; i <= 12; ++i) {
        std::string v;
        for (int k = 0; k < 33; ++k)
            v += "$" + std::to_string(i + 1) + "$";
        values.push_back(v);
    }
    const std::string out = ExpandMessageValues(std::string(33, 'a') + "$1$$1$$1$", values);
    EXPECT_LT(out.size(), 1024u * 1024u);
    EXPECT_GT(out.size(), 99u); // the early passes were made
}

// --- Reading a message ---

class Message : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(exchange);
        ASSERT_TRUE(
            RegistryStore(f.host.registryPath()).WriteText(kConfigKey, "CommandPath", exchange));
        ReadLinkConfiguration(f.program);
        // Short enough for the tests of a window that cannot close.
        f.program.tuning.messageCloseWaitLimitMs = 50;
    }
    std::string at(const std::string& name) const { return exchange + "/" + name; }
    void message(const std::string& profileText) {
        WriteFile(at("msg.dat"), profileText);
        WriteFile(at("msg.sig"), "");
        ReadDriverMessage(f.program);
    }
    static std::string Msg(const std::string& type, const std::string& text,
                           const std::string& buttons = "4") {
        return "[Msg]\r\nDlgType=" + type + "\r\nMsg=" + text + "\r\nButtons=" + buttons +
               "\r\nCode=17\r\n";
    }
    bool logged(const std::string& line) const {
        const std::vector<std::string> log = f.logMessages();
        return std::find(log.begin(), log.end(), line) != log.end();
    }
    ProgramFixture f;
    const std::string exchange = f.dir.file("exchange");
};

} // namespace

TEST_F(Message, DialogTypeDecidesWhetherAWindowIsShown) {
    const std::pair<std::string, int32_t> cases[] = {
        {"0", 0},   {"4", 4}, {"004", 4}, {"5", -1},          {"-1", -1},
        {"2a", -1}, {"", -1}, {" 3 ", 3}, {"4294967299", -1},
    };
    int shown = 0;
    for (const auto& [text, type] : cases) {
        SCOPED_TRACE("DlgType=" + text);
        message(Msg(text, "Hello"));
        EXPECT_EQ(f.program.messageDialogType, type);
        if (type >= 0)
            ++shown;
        EXPECT_EQ(f.ui.windowsShown, shown);
        EXPECT_FALSE(Exists(at("msg.sig")));
        EXPECT_TRUE(Exists(at("msg.dat")));
        f.program.messageWindowOpen = false; // the operator is not involved here
    }
}

TEST_F(Message, TextLineBreaksAndParameters) {
    message("[Msg]\r\nDlgType=1\r\nMsg=Canister low.<brk>Refill canister $1$\r\nButtons=5\r\n"
            "Code=0012\r\n[MsgValues]\r\nCount=1\r\nParm1=7\r\n");
    EXPECT_EQ(f.program.messageText, "Canister low.\r\nRefill canister 7");
    EXPECT_EQ(f.program.messageButtons, 5);
    EXPECT_EQ(f.program.messageCode, 12);
    EXPECT_EQ(f.program.messageValues, std::vector<std::string>{"7"});
    EXPECT_EQ(f.ui.shownTexts, std::vector<std::string>{"Canister low.\r\nRefill canister 7"});
    EXPECT_TRUE(f.program.messageWindowOpen);

    // Only the exact "<brk>" is a line break.
    message(Msg("0", "a<BRK>b<brk<brk>>c"));
    EXPECT_EQ(f.program.messageText, "a<BRK>b<brk\r\n>c");
}

TEST_F(Message, NumbersAndParameterCounts) {
    struct Case {
        std::string values;
        std::string text;
        int32_t buttons;
        int32_t code;
        std::vector<std::string> parms;
        std::string expanded;
    };
    const Case cases[] = {
        {"Count=0\r\nParm1=7\r\n", "n=$1$", 0, -1, {}, "n=$1$"},
        {"Count=2\r\nParm1=7\r\n", "$1$-$2$.", 0, -1, {"7", ""}, "7-."},
        {"Count=abc\r\nParm1=7\r\n", "$1$", 0, -1, {}, "$1$"},
        {"Count=4294967296\r\nParm1=7\r\n", "$1$", 0, -1, {}, "$1$"},
        {"Count=1\r\nParm1=  padded  \r\n", "<$1$>", 0, -1, {"padded"}, "<padded>"},
        {"Count=1\r\nParm1=has $1$\r\n", "no placeholders", 0, -1, {"has $1$"}, "no placeholders"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.values);
        message("[Msg]\r\nDlgType=3\r\nMsg=" + c.text + "\r\nButtons=x\r\nCode=-4\r\n" +
                "[MsgValues]\r\n" + c.values);
        EXPECT_EQ(f.program.messageButtons, c.buttons);
        EXPECT_EQ(f.program.messageCode, c.code);
        EXPECT_EQ(f.program.messageValues, c.parms);
        EXPECT_EQ(f.program.messageText, c.expanded);
        f.program.messageWindowOpen = false;
    }
    message(Msg("2", "t", "2048"));
    EXPECT_EQ(f.program.messageButtons, 2048);
    EXPECT_EQ(f.program.messageCode, 17);
}

TEST_F(Message, NewMessageDropsTheOpenOneAndAPendingReply) {
    message(Msg("4", "First?", "3"));
    ASSERT_TRUE(f.program.messageWindowOpen);
    message(Msg("1", "Second!", "4"));
    EXPECT_EQ(f.ui.windowsClosedByRequest, 1);
    EXPECT_EQ(f.ui.windowsShown, 2);
    EXPECT_EQ(f.ui.shownTexts, (std::vector<std::string>{"First?", "Second!"}));
    EXPECT_TRUE(f.program.messageWindowOpen);
    EXPECT_FALSE(f.program.messageWindowCloseRequest);
    EXPECT_EQ(f.program.replyPending, 0);
    EXPECT_FALSE(Exists(at("reply.dat")));
    EXPECT_FALSE(Exists(at("reply.sig")));

    // A reply the operator chose but that was not written yet is dropped too.
    f.ui.autoAnswer = 4;
    f.ui.processPendingEvents();
    ASSERT_EQ(f.program.replyPending, 4);
    message(Msg("3", "Third"));
    EXPECT_EQ(f.program.replyPending, 0);
}

TEST_F(Message, InvalidTypeWithdrawsOpenWindowAndKeepsState) {
    message("[Msg]\r\nDlgType=2\r\nMsg=Jam $1$\r\nButtons=4\r\nCode=9\r\n[MsgValues]\r\n"
            "Count=1\r\nParm1=A\r\n");
    ASSERT_TRUE(f.program.messageWindowOpen);
    message(Msg("9", "ignored", "1"));
    EXPECT_EQ(f.ui.windowsClosedByRequest, 1);
    EXPECT_EQ(f.ui.windowsShown, 1);
    EXPECT_FALSE(f.program.messageWindowOpen);
    EXPECT_EQ(f.program.messageDialogType, -1);
    EXPECT_EQ(f.program.messageText, "Jam A");
    EXPECT_EQ(f.program.messageButtons, 4);
    EXPECT_EQ(f.program.messageCode, 9);
    EXPECT_FALSE(Exists(at("reply.dat")));
    EXPECT_FALSE(Exists(at("msg.sig")));

    // Without an open window an invalid message changes nothing on screen.
    message(Msg("", "x"));
    EXPECT_EQ(f.ui.windowsClosedByRequest, 1);
}

TEST_F(Message, WindowThatCannotCloseStillEndsTheWait) {
    const std::string stuckLine =
        "Error: Message window did not close within 50 ms; the earlier message is dropped";
    f.ui.windowCanClose = false;
    message(Msg("1", "First"));
    message(Msg("2", "Second"));
    EXPECT_TRUE(logged(stuckLine));
    EXPECT_GT(f.ui.eventPasses, 0); // events were run while waiting
    EXPECT_EQ(f.ui.windowsShown, 2);
    EXPECT_EQ(f.program.messageText, "Second");

    // The withdrawing path ends the same way and leaves the window marked closed.
    message(Msg("x", "Withdraw"));
    EXPECT_FALSE(f.program.messageWindowOpen);
    const std::vector<std::string> log = f.logMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), stuckLine), 2);
}

// --- Bad message files ---

TEST_F(Message, MissingFileShowsNothingAndWithdrawsOpenWindow) {
    message(Msg("3", "Open"));
    std::filesystem::remove(at("msg.dat"));
    WriteFile(at("msg.sig"), "");
    ReadDriverMessage(f.program);
    EXPECT_EQ(f.program.messageDialogType, -1);
    EXPECT_FALSE(f.program.messageWindowOpen);
    EXPECT_EQ(f.ui.windowsShown, 1);
    EXPECT_FALSE(Exists(at("msg.sig")));
    const std::vector<std::string> log = f.logMessages();
    const std::vector<std::string> tail(log.end() - 3, log.end());
    const std::vector<std::string> expected = {"Logging data in file: " + at("msg.dat"),
                                               "- Error: No file found....", "End of logged data."};
    EXPECT_EQ(tail, expected);
}

TEST_F(Message, EmptyJunkAndHugeFiles) {
    message("");
    EXPECT_EQ(f.program.messageDialogType, -1);

    std::mt19937 rng(99);
    std::string junk(32 * 1024, '\0');
    for (char& c : junk)
        c = static_cast<char>(rng() & 0xFF);
    message(junk);
    EXPECT_EQ(f.program.messageDialogType, -1);
    EXPECT_EQ(f.ui.windowsShown, 0);

    // 10 MB of filler behind a valid message.
    std::string big = Msg("3", "Big one");
    const std::string filler = "Pad=" + std::string(2000, 'p') + "\r\n";
    big += "[Pad]\r\n";
    while (big.size() < 10 * 1024 * 1024)
        big += filler;
    message(big);
    EXPECT_EQ(f.program.messageDialogType, 3);
    EXPECT_EQ(f.program.messageText, "Big one");
    EXPECT_FALSE(Exists(at("msg.sig")));
}

TEST_F(Message, LongValuesAndHugeCountsStayBounded) {
    // 150 characters: the first 99 are the text, so the placeholder at the end is cut off.
    message("[Msg]\r\nDlgType=0\r\nMsg=" + std::string(120, 'm') + "<brk>$1$\r\n" +
            "[MsgValues]\r\nCount=1\r\nParm1=" + std::string(150, 'p') + "\r\n");
    EXPECT_EQ(f.program.messageText, std::string(99, 'm'));
    EXPECT_EQ(f.program.messageValues, std::vector<std::string>{std::string(99, 'p')});

    message("[Msg]\r\nDlgType=3\r\nMsg=$1$ and $2$\r\n[MsgValues]\r\nCount=2147483647\r\n"
            "Parm1=one\r\nParm2=two\r\n");
    EXPECT_EQ(f.program.messageText, "one and two");
    EXPECT_EQ(f.program.messageValues.size(), 1000u);
    EXPECT_TRUE(logged("Warning: Message parameter count 2147483647 is too large; only the first "
                       "1000 are read"));
}

// --- Reply ---

TEST_F(Message, ReplyWrittenLoggedAndSignalled) {
    message(Msg("4", "Proceed?", "5")); // "Yes" and "Ok"
    f.ui.autoAnswer = 4;                // the operator presses "Ok"
    f.ui.processPendingEvents();
    ASSERT_EQ(f.program.replyPending, 4);
    const size_t before = f.logMessages().size();

    WriteReply(f.program);
    EXPECT_EQ(f.program.replyPending, 0);
    EXPECT_EQ(f.host.ReadProfileString("Reply", "Button", at("reply.dat")), "4");
    EXPECT_EQ(f.host.ReadProfileString("Main", "Nothing", at("reply.sig")), "0");

    const std::vector<std::string> log = f.logMessages();
    const std::vector<std::string> logged(log.begin() + static_cast<long>(before), log.end());
    const std::vector<std::string> expected = {"Logging data in file: " + at("reply.dat"),
                                               "[Reply]", "Button=4", "End of logged data."};
    EXPECT_EQ(logged, expected);
}

TEST_F(Message, ReplyOverEarlierFileOrIntoMissingDirectory) {
    // The key is replaced in place; other lines stay.
    WriteFile(at("reply.dat"), "[Reply]\r\nButton=1\r\nOther=x\r\n");
    f.program.replyPending = 1024;
    WriteReply(f.program);
    EXPECT_EQ(ReadFile(at("reply.dat")), "[Reply]\r\nButton=1024\r\nOther=x\r\n");

    f.program.driverCommandDirectory = f.dir.file("gone/");
    f.program.replyPending = 2;
    WriteReply(f.program);
    EXPECT_EQ(f.program.replyPending, 0);
    EXPECT_TRUE(logged("- Error: No file found...."));
    EXPECT_FALSE(Exists(f.dir.file("gone")));
}
