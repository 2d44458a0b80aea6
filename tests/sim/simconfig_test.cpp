#include "simconfig.h"

#include <gtest/gtest.h>

using namespace qelpsim;

TEST(SimConfig, EmptyIniGivesARealisticMachine) {
    SimConfig c = ParseSimConfig("", "/opt/sim/", ',');
    EXPECT_TRUE(c.commandPath.empty());
    EXPECT_TRUE(c.warnings.empty());
    EXPECT_EQ(c.decimalSeparator, ','); // the locale's, when the ini names none
    EXPECT_EQ(c.pollIntervalMs, 100);
    EXPECT_TRUE(c.useInotify);
    ASSERT_EQ(c.machine.canisters.size(), 16u);
    EXPECT_EQ(c.machine.pumpCount, 16);
    EXPECT_EQ(c.machine.canisters[0].colorant, "Titanium White");
    for (const CanisterConfig& can : c.machine.canisters) {
        EXPECT_LE(can.contentMl, can.sizeMl) << can.colorant;
        EXPECT_LT(can.minMl, can.warnMl) << can.colorant;
    }
    EXPECT_FALSE(c.machine.timing.fast);
    EXPECT_EQ(c.faults.die, DiePhase::None);
    EXPECT_EQ(c.faults.result, ResultFault::None);
}

TEST(SimConfig, LinkSettingsAndPaths) {
    SimConfig absolute = ParseSimConfig("[Link]\r\nCommandPath=/srv/qelp/exchange\\\r\n"
                                        "PollIntervalMs=50\r\nUseInotify=0\r\n",
                                        "/opt/sim/", '.');
    EXPECT_EQ(absolute.commandPath, "/srv/qelp/exchange/");
    EXPECT_EQ(absolute.pollIntervalMs, 50);
    EXPECT_FALSE(absolute.useInotify);
    EXPECT_EQ(ParseSimConfig("[link]\ncommandpath = ex/\n", "/opt/sim/", '.').commandPath,
              "/opt/sim/ex/");
}

TEST(SimConfig, CanistersFromTheIni) {
    SimConfig c = ParseSimConfig("[Canisters]\r\nCount=18\r\nCanister_2_Colorant=Deep Red\r\n"
                                 "Canister_2_SizeMl=1000\r\nCanister_2_ContentMl=750.5\r\n"
                                 "Canister_2_WarnMl=200\r\nCanister_2_MinMl=50\r\n"
                                 "Canister_2_Density=1.4\r\n[Machine]\r\nPumpCount=8\r\n"
                                 "DecimalSeparator=,\r\nServicePassword=*\r\n"
                                 "[Timing]\r\nFastMode=yes\r\nDoseMs=4000\r\n",
                                 "/", '.');
    EXPECT_TRUE(c.warnings.empty());
    ASSERT_EQ(c.machine.canisters.size(), 18u);
    const CanisterConfig& two = c.machine.canisters[1];
    EXPECT_EQ(two.colorant, "Deep Red");
    EXPECT_DOUBLE_EQ(two.sizeMl, 1000);
    EXPECT_DOUBLE_EQ(two.contentMl, 750.5);
    EXPECT_DOUBLE_EQ(two.warnMl, 200);
    EXPECT_DOUBLE_EQ(two.minMl, 50);
    EXPECT_DOUBLE_EQ(two.densityGPerMl, 1.4);
    EXPECT_EQ(c.machine.canisters[0].colorant, "Titanium White");
    EXPECT_EQ(c.machine.canisters[17].colorant, "Colorant 18");
    EXPECT_EQ(c.machine.pumpCount, 8);
    EXPECT_EQ(c.decimalSeparator, ',');
    EXPECT_TRUE(c.machine.servicePassword.empty());
    EXPECT_TRUE(c.machine.timing.fast);
    EXPECT_EQ(c.machine.timing.scaled(c.machine.timing.doseMs), 0);
}

TEST(SimConfig, UnusableValuesWarnAndFallBack) {
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
    for (const std::string& w : c.warnings)
        EXPECT_FALSE(w.empty());
}

TEST(SimConfig, FaultsAndTheirSelection) {
    SimConfig c = ParseSimConfig("[Faults]\r\nOnCommand=3\r\nOnVerb=purge\r\nDieAt=InQuestion\r\n"
                                 "Hang=1\r\nResult=Huge\r\nHugeResultBytes=2048\r\n"
                                 "InvalidDialog=1\r\nMessageBurst=4\r\nResultCode=42\r\n"
                                 "NeverReady=1\r\n",
                                 "/", '.');
    const FaultConfig& f = c.faults;
    EXPECT_TRUE(c.warnings.empty());
    EXPECT_EQ(f.die, DiePhase::InQuestion);
    EXPECT_TRUE(f.hang);
    EXPECT_EQ(f.result, ResultFault::Huge);
    EXPECT_EQ(f.hugeResultBytes, 2048u);
    EXPECT_TRUE(f.invalidDialog);
    EXPECT_EQ(f.messageBurst, 4);
    EXPECT_EQ(f.resultCode, 42);
    EXPECT_TRUE(f.neverReady);

    EXPECT_TRUE(f.selects(3, "PURGE"));
    EXPECT_FALSE(f.selects(2, "PURGE"));
    EXPECT_FALSE(f.selects(3, "CLEAN"));
    FaultConfig any;
    EXPECT_TRUE(any.selects(1, "RESET"));
    EXPECT_TRUE(any.selects(99, "DOSE"));
    any.onVerb = "DOSE";
    EXPECT_TRUE(any.selects(5, "dose"));

    for (const char* name : {"AfterBusy", "AfterResultDat"})
        EXPECT_NE(ParseSimConfig(std::string("[Faults]\nDieAt=") + name, "/", '.').faults.die,
                  DiePhase::None);
    for (const char* name : {"NoResult", "NonNumeric", "Garbage", "Binary", "SignalOnly"})
        EXPECT_NE(ParseSimConfig(std::string("[Faults]\nResult=") + name, "/", '.').faults.result,
                  ResultFault::None);
}
