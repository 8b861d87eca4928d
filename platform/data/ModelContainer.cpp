#include "platform/data/ModelContainer.hpp"

#include "platform/data/ModelContext.hpp"
#include "platform/data/StoreCore.hpp"
#include "platform/runtime/TaskContext.hpp"

namespace platform {

ModelContainer::ModelContainer(Schema schema, ModelConfiguration configuration) {
    const auto path = configuration.isStoredInMemoryOnly
                          ? std::filesystem::path()
                          : configuration.url.value_or(ModelConfiguration::defaultStoreURL());
    store_ = std::make_shared<data_detail::StoreCore>(std::move(schema), path,
                                                      configuration.isStoredInMemoryOnly);
    mainContext_ = std::make_unique<ModelContext>(*this, detail::mainExecutorPtr());
}

ModelContainer::~ModelContainer() = default;
ModelContainer::ModelContainer(ModelContainer&&) noexcept = default;
ModelContainer& ModelContainer::operator=(ModelContainer&&) noexcept = default;

const Schema& ModelContainer::schema() const {
    return store_->schema();
}

const std::filesystem::path& ModelContainer::url() const {
    return store_->path();
}

} // namespace platform
