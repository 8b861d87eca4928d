// The endpoints' exact requests, and the client against a real HTTP server on loopback: status
// range, decoding failures, bad and oversized bodies.

#include "FixtureServer.hpp"
#include "Mossbarrow/APIClient.hpp"
#include "Mossbarrow/ClawHubEndpoint.hpp"
#include "Mossbarrow/MCPEndpoint.hpp"
#include "Mossbarrow/OstrelEndpoint.hpp"
#include "Mossbarrow/OstrelSkill.hpp"
#include "Mossbarrow/ServerResponse.hpp"
#include "Mossbarrow/ServiceAddresses.hpp"
#include "platform/net/URLError.hpp"
#include "platform/net/URLSession.hpp"
#include "platform/runtime/Task.hpp"

#include <gtest/gtest.h>

namespace mossbarrow {
namespace {

std::string url(const Endpoint& endpoint) {
    return endpoint.makeRequest().url().absoluteString();
}

TEST(Endpoints, FormExactURLs) {
    // The addresses in effect: the defaults, unless the environment running the tests says
    // otherwise.
    const auto& claw = ServiceAddresses::current().clawHub();
    const auto& mcp = ServiceAddresses::current().mcp();
    EXPECT_EQ(url(ClawHubEndpoint::list(SkillSort::updated, 50)),
              claw + "/api/v1/skills?sort=updated&limit=50");
    EXPECT_EQ(url(ClawHubEndpoint::list(SkillSort::trending, 50, "")),
              claw + "/api/v1/skills?sort=trending&limit=50&cursor=");
    EXPECT_EQ(url(ClawHubEndpoint::list(SkillSort::stars, -5, "a b&c=d")),
              claw + "/api/v1/skills?sort=stars&limit=-5&cursor=a%20b%26c%3Dd");
    EXPECT_EQ(url(ClawHubEndpoint::search("pdf tools", 20)),
              claw + "/api/v1/search?q=pdf%20tools&limit=20");
    EXPECT_EQ(url(ClawHubEndpoint::search("x", 20, false)),
              claw + "/api/v1/search?q=x&limit=20&highlightedOnly=false");
    EXPECT_EQ(url(ClawHubEndpoint::detail("my skill")), claw + "/api/v1/skills/my%20skill");
    EXPECT_EQ(url(MCPEndpoint::list(100, std::nullopt, "")), mcp + "/v0.1/servers?limit=100");
    EXPECT_EQ(url(MCPEndpoint::list(100, std::nullopt, "  ")),
              mcp + "/v0.1/servers?limit=100&search=%20%20");
    EXPECT_EQ(url(MCPEndpoint::list(100, "c1", "abc")),
              mcp + "/v0.1/servers?limit=100&cursor=c1&search=abc");
    // A name is one path segment, its "/" included.
    EXPECT_EQ(url(MCPEndpoint::versions("io.github.owner/name")),
              mcp + "/v0.1/servers/io.github.owner%2Fname/versions");
    EXPECT_EQ(url(ClawHubEndpoint::detail("team/tool")), claw + "/api/v1/skills/team%2Ftool");
    // A "+" in a value would reach the server as a space.
    EXPECT_EQ(url(ClawHubEndpoint::list(SkillSort::trending, 50, "x/y:1.0.0+20130313144700")),
              claw + "/api/v1/skills?sort=trending&limit=50&cursor=x/y:1.0.0%2B20130313144700");
    EXPECT_EQ(url(MCPEndpoint::list(100, "a+b;c", "c++")),
              mcp + "/v0.1/servers?limit=100&cursor=a%2Bb%3Bc&search=c%2B%2B");
    EXPECT_EQ(url(MCPEndpoint::versions("a;b c")), mcp + "/v0.1/servers/a%3Bb%20c/versions");
    EXPECT_EQ(url(OstrelEndpoint::skills()), ServiceAddresses::current().ostrel() + "/api/skills");
}

TEST(Endpoints, EveryRequestIsAPlainGet) {
    const auto request = MCPEndpoint::list(100).makeRequest();
    EXPECT_EQ(request.httpMethod(), "GET");
    EXPECT_FALSE(request.httpBody().has_value());
    EXPECT_TRUE(request.allHTTPHeaderFields().empty());
    EXPECT_EQ(request.timeoutInterval(), 60.0);
    EXPECT_FALSE(OstrelEndpoint::skills().makeRequest().url().query().has_value());
}

TEST(APIClientErrorText, IsTheGenericDescriptionWithTheOrdinal) {
    EXPECT_EQ(APIClientError::httpStatus(404).localizedDescription(),
              "The operation couldn’t be completed. (Mossbarrow.APIClientError error 0.)");
    EXPECT_EQ(APIClientError::decoding(nullptr).localizedDescription(),
              "The operation couldn’t be completed. (Mossbarrow.APIClientError error 1.)");
    EXPECT_EQ(APIClientError::invalidURL().localizedDescription(),
              "The operation couldn’t be completed. (Mossbarrow.APIClientError error 2.)");
    EXPECT_EQ(APIClientError::invalidResponse().localizedDescription(),
              "The operation couldn’t be completed. (Mossbarrow.APIClientError error 3.)");
}

// Serves `/status/<code>` with that status and `/body/<name>` with a generated body.
class ClientOverLoopback : public ::testing::Test {
protected:
    static std::string nested(std::size_t depth) {
        return R"({"servers":)" + std::string(depth, '[') + std::string(depth, ']') + "}";
    }

    // The cursor carries "status=N;body=NAME" so that each test picks its reply.
    testing::FixtureServer server{[](const std::string& path, const httplib::Params& params) {
        if (path == "/api/skills") {
            return testing::Reply{.body = testing::fixture("ostrel-catalogue.json")};
        }
        std::map<std::string, std::string> options;
        const auto cursor = params.find("cursor");
        if (cursor != params.end()) {
            std::stringstream parts(cursor->second);
            for (std::string part; std::getline(parts, part, ';');) {
                const auto equals = part.find('=');
                if (equals != std::string::npos) {
                    options[part.substr(0, equals)] = part.substr(equals + 1);
                }
            }
        }
        testing::Reply reply;
        if (options.count("status") != 0) {
            reply.status = std::stoi(options["status"]);
        }
        const std::string name = options.count("body") != 0 ? options["body"] : "mcp-page1.json";
        if (name == "empty") {
            reply.body = "";
        } else if (name == "nested") {
            reply.body = nested(10000);
        } else if (name == "huge") {
            reply.body = std::string(std::size_t{2} << 20U, ' ') + "{}";
        } else {
            reply.body = testing::fixture(name);
        }
        return reply;
    }};
    std::shared_ptr<platform::URLSession> session = std::make_shared<platform::URLSession>(
        platform::URLSessionConfiguration{.maximumResponseBytes = 1 << 20});
    std::shared_ptr<APIClient> client = APIClient::make(session, server.baseURL());

    // Fetches the MCP list with the server's answer chosen by the cursor parameter.
    template <class T = ServerListResponse>
    T fetchWith(const std::string& query) {
        return platform::blockingWait(client->fetch<T>(MCPEndpoint::list(100, query)));
    }
    APIClientError fetchError(const std::string& query) {
        try {
            (void)fetchWith(query);
        } catch (const APIClientError& error) {
            return error;
        }
        ADD_FAILURE() << "fetch succeeded for " << query;
        return APIClientError::invalidURL();
    }
};

TEST_F(ClientOverLoopback, SuccessStatusesDecode) {
    EXPECT_EQ(fetchWith("").servers.size(), 3u);
    EXPECT_EQ(fetchWith("status=299").servers.size(), 3u);
    const auto catalogue =
        platform::blockingWait(client->fetch<OstrelSkillsResponse>(OstrelEndpoint::skills()));
    EXPECT_EQ(server.targets().back(), "/api/skills");
    EXPECT_EQ(catalogue.skills.size(), 5u);
}

TEST_F(ClientOverLoopback, OtherStatusesFailWithTheirCode) {
    for (const int status : {300, 304, 404, 500}) {
        const auto error = fetchError("status=" + std::to_string(status));
        EXPECT_EQ(error.errorCase(), APIClientError::Case::httpStatus) << status;
        EXPECT_EQ(error.statusCode(), status);
    }
}

TEST_F(ClientOverLoopback, BadBodiesFailAsDecoding) {
    for (const char* body :
         {"empty", "malformed.json", "truncated.json", "nested", "clawhub-trending-1.json"}) {
        const auto error = fetchError(std::string("body=") + body);
        EXPECT_EQ(error.errorCase(), APIClientError::Case::decoding) << body;
        EXPECT_TRUE(error.underlyingError()) << body;
    }
}

TEST_F(ClientOverLoopback, OversizedReplyFailsInTheTransport) {
    try {
        (void)fetchWith("body=huge");
        FAIL() << "a reply past the session's cap must not be accepted";
    } catch (const platform::URLError& error) {
        EXPECT_EQ(error.code(), platform::URLError::dataLengthExceedsMaximum);
    }
}

TEST_F(ClientOverLoopback, UnparsableOverrideIsAnInvalidURL) {
    const auto broken = APIClient::make(session, "http://bad host");
    try {
        (void)platform::blockingWait(broken->fetch<ServerListResponse>(MCPEndpoint::list(1)));
        FAIL();
    } catch (const APIClientError& error) {
        EXPECT_EQ(error.errorCase(), APIClientError::Case::invalidURL);
    }
}

// A request keeps what it uses: its client, and through it the session, live until the request
// ends, though its caller let go of both while it was on its way.
TEST(ClientLifetime, ARequestKeepsItsClientAndSessionUntilItEnds) {
    testing::FixtureServer server{[](const std::string&, const httplib::Params&) {
        return testing::Reply{200, testing::fixture("mcp-page1.json"), true, "page"};
    }};
    auto session = std::make_shared<platform::URLSession>();
    auto client = APIClient::make(session, server.baseURL());
    const std::weak_ptr<platform::URLSession> watched = session;
    const std::weak_ptr<APIClient> watchedClient = client;
    auto fetch = client->fetch<ServerListResponse>(MCPEndpoint::list(100));
    auto task = platform::Task<ServerListResponse>::detached([fetch] { return fetch; });
    client.reset();
    session.reset();
    // The deadline only ends a hang.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (server.targets().empty() && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(server.targets().size(), 1u);
    EXPECT_FALSE(watched.expired());
    EXPECT_FALSE(watchedClient.expired());
    server.release("page");
    EXPECT_EQ(platform::blockingWait(task.value()).servers.size(), 3u);
    fetch = {};
    task = {};
    // The last holder was the request's frame, which goes once the task has ended.
    while (!watched.expired() && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(watched.expired());
    EXPECT_TRUE(watchedClient.expired());
}

} // namespace
} // namespace mossbarrow
