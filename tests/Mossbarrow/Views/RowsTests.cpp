#include "Mossbarrow/Bookmark.hpp"
#include "Mossbarrow/Views/BookmarkRow.hpp"
#include "Mossbarrow/Views/MCPServerRow.hpp"
#include "Mossbarrow/Views/OpenClawSkillRow.hpp"
#include "Mossbarrow/Views/OstrelSkillRow.hpp"
#include "Mossbarrow/Views/RecordListView.hpp"
#include "Mossbarrow/Views/Styles.hpp"
#include "tests/Mossbarrow/Views/GtkTestSupport.hpp"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace mossbarrow;

class RowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!uitest::initGtk()) {
            GTEST_SKIP() << "no display";
        }
        installStyles();
    }
};

ClawHubSkill clawSkill(std::string slug, std::int64_t stars, std::int64_t downloads,
                       std::optional<std::string> summary) {
    ClawHubSkill skill;
    skill.slug = slug;
    skill.displayName = "Skill " + slug;
    skill.summary = std::move(summary);
    skill.stats.stars = stars;
    skill.stats.downloads = downloads;
    return skill;
}

ServerResponse server(std::string name, std::optional<std::string> version,
                      std::optional<std::string> title, std::optional<std::string> description) {
    ServerResponse response;
    response.server.name = std::move(name);
    response.server.version = std::move(version);
    response.server.title = std::move(title);
    response.server.description = std::move(description);
    return response;
}

TEST_F(RowsTest, OpenClawRowShowsCompactCountsAndOptionalSummary) {
    OpenClawSkillRow row;
    row.show(clawSkill("demo", 1500, 999, "Does things"), false);
    EXPECT_EQ(row.nameText(), "Skill demo");
    EXPECT_EQ(row.starsText(), "★ 1.5K");
    EXPECT_EQ(row.summaryText(), "Does things");
    EXPECT_TRUE(row.showsSummary());
    EXPECT_EQ(row.downloadsText(), "Downloads: 999");
    EXPECT_FALSE(row.isSelected());

    // A reused row drops what the previous record showed.
    row.show(clawSkill("bare", 2500000, 1250, std::nullopt), true);
    EXPECT_FALSE(row.showsSummary());
    EXPECT_EQ(row.starsText(), "★ 2.5M");
    EXPECT_EQ(row.downloadsText(), "Downloads: 1.3K");
    EXPECT_TRUE(row.isSelected());
    EXPECT_TRUE(row.has_css_class(style::selectedRow));
    row.setSelected(false);
    EXPECT_FALSE(row.has_css_class(style::selectedRow));
}

TEST_F(RowsTest, OstrelRowCapitalisesTheProvider) {
    OstrelSkill skill;
    skill.id = 42;
    skill.name = "PDF tools";
    skill.category = "documents";
    skill.description = "Reads PDFs";
    skill.provider = "openai";
    OstrelSkillRow row;
    row.show(skill, false);
    EXPECT_EQ(row.nameText(), "PDF tools");
    EXPECT_EQ(row.categoryText(), "documents");
    EXPECT_EQ(row.descriptionText(), "Reads PDFs");
    EXPECT_EQ(row.providerText(), "Openai");
    EXPECT_EQ(capitalized("anthropic claude"), "Anthropic Claude");
    EXPECT_EQ(capitalized("OPEN-AI it's"), "Open-Ai It's");
    EXPECT_EQ(capitalized(""), "");
}

TEST_F(RowsTest, MCPRowFallsBackToTheNameOnlyWithoutATitle) {
    MCPServerRow row;
    row.show(server("io.x/weather", "1.0.2", std::nullopt, "Forecasts"), false);
    EXPECT_EQ(row.titleText(), "io.x/weather");
    EXPECT_TRUE(row.showsVersion());
    EXPECT_EQ(row.versionText(), "1.0.2");
    EXPECT_TRUE(row.showsDescription());

    row.show(server("io.x/empty", std::nullopt, "", ""), false);
    EXPECT_EQ(row.titleText(), ""); // an empty title is shown empty
    EXPECT_FALSE(row.showsVersion());
    EXPECT_FALSE(row.showsDescription());
}

// The natural height of `widget` when given `width`.
int heightAt(Gtk::Widget& widget, int width) {
    int minimum = 0;
    int natural = 0;
    int minimumBaseline = 0;
    int naturalBaseline = 0;
    widget.measure(Gtk::Orientation::VERTICAL, width, minimum, natural, minimumBaseline,
                   naturalBaseline);
    return natural;
}

std::string words(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += i == 0 ? "word" : " word";
    }
    return text;
}

// Titles, names and bookmark subtitles are never cut: a longer text takes more lines.
TEST_F(RowsTest, RowsShowTitlesAndBookmarkSubtitlesWhole) {
    constexpr int narrow = 160;
    MCPServerRow shortServer;
    MCPServerRow longServer;
    shortServer.show(server("a", std::nullopt, words(8), std::nullopt), false);
    longServer.show(server("a", std::nullopt, words(40), std::nullopt), false);
    EXPECT_GT(heightAt(longServer, narrow), heightAt(shortServer, narrow));

    OpenClawSkillRow shortSkill;
    OpenClawSkillRow longSkill;
    ClawHubSkill skill = clawSkill("s", 1, 1, std::nullopt);
    skill.displayName = words(8);
    shortSkill.show(skill, false);
    skill.displayName = words(40);
    longSkill.show(skill, false);
    EXPECT_GT(heightAt(longSkill, narrow), heightAt(shortSkill, narrow));

    BookmarkRow shortBookmark;
    BookmarkRow longBookmark;
    shortBookmark.show(Bookmark::make("mcp", "t", words(20), "p"), false);
    longBookmark.show(Bookmark::make("mcp", "t", words(60), "p"), false);
    EXPECT_GT(heightAt(longBookmark, narrow), heightAt(shortBookmark, narrow));
    EXPECT_EQ(longBookmark.subtitleText().raw(), words(60));
    EXPECT_EQ(longBookmark.kindText(), "MCP");
}

TEST_F(RowsTest, LongListsCreateRowsOnlyForWhatIsInViewAndReportTheLastOne) {
    Gtk::Window window;
    window.set_default_size(400, 300);
    RecordListView<ServerResponse, MCPServerRow> list(
        [](const ServerResponse& s) { return s.id(); });
    std::vector<std::string> shown;
    list.onLastRowShown = [&](const ServerResponse& s) { shown.push_back(s.id()); };
    std::vector<ServerResponse> servers;
    for (int i = 0; i < 10000; ++i) {
        servers.push_back(server("s" + std::to_string(i), "1", std::nullopt, "d"));
    }
    list.setRecords(servers);
    window.set_child(list);
    window.present();
    ASSERT_TRUE(uitest::pumpUntil([&] { return !list.boundRows().empty(); }));
    uitest::waitForFrames(list);
    EXPECT_LT(list.boundRows().size(), 400U);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "s9999-1"), 0);

    auto adjustment = list.get_vadjustment();
    ASSERT_TRUE(uitest::pumpUntil([&] {
        adjustment->set_value(adjustment->get_upper());
        return std::count(shown.begin(), shown.end(), "s9999-1") > 0;
    }));
    EXPECT_LT(list.boundRows().size(), 400U);

    // Selection follows ids onto the rows in view.
    const std::string visible = list.boundRows().begin()->second.id;
    list.setSelectedId(visible);
    for (const auto& [row, bound] : list.boundRows()) {
        EXPECT_EQ(row->isSelected(), bound.id == visible);
    }
    window.close();
}

TEST_F(RowsTest, AppendingAPageKeepsTheRowsAlreadyShown) {
    RecordListView<ServerResponse, MCPServerRow> list(
        [](const ServerResponse& s) { return s.id(); });
    std::vector<ServerResponse> page{server("a", "1", std::nullopt, std::nullopt),
                                     server("b", std::nullopt, std::nullopt, std::nullopt)};
    list.setRecords(page);
    auto model = list.store();
    const auto first = model->get_item(0);
    page.push_back(server("c", "2", std::nullopt, std::nullopt));
    list.setRecords(page);
    EXPECT_EQ(model->get_item(0), first); // the existing item was not replaced
    EXPECT_EQ(list.ids(), (std::vector<std::string>{"a-1", "b-unknown", "c-2"}));
    list.setRecords({page[2]});
    EXPECT_EQ(list.ids(), (std::vector<std::string>{"c-2"}));
    EXPECT_EQ(model->get_n_items(), 1U);
}

} // namespace
