#include "ChangedFromOutside.hpp"
#include "StoreFixture.hpp"
#include "platform/data/SQLite.hpp"
#include "platform/data/StoreError.hpp"
#include "tests/support/FileContents.hpp"

#include <csignal>
#include <fstream>
#include <gmock/gmock.h>

namespace moss_test {
namespace {

using platform::FetchDescriptor;
using platform::ModelConfiguration;
using platform::ModelContainer;
using platform::SortDescriptor;
using platform::SortOrder;
using platform::StoreError;
using ::testing::HasSubstr;

using StoreTest = StoreFixture;

TEST_F(StoreTest, RecordsSurviveClosingAndReopeningTheFile) {
    platform::UUID firstID;
    platform::Date firstCreated;
    platform::Date firstUpdated;
    {
        auto container = openStore();
        auto first = TestNote::make("mcp", "Server", std::nullopt, "io.example/server");
        auto second = TestNote::make("skill:openclaw", "Skill", "A subtitle", "slug");
        container.mainContext().insert(first);
        container.mainContext().insert(second);
        firstID = first->id();
        firstCreated = first->createdAt();
        firstUpdated = first->updatedAt();
        EXPECT_LE(first->createdAt(), first->updatedAt());
    }
    auto reopened = openStore();
    const auto notes = reopened.mainContext().fetch(FetchDescriptor<TestNote>{
        .predicate = std::nullopt, .sortBy = {SortDescriptor(TestNote::updatedAtKey)}});
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0]->id(), firstID);
    EXPECT_EQ(notes[0]->kind(), "mcp");
    EXPECT_EQ(notes[0]->title(), "Server");
    EXPECT_EQ(notes[0]->subtitle(), std::nullopt) << "an absent subtitle is not an empty text";
    EXPECT_EQ(notes[0]->payload(), "io.example/server");
    EXPECT_EQ(notes[0]->createdAt(), firstCreated) << "dates read back to the nanosecond";
    EXPECT_EQ(notes[0]->updatedAt(), firstUpdated);
    EXPECT_EQ(notes[1]->subtitle(), std::optional<std::string>("A subtitle"));
}

TEST_F(StoreTest, EveryChangeIsOnDiskWithoutAnExplicitSave) {
    auto writer = openStore();
    auto reader = openStore(); // a second connection to the same file
    auto note = TestNote::make("mcp", "Title", std::nullopt, "p");
    writer.mainContext().insert(note);
    ASSERT_EQ(reader.mainContext().fetchCount<TestNote>(), 1u);

    note->setTitle("Renamed");
    EXPECT_EQ(reader.mainContext().fetch<TestNote>().at(0)->title(), "Renamed");

    writer.mainContext().remove(note);
    EXPECT_TRUE(note->isDeleted());
    EXPECT_EQ(reader.mainContext().fetchCount<TestNote>(), 0u);
}

TEST_F(StoreTest, AnInsertSurvivesTheProcessBeingKilled) {
    // The child inserts and is killed at once: no destructor, no close, no flush.
    EXPECT_EXIT(
        {
            auto container = openStore();
            container.mainContext().insert(TestNote::make("mcp", "Kept", std::nullopt, "p"));
            std::raise(SIGKILL);
        },
        ::testing::KilledBySignal(SIGKILL), "");
    auto container = openStore();
    const auto notes = container.mainContext().fetch<TestNote>();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0]->title(), "Kept");
}

TEST_F(StoreTest, OpeningFailuresAreClearErrors) {
    // A folder that cannot be created (its parent is a file; this holds even for root).
    std::ofstream(folder_ / "plain-file") << "x";
    try {
        ModelContainer container(noteSchema(),
                                 ModelConfiguration{folder_ / "plain-file" / "sub" / "a.store"});
        FAIL() << "opened a store below a file";
    } catch (const StoreError& error) {
        EXPECT_EQ(error.code(), StoreError::Code::cannotOpen);
        EXPECT_THAT(error.localizedDescription(), HasSubstr("Could not create the folder"));
    }

    // A file that is not a database.
    std::ofstream(storePath()) << std::string(4096, 'x');
    try {
        (void)openStore();
        FAIL() << "opened a text file as a store";
    } catch (const StoreError& error) {
        EXPECT_EQ(error.code(), StoreError::Code::notAStore);
        EXPECT_THAT(error.localizedDescription(), HasSubstr("is not a store"));
    }
}

TEST_F(StoreTest, AStoreOfANewerSchemaVersionIsRefused) {
    { (void)openStore({1, 1, 0}); }
    try {
        (void)openStore({1, 0, 0});
        FAIL() << "a newer store was opened";
    } catch (const StoreError& error) {
        EXPECT_EQ(error.code(), StoreError::Code::newerVersion);
        EXPECT_THAT(error.localizedDescription(), HasSubstr("schema 1.1.0"));
        EXPECT_THAT(error.localizedDescription(), HasSubstr("reads 1.0.0"));
    }
    // The refused file is left as it was and still opens for its own version.
    EXPECT_NO_THROW((void)openStore({1, 1, 0}));
}

TEST_F(StoreTest, AStoreOfAnOlderSchemaVersionIsRefused) {
    { (void)openStore({1, 0, 0}); }
    try {
        (void)openStore({1, 1, 0});
        FAIL() << "an older store was opened";
    } catch (const StoreError& error) {
        EXPECT_EQ(error.code(), StoreError::Code::incompatible);
        EXPECT_THAT(error.localizedDescription(), HasSubstr("schema 1.0.0"));
        EXPECT_THAT(error.localizedDescription(), HasSubstr("upgraded to 1.1.0"));
    }
    EXPECT_NO_THROW((void)openStore({1, 0, 0}));
}

TEST_F(StoreTest, AStoreWithoutAReadableSchemaVersionIsRefused) {
    for (const char* recorded : {"1.0", "1.0.0.0", "1.-1.0", " 1.0.0", "1.0.x", ""}) {
        { (void)openStore(); }
        {
            platform::data_detail::Database database(storePath().string());
            database.execute(std::string("UPDATE \"_StoreMetadata\" SET value = '") + recorded +
                             "' WHERE key = 'schemaVersion'");
        }
        try {
            (void)openStore();
            ADD_FAILURE() << "opened a store recording schema \"" << recorded << "\"";
        } catch (const StoreError& error) {
            EXPECT_EQ(error.code(), StoreError::Code::incompatible) << recorded;
            EXPECT_THAT(error.localizedDescription(), HasSubstr("no readable schema version"));
        }
        std::filesystem::remove(storePath());
    }
}

TEST_F(StoreTest, ARefusedFileIsLeftByteForByte) {
    const auto refusedUnchanged = [&](platform::Schema::Version version, StoreError::Code code) {
        const std::string before = readFile(storePath());
        const std::string logBefore = readFile(storePath().string() + "-wal");
        try {
            (void)openStore(version);
            ADD_FAILURE() << "opened a file that is not a store of this version";
        } catch (const StoreError& error) {
            EXPECT_EQ(error.code(), code) << error.localizedDescription();
        }
        EXPECT_TRUE(readFile(storePath()) == before) << "the refused file was written";
        EXPECT_TRUE(readFile(storePath().string() + "-wal") == logBefore);
    };
    const auto usesWriteAheadLog = [&] {
        const std::string header = readFile(storePath());
        return header.size() > 19 && header[18] == 2 && header[19] == 2;
    };

    // Another program's database with a rollback journal, then with a log it left behind.
    runAsAnotherProgram(storePath(), "CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES "
                                     "('kept')");
    refusedUnchanged({1, 0, 0}, StoreError::Code::notAStore);
    runAsAnotherProgram(storePath(),
                        "PRAGMA journal_mode=WAL; INSERT INTO notes VALUES ('in the log')", true);
    refusedUnchanged({1, 0, 0}, StoreError::Code::notAStore);
    std::filesystem::remove(storePath());
    std::filesystem::remove(storePath().string() + "-wal");
    std::filesystem::remove(storePath().string() + "-shm");

    // A store of ours kept with a rollback journal: refused while it is of a newer version, and
    // taken over (write-ahead log included) once the program reads its version.
    { (void)openStore({1, 1, 0}); }
    runAsAnotherProgram(storePath(), "PRAGMA journal_mode=DELETE");
    ASSERT_FALSE(usesWriteAheadLog());
    refusedUnchanged({1, 0, 0}, StoreError::Code::newerVersion);
    EXPECT_NO_THROW((void)openStore({1, 1, 0}));
    EXPECT_TRUE(usesWriteAheadLog());
}

// A second object carrying an existing record's values, unique id included.
class DuplicateNote final : public platform::PersistentModel {
public:
    explicit DuplicateNote(const TestNote& original)
        : PersistentModel(TestNote::entityDescription()) {
        for (std::size_t i = 0; i < original.entity().attributes().size(); ++i) {
            setStoredValue(i, original.storedValue(i));
        }
    }
};

TEST_F(StoreTest, AStoreOfAnotherSchemaIsRefused) {
    static const platform::EntityDescription other(
        "Other", {{"id", platform::AttributeType::uuid}, {"name", platform::AttributeType::string}},
        "id");
    {
        ModelContainer container(platform::Schema({&other}, {1, 0, 0}),
                                 ModelConfiguration{storePath()});
    }
    try {
        (void)openStore();
        FAIL() << "a store without the model's table was opened";
    } catch (const StoreError& error) {
        EXPECT_EQ(error.code(), StoreError::Code::incompatible);
        EXPECT_THAT(error.localizedDescription(), HasSubstr("TestNote.id"));
    }
}

TEST_F(StoreTest, AFailedWriteThrowsAndLeavesTheModelUnstored) {
    auto container = openStore();
    auto& context = container.mainContext();
    auto note = TestNote::make("mcp", "A", std::nullopt, "p");
    context.insert(note);
    auto duplicate = std::make_shared<DuplicateNote>(*note);
    EXPECT_THROW(context.insert(duplicate), StoreError);
    EXPECT_FALSE(duplicate->persistentModelID().has_value());
    EXPECT_EQ(context.fetchCount<TestNote>(), 1u);
}

TEST(StoreLocation, DefaultFileIsInTheUsersDataDirectory) {
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::optional<std::string> previous =
        saved ? std::optional<std::string>(saved) : std::nullopt;
    setenv("XDG_DATA_HOME", "/tmp/data-home", 1);
    EXPECT_EQ(ModelConfiguration::defaultStoreURL(),
              std::filesystem::path("/tmp/data-home/Mossbarrow/default.store"));
    setenv("XDG_DATA_HOME", "relative/ignored", 1);
    setenv("HOME", std::getenv("HOME") ? std::getenv("HOME") : "/root", 1);
    EXPECT_EQ(ModelConfiguration::defaultStoreURL(),
              std::filesystem::path(std::getenv("HOME")) / ".local/share/Mossbarrow/default.store");
    if (previous) {
        setenv("XDG_DATA_HOME", previous->c_str(), 1);
    } else {
        unsetenv("XDG_DATA_HOME");
    }
}

} // namespace
} // namespace moss_test
