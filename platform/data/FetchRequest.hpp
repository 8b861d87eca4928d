#pragma once

// The untyped form of a FetchDescriptor, which the store works with. Model code uses
// FetchDescriptor<T>; this header exists because the typed templates build these.

#include "platform/data/FetchDescriptor.hpp"
#include "platform/data/PersistentModel.hpp"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform::data_detail {

using ModelFactory = std::shared_ptr<PersistentModel> (*)(BackingData&&);

struct SortKey {
    std::string attribute;
    SortOrder order = SortOrder::forward;
};

struct FetchRequest {
    const EntityDescription* entity = nullptr;
    std::optional<PredicateExpression> predicate;
    std::vector<SortKey> sortBy;
    ModelFactory make = nullptr;
};

template <PersistentModelType T>
FetchRequest makeFetchRequest(const FetchDescriptor<T>& descriptor) {
    FetchRequest request;
    request.entity = &T::entityDescription();
    if (descriptor.predicate) {
        request.predicate = descriptor.predicate->expression();
    }
    for (const auto& sort : descriptor.sortBy) {
        request.sortBy.push_back(SortKey{sort.attribute(), sort.order()});
    }
    request.make = [](BackingData&& data) -> std::shared_ptr<PersistentModel> {
        return std::make_shared<T>(std::move(data));
    };
    return request;
}

template <PersistentModelType T>
std::vector<std::shared_ptr<T>> downcast(std::vector<std::shared_ptr<PersistentModel>> models) {
    std::vector<std::shared_ptr<T>> result;
    result.reserve(models.size());
    for (auto& model : models) {
        // Objects of an entity are only ever made by that entity's model type.
        result.push_back(std::static_pointer_cast<T>(std::move(model)));
    }
    return result;
}

} // namespace platform::data_detail
