#pragma once
// A console Program wired to a real simulator installation, for the end-to-end tests.
#include "driverharness.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qelptest {

struct LinkFixture : ProgramFixture {
    explicit LinkFixture(const std::string& iniExtra = {}, bool fast = true);
    DriverInstall driver;
};

// True when `expected` appears in `actual` in this order (other lines may come between).
::testing::AssertionResult InOrder(const std::vector<std::string>& actual,
                                   const std::vector<std::string>& expected);
// Number of times the message appears.
int CountOf(const std::vector<std::string>& actual, const std::string& message);

} // namespace qelptest
