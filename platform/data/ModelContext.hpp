#pragma once

#include "platform/data/FetchDescriptor.hpp"
#include "platform/data/FetchRequest.hpp"
#include "platform/data/LiveQuery.hpp"
#include "platform/data/PersistentModel.hpp"
#include "platform/runtime/Executor.hpp"

#include <memory>
#include <vector>

namespace platform {

class ModelContainer;

namespace data_detail {
class ContextState;
}

// The place where model objects are made, found and removed. A context keeps one object per
// stored record (fetching the same record twice gives the same std::shared_ptr while anyone
// holds it).
//
// Every insert, delete and attribute change is written to the store at once, in its own
// transaction, before the call returns: nothing is ever left unsaved, so a crash or kill after the
// call cannot lose it. When the write fails the call throws StoreError and nothing changed.
//
// A context is used from one thread at a time: the one running its executor (the main context's
// is the main executor). Its live queries tell their observers about changes on that executor,
// whichever thread wrote them.
class ModelContext {
public:
    // A context on the executor the caller runs on: the current task's or actor's, the main
    // executor on the main thread, else the global executor.
    explicit ModelContext(const ModelContainer& container);
    ModelContext(const ModelContainer& container, ExecutorPtr executor);
    ~ModelContext();
    ModelContext(const ModelContext&) = delete;
    ModelContext& operator=(const ModelContext&) = delete;

    // Stores a new record. Inserting an object already stored by this context does nothing;
    // inserting one that another context stores is a programming error (std::logic_error), as is
    // a required attribute left without a value (std::invalid_argument).
    void insert(const std::shared_ptr<PersistentModel>& model);

    // Deletes the record from the store; the object is marked deleted. An object this context
    // does not store is left alone.
    void remove(const std::shared_ptr<PersistentModel>& model);

    // The records that match, in the descriptor's order. Throws StoreError.
    template <PersistentModelType T>
    [[nodiscard]] std::vector<std::shared_ptr<T>> fetch(const FetchDescriptor<T>& descriptor = {}) {
        return data_detail::downcast<T>(fetchModels(data_detail::makeFetchRequest(descriptor)));
    }

    // The number of records that match. Throws StoreError.
    template <PersistentModelType T>
    [[nodiscard]] std::size_t fetchCount(const FetchDescriptor<T>& descriptor = {}) {
        return countModels(data_detail::makeFetchRequest(descriptor));
    }

    // A query that follows the store: see LiveQuery.
    template <PersistentModelType T>
    [[nodiscard]] LiveQuery<T> liveQuery(const FetchDescriptor<T>& descriptor = {}) {
        return LiveQuery<T>(makeLiveQuery(data_detail::makeFetchRequest(descriptor)));
    }

    [[nodiscard]] const ExecutorPtr& executor() const;

    [[nodiscard]] std::vector<std::shared_ptr<PersistentModel>>
    fetchModels(const data_detail::FetchRequest& request);
    [[nodiscard]] std::size_t countModels(const data_detail::FetchRequest& request);
    [[nodiscard]] AnyLiveQuery makeLiveQuery(data_detail::FetchRequest request);

private:
    std::shared_ptr<data_detail::ContextState> state_;
};

} // namespace platform
