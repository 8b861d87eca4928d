#pragma once

// A model of the same shape as the application's bookmark record, for the store's tests.

#include "platform/data/PersistentModel.hpp"
#include "platform/data/Predicate.hpp"
#include "platform/foundation/Date.hpp"
#include "platform/foundation/UUID.hpp"

#include <memory>
#include <optional>
#include <string>

namespace moss_test {

class TestNote final : public platform::PersistentModel {
public:
    static const platform::EntityDescription& entityDescription() {
        using platform::AttributeType;
        static const platform::EntityDescription entity(
            "TestNote",
            {
                {"id", AttributeType::uuid, false, true},
                {"kind", AttributeType::string},
                {"title", AttributeType::string},
                {"subtitle", AttributeType::string, true},
                {"payload", AttributeType::string},
                {"createdAt", AttributeType::date},
                {"updatedAt", AttributeType::date},
            },
            "id");
        return entity;
    }

    static inline const platform::KeyPath<TestNote, std::string> kindKey{"kind"};
    static inline const platform::KeyPath<TestNote, std::string> payloadKey{"payload"};
    static inline const platform::KeyPath<TestNote, std::optional<std::string>> subtitleKey{
        "subtitle"};
    static inline const platform::KeyPath<TestNote, platform::Date> updatedAtKey{"updatedAt"};

    TestNote(std::string kind, std::string title, std::optional<std::string> subtitle,
             std::string payload)
        : PersistentModel(entityDescription()) {
        setValue(0, platform::UUID());
        setValue(1, kind);
        setValue(2, title);
        setValue(3, subtitle);
        setValue(4, payload);
        const platform::Date created;
        setValue(5, created);
        setValue(6, platform::Date());
    }

    explicit TestNote(platform::BackingData data)
        : PersistentModel(std::move(data)) {}

    static std::shared_ptr<TestNote> make(std::string kind, std::string title,
                                          std::optional<std::string> subtitle,
                                          std::string payload) {
        return std::make_shared<TestNote>(std::move(kind), std::move(title), std::move(subtitle),
                                          std::move(payload));
    }

    [[nodiscard]] platform::UUID id() const { return value<platform::UUID>(0); }
    [[nodiscard]] std::string kind() const { return value<std::string>(1); }
    [[nodiscard]] std::string title() const { return value<std::string>(2); }
    void setTitle(const std::string& title) { setValue(2, title); }
    [[nodiscard]] std::optional<std::string> subtitle() const {
        return value<std::optional<std::string>>(3);
    }
    [[nodiscard]] std::string payload() const { return value<std::string>(4); }
    [[nodiscard]] platform::Date createdAt() const { return value<platform::Date>(5); }
    [[nodiscard]] platform::Date updatedAt() const { return value<platform::Date>(6); }
    void setUpdatedAt(const platform::Date& date) { setValue(6, date); }
};

} // namespace moss_test
