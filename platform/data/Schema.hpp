#pragma once

#include "platform/data/StoreValue.hpp"

#include <compare>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// One persisted attribute of a model type.
struct Attribute {
    std::string name;
    AttributeType type = AttributeType::string;
    bool isOptional = false;
    bool isUnique = false;

    // Whether `value` may be stored here: it has the attribute's kind, or it is absent and the
    // attribute optional.
    [[nodiscard]] bool accepts(const StoreValue& value) const;
};

// What the store needs to know of a model type: its entity name, its attributes in declaration
// order and the attribute that identifies a record (unique). A model type returns one of these,
// created once, from its static `entityDescription()`.
class EntityDescription {
public:
    // Throws std::invalid_argument for an empty or repeated name, or an identifier attribute that
    // is not among the attributes.
    EntityDescription(std::string name, std::vector<Attribute> attributes,
                      std::string identifierAttribute);

    [[nodiscard]] const std::string& name() const { return name_; }
    [[nodiscard]] const std::vector<Attribute>& attributes() const { return attributes_; }
    [[nodiscard]] std::size_t identifierIndex() const { return identifierIndex_; }
    // The attribute's position, or nullopt if the entity has none of that name.
    [[nodiscard]] std::optional<std::size_t> indexOf(std::string_view attributeName) const;

private:
    std::string name_;
    std::vector<Attribute> attributes_;
    std::size_t identifierIndex_ = 0;
};

// The model types of one store, and the version of that set.
class Schema {
public:
    struct Version {
        int major = 1;
        int minor = 0;
        int patch = 0;
        [[nodiscard]] std::string text() const; // "1.0.0"
        // Parses "major.minor.patch"; nullopt for anything else.
        [[nodiscard]] static std::optional<Version> fromText(std::string_view text);
        friend auto operator<=>(const Version&, const Version&) = default;
    };

    // The descriptions must outlive the schema (they are the model types' static ones).
    Schema(std::vector<const EntityDescription*> entities, Version version);

    [[nodiscard]] const std::vector<const EntityDescription*>& entities() const {
        return entities_;
    }
    [[nodiscard]] const Version& version() const { return version_; }
    [[nodiscard]] const EntityDescription* entityNamed(std::string_view name) const;

private:
    std::vector<const EntityDescription*> entities_;
    Version version_;
};

} // namespace platform
