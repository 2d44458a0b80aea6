#pragma once
// A console Program wired to a real simulator installation, for the end-to-end tests.
#include "driverharness.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qelptest {

template <class HostT, class ClockT> struct LinkOn : ProgramOn<HostT, ClockT> {
    explicit LinkOn(const std::string& iniExtra = {}, bool fast = true)
        : driver(this->dir.path(), iniExtra, fast) {}
    DriverInstall driver;
};
using LinkFixture = LinkOn<TestHost, TestClock>;

// True when `expected` appears in `actual` in this order (other lines may come between).
::testing::AssertionResult InOrder(const std::vector<std::string>& actual,
                                   const std::vector<std::string>& expected);
// Number of times the message appears.
int CountOf(const std::vector<std::string>& actual, const std::string& message);

} // namespace qelptest
