// Bookmarks in a real store file: toggling, matching by kind and payload, and reopening.

#include "Mossbarrow/BookmarkViewModel.hpp"
#include "platform/data/FetchDescriptor.hpp"
#include "platform/data/ModelConfiguration.hpp"
#include "platform/data/ModelContainer.hpp"
#include "platform/data/ModelContext.hpp"
#include "platform/observation/ObservationTracking.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <random>

namespace mossbarrow {
namespace {

class BookmarkStore : public ::testing::Test {
protected:
    BookmarkStore() {
        directory = std::filesystem::temp_directory_path() /
                    ("mossbarrow-store-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(directory);
    }
    ~BookmarkStore() override { std::filesystem::remove_all(directory); }

    std::unique_ptr<platform::ModelContainer> open() const {
        return std::make_unique<platform::ModelContainer>(
            platform::Schema({&Bookmark::entityDescription()}, {1, 0, 0}),
            platform::ModelConfiguration{.url = directory / "default.store"});
    }

    std::filesystem::path directory;
    BookmarkViewModel bookmarks;
};

TEST_F(BookmarkStore, ToggleTwiceLeavesNothing) {
    const auto container = open();
    auto& context = container->mainContext();
    EXPECT_FALSE(bookmarks.isBookmarked("mcp", "io.example/weather", context));
    EXPECT_TRUE(
        bookmarks.toggleBookmark("mcp", "Weather", std::nullopt, "io.example/weather", context));
    EXPECT_TRUE(bookmarks.isBookmarked("mcp", "io.example/weather", context));
    EXPECT_FALSE(
        bookmarks.toggleBookmark("mcp", "Weather", std::nullopt, "io.example/weather", context));
    EXPECT_FALSE(bookmarks.isBookmarked("mcp", "io.example/weather", context));
    EXPECT_EQ(context.fetchCount<Bookmark>(), 0u);
}

TEST_F(BookmarkStore, MatchesExactKindAndPayload) {
    const auto container = open();
    auto& context = container->mainContext();
    bookmarks.toggleBookmark("skill:openclaw", "Sheets", std::string("Edit"), "sheets", context);
    EXPECT_FALSE(bookmarks.isBookmarked("mcp", "sheets", context));
    EXPECT_FALSE(bookmarks.isBookmarked("skill:openclaw", "Sheets", context));
    EXPECT_FALSE(bookmarks.isBookmarked("skill:openclaw", "sheets ", context));

    // Two records of one item are possible; one toggle removes both.
    context.insert(Bookmark::make("skill:openclaw", "Copy", std::nullopt, "sheets"));
    EXPECT_EQ(context.fetchCount<Bookmark>(), 2u);
    EXPECT_FALSE(
        bookmarks.toggleBookmark("skill:openclaw", "Sheets", std::nullopt, "sheets", context));
    EXPECT_EQ(context.fetchCount<Bookmark>(), 0u);
}

TEST_F(BookmarkStore, SurvivesReopeningTheFile) {
    {
        const auto container = open();
        bookmarks.toggleBookmark("skill:anthropic", "PDF Tools", std::nullopt, "42",
                                 container->mainContext());
        bookmarks.toggleBookmark("mcp", "Files", std::string(""), "io.example/files",
                                 container->mainContext());
    }
    const auto container = open();
    auto& context = container->mainContext();
    EXPECT_TRUE(bookmarks.isBookmarked("skill:anthropic", "42", context));
    const auto all =
        context.fetch<Bookmark>({.sortBy = {platform::SortDescriptor<Bookmark>(
                                     Bookmark::updatedAtKey(), platform::SortOrder::reverse)}});
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0]->kind(), "mcp");
    EXPECT_EQ(all[0]->subtitle(), "") << "an empty subtitle stays present";
    EXPECT_EQ(all[1]->title(), "PDF Tools");
    EXPECT_FALSE(all[1]->subtitle().has_value());
    EXPECT_LE(all[1]->createdAt(), all[1]->updatedAt());
    EXPECT_NE(all[0]->id(), all[1]->id());
}

TEST_F(BookmarkStore, OneObjectPerStoredRecord) {
    const auto container = open();
    auto& context = container->mainContext();
    context.insert(Bookmark::make("mcp", "A", std::nullopt, "same"));
    context.insert(Bookmark::make("mcp", "A", std::nullopt, "same"));
    const auto first = context.fetch<Bookmark>();
    const auto second = context.fetch<Bookmark>();
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0], second[0]);
    EXPECT_NE(first[0], first[1]) << "identical attributes, different records";
}

TEST(BookmarkRecord, ReadsAreObservedAndWritesNotify) {
    const auto bookmark = Bookmark::make("mcp", "Old", std::nullopt, "p");
    bool changed = false;
    platform::withObservationTracking([&] { (void)bookmark->title(); }, [&] { changed = true; });
    bookmark->setPayload("q");
    EXPECT_FALSE(changed);
    bookmark->setTitle("New");
    EXPECT_TRUE(changed);
    EXPECT_EQ(bookmark->title(), "New");
}

} // namespace
} // namespace mossbarrow
