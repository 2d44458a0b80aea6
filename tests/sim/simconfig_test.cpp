#include "simconfig.h"
#include "testsupport.h"

#include <gtest/gtest.h>

using namespace qelpsim;
using qelptest::HostPath;

TEST(SimConfig, PathsSeparatorsFallBacksAndFaultSelection) {
    EXPECT_EQ(ParseSimConfig("", "/opt/sim/", ',').decimalSeparator, ','); // none in the ini
    EXPECT_EQ(
        ParseSimConfig("[link]\ncommandpath = ex\\\n", HostPath("/opt/sim/"), '.').commandPath,
        HostPath("/opt/sim/ex/"));
    SimConfig c = ParseSimConfig(
        "[Canisters]\r\nCount=0\r\nCanister_1_SizeMl=big\r\nCanister_3_ContentMl=9000\r\n"
        "Canister_4_Density=-1\r\n[Timing]\r\nFastMode=maybe\r\nResetMs=-5\r\n"
        "[Machine]\r\nDecimalSeparator=;\r\n[Faults]\r\nDieAt=Later\r\nResult=Odd\r\n",
        "/", '.');
    EXPECT_EQ(c.machine.canisters.size(), 16u);
    EXPECT_DOUBLE_EQ(c.machine.canisters[0].sizeMl, 4000);
    EXPECT_DOUBLE_EQ(c.machine.canisters[2].contentMl, c.machine.canisters[2].sizeMl);
    EXPECT_DOUBLE_EQ(c.machine.canisters[3].densityGPerMl, 1.25);
    EXPECT_FALSE(c.machine.timing.fast);
    EXPECT_EQ(c.machine.timing.resetMs, 1000);
    EXPECT_EQ(c.decimalSeparator, '.');
    EXPECT_EQ(c.faults.die, DiePhase::None);
    EXPECT_EQ(c.faults.result, ResultFault::None);
    EXPECT_EQ(c.warnings.size(), 9u);
    FaultConfig f = ParseSimConfig("[Faults]\r\nOnCommand=3\r\nOnVerb=purge\r\n", "/", '.').faults;
    EXPECT_TRUE(f.selects(3, "PURGE") && FaultConfig().selects(99, "DOSE")); // none: every one
    EXPECT_FALSE(f.selects(2, "PURGE") || f.selects(3, "CLEAN"));
}
