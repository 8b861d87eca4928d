#include "Mossbarrow/Views/OstrelSkillDetailView.hpp"
#include "Mossbarrow/Views/SkillDetailView.hpp"
#include "Mossbarrow/Views/Styles.hpp"
#include "platform/appkit/Pasteboard.hpp"
#include "tests/Mossbarrow/Views/GtkTestSupport.hpp"

#include <gtest/gtest.h>

namespace {

using namespace mossbarrow;

class DetailsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!uitest::initGtk()) {
            GTEST_SKIP() << "no display";
        }
        installStyles();
    }
};

OstrelSkill ostrelSkill(std::string longDescription) {
    OstrelSkill skill;
    skill.id = 42;
    skill.name = "Charts";
    skill.description = "Plot numbers";
    skill.longDescription = std::move(longDescription);
    skill.provider = "anthropic";
    skill.category = "data";
    skill.githubUrl = "";
    skill.skillMdUrl = "https://example.com/SKILL.md";
    return skill;
}

TEST_F(DetailsTest, MarkupEscapesTextAndLinks) {
    platform::AttributedText text;
    text.append("a < b & <i>", {});
    text.append("bold", {.strong = true});
    text.append("x", {.link = "https://e.com/?a=1&b=\"2\""});
    EXPECT_EQ(OstrelSkillDetailView::markupFor(text),
              "a &lt; b &amp; &lt;i&gt;<b>bold</b>"
              "<a href=\"https://e.com/?a=1&amp;b=&quot;2&quot;\">x</a>");
    // What the label is given must parse as markup.
    Gtk::Label label;
    label.set_markup(OstrelSkillDetailView::markupFor(text));
    EXPECT_EQ(label.get_text(), "a < b & <i>boldx");
}

TEST_F(DetailsTest, OstrelDetailParsesWhenShownAndCopiesTheRawText) {
    const std::string raw = "# Title\nUse **bold** and [docs](https://example.com).";
    Gtk::Window window;
    OstrelSkillDetailView detail(ostrelSkill(raw), false, [] {});
    EXPECT_TRUE(detail.longDescriptionAttributed().empty());
    EXPECT_TRUE(detail.showsProgress());
    window.set_child(detail);
    window.present();
    ASSERT_TRUE(uitest::pumpUntil([&] { return !detail.longDescriptionAttributed().empty(); }));
    EXPECT_FALSE(detail.showsProgress());
    EXPECT_EQ(detail.contentLabel().get_text(), "# Title\nUse bold and docs.");

    uitest::click(detail.firstCopyButton());
    EXPECT_EQ(platform::Pasteboard::general().string(), raw);
    platform::Pasteboard::general().setString("other");
    uitest::click(detail.lastCopyButton());
    EXPECT_EQ(platform::Pasteboard::general().string(), raw);

    // Without a GitHub address only the markdown link is offered; no licence line.
    const std::string shown = collectText(detail);
    EXPECT_EQ(shown.find("[GitHub]"), std::string::npos);
    EXPECT_NE(shown.find("[Skill Markdown]"), std::string::npos);
    EXPECT_EQ(shown.find("License: "), std::string::npos);
    EXPECT_NE(shown.find("Provider: anthropic"), std::string::npos);
    window.close();
}

// The first label under `widget` showing exactly `text`, depth first.
const Gtk::Label* findLabel(const Gtk::Widget& widget, const Glib::ustring& text) {
    if (const auto* const label = dynamic_cast<const Gtk::Label*>(&widget)) {
        if (label->get_text() == text) {
            return label;
        }
    }
    for (const Gtk::Widget* child = widget.get_first_child(); child != nullptr;
         child = child->get_next_sibling()) {
        if (const Gtk::Label* const found = findLabel(*child, text)) {
            return found;
        }
    }
    return nullptr;
}

TEST_F(DetailsTest, EmptyLongDescriptionShowsNoProgress) {
    OstrelSkillDetailView detail(ostrelSkill(""), true, [] {});
    EXPECT_FALSE(detail.showsProgress());
    EXPECT_EQ(detail.bookmarkButton().labelText(), "Bookmarked");

    // The groups in order, the copy group both first and last.
    EXPECT_EQ(collectText(detail), "Charts\nPlot numbers\nCopy to Clipboard\nCopy Skill\n"
                                   "Bookmark\nBookmarked\nSkill Content\n\nDetails\n"
                                   "Provider: anthropic\nCategory: data\nLinks\n"
                                   "[Skill Markdown]\nCopy to Clipboard\nCopy Skill\n");
    // Only the skill content is offered for selection, not the name.
    const Gtk::Label* const name = findLabel(detail, "Charts");
    ASSERT_NE(name, nullptr);
    EXPECT_FALSE(name->get_selectable());
    EXPECT_TRUE(detail.contentLabel().get_selectable());
}

TEST_F(DetailsTest, SkillBookmarksAreKeptUnderKindAndPayload) {
    const auto ostrel = SkillDetailView::bookmarkKey(SkillSelection::ostrel(ostrelSkill("")));
    EXPECT_EQ(ostrel.kind, "skill:anthropic");
    EXPECT_EQ(ostrel.payload, "42");
    EXPECT_EQ(ostrel.title, "Charts");
    EXPECT_EQ(ostrel.subtitle, "Plot numbers");

    ClawHubSkill claw;
    claw.slug = "demo";
    claw.displayName = "Demo";
    const auto key = SkillDetailView::bookmarkKey(SkillSelection::claw(claw));
    EXPECT_EQ(key.kind, "skill:openclaw");
    EXPECT_EQ(key.payload, "demo");
    EXPECT_FALSE(key.subtitle.has_value());
}

} // namespace
