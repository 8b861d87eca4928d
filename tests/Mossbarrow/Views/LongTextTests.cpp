#include "tests/Mossbarrow/Views/WindowTestSupport.hpp"

namespace mossbarrow::uitest {

namespace {

// Text without a single break opportunity.
std::string unbroken(int tens) {
    std::string text;
    for (int i = 0; i < tens; ++i) {
        text += "abcdefghij";
    }
    return text;
}

const std::string longName = "io.github.domdomegg/airtablemodelcontextprotocolserverforeverything";
const std::string chineseSummary =
    "查询全球城市的实时天气预报和空气质量指数，支持七天预报与灾害预警，数据每小时更新一次。"
    "查询全球城市的实时天气预报和空气质量指数，支持七天预报与灾害预警，数据每小时更新一次。";

// One registry page in the service's format: a server whose name, description and package
// identifier have no place to break, and an ordinary one.
std::string longServers() {
    return R"({"servers": [
      {"server": {"name": ")" +
           longName + R"(", "version": "1.0.0", "description": ")" + unbroken(40) +
           R"(", "websiteUrl": "https://example.com/)" + unbroken(12) +
           R"(", "packages": [{"registryType": "npm", "identifier": "https://registry.example.com/)" +
           unbroken(30) + R"("}]},
       "_meta": {"io.test/official": {"status": "active"}}},
      {"server": {"name": "io.test/short", "version": "2.0.0", "title": "Short"}}],
      "metadata": {"count": 2}})";
}

const std::string emojiSummary =
    "🌦️ Forecasts, 🌊 tides and ⭐️ stars for 🦞 fishers 🎣";

// A ClawHub page in the service's format: a skill named with an emoji and summed up in Chinese,
// one whose summary has no spaces, and one summed up with emoji.
std::string wideSkills() {
    const auto skill = [](const std::string& slug, const std::string& name,
                          const std::string& summary) {
        return R"({"slug": ")" + slug + R"(", "displayName": ")" + name + R"(", "summary": ")" +
               summary + R"(", "tags": {"latest": "1.0.0"},
          "stats": {"downloads": 1250, "installsAllTime": 40, "installsCurrent": 30, "stars": 12,
                    "versions": 3, "comments": 1},
          "createdAt": 1700000000000, "updatedAt": 1700000500000,
          "latestVersion": {"version": "1.0.0", "createdAt": 1700000500000, "changelog": ")" +
               unbroken(20) + R"("}})";
    };
    return R"({"items": [)" + skill("tianqi", "天气预报 🌦️ 🦞", chineseSummary) + "," +
           skill(unbroken(8), "Long summary", unbroken(50)) + "," +
           skill("tides", "Tides", emojiSummary) + R"(]})";
}

// A label under `root` showing exactly `text`.
Gtk::Label* findLabel(Gtk::Widget& root, const std::string& text) {
    if (auto* const label = dynamic_cast<Gtk::Label*>(&root);
        label != nullptr && label->get_text().raw() == text) {
        return label;
    }
    for (Gtk::Widget* child = root.get_first_child(); child != nullptr;
         child = child->get_next_sibling()) {
        if (Gtk::Label* const found = findLabel(*child, text)) {
            return found;
        }
    }
    return nullptr;
}

class LongTextTest : public WindowTest {
protected:
    // Where the pictures for a reader go: $MOSS_SCREENSHOT_DIR when set, else the test's folder.
    std::filesystem::path screenshotDir() const {
        const char* const wanted = std::getenv("MOSS_SCREENSHOT_DIR");
        const std::filesystem::path out = wanted != nullptr ? std::filesystem::path(wanted) : dir_;
        std::filesystem::create_directories(out);
        return out;
    }

    // The window keeps its width, and nothing in it asks for more.
    void expectWindowKeepsItsSize(const char* what) {
        waitForFrames(*window_);
        EXPECT_EQ(window_->get_width(), 1000) << what;
        int minimum = 0;
        int natural = 0;
        int baseline = 0;
        window_->measure(Gtk::Orientation::HORIZONTAL, -1, minimum, natural, baseline, baseline);
        EXPECT_LE(minimum, 1000) << what;
    }
};

TEST_F(LongTextTest, UnbreakableValuesWrapInsideTheirPanesWithoutAddedHyphens) {
    replies["/v0.1/servers"] = longServers();
    start();
    content().sidebar().choose(SidebarSection::mcpRegistry);
    ASSERT_TRUE(pumpUntil([&] { return content().mcpList().list().size() == 2; }));
    waitForFrames(*window_);
    Gtk::Label* const row = findLabel(content().mcpList(), longName);
    ASSERT_NE(row, nullptr);
    EXPECT_GT(laidOutLines(*row).size(), 1U);
    EXPECT_FALSE(showsAddedHyphens(*row));

    content().selectServer(content().mcpViewModel()->servers().front());
    expectWindowKeepsItsSize("server with long values");
    Gtk::Label* const title = findLabel(content().mcpDetail(), longName);
    ASSERT_NE(title, nullptr);
    EXPECT_GT(laidOutLines(*title).size(), 1U);
    EXPECT_FALSE(showsAddedHyphens(*title));
    Gtk::Label* const package =
        findLabel(content().mcpDetail(), "npm: https://registry.example.com/" + unbroken(30));
    ASSERT_NE(package, nullptr);
    EXPECT_GT(laidOutLines(*package).size(), 1U);
    EXPECT_TRUE(
        pumpUntil([&] { return screenshot(*window_, screenshotDir() / "long-names.png"); }));

    // Its bookmark, whose payload is the long name.
    content().toggleBookmarkForSelection();
    content().sidebar().choose(SidebarSection::bookmarks);
    ASSERT_TRUE(pumpUntil([&] { return content().bookmarksList().list().size() == 1; }));
    content().selectBookmark(content().bookmarksList().bookmarks().front());
    expectWindowKeepsItsSize("bookmark of a long name");
}

TEST_F(LongTextTest, ChineseAndEmojiShowAsGlyphsAndWrap) {
    replies["/api/v1/skills"] = wideSkills();
    start();
    auto& skills = content().skillsList();
    skills.providerPicker().choose(2);
    ASSERT_TRUE(pumpUntil([&] { return skills.clawList().size() == 3; }));
    waitForFrames(*window_);
    for (const std::string& text :
         {std::string("天气预报 🌦️ 🦞"), chineseSummary, emojiSummary}) {
        Gtk::Label* const row = findLabel(skills, text);
        ASSERT_NE(row, nullptr) << text;
        EXPECT_EQ(unknownGlyphs(*row), 0) << text;
    }

    content().selectSkill(SkillSelection::claw(content().skillsViewModel()->openClawItems()[0]));
    expectWindowKeepsItsSize("Chinese summary");
    Gtk::Label* const summary = findLabel(content().skillDetail(), chineseSummary);
    ASSERT_NE(summary, nullptr);
    EXPECT_GT(laidOutLines(*summary).size(), 1U);
    EXPECT_EQ(unknownGlyphs(*summary), 0);
    Gtk::Label* const name = findLabel(content().skillDetail(), "天气预报 🌦️ 🦞");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(unknownGlyphs(*name), 0);

    EXPECT_TRUE(
        pumpUntil([&] { return screenshot(*window_, screenshotDir() / "skills-chinese.png"); }));

    content().selectSkill(SkillSelection::claw(content().skillsViewModel()->openClawItems()[1]));
    expectWindowKeepsItsSize("summary without spaces");
}

} // namespace

} // namespace mossbarrow::uitest
