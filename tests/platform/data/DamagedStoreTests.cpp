// Stores damaged from outside the program: a value of the wrong kind written by hand, a page of
// the file overwritten. A live query shows every record that still reads and says what did not.

#include "StoreFixture.hpp"
#include "platform/data/StoreError.hpp"

#include <fstream>
#include <gmock/gmock.h>
#include <sqlite3.h>
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

// Runs SQL on the store file with a connection of its own, as another program would.
void editStore(const std::filesystem::path& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK)
        << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
}

TEST_F(DamagedStoreTest, ARecordWithADamagedValueIsLeftOutAndTheRestShow) {
    {
        auto container = openStore();
        for (const char* title : {"first", "second", "third"}) {
            container.mainContext().insert(TestNote::make("mcp", title, std::nullopt, title));
        }
    }
    editStore(storePath(),
              "UPDATE \"TestNote\" SET createdAt = 'yesterday' WHERE title = 'second'");

    auto container = openStore();
    auto& context = container.mainContext();
    const auto query = context.liveQuery(newestUpdatedFirst());
    EXPECT_THAT(titles(query.results()), ::testing::ElementsAre("third", "first"));
    ASSERT_TRUE(query.lastErrorDescription());
    EXPECT_THAT(*query.lastErrorDescription(), ::testing::HasSubstr("createdAt"));
    // A plain fetch still refuses to answer with less than it was asked for.
    EXPECT_THROW((void)context.fetch(newestUpdatedFirst()), platform::StoreError);

    // Once the damaged record is gone, so is the message.
    editStore(storePath(), "DELETE FROM \"TestNote\" WHERE title = 'second'");
    context.insert(TestNote::make("mcp", "fourth", std::nullopt, "4"));
    EXPECT_THAT(titles(query.results()), ::testing::ElementsAre("fourth", "third", "first"));
    EXPECT_FALSE(query.lastErrorDescription());
}

TEST_F(DamagedStoreTest, AMalformedPageHidesOnlyTheRecordsItHolds) {
    constexpr int count = 400;
    {
        auto container = openStore();
        for (int i = 0; i < count; ++i) {
            container.mainContext().insert(TestNote::make("skill", "note " + std::to_string(i),
                                                          std::nullopt, std::string(600, 'x')));
        }
    }
    // Overwrite the body of a table leaf page in the middle of the file.
    std::fstream file(storePath(), std::ios::in | std::ios::out | std::ios::binary);
    ASSERT_TRUE(file);
    file.seekg(16);
    unsigned char sizeBytes[2] = {};
    file.read(reinterpret_cast<char*>(sizeBytes), 2);
    const std::size_t pageSize = (std::size_t(sizeBytes[0]) << 8) | sizeBytes[1];
    file.seekg(0, std::ios::end);
    const auto pages = static_cast<std::size_t>(file.tellg()) / pageSize;
    ASSERT_GT(pages, 40U);
    bool damaged = false;
    for (std::size_t page = pages / 2; page < pages && !damaged; ++page) {
        file.seekg(static_cast<std::streamoff>(page * pageSize));
        char type = 0;
        file.read(&type, 1);
        if (type == 0x0D) { // a table leaf
            file.seekp(static_cast<std::streamoff>(page * pageSize + 1));
            const std::string garbage(pageSize - 1, '\xEE');
            file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
            damaged = true;
        }
    }
    file.close();
    ASSERT_TRUE(damaged);

    auto container = openStore();
    const auto query = container.mainContext().liveQuery(newestUpdatedFirst());
    const auto shown = titles(query.results());
    ASSERT_TRUE(query.lastErrorDescription());
    // A page holds a handful of these records; those on both sides of it still read, newest
    // first.
    ASSERT_GT(shown.size(), count - 20U);
    EXPECT_LT(shown.size(), std::size_t(count));
    EXPECT_EQ(shown.front(), "note " + std::to_string(count - 1));
    EXPECT_EQ(shown.back(), "note 0");
}

} // namespace
} // namespace moss_test
