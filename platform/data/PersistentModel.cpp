#include "platform/data/PersistentModel.hpp"

#include "platform/data/StoreCore.hpp"

#include <stdexcept>
#include <variant>

namespace platform {

PersistentModel::PersistentModel(const EntityDescription& entity)
    : entity_(&entity)
    , values_(entity.attributes().size()) {}

PersistentModel::PersistentModel(BackingData data)
    : entity_(data.entity_)
    , values_(std::move(data.values_))
    , damaged_(std::move(data.damaged_))
    , rowID_(data.rowID_) {}

PersistentModel::~PersistentModel() = default;

std::optional<PersistentIdentifier> PersistentModel::persistentModelID() const {
    if (!rowID_) {
        return std::nullopt;
    }
    return PersistentIdentifier{entity_->name(), *rowID_};
}

void PersistentModel::setStoredValue(std::size_t index, StoreValue value) {
    const auto& attribute = entity_->attributes().at(index);
    const bool absent = std::holds_alternative<std::monostate>(value);
    if (absent && !attribute.isOptional) {
        throw std::invalid_argument(entity_->name() + "." + attribute.name +
                                    " cannot be left without a value");
    }
    if (const auto context = context_.lock(); context && rowID_) {
        context->update(*this, index, std::move(value)); // stores the value once it is written
        return;
    }
    values_[index] = std::move(value);
}

} // namespace platform
