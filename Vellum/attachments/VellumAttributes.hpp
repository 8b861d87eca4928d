#pragma once

// The library's own attributes, beside Foundation's: an inline attachment and the image URL of a
// custom emoji. Foundation's markdown parser never sets them; the pattern pass and the attachment
// loaders do.

#include "Vellum/attachments/Attachment.hpp"
#include "platform/foundation/AttributedString.hpp"
#include "platform/foundation/URL.hpp"

#include <optional>
#include <unordered_set>

namespace vellum {

struct VellumAttributes {
    struct AttachmentAttribute {
        static constexpr std::string_view name = "Vellum.Attachment";
        using Value = AnyAttachment;
    };
    struct EmojiURLAttribute {
        static constexpr std::string_view name = "Vellum.EmojiURL";
        using Value = platform::URL;
    };
    // The scope includes every Foundation attribute.
    using FoundationAttributes = platform::AttributeScopes::FoundationAttributes;
};

// The container's attachment, or nullptr.
[[nodiscard]] inline const AnyAttachment* attachment(const platform::AttributeContainer& c) {
    return c.get<VellumAttributes::AttachmentAttribute>();
}
// Stores the attachment, or removes it for nullopt.
inline void setAttachment(platform::AttributeContainer& c, std::optional<AnyAttachment> value) {
    c.set<VellumAttributes::AttachmentAttribute>(std::move(value));
}
[[nodiscard]] inline const platform::URL* emojiURL(const platform::AttributeContainer& c) {
    return c.get<VellumAttributes::EmojiURLAttribute>();
}

// The distinct values of one attribute over some runs (equal values collapse).
template <platform::AttributeKey Key>
[[nodiscard]] std::unordered_set<typename Key::Value>
collectValues(const platform::AttributedString::Runs& runs) {
    std::unordered_set<typename Key::Value> values;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (const auto* value = runs.attributes(i).template get<Key>()) {
            values.insert(*value);
        }
    }
    return values;
}

[[nodiscard]] std::unordered_set<AnyAttachment>
collectAttachments(const platform::AttributedString& text);
[[nodiscard]] std::unordered_set<AnyAttachment>
collectAttachments(const platform::AttributedSubstring& text);

} // namespace vellum
