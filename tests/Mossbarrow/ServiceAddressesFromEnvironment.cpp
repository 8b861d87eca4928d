// The program's own environment decides the addresses. They are read once per process, so this
// test has a process of its own and sets the variables before anything reads them: an unusable
// MOSSBARROW_CLAWHUB_URL and a MOSSBARROW_MCP_URL that leads to a loopback registry.

#include "FixtureServer.hpp"
#include "Mossbarrow/APIClient.hpp"
#include "Mossbarrow/ClawHubEndpoint.hpp"
#include "Mossbarrow/MCPEndpoint.hpp"
#include "Mossbarrow/ServerResponse.hpp"
#include "Mossbarrow/ServiceAddresses.hpp"

#include <cstdlib>
#include <gtest/gtest.h>

namespace mossbarrow {
namespace {

TEST(ServiceAddressesFromEnvironment, RequestsGoWhereTheEnvironmentSays) {
    testing::FixtureServer registry{[](const std::string&, const httplib::Params&) {
        return testing::Reply{.body = testing::fixture("mcp-page1.json")};
    }};
    ASSERT_EQ(::setenv("MOSSBARROW_MCP_URL", registry.baseURL().c_str(), 1), 0);
    ASSERT_EQ(::setenv("MOSSBARROW_CLAWHUB_URL", "ftp://clawhub.example", 1), 0);
    ASSERT_EQ(::unsetenv("MOSSBARROW_OSTREL_URL"), 0);

    // The client has no address of its own: the endpoint's address in effect is used.
    const auto client = APIClient::make();
    const auto page =
        platform::blockingWait(client->fetch<ServerListResponse>(MCPEndpoint::list(100)));
    EXPECT_EQ(page.servers.size(), 3u);
    EXPECT_EQ(registry.targets(), std::vector<std::string>{"/v0.1/servers?limit=100"});

    // The unusable value is reported at start-up, and the default stays in use.
    ::testing::internal::CaptureStderr();
    reportInvalidServiceAddresses();
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(report, "MOSSBARROW_CLAWHUB_URL: \"ftp://clawhub.example\" is not an http or https "
                      "address made of a host and an optional port; using " +
                          ClawHubEndpoint::defaultBaseURL() + "\n");
    EXPECT_EQ(ClawHubEndpoint::list(SkillSort::stars, 50).makeRequest().url().absoluteString(),
              ClawHubEndpoint::defaultBaseURL() + "/api/v1/skills?sort=stars&limit=50");
}

} // namespace
} // namespace mossbarrow
