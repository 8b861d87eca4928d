// Stores damaged from outside the program: a value of the wrong kind written by hand, a page of
// the file overwritten. A live query shows every record that still reads and says what did not.

#include "ChangedFromOutside.hpp"
#include "StoreFixture.hpp"
#include "platform/data/StoreError.hpp"

#include <gmock/gmock.h>
#include <vector>

namespace moss_test {
namespace {

using platform::FetchDescriptor;
using platform::SortDescriptor;
using platform::SortOrder;

using DamagedStoreTest = StoreFixture;

FetchDescriptor<TestNote> newestUpdatedFirst() {
    return FetchDescriptor<TestNote>{
        .predicate = std::nullopt,
        .sortBy = {SortDescriptor(TestNote::updatedAtKey, SortOrder::reverse)}};
}

std::vector<std::string> titles(const std::vector<std::shared_ptr<TestNote>>& notes) {
    std::vector<std::string> result;
    for (const auto& note : notes) {
        result.push_back(note->title());
    }
    return result;
}

// A value of the wrong kind, or text that is not UTF-8, damages its record alone: the record
// is listed, marked, with stand-ins for what could not be read, and can be deleted.
TEST_F(DamagedStoreTest, ARecordWithADamagedValueIsListedMarkedAndCanBeDeleted) {
    {
        auto container = openStore();
        for (const char* title : {"first", "second", "third", "fourth"}) {
            container.mainContext().insert(TestNote::make("mcp", title, std::nullopt, title));
        }
    }
    runAsAnotherProgram(
        storePath(), "UPDATE \"TestNote\" SET createdAt = 'yesterday' WHERE title = 'second';"
                     "UPDATE \"TestNote\" SET title = CAST(X'C328' AS TEXT) WHERE title = 'third';"
                     "UPDATE \"TestNote\" SET updatedAt = 'tomorrow' WHERE title = 'fourth'");

    auto container = openStore();
    auto& context = container.mainContext();
    const auto query = context.liveQuery(newestUpdatedFirst());
    const auto notes = query.results();
    // One whose sort key cannot be read comes last.
    EXPECT_THAT(titles(notes), ::testing::ElementsAre("", "second", "first", "fourth"));
    const auto& attributes = TestNote::entityDescription().attributes();
    const auto damagedNames = [&](const TestNote& note) {
        std::vector<std::string> names;
        for (const std::size_t index : note.damagedAttributes()) {
            names.push_back(attributes[index].name);
        }
        return names;
    };
    EXPECT_THAT(damagedNames(*notes[0]), ::testing::ElementsAre("title"));
    EXPECT_EQ(notes[0]->payload(), "third");
    EXPECT_THAT(damagedNames(*notes[1]), ::testing::ElementsAre("createdAt"));
    EXPECT_FALSE(notes[2]->isDamaged());
    EXPECT_THAT(damagedNames(*notes[3]), ::testing::ElementsAre("updatedAt"));
    EXPECT_EQ(query.readProblems().damagedRecords, 3U);
    ASSERT_TRUE(query.lastErrorDescription());
    EXPECT_THAT(*query.lastErrorDescription(),
                ::testing::HasSubstr("3 stored TestNote records could not be read in full "
                                     "(damaged: title, createdAt, updatedAt)"));
    // A plain fetch still refuses to answer with less than it was asked for.
    EXPECT_THROW((void)context.fetch(newestUpdatedFirst()), platform::StoreError);

    // A value written anew is sound; a damaged record deleted is gone, and so is the message.
    notes[0]->setTitle("third again");
    EXPECT_FALSE(notes[0]->isDamaged());
    context.remove(notes[1]);
    context.remove(notes[3]);
    EXPECT_THAT(titles(query.results()), ::testing::ElementsAre("third again", "first"));
    EXPECT_FALSE(query.lastErrorDescription());
    EXPECT_EQ(query.readProblems().damagedRecords, 0U);
}

// Records on malformed pages cannot be read at all. Every record elsewhere still shows, even
// between two damaged pages, and an index of the table that names every record tells how many
// are missing.
TEST_F(DamagedStoreTest, MalformedPagesHideOnlyTheRecordsTheyHoldAndAreCounted) {
    constexpr std::size_t count = 400;
    {
        auto container = openStore();
        for (std::size_t i = 0; i < count; ++i) {
            container.mainContext().insert(TestNote::make("skill", "note " + std::to_string(i),
                                                          std::nullopt, std::string(600, 'x')));
        }
    }
    ASSERT_EQ(damageTableLeafPages(storePath(), {0.3, 0.7}), 2U);

    auto container = openStore();
    const auto query = container.mainContext().liveQuery(newestUpdatedFirst());
    const auto shown = titles(query.results());
    const auto problems = query.readProblems();
    ASSERT_TRUE(problems.unreadableRecords);
    // A page holds a handful of these records.
    EXPECT_GT(*problems.unreadableRecords, 2U);
    EXPECT_LT(*problems.unreadableRecords, 20U);
    EXPECT_EQ(shown.size() + *problems.unreadableRecords, count);
    EXPECT_EQ(shown.front(), "note " + std::to_string(count - 1));
    EXPECT_EQ(shown.back(), "note 0");
    ASSERT_TRUE(query.lastErrorDescription());
    EXPECT_THAT(*query.lastErrorDescription(),
                ::testing::HasSubstr(std::to_string(*problems.unreadableRecords) +
                                     " stored TestNote records could not be read at all"));
}

} // namespace
} // namespace moss_test
