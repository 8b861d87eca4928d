#include "Vellum/attachments/AttachmentOverlay.hpp"

#include "Vellum/attachments/AttachmentAttribute.hpp"
#include "platform/graphics/GraphicsContext.hpp"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <vector>

namespace vellum {
namespace {

// The engine lays a canvas symbol out at its ideal size, so each box size an attachment takes in
// the layout is a symbol of its own: the attachment's view framed to that size.
struct SymbolSize {
    double width = 0;
    double height = 0;
    friend bool operator==(const SymbolSize&, const SymbolSize&) = default;
};

} // namespace
} // namespace vellum

template <>
struct std::hash<vellum::SymbolSize> {
    std::size_t operator()(const vellum::SymbolSize& size) const {
        return std::hash<double>()(size.width) * 31 + std::hash<double>()(size.height);
    }
};

namespace vellum {
namespace {

platform::ui::ViewID symbolID(const AnyAttachment& attachment, platform::Size size) {
    return platform::ui::ViewID::pair(platform::ui::ViewID(attachment),
                                      platform::ui::ViewID(SymbolSize{size.width, size.height}));
}

} // namespace

using platform::ui::AnyView;
using platform::ui::Text;

void AttachmentView::draw(platform::ui::CanvasContext& context, platform::Point origin,
                          const Text::Layout& layout,
                          std::optional<platform::CharacterRange> selected) {
    // A paragraph may hold a quarter of a million boxes, of which a screen shows a few thousand:
    // lines well clear of the clip are passed over whole. A line's own height around it leaves
    // room for ink that a box's view draws past the box.
    const platform::Rect visible = context.graphics.clipBoundingRect();
    // Runs of one repeated attachment share their attribute: its symbol is named once.
    const AttachmentAttribute* named = nullptr;
    platform::Size namedSize;
    platform::ui::ViewID id;
    for (const platform::TextLayout::Line& line : layout.lines()) {
        const platform::Rect bounds = line.typographicBounds.rect().offsetBy(origin.x, origin.y);
        if (bounds.maxY() + bounds.height() < visible.minY() ||
            bounds.minY() - bounds.height() > visible.maxY()) {
            continue;
        }
        for (const platform::TextLayout::Run& run : line.runs) {
            const AttachmentAttribute* attribute = layout.attribute<AttachmentAttribute>(run);
            if (attribute == nullptr) {
                continue;
            }
            // The box's typographic rectangle: its top at the ascent above the baseline.
            const platform::Rect box = run.typographicBounds.rect();
            if (attribute != named || box.size != namedSize) {
                id = symbolID(attribute->attachment, box.size);
                named = attribute;
                namedSize = box.size;
            }
            const platform::Rect at = box.offsetBy(origin.x, origin.y);
            const bool dimmed =
                selected && selected->contains(run.characterRange.lowerBound) &&
                attribute->attachment.selectionStyle() == AttachmentSelectionStyle::object;
            if (!dimmed) {
                context.drawSymbol(id, at);
                continue;
            }
            // One layer for the whole picture, so that its own overlapping parts do not show
            // through each other.
            platform::GraphicsContext& graphics = context.graphics;
            graphics.save();
            graphics.setOpacity(graphics.opacity() * 0.5);
            graphics.drawLayer(
                [&](platform::GraphicsContext& /*layer*/) { context.drawSymbol(id, at); });
            graphics.restore();
        }
    }
}

AnyView AttachmentView::body() const {
    // One symbol per attachment and size; its view is built once however often it occurs.
    std::vector<std::pair<platform::ui::ViewID, AnyView>> symbols;
    const AttachmentAttribute* named = nullptr;
    platform::Size namedSize;
    for (const platform::TextLayout::Line& line : layout_.lines()) {
        for (const platform::TextLayout::Run& run : line.runs) {
            const AttachmentAttribute* attribute = layout_.attribute<AttachmentAttribute>(run);
            if (attribute == nullptr) {
                continue;
            }
            const platform::Size size = run.typographicBounds.rect().size;
            // A repeated attachment's runs share their attribute: the run before named it.
            if ((attribute == named && size == namedSize) ||
                !attachments_.contains(attribute->attachment)) {
                continue;
            }
            named = attribute;
            namedSize = size;
            platform::ui::ViewID id = symbolID(attribute->attachment, size);
            const bool known = std::any_of(symbols.begin(), symbols.end(),
                                           [&](const auto& symbol) { return symbol.first == id; });
            if (!known) {
                symbols.emplace_back(std::move(id),
                                     attribute->attachment.body().frame(size.width, size.height));
            }
        }
    }
    // Read here, so that the canvas is drawn again when this text's share of the selection
    // changes, and only then.
    std::optional<platform::CharacterRange> selected;
    if (selection_) {
        selected = selection_->selectedCharacters(layout_);
    }
    return platform::ui::Canvas(
        [origin = origin_, layout = layout_, selected](platform::ui::CanvasContext& context,
                                                       platform::Size /*size*/) {
            draw(context, origin, layout, selected);
        },
        std::move(symbols));
}

AnyView AttachmentOverlay::body(platform::ui::ViewContext& context, AnyView content) const {
    if (attachments.empty()) {
        // Nothing to draw: spare the text the overlay and its canvases.
        return content;
    }
    std::shared_ptr<const TextSelectionHighlight> selection =
        context.environment<TextSelectionHighlightKey>();
    return content.overlayPreferenceValue<Text::LayoutKey>(
        [attachments = attachments,
         selection = std::move(selection)](const Text::LayoutKey::Value& layouts) -> AnyView {
            return platform::ui::GeometryReader(
                [attachments, layouts,
                 selection](const platform::ui::GeometryProxy& proxy) -> AnyView {
                    std::vector<AnyView> views;
                    views.reserve(layouts.size());
                    for (const Text::AnchoredLayout& anchored : layouts) {
                        views.emplace_back(AttachmentView(attachments, proxy[anchored.origin],
                                                          anchored.layout, selection));
                    }
                    return platform::ui::ZStack(std::move(views));
                });
        });
}

} // namespace vellum
