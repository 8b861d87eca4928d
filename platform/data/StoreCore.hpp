#pragma once

// Private to platform/data: the shared state behind containers, contexts and live queries.

#include "platform/data/FetchRequest.hpp"
#include "platform/data/LiveQuery.hpp"
#include "platform/data/PersistentModel.hpp"
#include "platform/data/SQLite.hpp"
#include "platform/data/Schema.hpp"
#include "platform/runtime/Executor.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform::data_detail {

class LiveQueryState;

struct StoredRow {
    std::int64_t rowID = 0;
    std::vector<StoreValue> values;
    // The attributes whose stored value could not be read; `values` holds a stand-in for each
    // (see PersistentModel::damagedAttributes).
    std::vector<std::size_t> damaged;
};

// What a lenient read found: the records that read, and what kept the others out.
struct ReadableRows {
    // Every record that could be read, those with a damaged value included; a record whose sort
    // key is damaged comes after all the others.
    std::vector<StoredRow> rows;
    // How many of `rows` have a damaged value, and the names of the damaged attributes.
    std::size_t damaged = 0;
    std::vector<std::string> damagedAttributes;
    // Set when the file itself failed partway (a malformed page): the rows are those that read
    // around the damage.
    std::optional<std::string> readError;
    // Records the file holds but that could not be read at all. They are counted when an index
    // of the table still names them; `unreadableCounted` is false when none did.
    std::size_t unreadable = 0;
    bool unreadableCounted = true;

    // A sentence for the user, or nothing when every record read.
    [[nodiscard]] std::optional<std::string> problem(const std::string& entityName) const;
};

// One open store file: the SQLite connection, the schema, and the live queries to tell about
// changes. Shared by the container and every context made from it.
class StoreCore {
public:
    StoreCore(Schema schema, const std::filesystem::path& path, bool inMemory);

    [[nodiscard]] const Schema& schema() const { return schema_; }
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

    // Each write runs in its own transaction and throws StoreError (writeFailed) on failure.
    std::int64_t insertRow(const EntityDescription& entity, const std::vector<StoreValue>& values);
    void deleteRow(const EntityDescription& entity, std::int64_t rowID);
    void updateValue(const EntityDescription& entity, std::int64_t rowID, std::size_t index,
                     const StoreValue& value);
    // Throws StoreError when any matching record cannot be read.
    std::vector<StoredRow> select(const FetchRequest& request);
    // The matching records that can be read, in the request's order; one damaged record or a
    // malformed page hides only what it holds. Throws StoreError only for an invalid request.
    ReadableRows selectReadable(const FetchRequest& request);
    std::size_t count(const FetchRequest& request);

    void registerQuery(const std::shared_ptr<LiveQueryState>& query);
    // Tells the live queries of the entity; call with no lock held.
    void didChange(const std::string& entityName);

    // Throws StoreError (invalidQuery) unless the schema holds exactly this entity.
    void checkEntity(const EntityDescription& entity) const;

private:
    void open(bool inMemory);
    void prepareSchema();
    [[nodiscard]] std::string whereAndOrder(const FetchRequest& request,
                                            std::vector<StoreValue>& bindings) const;
    [[nodiscard]] std::string describePath() const;

    Schema schema_;
    std::filesystem::path path_;
    std::mutex mutex_; // guards db_
    std::unique_ptr<Database> db_;
    std::mutex queriesMutex_;
    std::vector<std::weak_ptr<LiveQueryState>> queries_;
};

// The identity map and operations of one ModelContext.
class ContextState : public std::enable_shared_from_this<ContextState> {
public:
    ContextState(std::shared_ptr<StoreCore> store, ExecutorPtr executor)
        : store_(std::move(store))
        , executor_(std::move(executor)) {}

    void insert(const std::shared_ptr<PersistentModel>& model);
    void remove(const std::shared_ptr<PersistentModel>& model);
    void update(PersistentModel& model, std::size_t index, StoreValue value);
    std::vector<std::shared_ptr<PersistentModel>> fetch(const FetchRequest& request);
    // The records that read, those with a damaged value included; `problems` says what could
    // not be read.
    std::vector<std::shared_ptr<PersistentModel>>
    fetchReadable(const FetchRequest& request, ReadProblems& problems,
                  std::optional<std::string>& description);
    std::size_t count(const FetchRequest& request);
    [[nodiscard]] const std::shared_ptr<StoreCore>& store() const { return store_; }
    [[nodiscard]] const ExecutorPtr& executor() const { return executor_; }

private:
    using IdentityMap = std::unordered_map<std::int64_t, std::weak_ptr<PersistentModel>>;
    void pruneIfLarge(IdentityMap& map);
    // One object per record: those this context already holds are brought up to date.
    std::vector<std::shared_ptr<PersistentModel>> models(const FetchRequest& request,
                                                         std::vector<StoredRow> rows);

    std::shared_ptr<StoreCore> store_;
    const ExecutorPtr executor_;
    std::map<std::string, IdentityMap, std::less<>> identities_; // by entity name
};

class LiveQueryState : public std::enable_shared_from_this<LiveQueryState> {
public:
    LiveQueryState(std::shared_ptr<ContextState> context, FetchRequest request)
        : context_(std::move(context))
        , request_(std::move(request)) {}

    [[nodiscard]] const std::string& entityName() const { return request_.entity->name(); }
    std::vector<std::shared_ptr<PersistentModel>> models();
    std::optional<std::string> lastErrorDescription();
    ReadProblems readProblems();
    std::uint64_t fetchCount();
    std::uint64_t addObserver(std::function<void()> observer);
    void removeObserver(std::uint64_t token);
    // Marks the results stale and tells the observers, on the context's executor.
    void storeDidChange();

private:
    void notifyObservers();

    std::shared_ptr<ContextState> context_;
    FetchRequest request_;
    std::mutex mutex_;
    bool stale_ = true;
    std::vector<std::shared_ptr<PersistentModel>> results_;
    std::optional<std::string> lastError_;
    ReadProblems problems_;
    std::uint64_t fetchCount_ = 0;
    std::uint64_t nextToken_ = 1;
    std::map<std::uint64_t, std::shared_ptr<const std::function<void()>>> observers_;
};

} // namespace platform::data_detail
