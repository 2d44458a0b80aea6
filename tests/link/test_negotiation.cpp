// Protocol version negotiation: the choice, the three error lines, ActiveVersion in the
// registry and the report line.
#include "frame/registry.h"
#include "link/config.h"
#include "link/negotiation.h"
#include "testsupport.h"

#include <gtest/gtest.h>

using namespace qelp;
using namespace qelptest;

namespace {

const std::string kEmpty =
    "Error: Client and/or server version registry is empty. Cannot negotiate protocol version!";
const std::string kEmptyList = "Error: Client and/or server version registry results in "
                               "empty list. Cannot negotiate protocol version!";
const std::string kNoMatch = "Error: QELP server and client have no matching protocol "
                             "version. Cannot negotiate protocol version to use!";

struct Case {
    // Shown by failing assertions and in test names instead of the record's bytes.
    friend void PrintTo(const Case& c, std::ostream* os) {
        *os << "server [" << c.server << "] client [" << c.client << "]";
    }
    const char* server;
    const char* client;
    bool ok;
    int32_t active;
    std::string error; // empty: no line at all
};

class Negotiation : public ::testing::TestWithParam<Case> {
protected:
    ProgramFixture f;
};

} // namespace

TEST_P(Negotiation, ChoosesHighestCommonVersion) {
    const Case& c = GetParam();
    RegistryStore registry(f.host.registryPath());
    // A value left from an earlier start is overwritten, success or not.
    ASSERT_TRUE(registry.WriteText(kConfigKey, "ActiveVersion", "77"));
    f.program.serverVersions = c.server;
    f.program.clientVersions = c.client;
    const size_t before = f.logMessages().size();

    EXPECT_EQ(NegotiateProtocolVersion(f.program), c.ok);
    EXPECT_EQ(f.program.activeVersion, c.active);
    EXPECT_EQ(registry.ReadAsText(kConfigKey, "ActiveVersion"), std::to_string(c.active));
    const std::vector<std::string> all = f.logMessages();
    const std::vector<std::string> logged(all.begin() + static_cast<long>(before), all.end());
    EXPECT_EQ(logged,
              c.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.error});
}

INSTANTIATE_TEST_SUITE_P(
    Lists, Negotiation,
    ::testing::Values(Case{"1,2,3", "2,3,4", true, 3, ""}, Case{"3,1,2", "2", true, 2, ""},
                      Case{"1, 2", "2", false, -1, kNoMatch}, Case{"1,,2", "2", true, 2, ""},
                      Case{"abc", "1", false, -1, kEmptyList},
                      Case{"1", "x,y", false, -1, kEmptyList}, Case{"1,2", "", false, -1, kEmpty},
                      Case{"", "1", false, -1, kEmpty}, Case{"0,5", "0,7", false, 0, kNoMatch},
                      Case{"4,4", "4", true, 4, ""}, Case{"2,", ",2", true, 2, ""},
                      Case{"+2,-3", "2,3", false, -1, kEmptyList}, Case{"01,2", "1", true, 1, ""},
                      Case{"9,10,11", "11,9,10", true, 11, ""},
                      // Digits beyond 32 bits are skipped like any unusable piece.
                      Case{"4294967298,2", "2,4294967298", true, 2, ""},
                      Case{"2147483648", "2147483648", false, -1, kEmptyList},
                      Case{"2147483647,1", "2147483647", true, 2147483647, ""}),
    // Stable, readable test names: the position in the table.
    [](const ::testing::TestParamInfo<Case>& info) { return "case" + std::to_string(info.index); });

TEST(NegotiationReport, SuccessAndFailureLines) {
    ProgramFixture f;
    f.program.serverVersions = "1,2,3";
    f.program.clientVersions = "2,3,4";
    ASSERT_TRUE(NegotiateProtocolVersion(f.program));
    EXPECT_EQ(NegotiationReport(f.program, true),
              "Protocol versions: Server [1,2,3] Client [2,3,4] Negotiated active version [3]");

    f.program.serverVersions = "0, 5";
    f.program.clientVersions = "0,7";
    ASSERT_FALSE(NegotiateProtocolVersion(f.program));
    EXPECT_EQ(NegotiationReport(f.program, false),
              "ERROR: Cannot negotiate protocol versions: Server [0, 5] Client [0,7] Negotiated "
              "active version [0]");
}
