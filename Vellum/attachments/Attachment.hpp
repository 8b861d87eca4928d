#pragma once

// Objects drawn inline in text: formulas, images, emoji images. An attachment stands in the text
// as one run carrying it under VellumAttributes::AttachmentAttribute; the text builder measures it
// and leaves a blank box of that size in the line, and the overlay draws its body into the box.

#include "platform/foundation/Data.hpp"
#include "platform/graphics/Geometry.hpp"
#include "platform/ui/Layout.hpp"
#include "platform/ui/View.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

namespace vellum {

struct TextEnvironmentValues;

// How a selected attachment looks: `text` is selected like the characters around it (the
// selection background shows behind it), `object` is drawn at half opacity while selected.
enum class AttachmentSelectionStyle : std::uint8_t { text, object };

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

    // The defaults below describe an attachment without a picture: selected like text, no space
    // in the line, nothing drawn.
    [[nodiscard]] virtual AttachmentSelectionStyle selectionStyle() const;
    // The view drawn into the box that sizeThatFits gave.
    [[nodiscard]] virtual platform::ui::AnyView body() const;
    // How far the box's bottom edge lies from the text baseline; negative is below it.
    [[nodiscard]] virtual double baselineOffset(const TextEnvironmentValues& environment) const;
    // The box the attachment takes in the line for `proposal`.
    [[nodiscard]] virtual platform::Size
    sizeThatFits(platform::ui::ProposedViewSize proposal,
                 const TextEnvironmentValues& environment) const;
};

// Any attachment, compared and hashed through the attachment it holds, so equal attachments in
// different runs collapse in a set. Wrapping an AnyAttachment again copies it rather than nesting.
class AnyAttachment {
public:
    explicit AnyAttachment(std::shared_ptr<const Attachment> base)
        : base_(std::move(base)) {}
    template <class A>
    requires(std::is_base_of_v<Attachment, A> &&
             !std::is_same_v<A, AnyAttachment>) explicit AnyAttachment(A attachment)
        : base_(std::make_shared<const A>(std::move(attachment))) {}

    [[nodiscard]] const Attachment& base() const noexcept { return *base_; }
    [[nodiscard]] const std::shared_ptr<const Attachment>& shared() const noexcept { return base_; }
    // The held attachment as `A`, or nullptr when it is of another kind.
    template <class A>
    [[nodiscard]] const A* as() const noexcept {
        return dynamic_cast<const A*>(base_.get());
    }

    [[nodiscard]] AttachmentSelectionStyle selectionStyle() const {
        return base_->selectionStyle();
    }
    [[nodiscard]] platform::ui::AnyView body() const { return base_->body(); }
    [[nodiscard]] double baselineOffset(const TextEnvironmentValues& environment) const {
        return base_->baselineOffset(environment);
    }
    [[nodiscard]] platform::Size sizeThatFits(platform::ui::ProposedViewSize proposal,
                                              const TextEnvironmentValues& environment) const {
        return base_->sizeThatFits(proposal, environment);
    }
    [[nodiscard]] std::optional<platform::Data> pngData() const { return base_->pngData(); }
    [[nodiscard]] std::string description() const { return base_->description(); }

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
