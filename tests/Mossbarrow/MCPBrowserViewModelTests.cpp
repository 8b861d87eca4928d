// The MCP browser against a loopback registry: first and next pages, duplicates, searches typed
// letter by letter, failures kept as text, and replies that arrive after newer ones.

#include "Mossbarrow/MCPBrowserViewModel.hpp"
#include "ViewModelTesting.hpp"

namespace mossbarrow {
namespace {

using namespace testing;

class MCPBrowser : public ::testing::Test {
protected:
    ScriptedServer server{[](const std::string& path, const httplib::Params& params) -> Reply {
        if (path == "/v0.1/servers/gone/versions") {
            return Reply{.status = 404, .body = "{}"};
        }
        if (path.ends_with("/versions")) {
            return ok("mcp-versions.json");
        }
        const std::string search = param(params, "search");
        const std::string cursor = param(params, "cursor");
        if (cursor == "page-2") {
            return ok("mcp-page2.json");
        }
        if (cursor == "weather-2") {
            return ok("mcp-search-weather-2.json");
        }
        if (cursor == "held-next") {
            return Reply{.body = fixture("mcp-page2.json"), .held = true, .key = "next"};
        }
        if (search == "morepages") {
            return Reply{
                .body =
                    R"({"servers":[{"server":{"name":"m"}}],"metadata":{"nextCursor":"held-next"}})"};
        }
        if (cursor == "broken") {
            return Reply{.status = 500, .body = "{}"};
        }
        if (search == "weather") {
            return ok("mcp-search-weather.json");
        }
        if (cursor == "x/y:1.0.0+20130313144700") {
            return ok("mcp-page2.json");
        }
        if (search == "c++") {
            return Reply{.body = R"({"servers":[{"server":{"name":"plus","version":"1"}}],)"
                                 R"("metadata":{"nextCursor":"x/y:1.0.0+20130313144700"}})"};
        }
        if (search == "slow") {
            return Reply{.body = fixture("mcp-page1.json"), .held = true, .key = "slow"};
        }
        if (search == "empty") {
            return ok("mcp-empty.json");
        }
        if (search == "e404") {
            return Reply{.status = 404, .body = fixture("mcp-page1.json")};
        }
        if (search == "blank") {
            return Reply{.body = ""};
        }
        if (search == "bad") {
            return ok("malformed.json");
        }
        if (search == "morebroken") {
            return Reply{
                .body =
                    R"({"servers":[{"server":{"name":"x"}}],"metadata":{"nextCursor":"broken"}})"};
        }
        return ok("mcp-page1.json");
    }};
    std::shared_ptr<MCPBrowserViewModel> model = MCPBrowserViewModel::make(server.client());

    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (const auto& entry : model->servers()) {
            result.push_back(entry.id());
        }
        return result;
    }
    void loadFirstPage() {
        model->loadIfNeeded();
        runUntil([&] { return !model->servers().empty() && !model->isLoading(); }, "first page");
    }
    void type(const std::string& text) {
        // One letter every 100 ms: each keystroke restarts the 500 ms pause.
        for (std::size_t length = 1; length <= text.size(); ++length) {
            model->setSearchQuery(text.substr(0, length));
            settle(100ms);
        }
    }
};

TEST_F(MCPBrowser, PagesThroughTheRegistryKeepingFirstOccurrences) {
    model->loadIfNeeded();
    runUntil([&] { return model->isLoading(); }, "first page started");
    runUntil([&] { return !model->isLoading(); }, "first page");
    EXPECT_EQ(names(),
              (std::vector<std::string>{"io.example/weather-1.2.0", "io.example/files-unknown"}));
    EXPECT_EQ(model->servers()[0].server.description, "Forecasts and current conditions");
    EXPECT_EQ(model->nextCursor(), "page-2");
    EXPECT_EQ(server.requests(), std::vector<std::string>{"/v0.1/servers?limit=100"});

    model->loadIfNeeded(); // already loaded: nothing happens
    model->loadMoreIfNeeded();
    runUntil([&] { return server.count("/") == 2 && !model->isLoadingMore(); }, "second page");
    EXPECT_EQ(names(),
              (std::vector<std::string>{"io.example/weather-1.2.0", "io.example/files-unknown",
                                        "io.example/git-0.3.1"}));
    EXPECT_EQ(model->servers()[1].server.description, "Read local files");
    EXPECT_FALSE(model->nextCursor().has_value());
    EXPECT_EQ(server.requests().back(), "/v0.1/servers?limit=100&cursor=page-2");

    model->loadMoreIfNeeded(); // the last page: nothing to ask for
    settle(200ms);
    EXPECT_EQ(server.count("/v0.1/servers"), 2u);
    EXPECT_FALSE(model->errorMessage().has_value());
}

TEST_F(MCPBrowser, OnlyTheSettledSearchTextIsRequested) {
    type("weather");
    runUntil([&] { return server.count("/") == 1 && !model->isLoading(); }, "search");
    EXPECT_EQ(server.requests(),
              std::vector<std::string>{"/v0.1/servers?limit=100&search=weather"});
    EXPECT_EQ(model->servers().size(), 2u);

    // A letter typed and deleted within the pause delivers the same text again: dropped.
    model->setSearchQuery("weathers");
    settle(100ms);
    model->setSearchQuery("weather");
    settle();
    EXPECT_EQ(server.count("/"), 1u);

    // Clearing the field loads the first page without a search item.
    model->setSearchQuery("");
    runUntil([&] { return server.count("/") == 2 && !model->isLoading(); }, "cleared search");
    EXPECT_EQ(server.requests().back(), "/v0.1/servers?limit=100");

    model->setSearchQuery("  ");
    runUntil([&] { return server.count("/") == 3; }, "spaces");
    EXPECT_EQ(server.requests().back(), "/v0.1/servers?limit=100&search=%20%20");

    // The same text spelt composed, then decomposed, is one search.
    model->setSearchQuery("caf\u00e9");
    runUntil([&] { return server.count("/") == 4; }, "composed search");
    model->setSearchQuery("cafe\u0301");
    settle();
    EXPECT_EQ(server.count("/"), 4u);
}

TEST_F(MCPBrowser, EmptyPageEndsPaging) {
    model->setSearchQuery("empty");
    runUntil([&] { return server.count("/") == 1 && !model->isLoading(); }, "empty page");
    EXPECT_TRUE(model->servers().empty());
    EXPECT_FALSE(model->nextCursor().has_value());
    EXPECT_FALSE(model->errorMessage().has_value());
}

TEST_F(MCPBrowser, FailuresAreKeptAsTextAndKeepTheList) {
    loadFirstPage();
    const auto before = names();
    const std::pair<const char*, const char*> cases[] = {
        {"e404", "The operation couldn’t be completed. (Mossbarrow.APIClientError error 0.)"},
        {"blank", "The operation couldn’t be completed. (Mossbarrow.APIClientError error 1.)"},
        {"bad", "The operation couldn’t be completed. (Mossbarrow.APIClientError error 1.)"},
    };
    for (const auto& [search, message] : cases) {
        platform::blockingWait(model->loadServers(true, search));
        EXPECT_EQ(model->errorMessage(), message) << search;
        EXPECT_EQ(names(), before) << search;
        EXPECT_FALSE(model->isLoading());
    }
    // A reset load clears the error when it starts.
    platform::blockingWait(model->loadServers(true, ""));
    EXPECT_FALSE(model->errorMessage().has_value());
}

TEST_F(MCPBrowser, FailedNextPageKeepsServersAndCursor) {
    platform::blockingWait(model->loadServers(true, "morebroken"));
    ASSERT_EQ(model->nextCursor(), "broken");
    model->loadMoreIfNeeded();
    runUntil([&] { return model->errorMessage().has_value(); }, "failed next page");
    EXPECT_EQ(names(), std::vector<std::string>{"x-unknown"});
    EXPECT_EQ(model->nextCursor(), "broken");
    EXPECT_FALSE(model->isLoadingMore());
    EXPECT_EQ(server.requests().back(), "/v0.1/servers?limit=100&cursor=broken&search=morebroken");
}

TEST_F(MCPBrowser, ALateReplyDoesNotReplaceANewerSearch) {
    model->setSearchQuery("slow");
    runUntil([&] { return server.count("/") == 1; }, "slow request sent");
    model->setSearchQuery("weather");
    runUntil([&] { return server.count("/") == 2 && !model->isLoading(); }, "newer search");
    const auto newer = names();
    ASSERT_EQ(newer.size(), 2u);
    EXPECT_EQ(newer[1], "io.example/weather-alerts-2.0.0");

    server.release("slow");
    settle(300ms);
    EXPECT_EQ(names(), newer);
    EXPECT_EQ(model->nextCursor(), "weather-2");
    EXPECT_FALSE(model->isLoading());
}

TEST_F(MCPBrowser, NextPageUsesTheSearchThatProducedItsCursor) {
    model->setSearchQuery("weather");
    runUntil([&] { return server.count("/") == 1 && !model->isLoading(); }, "search");
    model->setSearchQuery("weather radar"); // still within the pause
    model->loadMoreIfNeeded();
    runUntil([&] { return server.count("/") == 2 && !model->isLoadingMore(); }, "next page");
    EXPECT_EQ(server.requests()[1], "/v0.1/servers?limit=100&cursor=weather-2&search=weather");
    EXPECT_EQ(names().back(), "io.example/weather-radar-0.1.0");
}

TEST_F(MCPBrowser, ALateNextPageIsNotMergedIntoANewerList) {
    model->setSearchQuery("morepages");
    runUntil([&] { return server.count("/") == 1 && !model->isLoading(); }, "first page");
    model->loadMoreIfNeeded(); // held by the server
    runUntil([&] { return server.count("/") == 2; }, "next page requested");
    model->setSearchQuery("weather");
    runUntil([&] { return server.count("/") == 3 && !model->isLoading(); }, "newer search");
    EXPECT_FALSE(model->isLoadingMore()) << "the newer load settles the flags";
    server.release("next");
    settle(300ms);
    EXPECT_EQ(names(), (std::vector<std::string>{"io.example/weather-1.2.0",
                                                 "io.example/weather-alerts-2.0.0"}));
    EXPECT_EQ(model->nextCursor(), "weather-2");
    EXPECT_FALSE(model->isLoadingMore());
}

TEST_F(MCPBrowser, NextPageIsAskedForOnceWhileItLoads) {
    model->setSearchQuery("morepages");
    runUntil([&] { return server.count("/") == 1 && !model->isLoading(); }, "first page");
    model->loadMoreIfNeeded(); // held by the server
    model->loadMoreIfNeeded(); // the last row shown again before the load has started
    runUntil([&] { return server.count("/") == 2; }, "next page requested");
    model->loadMoreIfNeeded(); // and again while the reply is awaited
    settle(300ms);
    EXPECT_EQ(server.count("/v0.1/servers?limit=100&cursor=held-next"), 1u);
    server.release("next");
    runUntil([&] { return !model->isLoadingMore(); }, "next page");
    EXPECT_EQ(server.count("/"), 2u);
}

TEST_F(MCPBrowser, ValuesReachTheRegistryAsTheyWereSent) {
    // "+" in a search and in a cursor (a version with build metadata) is not a space.
    model->setSearchQuery("c++");
    runUntil([&] { return server.count("/") == 1 && !model->isLoading(); }, "search");
    EXPECT_EQ(model->nextCursor(), "x/y:1.0.0+20130313144700");
    model->loadMoreIfNeeded();
    runUntil([&] { return server.count("/") == 2 && !model->isLoadingMore(); }, "next page");
    EXPECT_EQ(server.requests()[1],
              "/v0.1/servers?limit=100&cursor=x/y:1.0.0%2B20130313144700&search=c%2B%2B");
    EXPECT_EQ(names(), (std::vector<std::string>{"plus-1", "io.example/files-unknown",
                                                 "io.example/git-0.3.1"}));
    EXPECT_FALSE(model->errorMessage().has_value());
}

TEST_F(MCPBrowser, VersionsAreStoredPerServerUnmerged) {
    platform::blockingWait(model->loadVersions("io.example/weather"));
    // The name travels as one path segment, as the registry looks it up.
    EXPECT_EQ(server.requests().back(), "/v0.1/servers/io.example%2Fweather/versions");
    ASSERT_EQ(model->versionsByServer().count("io.example/weather"), 1u);
    EXPECT_EQ(model->versionsByServer().at("io.example/weather").size(), 3u);

    platform::blockingWait(model->loadVersions("gone"));
    EXPECT_EQ(model->errorMessage(),
              "The operation couldn’t be completed. (Mossbarrow.APIClientError error 0.)");
    EXPECT_EQ(model->versionsByServer().size(), 1u);
    EXPECT_FALSE(model->isLoading());
}

TEST(MCPServerMerge, IdsSpeltDifferentlyButEquivalentAreOneServer) {
    const auto entry = [](std::string name, std::string description) {
        return ServerResponse{.server = {.name = std::move(name),
                                         .description = std::move(description),
                                         .version = "1"}};
    };
    const auto merged = MCPBrowserViewModel::mergeServers(
        {entry("caf\u00e9", "first")}, {entry("cafe\u0301", "second"), entry("tea", "third")});
    ASSERT_EQ(merged.size(), 2u);
    EXPECT_EQ(merged[0].server.description, "first");
    EXPECT_EQ(merged[1].server.name, "tea");
}

} // namespace
} // namespace mossbarrow
