#include "Mossbarrow/Bookmark.hpp"

namespace mossbarrow {

namespace {
constexpr std::size_t index(Bookmark::Attribute attribute) {
    return static_cast<std::size_t>(attribute);
}
} // namespace

const platform::EntityDescription& Bookmark::entityDescription() {
    using platform::AttributeType;
    static const platform::EntityDescription entity(
        "Bookmark",
        {
            {.name = "id", .type = AttributeType::uuid, .isUnique = true},
            {.name = "kind", .type = AttributeType::string},
            {.name = "title", .type = AttributeType::string},
            {.name = "subtitle", .type = AttributeType::string, .isOptional = true},
            {.name = "payload", .type = AttributeType::string},
            {.name = "createdAt", .type = AttributeType::date},
            {.name = "updatedAt", .type = AttributeType::date},
        },
        "id");
    return entity;
}

Bookmark::Bookmark(platform::BackingData data)
    : PersistentModel(std::move(data)) {}

Bookmark::Bookmark(NewRecord, std::string kind, std::string title,
                   std::optional<std::string> subtitle, std::string payload)
    : PersistentModel(entityDescription()) {
    setValue(index(Attribute::id), platform::UUID());
    setValue(index(Attribute::kind), kind);
    setValue(index(Attribute::title), title);
    setValue(index(Attribute::subtitle), subtitle);
    setValue(index(Attribute::payload), payload);
    // Two readings, one after the other, so updatedAt is never earlier than createdAt.
    setValue(index(Attribute::createdAt), platform::Date::now());
    setValue(index(Attribute::updatedAt), platform::Date::now());
}

std::shared_ptr<Bookmark> Bookmark::make(std::string kind, std::string title,
                                         std::optional<std::string> subtitle, std::string payload) {
    // An empty subtitle is still a subtitle; only an absent one is stored as absent.
    return std::make_shared<Bookmark>(NewRecord{}, std::move(kind), std::move(title),
                                      std::move(subtitle), std::move(payload));
}

template <class V>
V Bookmark::read(Attribute attribute) const {
    registrar_.access(attribute);
    return value<V>(index(attribute));
}

template <class V>
void Bookmark::write(Attribute attribute, const V& newValue) {
    registrar_.withMutation(attribute, [&] { setValue(index(attribute), newValue); });
}

platform::UUID Bookmark::id() const {
    return read<platform::UUID>(Attribute::id);
}
void Bookmark::setId(const platform::UUID& value) {
    write(Attribute::id, value);
}
std::string Bookmark::kind() const {
    return read<std::string>(Attribute::kind);
}
void Bookmark::setKind(const std::string& value) {
    write(Attribute::kind, value);
}
std::string Bookmark::title() const {
    return read<std::string>(Attribute::title);
}
void Bookmark::setTitle(const std::string& value) {
    write(Attribute::title, value);
}
std::optional<std::string> Bookmark::subtitle() const {
    return read<std::optional<std::string>>(Attribute::subtitle);
}
void Bookmark::setSubtitle(const std::optional<std::string>& value) {
    write(Attribute::subtitle, value);
}
std::string Bookmark::payload() const {
    return read<std::string>(Attribute::payload);
}
void Bookmark::setPayload(const std::string& value) {
    write(Attribute::payload, value);
}
platform::Date Bookmark::createdAt() const {
    return read<platform::Date>(Attribute::createdAt);
}
void Bookmark::setCreatedAt(const platform::Date& value) {
    write(Attribute::createdAt, value);
}
platform::Date Bookmark::updatedAt() const {
    return read<platform::Date>(Attribute::updatedAt);
}
void Bookmark::setUpdatedAt(const platform::Date& value) {
    write(Attribute::updatedAt, value);
}

} // namespace mossbarrow
