// Which root address each service is reached at: the configured default, or a usable address
// from the environment.

#include "Mossbarrow/ClawHubEndpoint.hpp"
#include "Mossbarrow/MCPEndpoint.hpp"
#include "Mossbarrow/OstrelEndpoint.hpp"
#include "Mossbarrow/ServiceAddresses.hpp"

#include <gtest/gtest.h>
#include <map>

namespace mossbarrow {
namespace {

ServiceAddresses resolve(const std::map<std::string, std::string, std::less<>>& environment) {
    return ServiceAddresses::resolve([&](std::string_view name) -> std::optional<std::string> {
        const auto found = environment.find(name);
        if (found == environment.end()) {
            return std::nullopt;
        }
        return found->second;
    });
}

TEST(ServiceAddresses, UsableValuesReplaceTheDefaults) {
    const auto none = resolve({});
    EXPECT_EQ(none.clawHub(), ClawHubEndpoint::defaultBaseURL());
    EXPECT_EQ(none.mcp(), MCPEndpoint::defaultBaseURL());
    EXPECT_EQ(none.ostrel(), OstrelEndpoint::defaultBaseURL());
    EXPECT_TRUE(none.problems().empty());

    const auto set = resolve({{"MOSSBARROW_CLAWHUB_URL", "http://127.0.0.1:8080"},
                              {"MOSSBARROW_MCP_URL", "https://registry.example.org/"},
                              {"MOSSBARROW_OSTREL_URL", "HTTPS://[::1]:9443"}});
    EXPECT_EQ(set.clawHub(), "http://127.0.0.1:8080");
    EXPECT_EQ(set.mcp(), "https://registry.example.org/");
    EXPECT_EQ(set.ostrel(), "HTTPS://[::1]:9443");
    EXPECT_TRUE(set.problems().empty());

    // An empty value is the same as none.
    const auto empty = resolve({{"MOSSBARROW_MCP_URL", ""}});
    EXPECT_EQ(empty.mcp(), MCPEndpoint::defaultBaseURL());
    EXPECT_TRUE(empty.problems().empty());
}

TEST(ServiceAddresses, UnusableValuesAreReportedAndTheDefaultKept) {
    for (const char* bad :
         {"registry.example.org", "ftp://registry.example.org", "https://", "https://h/v0.1",
          "https://h?x=1", "https://h#top", "https://exa mple.org", "file:///tmp/x"}) {
        const auto addresses = resolve({{"MOSSBARROW_MCP_URL", bad}});
        EXPECT_EQ(addresses.mcp(), MCPEndpoint::defaultBaseURL()) << bad;
        ASSERT_EQ(addresses.problems().size(), 1u) << bad;
        const std::string& problem = addresses.problems()[0];
        EXPECT_EQ(problem.rfind("MOSSBARROW_MCP_URL: \"" + std::string(bad) + "\"", 0), 0u)
            << problem;
        EXPECT_TRUE(problem.ends_with("using " + MCPEndpoint::defaultBaseURL())) << problem;
    }
    const auto two =
        resolve({{"MOSSBARROW_CLAWHUB_URL", "nope"}, {"MOSSBARROW_OSTREL_URL", "also nope"}});
    ASSERT_EQ(two.problems().size(), 2u);
    EXPECT_EQ(two.problems()[0].rfind("MOSSBARROW_CLAWHUB_URL", 0), 0u);
    EXPECT_EQ(two.problems()[1].rfind("MOSSBARROW_OSTREL_URL", 0), 0u);
}

} // namespace
} // namespace mossbarrow
