#pragma once

// Draws the attachments of a text over the blank boxes the text builder left for them. The
// overlay reads the laid-out texts its content publishes, so the attachments follow the text
// wherever it wraps; one canvas per laid-out text draws each distinct attachment's view, built
// once, at every box that carries it.

#include "Vellum/attachments/Attachment.hpp"
#include "platform/ui/UI.hpp"

#include <unordered_set>
#include <utility>

namespace vellum {

class AttachmentView {
public:
    AttachmentView(std::unordered_set<AnyAttachment> attachments, platform::Point origin,
                   platform::ui::Text::Layout layout)
        : attachments_(std::move(attachments))
        , origin_(origin)
        , layout_(std::move(layout)) {}

    [[nodiscard]] platform::ui::AnyView body() const;
    // Draws the boxes of `layout` that carry an attachment, translated by `origin`.
    static void draw(platform::ui::CanvasContext& context, platform::Point origin,
                     const platform::ui::Text::Layout& layout);

private:
    std::unordered_set<AnyAttachment> attachments_;
    platform::Point origin_;
    platform::ui::Text::Layout layout_;
};

struct AttachmentOverlay {
    std::unordered_set<AnyAttachment> attachments;

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context,
                                             platform::ui::AnyView content) const;
    friend bool operator==(const AttachmentOverlay&, const AttachmentOverlay&) = default;
};

} // namespace vellum
