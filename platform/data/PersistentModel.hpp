#pragma once

#include "platform/data/Schema.hpp"
#include "platform/data/StoreValue.hpp"

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

namespace data_detail {
class ContextState;
}

// Names one stored record: its entity and its row in the store.
struct PersistentIdentifier {
    std::string entityName;
    std::int64_t rowID = 0;
    friend bool operator==(const PersistentIdentifier&, const PersistentIdentifier&) = default;
};

// The stored values of one record, handed by the store to a model type's constructor. Only the
// store makes them.
class BackingData {
public:
    [[nodiscard]] const EntityDescription& entity() const { return *entity_; }

private:
    friend class data_detail::ContextState;
    friend class PersistentModel;
    BackingData(const EntityDescription& entity, std::vector<StoreValue> values,
                std::vector<std::size_t> damaged, std::int64_t rowID)
        : entity_(&entity)
        , values_(std::move(values))
        , damaged_(std::move(damaged))
        , rowID_(rowID) {}
    const EntityDescription* entity_;
    std::vector<StoreValue> values_;
    std::vector<std::size_t> damaged_;
    std::int64_t rowID_;
};

// Base of every stored model type. A model is a reference type, always held by std::shared_ptr:
// a context hands out one object per stored record, so identity is pointer identity.
//
// A model type derives from this class and provides
//   static const EntityDescription& entityDescription();   // created once
//   explicit T(BackingData data);                            // creation from the store
// and typed accessors over value<V>(index) / setValue(index, v).
class PersistentModel {
public:
    PersistentModel(const PersistentModel&) = delete;
    PersistentModel& operator=(const PersistentModel&) = delete;
    virtual ~PersistentModel();

    [[nodiscard]] const EntityDescription& entity() const { return *entity_; }
    // Set once the record is in the store.
    [[nodiscard]] std::optional<PersistentIdentifier> persistentModelID() const;
    // True after the record was deleted from its context.
    [[nodiscard]] bool isDeleted() const { return deleted_; }
    [[nodiscard]] const StoreValue& storedValue(std::size_t index) const {
        return values_.at(index);
    }
    // The attributes (by position) whose stored value could not be read: a value of another
    // kind, text that is not UTF-8. Each reads as a stand-in (empty text, zero, the epoch, a nil
    // UUID, an absent optional) until a new value is set. Only live queries hand out such records.
    [[nodiscard]] const std::vector<std::size_t>& damagedAttributes() const { return damaged_; }
    [[nodiscard]] bool isDamaged() const { return !damaged_.empty(); }

protected:
    // A new record, not yet in any store; every attribute starts absent and the model type's
    // constructor sets them.
    explicit PersistentModel(const EntityDescription& entity);
    // A record read from the store.
    explicit PersistentModel(BackingData data);

    template <StorableValue V>
    [[nodiscard]] V value(std::size_t index) const {
        return StoreValueTraits<V>::decode(values_.at(index));
    }

    template <StorableValue V>
    void setValue(std::size_t index, const V& value) {
        setStoredValue(index, StoreValueTraits<V>::encode(value));
    }

    // Changes one attribute. For a stored record the change is written to the store at once;
    // throws StoreError (and keeps the old value) when that fails, std::invalid_argument when the
    // value's kind does not fit the attribute.
    void setStoredValue(std::size_t index, StoreValue value);

private:
    friend class data_detail::ContextState;
    const EntityDescription* entity_;
    std::vector<StoreValue> values_;
    std::vector<std::size_t> damaged_;
    std::weak_ptr<data_detail::ContextState> context_;
    std::optional<std::int64_t> rowID_;
    bool deleted_ = false;
};

template <class T>
concept PersistentModelType =
    std::derived_from<T, PersistentModel> && std::constructible_from<T, BackingData> && requires {
    { T::entityDescription() } -> std::same_as<const EntityDescription&>;
};

} // namespace platform
