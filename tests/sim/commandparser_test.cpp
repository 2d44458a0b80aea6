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

TEST(CommandParser, MaintenanceVerbsAndTheirArguments) {
    struct Case {
        const char* line;
        Verb verb;
        int canister;
        double amount;
        const char* text;
        InfoKind info = InfoKind::Features;
    };
    const Case cases[] = {
        {"@EXT RESET", Verb::Reset, 0, 0, ""},
        {"@EXT RESET HARD", Verb::ResetHard, 0, 0, ""},
        {"@EXT VERSION", Verb::Version, 0, 0, ""},
        {"@EXT MACHINE_INFO FEATURES", Verb::MachineInfo, 0, 0, ""},
        {"@EXT MACHINE_INFO PUMPCOUNT", Verb::MachineInfo, 0, 0, "", InfoKind::PumpCount},
        {"@EXT MACHINE_INFO CANISTERCOUNT", Verb::MachineInfo, 0, 0, "", InfoKind::CanisterCount},
        {"@EXT MACHINE_INFO canistersize", Verb::MachineInfo, 0, 0, "", InfoKind::CanisterSize},
        {"@EXT PURGE 7", Verb::Purge, 7, 0, ""},
        {"@EXT PURGE -1", Verb::Purge, -1, 0, ""}, // well formed; no such canister
        {"@EXT CLEAN 0", Verb::Clean, 0, 0, ""},
        {"@EXT PURGECOL Oxide  Red ", Verb::PurgeColorant, 0, 0, "Oxide  Red"},
        {"@EXT CLEANCOL Lamp Black", Verb::CleanColorant, 0, 0, "Lamp Black"},
        {"@EXT FILLCANISTER PREPARE 4", Verb::FillPrepare, 4, 0, ""},
        {"@EXT FILLCANISTER SET 3 1500", Verb::FillSet, 3, 1500, ""},
        {"@EXT FILLCANISTER ADD 12 2.5", Verb::FillAdd, 12, 2.5, ""},
        {"@EXT SHOWSERVICEWINDOW", Verb::ServiceWindow, 0, 0, ""},
        {"@EXT SHOWSERVICEWINDOW se cret", Verb::ServiceWindow, 0, 0, "se cret"},
        {"@EXT SETCANCOLNAME 3 \"Iron \"Oxide\" Red\"", Verb::SetColorantName, 3, 0,
         "Iron \"Oxide\" Red"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Command cmd = parsedOk(c.line);
        EXPECT_EQ(cmd.verb, c.verb);
        EXPECT_EQ(cmd.canister, c.canister);
        EXPECT_DOUBLE_EQ(cmd.amountMl, c.amount);
        EXPECT_EQ(cmd.text, c.text);
        EXPECT_EQ(cmd.info, c.info);
    }
    // The verb name drives fault selection, so it is known even for refused commands.
    EXPECT_EQ(ParseCommandFile(framed("@EXT PURGE x")).verbName, "PURGE");
    EXPECT_EQ(ParseCommandFile(framed("@ext machine_info canistersize")).verbName, "MACHINE_INFO");
    EXPECT_EQ(ParseCommandFile("@RUN\r\n@END\r\n").verbName, "EMPTY");
    EXPECT_TRUE(ParseCommandFile("@RUN\n\n@EXT RESET\n@END").command); // blank lines, LF
}

TEST(CommandParser, Recipes) {
    using std::make_tuple, std::string;
    Command c = parsedOk("@WGH 1\r\n@UNT 29.574 48\r\n@LQT 2\r\n@PRD \"Morvex BL\"\r\n"
                         "@BAS \"W05\"\r\n@CAN \"2L Ash Tray\" 2000 180\r\n"
                         "@CNT \"Oxide Red\" 12.5 \"Re\"d\" 4\r\n@SHL 0 -3 -1\r\n@PNC 1");
    const DoseRecipe& r = c.recipe;
    EXPECT_EQ(c.verb, Verb::Dose);
    EXPECT_EQ(make_tuple(r.unitType, r.cans, r.product, r.base, r.byColorantName, r.punchMode),
              make_tuple(1, 2, string("Morvex BL"), string("W05"), true, 1));
    EXPECT_DOUBLE_EQ(r.unitSize, 29.574);
    EXPECT_DOUBLE_EQ(r.unitFraction, 48);
    ASSERT_TRUE(r.can && r.shelf);
    EXPECT_EQ(make_tuple(r.can->type, r.can->sizeMl, r.can->height),
              make_tuple(string("2L Ash Tray"), 2000, std::optional<int>(180)));
    EXPECT_EQ(make_tuple(r.shelf->before, r.shelf->during, r.shelf->after), make_tuple(0, -3, -1));
    ASSERT_EQ(r.colorants.size(), 2u);
    EXPECT_EQ(r.colorants[0].colorant, "Oxide Red");
    EXPECT_DOUBLE_EQ(r.colorants[0].amount, 12.5);
    EXPECT_EQ(r.colorants[1].colorant, "Re\"d"); // an embedded quote is kept
    EXPECT_DOUBLE_EQ(r.colorants[1].amount, 4);

    // Minimal recipes: millilitres for one can, no can, no shelf, no punching.
    const DoseRecipe m = parsedOk("@CNX 3 12.5 7 4").recipe;
    ASSERT_EQ(m.colorants.size(), 2u);
    EXPECT_EQ(make_tuple(m.byColorantName, m.colorants[1].canister, m.unitType, m.cans,
                         m.can.has_value(), m.shelf.has_value(), m.punchMode),
              make_tuple(false, 7, 0, 1, false, false, 0));
    EXPECT_DOUBLE_EQ(m.colorants[1].amount, 4);
    EXPECT_DOUBLE_EQ(m.unitSize / m.unitFraction, 1.0);
    EXPECT_TRUE(parsedOk("@CNX").recipe.colorants.empty());
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
    auto refused = [](const std::string& body) {
        ParsedCommand p = ParseCommandFile(framed(body));
        EXPECT_FALSE(p.command.has_value()) << body;
        EXPECT_FALSE(p.error.empty()) << body;
    };
    for (const char* body : {"@EXT", "@EXT REBOOT", "@EXT RESET SOFT", "@EXT MACHINE_INFO ",
                             "@EXT MACHINE_INFO SERIAL", "@EXT VERSION 2", "@EXT PURGE",
                             "@EXT PURGE x", "@EXT PURGE 1 2", "@EXT CLEAN 1.5", "@EXT PURGECOL"})
        refused(body);
    for (const char* body :
         {"@EXT FILLCANISTER", "@EXT FILLCANISTER SET 3", "@EXT FILLCANISTER ADD 3 1,5",
          "@EXT FILLCANISTER ADD 3 -5", "@EXT FILLCANISTER EMPTY 3", "@EXT FILLCANISTER PREPARE",
          "@EXT SETCANCOLNAME", "@EXT SETCANCOLNAME x \"Red\"", "@EXT SETCANCOLNAME 3 \"  \""})
        refused(body);
    for (const char* body :
         {"@WGH 2\r\n@CNX 1 1", "@UNT 0 48\r\n@CNX 1 1", "@UNT 29.574\r\n@CNX 1 1",
          "@UNT 29,574 48\r\n@CNX 1 1", "@LQT 0\r\n@CNX 1 1", "@CNX 1", "@CNX 1 -2", "@CNX x 2",
          "@CNT \"Red\" many", "@CNX 1 1\r\n@CNT \"Red\" 1", "@WGH 0\r\n@WGH 0\r\n@CNX",
          "@PNC 3\r\n@CNX", "@SHL 0 -4 0\r\n@CNX", "@SHL 0 0\r\n@CNX", "@CAN \"1L\" 0 100\r\n@CNX",
          "@CAN 1000\r\n@CNX", "@XYZ 1\r\n@CNX", "@WGH 0\r\n@UNT 1 1",
          "@WGH 0\r\n@EXT RESET\r\n@CNX 1 2"})
        refused(body);
}
