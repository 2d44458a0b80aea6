// The console's texts and parsers, without a screen: what the message boxes say, the fill
// amount, and the command-file list.
#include "console/commandlist.h"
#include "console/consoletext.h"
#include "frame/program.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace qelp;

TEST(ConsoleText, InformationTextsAndTheFillAmount) {
    const std::string none = "No data returned\?\?\?\?\?\?!!!!\r\n";
    ProgramState p;
    p.result.commandOutput = "31";
    EXPECT_EQ(VersionText(p),
              "Version return:\r\nVersion Code: 31\r\n\r\nVersion Text:\r\n" + none);
    p.session.decimalSeparator = ',';
    EXPECT_EQ(MachineInfoText(p, MachineInfoKind::CanisterSize),
              "CanisterSize return:31\r\n\r\n" + none);
    // Litres to millilitres, half to even; -1: refused.
    for (auto [litres, separator, ml] : {std::tuple{"2.0005", '.', 2000},
                                         {"1,25", ',', 1250},
                                         {"-0.1", '.', -100},
                                         {"2147483.647", '.', 2147483647},
                                         {"2147483.648", '.', -1},
                                         {"1.5", ',', -1},
                                         {"1e9", '.', -1},
                                         {"", '.', -1}})
        EXPECT_EQ(FillAmountMl(litres, separator).value_or(-1), ml) << litres;
}

TEST(CommandList, EntriesAreSplitQuotedAndTrimmed) {
    const std::pair<const char*, const char*> lists[] = {
        // list, entries joined with '|'
        {"a.cmd\r\n\r\nb.cmd\r\nc.cmd\r\n", "a.cmd|b.cmd|c.cmd"},
        {"a.cmd\nb.cmd\rc.cmd", "a.cmd|b.cmd|c.cmd"},
        {"   a.cmd  ,\tb c.cmd\t\r\n", "a.cmd|b c.cmd"},
        {" \r\n\t\r\n , ,\r\n", ""},
        {"\"dir, one/a.cmd\",b.cmd", "dir, one/a.cmd|b.cmd"},
        {"  \" spaced .cmd\"  \r\nx", " spaced .cmd|x"},
        {"\"a.cmd\"junk,b.cmd", "a.cmd|b.cmd"},          // text after the closing quote goes
        {"\"open.cmd\r\nnext.cmd", "open.cmd|next.cmd"}, // an open quote ends at the line end
        {"\"\",\"  \"", ""}};
    for (auto [list, entries] : lists) {
        std::string got;
        for (const std::string& e : ParseCommandFileList(list))
            got += (got.empty() ? "" : "|") + e;
        EXPECT_EQ(got, entries) << list;
    }
}
