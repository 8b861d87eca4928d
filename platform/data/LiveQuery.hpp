#pragma once

#include "platform/data/FetchRequest.hpp"
#include "platform/data/PersistentModel.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

namespace data_detail {
class LiveQueryState;
}

// Keeps an observer registered for as long as it lives.
class QueryObservation {
public:
    QueryObservation() = default;
    explicit QueryObservation(std::function<void()> cancel)
        : cancel_(std::move(cancel)) {}
    QueryObservation(QueryObservation&& other) noexcept
        : cancel_(std::exchange(other.cancel_, nullptr)) {}
    QueryObservation& operator=(QueryObservation&& other) noexcept {
        if (this != &other) {
            cancel();
            cancel_ = std::exchange(other.cancel_, nullptr);
        }
        return *this;
    }
    QueryObservation(const QueryObservation&) = delete;
    QueryObservation& operator=(const QueryObservation&) = delete;
    ~QueryObservation() { cancel(); }

    void cancel() {
        if (auto cancel = std::exchange(cancel_, nullptr)) {
            cancel();
        }
    }

private:
    std::function<void()> cancel_;
};

// What the last fetch of a live query could not read.
struct ReadProblems {
    // Records in the results although a value of theirs could not be read (see
    // PersistentModel::damagedAttributes).
    std::size_t damagedRecords = 0;
    // Records the store holds but could not read at all (a malformed page of the file). Absent
    // when some could not be read but the damage hides how many, and when the fetch failed as a
    // whole.
    std::optional<std::size_t> unreadableRecords = 0;
    // SQLite's account of what failed, when the file could not be read in full.
    std::optional<std::string> failure;
};

// The untyped part of LiveQuery<T>.
class AnyLiveQuery {
public:
    explicit AnyLiveQuery(std::shared_ptr<data_detail::LiveQueryState> state);

    // The current results: fetched again when the store changed since the last read. A record
    // with a damaged value is among them, marked (PersistentModel::isDamaged) so that it can be
    // shown and deleted; records on a malformed page of the file are left out. Either is said
    // by lastErrorDescription() and readProblems(). If the fetch fails as a whole the previous
    // results stay and lastErrorDescription() says why.
    [[nodiscard]] std::vector<std::shared_ptr<PersistentModel>> models() const;
    [[nodiscard]] std::optional<std::string> lastErrorDescription() const;
    [[nodiscard]] ReadProblems readProblems() const;

    // Calls `observer` after every committed insert, delete or change of a record of the
    // query's model type through any context of the container. It runs on the executor of the
    // query's context: at once when the change was made there, else as a job queued on it.
    // Cancelled on that executor, an observation is never called afterwards.
    [[nodiscard]] QueryObservation observe(std::function<void()> observer) const;

    // How many times the results were fetched (for tests of the caching).
    [[nodiscard]] std::uint64_t fetchCount() const;

private:
    std::shared_ptr<data_detail::LiveQueryState> state_;
};

// The sorted, filtered records of a model type, kept current as the store changes.
template <PersistentModelType T>
class LiveQuery {
public:
    explicit LiveQuery(AnyLiveQuery query)
        : query_(std::move(query)) {}

    [[nodiscard]] std::vector<std::shared_ptr<T>> results() const {
        return data_detail::downcast<T>(query_.models());
    }
    [[nodiscard]] std::optional<std::string> lastErrorDescription() const {
        return query_.lastErrorDescription();
    }
    [[nodiscard]] ReadProblems readProblems() const { return query_.readProblems(); }
    [[nodiscard]] QueryObservation observe(std::function<void()> observer) const {
        return query_.observe(std::move(observer));
    }
    [[nodiscard]] std::uint64_t fetchCount() const { return query_.fetchCount(); }

private:
    AnyLiveQuery query_;
};

} // namespace platform
