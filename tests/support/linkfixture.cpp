#include <gtest/gtest.h>

#include "linkfixture.h"

#include <algorithm>

namespace qelptest {

::testing::AssertionResult InOrder(const std::vector<std::string>& actual,
                                   const std::vector<std::string>& expected) {
    size_t at = 0;
    for (const std::string& want : expected) {
        auto it = std::find(actual.begin() + static_cast<long>(at), actual.end(), want);
        if (it == actual.end()) {
            std::string dump;
            for (const std::string& line : actual)
                dump += "\n  | " + line;
            return ::testing::AssertionFailure()
                   << "missing (in order) \"" << want << "\" after line " << at << " of:" << dump;
        }
        at = static_cast<size_t>(it - actual.begin()) + 1;
    }
    return ::testing::AssertionSuccess();
}

int CountOf(const std::vector<std::string>& actual, const std::string& message) {
    return static_cast<int>(std::count(actual.begin(), actual.end(), message));
}

} // namespace qelptest
