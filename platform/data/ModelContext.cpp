#include "platform/data/ModelContext.hpp"

#include "platform/data/ModelContainer.hpp"
#include "platform/data/StoreCore.hpp"
#include "platform/runtime/TaskContext.hpp"

#include <stdexcept>

namespace platform {

namespace data_detail {

void ContextState::insert(const std::shared_ptr<PersistentModel>& model) {
    if (!model) {
        throw std::invalid_argument("cannot insert an empty model reference");
    }
    const auto owner = model->context_.lock();
    if (owner.get() == this && model->rowID_) {
        return; // already stored here
    }
    if (owner && owner.get() != this && model->rowID_) {
        throw std::logic_error("the " + model->entity().name() +
                               " belongs to another model context");
    }
    const auto& entity = model->entity();
    const auto rowID = store_->insertRow(entity, model->values_);
    model->rowID_ = rowID;
    model->context_ = weak_from_this();
    model->deleted_ = false;
    auto& identities = identities_[entity.name()];
    pruneIfLarge(identities);
    identities[rowID] = model;
    store_->didChange(entity.name());
}

void ContextState::remove(const std::shared_ptr<PersistentModel>& model) {
    if (!model || !model->rowID_ || model->context_.lock().get() != this) {
        return;
    }
    const auto& entity = model->entity();
    const auto rowID = *model->rowID_;
    store_->deleteRow(entity, rowID);
    identities_[entity.name()].erase(rowID);
    model->rowID_.reset();
    model->context_.reset();
    model->deleted_ = true;
    store_->didChange(entity.name());
}

void ContextState::update(PersistentModel& model, std::size_t index, StoreValue value) {
    const auto& entity = model.entity();
    store_->updateValue(entity, *model.rowID_, index, value);
    model.values_[index] = std::move(value);
    std::erase(model.damaged_, index); // a value written anew is sound
    store_->didChange(entity.name());
}

std::vector<std::shared_ptr<PersistentModel>> ContextState::fetch(const FetchRequest& request) {
    return models(request, store_->select(request));
}

std::vector<std::shared_ptr<PersistentModel>>
ContextState::fetchReadable(const FetchRequest& request, ReadProblems& problems,
                            std::optional<std::string>& description) {
    auto read = store_->selectReadable(request);
    description = read.problem(request.entity->name());
    problems.damagedRecords = read.damaged;
    problems.unreadableRecords =
        read.unreadableCounted ? std::optional(read.unreadable) : std::nullopt;
    problems.failure = read.readError;
    return models(request, std::move(read.rows));
}

std::vector<std::shared_ptr<PersistentModel>> ContextState::models(const FetchRequest& request,
                                                                   std::vector<StoredRow> rows) {
    const auto& entity = *request.entity;
    auto& identities = identities_[entity.name()];
    pruneIfLarge(identities);
    std::vector<std::shared_ptr<PersistentModel>> models;
    models.reserve(rows.size());
    for (auto& row : rows) {
        const auto it = identities.find(row.rowID);
        if (it != identities.end()) {
            if (auto existing = it->second.lock()) {
                // The store is the truth: another context may have changed the record.
                existing->values_ = std::move(row.values);
                existing->damaged_ = std::move(row.damaged);
                models.push_back(std::move(existing));
                continue;
            }
        }
        auto model = request.make(
            BackingData(entity, std::move(row.values), std::move(row.damaged), row.rowID));
        model->context_ = weak_from_this();
        identities[row.rowID] = model;
        models.push_back(std::move(model));
    }
    return models;
}

std::size_t ContextState::count(const FetchRequest& request) {
    return store_->count(request);
}

void ContextState::pruneIfLarge(IdentityMap& map) {
    // Objects nobody holds any more leave the map; done in bulk so the cost stays amortised.
    if (map.size() >= 64 && map.size() % 64 == 0) {
        std::erase_if(map, [](const auto& entry) { return entry.second.expired(); });
    }
}

} // namespace data_detail

ModelContext::ModelContext(const ModelContainer& container)
    : ModelContext(container, detail::inheritedExecutor()) {}

ModelContext::ModelContext(const ModelContainer& container, ExecutorPtr executor)
    : state_(std::make_shared<data_detail::ContextState>(container.store_, std::move(executor))) {}

const ExecutorPtr& ModelContext::executor() const {
    return state_->executor();
}

ModelContext::~ModelContext() = default;

void ModelContext::insert(const std::shared_ptr<PersistentModel>& model) {
    state_->insert(model);
}

void ModelContext::remove(const std::shared_ptr<PersistentModel>& model) {
    state_->remove(model);
}

std::vector<std::shared_ptr<PersistentModel>>
ModelContext::fetchModels(const data_detail::FetchRequest& request) {
    return state_->fetch(request);
}

std::size_t ModelContext::countModels(const data_detail::FetchRequest& request) {
    return state_->count(request);
}

AnyLiveQuery ModelContext::makeLiveQuery(data_detail::FetchRequest request) {
    state_->store()->checkEntity(*request.entity);
    auto query = std::make_shared<data_detail::LiveQueryState>(state_, std::move(request));
    state_->store()->registerQuery(query);
    return AnyLiveQuery(std::move(query));
}

} // namespace platform
