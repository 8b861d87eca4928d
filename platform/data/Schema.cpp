#include "platform/data/Schema.hpp"

#include "platform/foundation/ASCII.hpp"

#include <charconv>
#include <stdexcept>
#include <string_view>
#include <variant>

namespace platform {

namespace {

bool absent(const StoreValue& value) {
    return std::holds_alternative<std::monostate>(value);
}

} // namespace

bool Attribute::accepts(const StoreValue& value) const {
    switch (type) {
    case AttributeType::string:
        return std::holds_alternative<std::string>(value) || (isOptional && absent(value));
    case AttributeType::integer:
        return std::holds_alternative<std::int64_t>(value) || (isOptional && absent(value));
    case AttributeType::real:
        return std::holds_alternative<double>(value) || (isOptional && absent(value));
    case AttributeType::uuid:
        return std::holds_alternative<UUID>(value) || (isOptional && absent(value));
    case AttributeType::date:
        return std::holds_alternative<Date>(value) || (isOptional && absent(value));
    }
    return false;
}

EntityDescription::EntityDescription(std::string name, std::vector<Attribute> attributes,
                                     std::string identifierAttribute)
    : name_(std::move(name))
    , attributes_(std::move(attributes)) {
    // Names starting with "_" are the store's own columns and tables.
    if (name_.empty() || name_.front() == '_') {
        throw std::invalid_argument("an entity needs a name that does not start with \"_\"");
    }
    for (std::size_t i = 0; i < attributes_.size(); ++i) {
        const auto& attribute = attributes_[i];
        if (attribute.name.empty() || attribute.name.front() == '_') {
            throw std::invalid_argument("entity " + name_ +
                                        ": attribute names may not be empty or start with \"_\"");
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (attributes_[j].name == attribute.name) {
                throw std::invalid_argument("entity " + name_ + ": attribute " + attribute.name +
                                            " is declared twice");
            }
        }
    }
    const auto index = indexOf(identifierAttribute);
    if (!index) {
        throw std::invalid_argument("entity " + name_ + " has no attribute " + identifierAttribute +
                                    " to identify its records");
    }
    identifierIndex_ = *index;
    attributes_[identifierIndex_].isUnique = true;
}

std::optional<std::size_t> EntityDescription::indexOf(std::string_view attributeName) const {
    for (std::size_t i = 0; i < attributes_.size(); ++i) {
        if (attributes_[i].name == attributeName) {
            return i;
        }
    }
    return std::nullopt;
}

std::string Schema::Version::text() const {
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

std::optional<Schema::Version> Schema::Version::fromText(std::string_view text) {
    Version version;
    int* const parts[] = {&version.major, &version.minor, &version.patch};
    const char* cursor = text.data();
    const char* const end = text.data() + text.size();
    for (std::size_t i = 0; i < 3; ++i) {
        if (i > 0) {
            if (cursor == end || *cursor != '.') {
                return std::nullopt;
            }
            ++cursor;
        }
        if (cursor == end || !ascii::isDigit(*cursor)) {
            return std::nullopt; // no sign, no spaces
        }
        const auto [next, error] = std::from_chars(cursor, end, *parts[i]);
        if (error != std::errc()) {
            return std::nullopt;
        }
        cursor = next;
    }
    if (cursor != end) {
        return std::nullopt;
    }
    return version;
}

Schema::Schema(std::vector<const EntityDescription*> entities, Version version)
    : entities_(std::move(entities))
    , version_(version) {
    for (std::size_t i = 0; i < entities_.size(); ++i) {
        if (entities_[i] == nullptr) {
            throw std::invalid_argument("a schema entity is missing");
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (entities_[j]->name() == entities_[i]->name()) {
                throw std::invalid_argument("entity " + entities_[i]->name() +
                                            " appears twice in the schema");
            }
        }
    }
}

const EntityDescription* Schema::entityNamed(std::string_view name) const {
    for (const auto* entity : entities_) {
        if (entity->name() == name) {
            return entity;
        }
    }
    return nullptr;
}

} // namespace platform
