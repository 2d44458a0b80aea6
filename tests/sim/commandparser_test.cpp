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

std::string refusal(const std::string& text) {
    ParsedCommand p = ParseCommandFile(text);
    EXPECT_FALSE(p.command.has_value()) << text;
    return p.error;
}

} // namespace

TEST(CommandParser, MaintenanceVerbsAndTheirArguments) {
    struct Case {
        const char* line;
        Verb verb;
        int canister;
        double amount;
        const char* text;
    };
    const Case cases[] = {
        {"@EXT RESET", Verb::Reset, 0, 0, ""},
        {"@EXT RESET HARD", Verb::ResetHard, 0, 0, ""},
        {"@EXT VERSION", Verb::Version, 0, 0, ""},
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
    }
    const std::pair<const char*, InfoKind> kinds[] = {{"FEATURES", InfoKind::Features},
                                                      {"PUMPCOUNT", InfoKind::PumpCount},
                                                      {"CANISTERCOUNT", InfoKind::CanisterCount},
                                                      {"canistersize", InfoKind::CanisterSize}};
    for (const auto& [word, kind] : kinds) {
        Command info = parsedOk(std::string("@EXT MACHINE_INFO ") + word);
        EXPECT_EQ(info.verb, Verb::MachineInfo);
        EXPECT_EQ(info.info, kind) << word;
    }
}

TEST(CommandParser, VerbNameIsKnownEvenForRefusedCommands) {
    EXPECT_EQ(ParseCommandFile(framed("@EXT PURGE x")).verbName, "PURGE");
    EXPECT_EQ(ParseCommandFile(framed("@ext machine_info canistersize")).verbName, "MACHINE_INFO");
    EXPECT_EQ(ParseCommandFile(framed("@WGH 0\r\n@CNX 1 2")).verbName, "DOSE");
    EXPECT_EQ(ParseCommandFile("@RUN\r\n@END\r\n").verbName, "EMPTY");
}

TEST(CommandParser, BrokenFramesAreRefused) {
    EXPECT_NE(refusal("").find("empty"), std::string::npos);
    EXPECT_NE(refusal("@EXT RESET\r\n@END\r\n").find("@RUN"), std::string::npos);
    EXPECT_NE(refusal("@RUN\r\n@EXT RESET\r\n").find("@END"), std::string::npos);
    EXPECT_NE(refusal("@RUN\r\n@END\r\n").find("no command"), std::string::npos);
    EXPECT_NE(refusal(framed("@EXT RESET\r\n@EXT VERSION")).find("exactly one"), std::string::npos);
    EXPECT_FALSE(refusal(framed("@WGH 0\r\n@EXT RESET\r\n@CNX 1 2")).empty());
    // Blank lines and bare LF line ends are tolerated.
    ParsedCommand lf = ParseCommandFile("@RUN\n\n@EXT RESET\n@END");
    EXPECT_TRUE(lf.command.has_value()) << lf.error;
}

TEST(CommandParser, MalformedMaintenanceLinesAreRefused) {
    for (const char* body : {"@EXT",
                             "@EXT REBOOT",
                             "@EXT RESET SOFT",
                             "@EXT MACHINE_INFO ",
                             "@EXT MACHINE_INFO SERIAL",
                             "@EXT VERSION 2",
                             "@EXT PURGE",
                             "@EXT PURGE x",
                             "@EXT PURGE 1 2",
                             "@EXT CLEAN 1.5",
                             "@EXT PURGECOL",
                             "@EXT FILLCANISTER",
                             "@EXT FILLCANISTER SET 3",
                             "@EXT FILLCANISTER ADD 3 1,5",
                             "@EXT FILLCANISTER ADD 3 -5",
                             "@EXT FILLCANISTER EMPTY 3",
                             "@EXT FILLCANISTER PREPARE",
                             "@EXT SETCANCOLNAME",
                             "@EXT SETCANCOLNAME x \"Red\"",
                             "@EXT SETCANCOLNAME 3 \"  \""}) {
        SCOPED_TRACE(body);
        EXPECT_FALSE(refusal(framed(body)).empty());
    }
}

TEST(CommandParser, FullRecipe) {
    Command c = parsedOk("@WGH 1\r\n@UNT 29.574 48\r\n@LQT 2\r\n@PRD \"Morvex BL\"\r\n"
                         "@BAS \"W05\"\r\n@CAN \"2L Ash Tray\" 2000 180\r\n"
                         "@CNT \"Oxide Red\" 12.5 \"Re\"d\" 4\r\n@SHL 0 -3 -1\r\n@PNC 1");
    ASSERT_EQ(c.verb, Verb::Dose);
    const DoseRecipe& r = c.recipe;
    EXPECT_EQ(r.unitType, 1);
    EXPECT_DOUBLE_EQ(r.unitSize, 29.574);
    EXPECT_DOUBLE_EQ(r.unitFraction, 48);
    EXPECT_EQ(r.cans, 2);
    EXPECT_EQ(r.product, "Morvex BL");
    EXPECT_EQ(r.base, "W05");
    ASSERT_TRUE(r.can.has_value());
    EXPECT_EQ(r.can->type, "2L Ash Tray");
    EXPECT_EQ(r.can->sizeMl, 2000);
    EXPECT_EQ(r.can->height, 180);
    EXPECT_TRUE(r.byColorantName);
    ASSERT_EQ(r.colorants.size(), 2u);
    EXPECT_EQ(r.colorants[0].colorant, "Oxide Red");
    EXPECT_DOUBLE_EQ(r.colorants[0].amount, 12.5);
    EXPECT_EQ(r.colorants[1].colorant, "Re\"d"); // an embedded quote is kept
    EXPECT_DOUBLE_EQ(r.colorants[1].amount, 4);
    ASSERT_TRUE(r.shelf.has_value());
    EXPECT_EQ(r.shelf->before, 0);
    EXPECT_EQ(r.shelf->during, -3);
    EXPECT_EQ(r.shelf->after, -1);
    EXPECT_EQ(r.punchMode, 1);
}

TEST(CommandParser, MinimalRecipesTakeDefaults) {
    Command byCanister = parsedOk("@CNX 3 12.5 7 4");
    EXPECT_FALSE(byCanister.recipe.byColorantName);
    ASSERT_EQ(byCanister.recipe.colorants.size(), 2u);
    EXPECT_EQ(byCanister.recipe.colorants[1].canister, 7);
    EXPECT_EQ(byCanister.recipe.unitType, 0);
    EXPECT_DOUBLE_EQ(byCanister.recipe.unitSize / byCanister.recipe.unitFraction, 1.0);
    EXPECT_EQ(byCanister.recipe.cans, 1);
    EXPECT_FALSE(byCanister.recipe.can.has_value());
    EXPECT_FALSE(byCanister.recipe.shelf.has_value());
    EXPECT_EQ(byCanister.recipe.punchMode, 0);

    EXPECT_TRUE(parsedOk("@CNX").recipe.colorants.empty());
    Command unknownHeight = parsedOk("@CAN \"1L\" 1000 *UNK\r\n@CNT");
    ASSERT_TRUE(unknownHeight.recipe.can.has_value());
    EXPECT_FALSE(unknownHeight.recipe.can->height.has_value());
}

TEST(CommandParser, MalformedRecipesAreRefused) {
    for (const char* body :
         {"@WGH 2\r\n@CNX 1 1", "@UNT 0 48\r\n@CNX 1 1", "@UNT 29.574\r\n@CNX 1 1",
          "@UNT 29,574 48\r\n@CNX 1 1", "@LQT 0\r\n@CNX 1 1", "@CNX 1", "@CNX 1 -2", "@CNX x 2",
          "@CNT \"Red\" many", "@CNX 1 1\r\n@CNT \"Red\" 1", "@WGH 0\r\n@WGH 0\r\n@CNX",
          "@PNC 3\r\n@CNX", "@SHL 0 -4 0\r\n@CNX", "@SHL 0 0\r\n@CNX", "@CAN \"1L\" 0 100\r\n@CNX",
          "@CAN 1000\r\n@CNX", "@XYZ 1\r\n@CNX", "@WGH 0\r\n@UNT 1 1"}) {
        SCOPED_TRACE(body);
        EXPECT_FALSE(refusal(framed(body)).empty());
    }
}
