// The skills browser against loopback services: the Ostrel catalogue loaded once and filtered by
// provider and settled text, ClawHub pages by sort and cursor, filtering as the list is drawn,
// and superseded loads.

#include "Mossbarrow/SkillsBrowserViewModel.hpp"
#include "ViewModelTesting.hpp"
#include "platform/observation/ObservationTracking.hpp"

#include <algorithm>
#include <atomic>

namespace mossbarrow {
namespace {

using namespace testing;

class SkillsBrowser : public ::testing::Test {
protected:
    // What the catalogue answers: "full", "empty", "fail", or "held" (full, once released).
    std::mutex modeMutex;
    std::string catalogueMode = "full";

    std::string mode() {
        const std::lock_guard lock(modeMutex);
        return catalogueMode;
    }
    void setMode(std::string value) {
        const std::lock_guard lock(modeMutex);
        catalogueMode = std::move(value);
    }

    ScriptedServer server{[this](const std::string& path, const httplib::Params& params) -> Reply {
        if (path == "/api/skills") {
            const auto current = mode();
            if (current == "fail") {
                return Reply{.status = 500, .body = ""};
            }
            if (current == "empty") {
                return Reply{.body = R"({"skills": [], "total": 0})"};
            }
            if (current == "renamed") {
                return Reply{.body = renamed(fixture("ostrel-catalogue.json"), "\"PDF Tools\"",
                                             "\"PDF Toolkit\"")};
            }
            return Reply{.body = fixture("ostrel-catalogue.json"),
                         .held = current == "held",
                         .key = "catalogue"};
        }
        const std::string sort = param(params, "sort");
        if (param(params, "cursor") == "trending-2") {
            return ok("clawhub-trending-2.json");
        }
        if (sort == "stars") {
            return ok("clawhub-stars-1.json");
        }
        if (sort == "updated") {
            return Reply{
                .body = fixture("clawhub-trending-1.json"), .held = true, .key = "updated"};
        }
        if (mode() == "renamed") {
            return Reply{.body = renamed(fixture("clawhub-trending-1.json"), "\"Sheet Helper\"",
                                         "\"Sheet Wizard\"")};
        }
        return ok("clawhub-trending-1.json");
    }};

    static std::string renamed(std::string body, std::string_view from, std::string_view to) {
        const auto at = body.find(from);
        EXPECT_NE(at, std::string::npos) << from << " is not in the fixture";
        if (at != std::string::npos) {
            body.replace(at, from.size(), to);
        }
        return body;
    }
    std::shared_ptr<SkillsBrowserViewModel> model = SkillsBrowserViewModel::make(server.client());

public:
    template <class Skills>
    static std::vector<std::string> slugs(const Skills& skills) {
        std::vector<std::string> result;
        for (const auto& skill : skills) {
            result.push_back(skill.slug);
        }
        return result;
    }

protected:
    void loadCatalogue() {
        model->loadIfNeeded();
        runUntil([&] { return !model->isLoadingOstrel() && !model->ostrelAll().empty(); },
                 "catalogue");
    }
    void showOpenClaw() {
        model->setProvider(SkillProvider::openClaw);
        runUntil([&] { return !model->isLoadingOpenClaw() && !model->openClawItems().empty(); },
                 "ClawHub page");
    }
};

TEST_F(SkillsBrowser, CatalogueIsFetchedOnceAndFilteredByProvider) {
    EXPECT_TRUE(model->ostrelFiltered().empty());
    settle(100ms);
    EXPECT_EQ(server.count("/"), 0u) << "nothing is fetched until the list asks";
    loadCatalogue();
    EXPECT_EQ(slugs(model->ostrelFiltered()),
              (std::vector<std::string>{"pdf-tools", "charts", "sheet-music"}));

    model->setProvider(SkillProvider::openAI);
    EXPECT_EQ(slugs(model->ostrelFiltered()), std::vector<std::string>{"spreadsheet"})
        << "\"OpenAI\" is not \"openai\"";
    model->loadIfNeeded(); // already loaded: not even refiltered
    settle(100ms);
    EXPECT_EQ(server.count("/api/skills"), 1u);
}

TEST_F(SkillsBrowser, SettledSearchNarrowsTheCatalogue) {
    loadCatalogue();
    model->setSearchQuery("  Sheet\n");
    EXPECT_EQ(model->ostrelFiltered().size(), 3u) << "filtering waits for the pause";
    runUntil([&] { return model->ostrelFiltered().size() == 2; }, "filtered");
    // "Draws charts from a Sheet." (long description) and the slug sheet-music.
    EXPECT_EQ(slugs(model->ostrelFiltered()), (std::vector<std::string>{"charts", "sheet-music"}));
    EXPECT_EQ(server.count("/"), 1u);
}

TEST_F(SkillsBrowser, AnEqualListDoesNotNotify) {
    loadCatalogue();
    std::atomic<bool> changed = false;
    platform::withObservationTracking([&] { (void)model->ostrelFiltered(); },
                                      [&] { changed = true; });
    model->setProvider(SkillProvider::claude); // same provider: refiltered to an equal list
    EXPECT_FALSE(changed);
    model->setProvider(SkillProvider::openAI);
    EXPECT_TRUE(changed);
}

TEST_F(SkillsBrowser, ClawHubPagesBySortAndCursorWithoutDuplicates) {
    showOpenClaw();
    EXPECT_EQ(server.requests(), std::vector<std::string>{"/api/v1/skills?sort=trending&limit=50"});
    EXPECT_EQ(model->openClawCursor(), "trending-2");
    model->loadMoreOpenClawIfNeeded();
    runUntil([&] { return !model->isLoadingMoreOpenClaw() && !model->openClawCursor(); },
             "next page");
    EXPECT_EQ(server.requests().back(), "/api/v1/skills?sort=trending&limit=50&cursor=trending-2");
    EXPECT_EQ(slugs(model->openClawItems()),
              (std::vector<std::string>{"sheets", "weather", "git-notes"}));
    EXPECT_EQ(model->openClawItems()[1].displayName, "Weather") << "the first copy stays";

    model->loadMoreOpenClawIfNeeded(); // no cursor: the end
    model->setProvider(SkillProvider::claude);
    model->setProvider(SkillProvider::openClaw); // pages already loaded stay
    settle(100ms);
    EXPECT_EQ(server.count("/api/v1/skills"), 2u);
    EXPECT_EQ(model->openClawItems().size(), 3u);
}

TEST_F(SkillsBrowser, ClawHubRowsFilterAtOnce) {
    showOpenClaw();
    model->loadMoreOpenClawIfNeeded();
    runUntil([&] { return model->openClawItems().size() == 3; }, "both pages");
    const auto requests = server.count("/");
    model->setSearchQuery(" SHEETS ");
    // Display name "Sheet Helper" does not contain "sheets", the slug does; "Git Notes" by summary.
    EXPECT_EQ(slugs(model->filteredOpenClawItems()),
              (std::vector<std::string>{"sheets", "git-notes"}));
    model->setSearchQuery("weath");
    EXPECT_EQ(slugs(model->filteredOpenClawItems()), std::vector<std::string>{"weather"});
    model->setSearchQuery("edit");
    EXPECT_EQ(slugs(model->filteredOpenClawItems()), std::vector<std::string>{"sheets"});
    model->setSearchQuery("\t");
    EXPECT_EQ(model->filteredOpenClawItems().size(), 3u);
    settle();
    EXPECT_EQ(server.count("/"), requests);
}

TEST_F(SkillsBrowser, SortChoicesReloadOnlyForOpenClaw) {
    model->changeSort(SkillSort::stars);
    settle(100ms);
    EXPECT_EQ(model->openClawSort(), SkillSort(SkillSort::trending));
    EXPECT_EQ(server.count("/"), 0u);

    showOpenClaw();
    model->changeSort(SkillSort::stars);
    runUntil([&] { return server.count("/") == 2 && !model->isLoadingOpenClaw(); }, "stars");
    EXPECT_EQ(slugs(model->openClawItems()), std::vector<std::string>{"starred"});
    model->changeSort(SkillSort::stars); // the same sort reloads too
    runUntil([&] { return server.count("/") == 3 && !model->isLoadingOpenClaw(); }, "stars again");
    EXPECT_EQ(server.requests().back(), "/api/v1/skills?sort=stars&limit=50");
    EXPECT_FALSE(model->openClawCursor().has_value());
}

TEST_F(SkillsBrowser, ALateReplyOfAnOlderSortIsDropped) {
    showOpenClaw();
    model->changeSort(SkillSort::updated); // held by the server
    runUntil([&] { return server.count("/") == 2; }, "updated requested");
    model->changeSort(SkillSort::stars);
    runUntil([&] { return server.count("/") == 3 && !model->isLoadingOpenClaw(); }, "stars");
    server.release("updated");
    settle(300ms);
    EXPECT_EQ(slugs(model->openClawItems()), std::vector<std::string>{"starred"});
    EXPECT_FALSE(model->openClawCursor().has_value());
    EXPECT_FALSE(model->isLoadingOpenClaw());
}

TEST_F(SkillsBrowser, NextPageKeepsTheSortOfItsCursor) {
    showOpenClaw();
    model->setOpenClawSort(SkillSort::downloads); // the picker's binding, before changeSort
    model->loadMoreOpenClawIfNeeded();
    runUntil([&] { return server.count("/") == 2 && !model->isLoadingMoreOpenClaw(); },
             "next page");
    EXPECT_EQ(server.requests().back(), "/api/v1/skills?sort=trending&limit=50&cursor=trending-2");
}

TEST_F(SkillsBrowser, RefreshFailureKeepsTheCatalogue) {
    loadCatalogue();
    setMode("fail");
    model->refresh();
    runUntil([&] { return model->errorMessage().has_value() && !model->isLoadingOstrel(); },
             "failed refresh");
    EXPECT_EQ(model->errorMessage(),
              "The operation couldn’t be completed. (Mossbarrow.APIClientError error 0.)");
    EXPECT_EQ(model->ostrelAll().size(), 5u);
    EXPECT_EQ(model->ostrelFiltered().size(), 3u);
}

// Skills compare by slug or id, so a reload that only renames them must still tell the lists,
// which redraw only when told.
TEST_F(SkillsBrowser, RefreshOfRenamedSkillsUnderTheSameIdsNotifies) {
    loadCatalogue();
    showOpenClaw();
    model->setProvider(SkillProvider::claude);
    ASSERT_EQ(model->ostrelFiltered().front().name, "PDF Tools");
    std::atomic<bool> filteredChanged = false;
    platform::withObservationTracking([&] { (void)model->ostrelFiltered(); },
                                      [&] { filteredChanged = true; });
    setMode("renamed");
    model->refresh();
    runUntil([&] { return server.count("/api/skills") == 2 && !model->isLoadingOstrel(); },
             "catalogue reloaded");
    EXPECT_TRUE(filteredChanged);
    EXPECT_EQ(model->ostrelFiltered().front().name, "PDF Toolkit");

    model->setProvider(SkillProvider::openClaw);
    std::atomic<bool> itemsChanged = false;
    platform::withObservationTracking([&] { (void)model->openClawItems(); },
                                      [&] { itemsChanged = true; });
    const auto pages = server.count("/api/v1/skills");
    model->refresh();
    runUntil([&] { return server.count("/api/v1/skills") > pages && !model->isLoadingOpenClaw(); },
             "ClawHub page reloaded");
    EXPECT_TRUE(itemsChanged);
    ASSERT_FALSE(model->openClawItems().empty());
    EXPECT_EQ(model->openClawItems().front().displayName, "Sheet Wizard");
}

TEST_F(SkillsBrowser, ALateCatalogueDoesNotReplaceARefresh) {
    setMode("held");
    model->loadIfNeeded();
    runUntil([&] { return server.count("/") == 1; }, "first catalogue requested");
    setMode("empty");
    model->refresh();
    runUntil([&] { return server.count("/") == 2 && !model->isLoadingOstrel(); }, "refresh");
    server.release("catalogue");
    settle(300ms);
    EXPECT_TRUE(model->ostrelAll().empty());
    EXPECT_FALSE(model->isLoadingOstrel());
}

TEST(SkillsBrowserToday, ReadsTodaysRegistryPagesLeavingOutWhatItCannotRead) {
    ScriptedServer server{[](const std::string&, const httplib::Params& params) -> Reply {
        const std::string cursor = param(params, "cursor");
        if (cursor == "x/y:1.0.0+20130313144700") {
            return Reply{.body = fixture("clawhub-today-2.json"), .held = true, .key = "next"};
        }
        if (cursor != "<none>") {
            return Reply{.status = 404, .body = "{}"}; // a cursor the registry never gave
        }
        return ok("clawhub-today-1.json");
    }};
    const auto model = SkillsBrowserViewModel::make(server.client());
    ::testing::internal::CaptureStderr();
    model->setProvider(SkillProvider::openClaw);
    runUntil([&] { return !model->isLoadingOpenClaw() && !model->openClawItems().empty(); },
             "first page");
    EXPECT_FALSE(model->errorMessage().has_value());
    EXPECT_EQ(SkillsBrowser::slugs(model->openClawItems()),
              (std::vector<std::string>{"pdf-tools", "calendar", "notes"}));
    EXPECT_EQ(model->openClawItems()[0].stats.installsAllTime, 812);

    model->loadMoreOpenClawIfNeeded(); // held by the server
    model->loadMoreOpenClawIfNeeded(); // the last row shown again before the load has started
    runUntil([&] { return server.count("/") == 2; }, "next page requested");
    model->loadMoreOpenClawIfNeeded(); // and again while the reply is awaited
    settle(300ms);
    server.release("next");
    runUntil([&] { return !model->isLoadingMoreOpenClaw() && !model->openClawCursor(); },
             "next page");
    EXPECT_EQ(server.requests(),
              (std::vector<std::string>{
                  "/api/v1/skills?sort=trending&limit=50",
                  "/api/v1/skills?sort=trending&limit=50&cursor=x/y:1.0.0%2B20130313144700"}));
    EXPECT_EQ(SkillsBrowser::slugs(model->openClawItems()),
              (std::vector<std::string>{"pdf-tools", "calendar", "notes", "weather"}));
    EXPECT_FALSE(model->errorMessage().has_value());

    // One line for each page that left something out, naming what it was.
    const std::string log = ::testing::internal::GetCapturedStderr();
    const auto lineOf = [&](std::string_view needle) {
        const auto at = log.find(needle);
        return at == std::string::npos ? -1 : std::count(log.begin(), log.begin() + at, '\n');
    };
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    EXPECT_EQ(lineOf(R"(left out 1 of 4 skills)"), 0) << log;
    EXPECT_EQ(lineOf(R"(items[1] (slug "placeholder"): latestVersion: )"), 0) << log;
    EXPECT_EQ(lineOf(R"(left out 2 of 3 skills)"), 1) << log;
    EXPECT_EQ(lineOf(R"(items[1]: slug: )"), 1) << log;
    EXPECT_EQ(lineOf(R"(items[2] (slug "two lines"): latestVersion: )"), 1)
        << "a text from the server cannot break the line: " << log;
}

TEST(SkillTextMatching, ComposedAndDecomposedSpellingsFindEachOther) {
    const std::vector<ClawHubSkill> items{
        ClawHubSkill{.slug = "a", .displayName = "Caf\u00e9 Finder"},
        ClawHubSkill{.slug = "b", .displayName = "Cafe\u0301s"},
        ClawHubSkill{.slug = "c", .displayName = "Cafeteria"}};
    const auto matched = [&](std::string_view query) {
        std::vector<std::string> result;
        for (const auto& skill : SkillsBrowserViewModel::filterClawHub(items, query)) {
            result.push_back(skill.slug);
        }
        return result;
    };
    EXPECT_EQ(matched(" CAFE\u0301 "), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(matched("caf\u00e9"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(matched("cafe"), (std::vector<std::string>{"c"}));

    OstrelSkill skill{.id = 1, .name = "R\u00e9sum\u00e9", .provider = "anthropic"};
    EXPECT_EQ(
        SkillsBrowserViewModel::filterOstrel({skill}, "anthropic", "re\u0301sume\u0301").size(),
        1u);
}

} // namespace
} // namespace mossbarrow
