#include "Mossbarrow/Views/BookmarkButton.hpp"
#include "Mossbarrow/Views/CopyButton.hpp"
#include "Mossbarrow/Views/EmptyStateView.hpp"
#include "Mossbarrow/Views/ErrorView.hpp"
#include "Mossbarrow/Views/LoadingView.hpp"
#include "Mossbarrow/Views/SearchField.hpp"
#include "platform/appkit/Pasteboard.hpp"
#include "tests/Mossbarrow/Views/GtkTestSupport.hpp"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace mossbarrow;

class SharedControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!uitest::initGtk()) {
            GTEST_SKIP() << "no display";
        }
    }
};

TEST_F(SharedControlsTest, BookmarkButtonFollowsTheStateItIsGiven) {
    int toggles = 0;
    BookmarkButton button(false, [&] { ++toggles; });
    EXPECT_EQ(button.labelText(), "Bookmark");
    EXPECT_EQ(button.iconName(), "bookmark-new-symbolic");
    uitest::click(button);
    uitest::click(button);
    EXPECT_EQ(toggles, 2);
    // A click alone changes nothing: the owner decides the new state.
    EXPECT_EQ(button.labelText(), "Bookmark");
    button.setBookmarked(true);
    EXPECT_EQ(button.labelText(), "Bookmarked");
    EXPECT_EQ(button.iconName(), "user-bookmarks-symbolic");
}

TEST_F(SharedControlsTest, CopyButtonWritesExactlyItsTextEveryClick) {
    CopyButton button("Copy Install Command", "openclaw skills install demo");
    EXPECT_FALSE(button.isCopied());
    uitest::click(button);
    EXPECT_TRUE(button.isCopied());
    EXPECT_EQ(platform::Pasteboard::general().string(), "openclaw skills install demo");

    // Someone else writes the clipboard; a second click writes it again.
    platform::Pasteboard::general().setString("other");
    uitest::click(button);
    EXPECT_EQ(platform::Pasteboard::general().string(), "openclaw skills install demo");
    EXPECT_TRUE(button.isCopied());

    CopyButton empty("Copy Skill", "");
    uitest::click(empty);
    EXPECT_TRUE(empty.isCopied());
    EXPECT_EQ(platform::Pasteboard::general().string(), "");
    empty.reset();
    EXPECT_FALSE(empty.isCopied());
}

TEST_F(SharedControlsTest, SearchFieldReportsEveryEditButNotProgrammaticText) {
    std::vector<std::string> edits;
    SearchField field("Search skills", [&](const std::string& text) { edits.push_back(text); });
    EXPECT_EQ(field.entry().get_placeholder_text(), "Search skills");
    field.entry().set_text("ab");
    field.entry().set_text("");
    field.setText("shown");
    EXPECT_EQ(field.text(), "shown");
    EXPECT_EQ(edits, (std::vector<std::string>{"ab", ""}));
}

TEST_F(SharedControlsTest, PlaceholdersShowTheirTexts) {
    LoadingView loading("Loading MCP registry");
    EXPECT_EQ(loading.message(), "Loading MCP registry");

    int retries = 0;
    ErrorView error("The operation couldn’t be completed.", "Retry", [&] { ++retries; });
    ASSERT_NE(error.retryButton(), nullptr);
    EXPECT_EQ(error.retryButton()->get_label(), "Retry");
    uitest::click(*error.retryButton());
    EXPECT_EQ(retries, 1);
    ErrorView noRetry("failed", "Retry", nullptr);
    EXPECT_EQ(noRetry.retryButton(), nullptr);

    EmptyStateView empty("No servers", "Try a different search term.");
    EXPECT_EQ(empty.title(), "No servers");
    EXPECT_EQ(empty.message(), "Try a different search term.");
}

} // namespace
