#include "StoreFixture.hpp"
#include "platform/data/StoreError.hpp"
#include "platform/runtime/MainExecutor.hpp"
#include "platform/runtime/SerialExecutor.hpp"
#include "platform/runtime/TaskContext.hpp"

#include <chrono>
#include <condition_variable>
#include <gmock/gmock.h>
#include <mutex>
#include <thread>

namespace moss_test {
namespace {

using platform::FetchDescriptor;
using platform::Predicate;
using platform::SortDescriptor;
using platform::SortOrder;

using FetchTest = StoreFixture;

Predicate<TestNote> matching(const std::string& kind, const std::string& payload) {
    return (TestNote::kindKey == kind) && (TestNote::payloadKey == payload);
}

FetchDescriptor<TestNote> newestFirst() {
    return FetchDescriptor<TestNote>{
        .predicate = std::nullopt,
        .sortBy = {SortDescriptor(TestNote::updatedAtKey, SortOrder::reverse)}};
}

TEST_F(FetchTest, OneObjectPerStoredRecord) {
    auto container = openStore();
    auto& context = container.mainContext();
    auto note = TestNote::make("mcp", "Same", std::nullopt, "p");
    auto twin = TestNote::make("mcp", "Same", std::nullopt, "p");
    context.insert(note);
    context.insert(twin);

    const auto first = context.fetch(FetchDescriptor<TestNote>{.predicate = matching("mcp", "p")});
    const auto second = context.fetch(FetchDescriptor<TestNote>{.predicate = matching("mcp", "p")});
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0], note) << "the inserted object itself comes back";
    EXPECT_EQ(first[1], twin);
    EXPECT_EQ(first, second);
    EXPECT_NE(first[0], first[1]) << "equal attributes, different records";

    // Another context of the same container has objects of its own, for the same records.
    platform::ModelContext other(container);
    const auto elsewhere = other.fetch<TestNote>();
    ASSERT_EQ(elsewhere.size(), 2u);
    EXPECT_NE(elsewhere[0], note);
    EXPECT_EQ(elsewhere[0]->persistentModelID(), note->persistentModelID());
}

TEST_F(FetchTest, PredicateMatchesKindAndPayloadExactly) {
    auto container = openStore();
    auto& context = container.mainContext();
    context.insert(TestNote::make("mcp", "a", std::nullopt, "io.example/x"));
    context.insert(TestNote::make("skill:openclaw", "b", std::nullopt, "io.example/x"));
    context.insert(TestNote::make("mcp", "c", std::nullopt, "IO.example/x"));
    context.insert(TestNote::make("mcp", "d", std::nullopt, "io.example/x "));
    context.insert(TestNote::make("mcp", "e", "sub", "io.example/x"));

    const auto titles = [&](const Predicate<TestNote>& predicate) {
        std::vector<std::string> result;
        for (const auto& note : context.fetch(FetchDescriptor<TestNote>{.predicate = predicate})) {
            result.push_back(note->title());
        }
        return result;
    };
    using ::testing::ElementsAre;
    EXPECT_THAT(titles(matching("mcp", "io.example/x")), ElementsAre("a", "e"));
    EXPECT_THAT(titles(matching("skill:openclaw", "io.example/x")), ElementsAre("b"));
    EXPECT_THAT(titles(matching("MCP", "io.example/x")), ElementsAre());
    // Values are bound, never spliced into the SQL text.
    EXPECT_THAT(titles(matching("mcp", "x' OR '1'='1")), ElementsAre());
    EXPECT_THAT(titles(matching("mcp\" OR 1=1 --", "io.example/x")), ElementsAre());
    // An absent optional matches records without one.
    EXPECT_THAT(titles(TestNote::subtitleKey == std::nullopt && TestNote::kindKey == "mcp"),
                ElementsAre("a", "c", "d"));
    EXPECT_THAT(titles(!(TestNote::kindKey == "mcp") || TestNote::subtitleKey == "sub"),
                ElementsAre("b", "e"));
    EXPECT_EQ(
        context.fetchCount(FetchDescriptor<TestNote>{.predicate = matching("mcp", "io.example/x")}),
        2u);
}

TEST_F(FetchTest, UnknownAttributesAreRejected) {
    auto container = openStore();
    const platform::KeyPath<TestNote, std::string> missing{"nope"};
    EXPECT_THROW((void)container.mainContext().fetch(
                     FetchDescriptor<TestNote>{.predicate = missing == std::string("x")}),
                 platform::StoreError);
    const platform::KeyPath<TestNote, std::int64_t> wrongType{"kind"};
    EXPECT_THROW((void)container.mainContext().fetch(
                     FetchDescriptor<TestNote>{.predicate = wrongType == std::int64_t{1}}),
                 platform::StoreError);
}

TEST_F(FetchTest, LiveQueryIsSortedNewestFirstAndTellsObserversOfChanges) {
    auto container = openStore();
    auto& context = container.mainContext();
    const auto query = context.liveQuery(newestFirst());
    int notifications = 0;
    std::vector<std::string> seen;
    auto observation = query.observe([&] {
        ++notifications;
        seen.clear();
        for (const auto& note : query.results()) {
            seen.push_back(note->title());
        }
    });
    EXPECT_TRUE(query.results().empty());

    auto older = TestNote::make("mcp", "older", std::nullopt, "1");
    auto newer = TestNote::make("mcp", "newer", std::nullopt, "2");
    context.insert(older);
    context.insert(newer);
    EXPECT_EQ(notifications, 2);
    EXPECT_THAT(seen, ::testing::ElementsAre("newer", "older"));

    // Equal dates: the later record comes first.
    const auto moment = platform::Date();
    older->setUpdatedAt(moment);
    newer->setUpdatedAt(moment);
    EXPECT_EQ(notifications, 4);
    EXPECT_THAT(seen, ::testing::ElementsAre("newer", "older"));

    // A change made through another context of the container is seen too.
    platform::ModelContext other(container);
    other.remove(other.fetch(FetchDescriptor<TestNote>{.predicate = matching("mcp", "2")}).at(0));
    EXPECT_EQ(notifications, 5);
    EXPECT_THAT(seen, ::testing::ElementsAre("older"));

    // Reading without changes does not fetch again.
    const auto fetches = query.fetchCount();
    (void)query.results();
    (void)query.results();
    EXPECT_EQ(query.fetchCount(), fetches);

    observation.cancel();
    context.remove(older);
    EXPECT_EQ(notifications, 5);
    EXPECT_TRUE(query.results().empty());
}

TEST_F(FetchTest, ObserversHearOfChangesOnTheirContextsExecutor) {
    auto container = openStore();
    const auto executor = platform::SerialExecutor::make();
    platform::ModelContext background(container, executor);
    EXPECT_EQ(container.mainContext().executor(), platform::detail::mainExecutorPtr());
    const auto query = background.liveQuery(newestFirst());

    std::mutex mutex;
    std::condition_variable changed;
    bool heard = false;
    bool onExecutor = false;
    std::thread::id observerThread;
    std::vector<std::string> seen;
    auto observation = query.observe([&] {
        // The re-fetch goes through the background context, on its own executor.
        std::vector<std::string> titles;
        for (const auto& note : query.results()) {
            titles.push_back(note->title());
        }
        const std::lock_guard lock(mutex);
        heard = true;
        onExecutor = executor->isCurrent();
        observerThread = std::this_thread::get_id();
        seen = std::move(titles);
        changed.notify_all();
    });

    container.mainContext().insert(TestNote::make("mcp", "written on main", std::nullopt, "1"));
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return heard; }));
    EXPECT_TRUE(onExecutor);
    EXPECT_NE(observerThread, std::this_thread::get_id());
    EXPECT_THAT(seen, ::testing::ElementsAre("written on main"));
}

TEST_F(FetchTest, AWriteFromAnotherThreadReachesMainContextObserversOnTheMainThread) {
    auto container = openStore();
    const auto query = container.mainContext().liveQuery(newestFirst());
    int notifications = 0;
    bool onMain = false;
    std::vector<std::string> seen;
    auto observation = query.observe([&] {
        ++notifications;
        onMain = platform::isMainThread();
        for (const auto& note : query.results()) {
            seen.push_back(note->title());
        }
    });
    std::thread([&] {
        platform::ModelContext writer(container);
        writer.insert(TestNote::make("mcp", "from a worker", std::nullopt, "1"));
    }).join();
    EXPECT_EQ(notifications, 0) << "told on the writer's thread";
    ASSERT_TRUE(platform::MainExecutor::shared().runUntil([&] { return notifications > 0; },
                                                          std::chrono::seconds(10)));
    EXPECT_EQ(notifications, 1);
    EXPECT_TRUE(onMain);
    EXPECT_THAT(seen, ::testing::ElementsAre("from a worker"));
}

TEST_F(FetchTest, RemovingDetachesTheObject) {
    auto container = openStore();
    auto& context = container.mainContext();
    auto note = TestNote::make("mcp", "t", std::nullopt, "p");
    context.insert(note);
    context.insert(note); // a second insert of a stored object does nothing
    EXPECT_EQ(context.fetchCount<TestNote>(), 1u);
    context.remove(note);
    context.remove(note); // nor does a second delete
    EXPECT_TRUE(note->isDeleted());
    EXPECT_FALSE(note->persistentModelID().has_value());
    EXPECT_EQ(context.fetchCount<TestNote>(), 0u);
    // The object keeps its values in memory for views still showing it.
    EXPECT_EQ(note->title(), "t");
}

} // namespace
} // namespace moss_test
