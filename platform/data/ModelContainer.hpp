#pragma once

#include "platform/data/ModelConfiguration.hpp"
#include "platform/data/Schema.hpp"

#include <filesystem>
#include <memory>

namespace platform {

class ModelContext;

namespace data_detail {
class StoreCore;
}

// One store (an SQLite file) holding the records of a schema's model types, and its main context.
//
// Opening creates the folder and the file when they are missing and records the schema's version
// in the file. It throws StoreError when the folder or file cannot be created or written, when
// the file is not a store, or when it was written for a newer schema version.
class ModelContainer {
public:
    explicit ModelContainer(Schema schema, ModelConfiguration configuration = {});
    ~ModelContainer();
    ModelContainer(ModelContainer&&) noexcept;
    ModelContainer& operator=(ModelContainer&&) noexcept;

    [[nodiscard]] const Schema& schema() const;
    // The store file (empty for an in-memory store).
    [[nodiscard]] const std::filesystem::path& url() const;

    // The context of the main thread, made with the container.
    [[nodiscard]] ModelContext& mainContext() const { return *mainContext_; }

private:
    friend class ModelContext;
    std::shared_ptr<data_detail::StoreCore> store_;
    std::unique_ptr<ModelContext> mainContext_;
};

} // namespace platform
