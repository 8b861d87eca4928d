#include "Vellum/inline/TextSelectionBackground.hpp"

#include "platform/graphics/GraphicsContext.hpp"

#include <cmath>

namespace vellum {

using platform::ui::AnyView;

namespace {

// The highlight of one laid-out text: a view of its own, so that its body alone re-runs when the
// selection changes.
class SelectionHighlight {
public:
    SelectionHighlight(std::shared_ptr<const TextSelectionHighlight> highlight,
                       platform::ui::Text::Layout layout, platform::Point origin)
        : highlight_(std::move(highlight))
        , layout_(std::move(layout))
        , origin_(origin) {}

    [[nodiscard]] AnyView body(platform::ui::ViewContext& /*context*/) const {
        std::vector<platform::Rect> rects = highlight_->selectionRects(layout_);
        if (rects.empty()) {
            return AnyView(platform::Color::clear());
        }
        return AnyView(platform::ui::Canvas([rects = std::move(rects),
                                             origin = origin_](platform::ui::CanvasContext& canvas,
                                                               platform::Size /*size*/) {
            const platform::Color color = platform::Color::selectedTextBackgroundColor();
            for (const platform::Rect& r : rects) {
                // Whole pixels, so that the rectangles of adjacent lines meet without a seam.
                const double minX = std::floor(r.minX() + origin.x);
                const double minY = std::floor(r.minY() + origin.y);
                const double maxX = std::ceil(r.maxX() + origin.x);
                const double maxY = std::ceil(r.maxY() + origin.y);
                canvas.graphics.fill(platform::Rect(minX, minY, maxX - minX, maxY - minY), color);
            }
        }));
    }
    friend bool operator==(const SelectionHighlight& a, const SelectionHighlight& b) {
        return a.highlight_ == b.highlight_ && a.layout_ == b.layout_ &&
               a.origin_.x == b.origin_.x && a.origin_.y == b.origin_.y;
    }

private:
    std::shared_ptr<const TextSelectionHighlight> highlight_;
    platform::ui::Text::Layout layout_;
    platform::Point origin_;
};

} // namespace

AnyView TextSelectionBackground::body(platform::ui::ViewContext& context, AnyView content) const {
    const auto highlight = context.environment<TextSelectionHighlightKey>();
    if (!highlight) {
        return content;
    }
    // The first text inside and where the content stands, both in root coordinates, kept from
    // the last layout pass; they change only when the text is laid out anew or moves.
    const platform::ui::State<std::optional<platform::ui::Text::AnchoredLayout>> first =
        context.state<std::optional<platform::ui::Text::AnchoredLayout>>(std::nullopt);
    const platform::ui::State<platform::Point> origin = context.state<platform::Point>({});
    AnyView background;
    if (const auto& anchored = *first) {
        const platform::Point o = anchored->origin.rootValue();
        const platform::Point c = *origin;
        background =
            AnyView(SelectionHighlight(highlight, anchored->layout, {o.x - c.x, o.y - c.y}));
    }
    return content
        .onPreferenceChange<platform::ui::Text::LayoutKey>(
            [first](const platform::ui::Text::LayoutKey::Value& layouts) {
                first.set(layouts.empty() ? std::nullopt : std::optional(layouts.front()));
            })
        .onGeometryChange<platform::Point>(
            [](const platform::ui::GeometryProxy& proxy) {
                return proxy.frame(platform::ui::CoordinateSpace::global()).origin;
            },
            [origin](const platform::Point& /*old*/, const platform::Point& now) {
                origin.set(now);
            })
        .background(background);
}

AnyView withSelectionBehindText(AnyView content,
                                std::shared_ptr<const TextSelectionHighlight> highlight) {
    if (!highlight) {
        return content;
    }
    return content.backgroundPreferenceValue<platform::ui::Text::LayoutKey>(
        [highlight =
             std::move(highlight)](const platform::ui::Text::LayoutKey::Value& layouts) -> AnyView {
            if (layouts.empty()) {
                return AnyView();
            }
            return AnyView(SelectionHighlight(highlight, layouts.front().layout, {0, 0}));
        },
        platform::ui::Alignment::topLeading());
}

} // namespace vellum
