#pragma once

// Objects drawn inline in text: formulas, images, emoji images. An attachment stands in the text
// as one U+FFFC character carrying it under VellumAttributes::AttachmentAttribute.

#include "platform/foundation/Data.hpp"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vellum {

class Attachment {
public:
    virtual ~Attachment() = default;

    // Value equality: same kind of attachment with the same contents.
    [[nodiscard]] virtual bool isEqual(const Attachment& other) const = 0;
    [[nodiscard]] virtual std::size_t hashValue() const = 0;
    // The attachment's text form, written wherever it is exported as text (plain text, copy).
    [[nodiscard]] virtual std::string description() const = 0;
    // The attachment as a PNG picture for export, or nullopt when it has none (a formula).
    [[nodiscard]] virtual std::optional<platform::Data> pngData() const { return std::nullopt; }
};

// Any attachment, compared and hashed through the attachment it holds, so equal attachments in
// different runs collapse in a set.
class AnyAttachment {
public:
    explicit AnyAttachment(std::shared_ptr<const Attachment> base)
        : base_(std::move(base)) {}
    template <class A>
    requires std::is_base_of_v<Attachment, A>
    explicit AnyAttachment(A attachment)
        : base_(std::make_shared<const A>(std::move(attachment))) {}

    [[nodiscard]] const Attachment& base() const noexcept { return *base_; }
    [[nodiscard]] const std::shared_ptr<const Attachment>& shared() const noexcept { return base_; }
    // The held attachment as `A`, or nullptr when it is of another kind.
    template <class A>
    [[nodiscard]] const A* as() const noexcept {
        return dynamic_cast<const A*>(base_.get());
    }

    friend bool operator==(const AnyAttachment& a, const AnyAttachment& b) {
        return a.base_ == b.base_ || a.base_->isEqual(*b.base_);
    }
    [[nodiscard]] std::size_t hash() const { return base_->hashValue(); }

private:
    std::shared_ptr<const Attachment> base_;
};

[[nodiscard]] inline std::string describeAttributeValue(const AnyAttachment& attachment) {
    return attachment.base().description();
}

} // namespace vellum

template <>
struct std::hash<vellum::AnyAttachment> {
    std::size_t operator()(const vellum::AnyAttachment& attachment) const {
        return attachment.hash();
    }
};
