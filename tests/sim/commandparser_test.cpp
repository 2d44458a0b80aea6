#include "commandparser.h"

#include <gtest/gtest.h>

using namespace qelpsim;

namespace {

std::string framed(const std::string& body) {
    return "@RUN\r\n" + body + "\r\n@END\r\n";
}

Command parsedOk(const std::string& body) {
    ParsedCommand p = ParseCommandFile(framed(body));
    EXPECT_TRUE(p.command.has_value()) << body << ": " << p.error;
    return p.command.value_or(Command{});
}

} // namespace

TEST(CommandParser, TextsNumbersAndOptionalParts) {
    using std::make_tuple, std::string;
    // Texts keep inner blanks and quotes; letter case and line ends do not matter.
    EXPECT_EQ(parsedOk("@EXT PURGECOL Oxide  Red ").text, "Oxide  Red");
    EXPECT_EQ(parsedOk("@EXT SHOWSERVICEWINDOW se cret").text, "se cret");
    EXPECT_EQ(parsedOk("@EXT MACHINE_INFO canistersize").info, InfoKind::CanisterSize);
    EXPECT_EQ(parsedOk("@EXT PURGE -1").canister, -1); // well formed; no such canister
    EXPECT_DOUBLE_EQ(parsedOk("@EXT FILLCANISTER ADD 12 2.5").amountMl, 2.5);
    EXPECT_TRUE(ParseCommandFile("@RUN\n\n@EXT RESET\n@END").command);
    // The verb name drives fault selection, so it is known even for refused commands.
    EXPECT_EQ(ParseCommandFile(framed("@EXT PURGE x")).verbName, "PURGE");
    EXPECT_EQ(ParseCommandFile(framed("@ext machine_info x")).verbName, "MACHINE_INFO");
    EXPECT_EQ(ParseCommandFile("@RUN\r\n@END\r\n").verbName, "EMPTY");

    const DoseRecipe r = parsedOk("@WGH 1\r\n@PRD \"Morvex BL\"\r\n@BAS \"W05\"\r\n"
                                  "@CAN \"2L Ash Tray\" 2000 180\r\n@CNT \"Re\"d\" 4\r\n"
                                  "@SHL 0 -3 -1\r\n@PNC 1")
                             .recipe;
    EXPECT_EQ(make_tuple(r.product, r.base, r.byColorantName, r.punchMode),
              make_tuple(string("Morvex BL"), string("W05"), true, 1));
    ASSERT_TRUE(r.can && r.shelf && r.colorants.size() == 1);
    EXPECT_EQ(make_tuple(r.can->type, r.can->sizeMl, r.can->height),
              make_tuple(string("2L Ash Tray"), 2000, std::optional<int>(180)));
    EXPECT_EQ(make_tuple(r.shelf->before, r.shelf->during, r.shelf->after), make_tuple(0, -3, -1));
    EXPECT_EQ(r.colorants[0].colorant, "Re\"d"); // an embedded quote is kept
    // Without the optional lines: millilitres for one can, no can, no shelf, no punching.
    const DoseRecipe m = parsedOk("@CNX").recipe;
    EXPECT_EQ(make_tuple(m.colorants.empty(), m.unitType, m.cans, m.can.has_value(),
                         m.shelf.has_value(), m.punchMode),
              make_tuple(true, 0, 1, false, false, 0));
    EXPECT_DOUBLE_EQ(m.unitSize / m.unitFraction, 1.0);
    std::optional<CanDetails> unknownHeight = parsedOk("@CAN \"1L\" 1000 *UNK\r\n@CNT").recipe.can;
    ASSERT_TRUE(unknownHeight.has_value());
    EXPECT_FALSE(unknownHeight->height.has_value());
}

TEST(CommandParser, MalformedFilesAreRefusedWithAReason) {
    const std::pair<std::string, const char*> frames[] = {
        {"", "empty"},
        {"@EXT RESET\r\n@END\r\n", "@RUN"},
        {"@RUN\r\n@EXT RESET\r\n", "@END"},
        {"@RUN\r\n@END\r\n", "no command"},
        {framed("@EXT RESET\r\n@EXT VERSION"), "exactly one"},
    };
    for (const auto& [text, reason] : frames) {
        ParsedCommand p = ParseCommandFile(text);
        EXPECT_FALSE(p.command.has_value()) << text;
        EXPECT_NE(p.error.find(reason), std::string::npos) << text << ": " << p.error;
    }
    const std::string bodies =
        "@EXT|@EXT REBOOT|@EXT RESET SOFT|@EXT MACHINE_INFO |@EXT MACHINE_INFO SERIAL|"
        "@EXT VERSION 2|@EXT PURGE|@EXT PURGE x|@EXT PURGE 1 2|@EXT CLEAN 1.5|@EXT PURGECOL|"
        "@EXT FILLCANISTER|@EXT FILLCANISTER SET 3|@EXT FILLCANISTER ADD 3 1,5|"
        "@EXT FILLCANISTER ADD 3 -5|@EXT FILLCANISTER EMPTY 3|@EXT FILLCANISTER PREPARE|"
        "@EXT SETCANCOLNAME|@EXT SETCANCOLNAME x \"Red\"|@EXT SETCANCOLNAME 3 \"  \"|"
        "@WGH 2\r\n@CNX 1 1|@UNT 0 48\r\n@CNX 1 1|@UNT 29.574\r\n@CNX 1 1|"
        "@UNT 29,574 48\r\n@CNX 1 1|@LQT 0\r\n@CNX 1 1|@CNX 1|@CNX 1 -2|@CNX x 2|"
        "@CNT \"Red\" many|@CNX 1 1\r\n@CNT \"Red\" 1|@WGH 0\r\n@WGH 0\r\n@CNX|@PNC 3\r\n@CNX|"
        "@SHL 0 -4 0\r\n@CNX|@SHL 0 0\r\n@CNX|@CAN \"1L\" 0 100\r\n@CNX|@CAN 1000\r\n@CNX|"
        "@XYZ 1\r\n@CNX|@WGH 0\r\n@UNT 1 1|@WGH 0\r\n@EXT RESET\r\n@CNX 1 2|";
    for (size_t at = 0, end; (end = bodies.find('|', at)) != std::string::npos; at = end + 1) {
        const std::string body = bodies.substr(at, end - at);
        ParsedCommand p = ParseCommandFile(framed(body));
        EXPECT_TRUE(!p.command.has_value() && !p.error.empty()) << body;
    }
}
