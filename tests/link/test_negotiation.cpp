// Protocol version negotiation: the choice, error lines, ActiveVersion and the report line.
#include "frame/registry.h"
#include "link/config.h"
#include "link/negotiation.h"
#include "testsupport.h"

#include <gtest/gtest.h>

using namespace qelp;
using namespace qelptest;

TEST(Negotiation, ChoosesHighestCommonVersion) {
    const std::string kEmpty = "Error: Client and/or server version registry is empty. Cannot "
                               "negotiate protocol version!";
    const std::string kList = "Error: Client and/or server version registry results in empty "
                              "list. Cannot negotiate protocol version!";
    const std::string kNone = "Error: QELP server and client have no matching protocol "
                              "version. Cannot negotiate protocol version to use!";
    struct Case {
        const char *server, *client;
        int32_t active; // -1 or 0: refused
        std::string error;
    };
    // Digits beyond 32 bits are skipped like any unusable piece.
    // clang-format off
    const Case cases[] = {
        {"1,2,3", "2,3,4", 3, ""},   {"3,1,2", "2", 2, ""},      {"1, 2", "2", -1, kNone},
        {"1,,2", "2", 2, ""},        {"abc", "1", -1, kList},    {"1", "x,y", -1, kList},
        {"1,2", "", -1, kEmpty},     {"", "1", -1, kEmpty},      {"0,5", "0,7", 0, kNone},
        {"4,4", "4", 4, ""},         {"2,", ",2", 2, ""},        {"+2,-3", "2,3", -1, kList},
        {"01,2", "1", 1, ""},        {"9,10,11", "11,9,10", 11, ""},
        {"4294967298,2", "2,4294967298", 2, ""}};
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("server [") + c.server + "] client [" + c.client + "]");
        ProgramFixture f;
        RegistryStore registry(f.host.registryPath());
        // A value left from an earlier start is overwritten, success or not.
        ASSERT_TRUE(registry.WriteText(kConfigKey, "ActiveVersion", "77"));
        f.program.link.serverVersions = c.server;
        f.program.link.clientVersions = c.client;
        const size_t before = f.logMessages().size();
        EXPECT_EQ(NegotiateProtocolVersion(f.program), c.error.empty());
        EXPECT_EQ(f.program.link.activeVersion, c.active);
        EXPECT_EQ(registry.ReadAsText(kConfigKey, "ActiveVersion"), std::to_string(c.active));
        EXPECT_EQ(f.messagesFrom(before),
                  c.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.error});
    }
}
