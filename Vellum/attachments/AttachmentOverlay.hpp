#pragma once

// Draws the attachments of a text over the blank boxes the text builder left for them. The
// overlay reads the laid-out texts its content publishes, so the attachments follow the text
// wherever it wraps; one canvas per laid-out text draws each distinct attachment's view, built
// once, at every box that carries it. Attachments selected as objects (pictures) are drawn at half
// opacity while their character is selected, so that a selection shows on them whatever their
// colours; others (emoji, formulas) show their selection through the highlight behind the text,
// like characters.

#include "Vellum/attachments/Attachment.hpp"
#include "Vellum/attachments/TextSelectionHighlight.hpp"
#include "platform/ui/UI.hpp"

#include <memory>
#include <optional>
#include <unordered_set>
#include <utility>

namespace vellum {

class AttachmentView {
public:
    AttachmentView(std::unordered_set<AnyAttachment> attachments, platform::Point origin,
                   platform::ui::Text::Layout layout,
                   std::shared_ptr<const TextSelectionHighlight> selection = nullptr)
        : attachments_(std::move(attachments))
        , origin_(origin)
        , layout_(std::move(layout))
        , selection_(std::move(selection)) {}

    [[nodiscard]] platform::ui::AnyView body() const;
    // Draws the boxes of `layout` that carry an attachment, translated by `origin`; those of
    // object attachments whose character lies in `selected` at half opacity.
    static void draw(platform::ui::CanvasContext& context, platform::Point origin,
                     const platform::ui::Text::Layout& layout,
                     std::optional<platform::CharacterRange> selected = std::nullopt);

private:
    std::unordered_set<AnyAttachment> attachments_;
    platform::Point origin_;
    platform::ui::Text::Layout layout_;
    std::shared_ptr<const TextSelectionHighlight> selection_;
};

struct AttachmentOverlay {
    std::unordered_set<AnyAttachment> attachments;

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context,
                                             platform::ui::AnyView content) const;
    friend bool operator==(const AttachmentOverlay&, const AttachmentOverlay&) = default;
};

} // namespace vellum
