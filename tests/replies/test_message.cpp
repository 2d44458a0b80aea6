// Driver messages into the message state and window, parameter expansion, and replies.
#include "link/config.h"
#include "replies/message.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace qelp;
using namespace qelptest;
using Lines = std::vector<std::string>;

TEST(ExpandMessageValues, PlaceholdersReplacedInAscendingPasses) {
    const std::tuple<std::string, Lines, std::string> cases[] = {
        {"a $1$ b $2$ c $1$", {"7", "x"}, "a 7 b x c 7"},
        {"$3$ $1 1$ $$1$$", {"7", "x"}, "$3$ $1 1$ $7$"}, // no value, near misses
        {"$11$/$10$/$1$", {"a", "", "", "", "", "", "", "", "", "j", "k"}, "k/j/a"},
        // Value 1 brings in $2$, which the second pass fills; value 2 brings in $1$, which
        // no later pass touches.
        {"[$1$]", {"<$2$>", "two $1$"}, "[<two $1$>]"},
        {"$1$$1$", {"$1$"}, "$1$$1$"}, // not expanded again
        {"a$2$b", {"1", ""}, "ab"},    // an empty value removes its placeholder
    };
    for (const auto& [text, values, expected] : cases)
        EXPECT_EQ(ExpandMessageValues(text, values), expected) << text;
    // Each value holds 33 placeholders of the next: unbounded, this grows 33 times per pass.
    Lines feeding(12);
    for (int i = 0; i < 12; ++i)
        for (int k = 0; k < 33; ++k)
            feeding[i] += "$" + std::to_string(i + 2) + "$";
    const std::string out = ExpandMessageValues(std::string(33, 'a') + "$1$$1$$1$", feeding);
    EXPECT_LT(out.size(), 1024u * 1024u);
    EXPECT_GT(out.size(), 99u); // the early passes were made
}

namespace {

class Message : public ::testing::Test {
protected:
    void SetUp() override {
        ReadLinkConfiguration(f.program);
        f.program.link.driverCommandDirectory = f.dir.path();
    }
    std::string at(const std::string& name) const { return f.dir.file(name); }
    void message(const std::string& profileText) {
        WriteFile(at("msg.dat"), profileText);
        WriteFile(at("msg.sig"), "");
        ReadDriverMessage(f.program);
    }
    static std::string Msg(const std::string& type, const std::string& text,
                           const std::string& more = "Buttons=4\r\nCode=17\r\n") {
        return "[Msg]\r\nDlgType=" + type + "\r\nMsg=" + text + "\r\n" + more;
    }
    int logged(const std::string& line) const {
        return static_cast<int>(std::ranges::count(LogMessages(f.program), line));
    }
    // The console on a manual clock, so the bounded close wait runs its course at once.
    ProgramOn<TestHost, ManualClock> f;
};

} // namespace

TEST_F(Message, DialogTypeDecidesWhetherAWindowIsShown) {
    // clang-format off
    const std::pair<std::string, int32_t> cases[] = {{"0", 0}, {"4", 4}, {"004", 4}, {"5", -1},
        {"-1", -1}, {"2a", -1}, {"", -1}, {" 3 ", 3}, {"4294967299", -1}};
    // clang-format on
    int shown = 0;
    for (const auto& [text, type] : cases) {
        SCOPED_TRACE("DlgType=" + text);
        message(Msg(text, "Hello"));
        EXPECT_EQ(f.program.message.messageDialogType, type);
        EXPECT_EQ(f.ui.windowsShown, shown += type >= 0);
        f.program.message.messageWindowOpen = false; // the operator is not involved here
    }
}

TEST_F(Message, TextLineBreaksNumbersAndParameters) {
    message(Msg("1", "Canister low.<brk>Refill canister $1$",
                "Buttons=5\r\nCode=0012\r\n[MsgValues]\r\nCount=1\r\nParm1=7\r\n"));
    EXPECT_EQ(f.program.message.messageText, "Canister low.\r\nRefill canister 7");
    EXPECT_EQ(f.program.message.messageButtons, 5);
    EXPECT_EQ(f.program.message.messageCode, 12);

    message(Msg("0", "a<BRK>b<brk<brk>>c")); // only the exact "<brk>" is a line break
    EXPECT_EQ(f.program.message.messageText, "a<BRK>b<brk\r\n>c");

    // Count 0 reads nothing; a missing Parm counts as empty; a count beyond 32 bits as 0.
    // Text and values are cut to 99 characters before the expansion.
    const std::tuple<std::string, std::string, Lines, std::string> cases[] = {
        {"Count=0\r\nParm1=7\r\n", "n=$1$", {}, "n=$1$"},
        {"Count=2\r\nParm1=7\r\n", "$1$-$2$.", {"7", ""}, "7-."},
        {"Count=4294967296\r\nParm1=7\r\n", "$1$", {}, "$1$"},
        {"Count=1\r\nParm1=" + std::string(150, 'p'),
         std::string(120, 'm') + "<brk>$1$",
         {std::string(99, 'p')},
         std::string(99, 'm')}};
    for (const auto& [values, text, parms, expanded] : cases) {
        SCOPED_TRACE(values);
        message(Msg("3", text, "[MsgValues]\r\n" + values));
        EXPECT_EQ(f.program.message.messageValues, parms);
        EXPECT_EQ(f.program.message.messageText, expanded);
    }
    // A huge count reads a bounded number of values, with a warning.
    message(Msg("3", "$1$+$2$", "[MsgValues]\r\nCount=2147483647\r\nParm1=a\r\nParm2=b\r\n"));
    EXPECT_EQ(f.program.message.messageText, "a+b");
    EXPECT_EQ(f.program.message.messageValues.size(), 1000u);
    EXPECT_EQ(logged("Warning: Message parameter count 2147483647 is too large; only the first "
                     "1000 are read"),
              1);
}

TEST_F(Message, NewMessageDropsTheOpenOneInvalidOneWithdrawsIt) {
    message(Msg("4", "First?"));
    message(Msg("1", "Second!"));
    EXPECT_EQ(f.ui.windowsClosedByRequest, 1);
    EXPECT_EQ(f.ui.shownTexts, (Lines{"First?", "Second!"}));
    EXPECT_TRUE(f.program.message.messageWindowOpen);
    f.ui.autoAnswer = 4; // a chosen reply not written yet is dropped too
    f.ui.processPendingEvents();
    ASSERT_EQ(f.program.message.replyPending, 4);
    f.ui.autoAnswer = 0;
    message(Msg("2", "Jam $1$", "Buttons=4\r\nCode=9\r\n[MsgValues]\r\nCount=1\r\nParm1=A\r\n"));
    EXPECT_EQ(f.program.message.replyPending, 0);
    ASSERT_TRUE(f.program.message.messageWindowOpen);

    // An invalid type withdraws the open window and keeps the state.
    message(Msg("9", "ignored", "Buttons=1\r\n"));
    EXPECT_EQ(f.ui.windowsClosedByRequest, 2);
    EXPECT_EQ(f.ui.windowsShown, 3);
    EXPECT_FALSE(f.program.message.messageWindowOpen);
    EXPECT_EQ(f.program.message.messageDialogType, -1);
    EXPECT_EQ(f.program.message.messageText, "Jam A");
    EXPECT_EQ(f.program.message.messageCode, 9);
    EXPECT_FALSE(Exists(at("reply.dat")) || Exists(at("reply.sig")) || Exists(at("msg.sig")));
}

TEST_F(Message, WindowThatCannotCloseStillEndsTheWait) {
    const std::string stuck =
        "Error: Message window did not close within 2000 ms; the earlier message is dropped";
    f.ui.windowCanClose = false;
    message(Msg("1", "First"));
    message(Msg("2", "Second"));
    EXPECT_EQ(logged(stuck), 1);
    EXPECT_EQ(f.clock.now, 2000);
    EXPECT_GT(f.ui.eventPasses, 0); // events were run while waiting
    EXPECT_EQ(f.ui.windowsShown, 2);
    EXPECT_EQ(f.program.message.messageText, "Second");
    message(Msg("x", "Withdraw")); // the withdrawing path ends the same way
    EXPECT_FALSE(f.program.message.messageWindowOpen);
    EXPECT_EQ(logged(stuck), 2);
}
