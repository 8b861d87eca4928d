#pragma once

#include "platform/data/PersistentModel.hpp"
#include "platform/data/Predicate.hpp"
#include "platform/data/Schema.hpp"
#include "platform/foundation/Date.hpp"
#include "platform/foundation/UUID.hpp"
#include "platform/observation/ObservationRegistrar.hpp"

#include <memory>
#include <optional>
#include <string>

namespace mossbarrow {

// A bookmarked catalogue item, the one record the application keeps. Kind and payload together
// say what was bookmarked ("mcp" and a server name, "skill:openclaw" and a slug, ...); nothing
// enforces that pair to be unique. A reference type: the store hands out one object per stored
// record, and two bookmarks are equal exactly when they are the same object.
class Bookmark final : public platform::PersistentModel {
public:
    // The persisted attributes, in declaration order; also the observed properties.
    enum class Attribute : std::size_t { id, kind, title, subtitle, payload, createdAt, updatedAt };

    // A new record, in memory only until a context inserts it: a fresh random id, and
    // createdAt and updatedAt read one after the other from the clock.
    static std::shared_ptr<Bookmark> make(std::string kind, std::string title,
                                          std::optional<std::string> subtitle, std::string payload);

    // Made by the store for a stored record.
    explicit Bookmark(platform::BackingData data);

    // The entity "Bookmark": the seven attributes in order, `id` unique.
    static const platform::EntityDescription& entityDescription();

    // Key paths for predicates and sort descriptors.
    static platform::KeyPath<Bookmark, std::string> kindKey() {
        return platform::KeyPath<Bookmark, std::string>("kind");
    }
    static platform::KeyPath<Bookmark, std::string> payloadKey() {
        return platform::KeyPath<Bookmark, std::string>("payload");
    }
    static platform::KeyPath<Bookmark, platform::Date> updatedAtKey() {
        return platform::KeyPath<Bookmark, platform::Date>("updatedAt");
    }

    platform::UUID id() const;
    void setId(const platform::UUID& value);
    std::string kind() const;
    void setKind(const std::string& value);
    std::string title() const;
    void setTitle(const std::string& value);
    std::optional<std::string> subtitle() const;
    void setSubtitle(const std::optional<std::string>& value);
    std::string payload() const;
    void setPayload(const std::string& value);
    platform::Date createdAt() const;
    void setCreatedAt(const platform::Date& value);
    platform::Date updatedAt() const;
    void setUpdatedAt(const platform::Date& value);

    const platform::ObservationRegistrar& registrar() const { return registrar_; }

private:
    // Only make() can name this, so only it can create a new record.
    struct NewRecord {
        explicit NewRecord() = default;
    };

public:
    Bookmark(NewRecord, std::string kind, std::string title, std::optional<std::string> subtitle,
             std::string payload);

private:
    template <class V>
    V read(Attribute attribute) const;
    template <class V>
    void write(Attribute attribute, const V& value);

    platform::ObservationRegistrar registrar_;
};

} // namespace mossbarrow
