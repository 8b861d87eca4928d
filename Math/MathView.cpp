#include "Math/MathView.hpp"

#include "Math/DisplayDrawing.hpp"
#include "Math/DisplayProvider.hpp"
#include "platform/graphics/GraphicsContext.hpp"
#include "platform/ui/Containers.hpp"
#include "platform/ui/Shapes.hpp"

#include <cmath>
#include <memory>
#include <mutex>

namespace Math {

namespace {

using platform::ui::ProposedViewSize;

Style::Level styleLevel(TypesettingStyle style) {
    return style == TypesettingStyle::text ? Style::Level::text : Style::Level::display;
}

// The typeset root of a formula at `width` (none or 0: no line breaking), from the shared cache.
// Fonts of absurd size (negative, not finite, huge) cannot be built, so they give no root.
std::shared_ptr<DisplayList> typesetCached(std::string_view latex, const Font& font,
                                           TypesettingStyle style, std::optional<double> width) {
    return DisplayProvider::shared().displayNode(latex, font, styleLevel(style), width);
}

// The size a formula takes for a proposed width: (0, 0) for a width of zero or less and for a
// formula that cannot be typeset. A width that is not a number proposes nothing.
platform::Size layoutTypographicBounds(std::string_view latex, const Font& font,
                                       TypesettingStyle style, std::optional<double> width) {
    if (width && *width <= 0) {
        return {0, 0};
    }
    const auto measure = DisplayProvider::shared().measure(latex, font, styleLevel(style), width);
    if (!measure) {
        return {0, 0};
    }
    return {measure->width, measure->ascent + measure->descent};
}

// The root a canvas last drew, and the width it drew it at. A strip of the canvas drawn again is
// drawn from it rather than asked of the shared cache, which may have let it go meanwhile: a
// formula too large to keep would then be set whole again, on the thread that draws.
struct DrawnRoot {
    std::mutex mutex;
    double width = 0;
    std::shared_ptr<DisplayList> root;
};

// Draws the formula in `mode`. Monochrome paints the canvas in the foreground style and keeps it
// only where the formula (drawn in black) has ink, so the formula's own colours do not show.
void renderMath(platform::ui::CanvasContext& canvas, platform::Size size, const std::string& latex,
                const Font& font, TypesettingStyle style, DrawnRoot& drawn) {
    const double width = DisplayProvider::keyWidth(size.width);
    std::shared_ptr<DisplayList> root;
    {
        const std::scoped_lock lock(drawn.mutex);
        if (drawn.root && drawn.width == width) {
            root = drawn.root;
        }
    }
    if (!root) {
        root = typesetCached(latex, font, style, size.width);
        const std::scoped_lock lock(drawn.mutex);
        drawn.width = width;
        drawn.root = root;
    }
    if (!root) {
        return;
    }
    platform::GraphicsContext& context = canvas.graphics;
    const RenderingMode mode = canvas.environment.get<MathRenderingModeKey>();
    if (!mode.isMonochrome()) {
        drawInGraphicsContext(*root, *mode.color(), context, size);
        return;
    }
    // The fill and its mask meet in a layer of their own: destination-in erases everything
    // outside the formula within the clip, which must not include what lies behind the view.
    context.drawLayer([&](platform::GraphicsContext& layer) {
        layer.fill(platform::Rect({0, 0}, size), canvas.foregroundStyle());
        layer.setBlendMode(platform::BlendMode::destinationIn);
        layer.drawLayer([&](platform::GraphicsContext& mask) {
            drawInGraphicsContext(*root, platform::Color::black(), mask, size);
        });
    });
}

} // namespace

TypographicBounds mathTypographicBounds(std::string_view latex, ProposedViewSize proposal,
                                        const Font& font, TypesettingStyle style) {
    if (proposal.width && *proposal.width <= 0) {
        return {};
    }
    const auto measure =
        DisplayProvider::shared().measure(latex, font, styleLevel(style), proposal.width);
    if (!measure) {
        return {};
    }
    return {measure->position, measure->width, measure->ascent, measure->descent};
}

// Sizes the view to the formula at the proposed width and gives the canvas exactly that size, so
// that the canvas draws from the root the measuring just cached.
class MathView::Layout final : public platform::ui::Layout {
public:
    Layout(std::string latex, Font font, TypesettingStyle style)
        : latex_(std::move(latex))
        , font_(std::move(font))
        , style_(style) {}

    platform::Size sizeThatFits(ProposedViewSize proposal, platform::ui::LayoutSubviews,
                                std::any&) const override {
        return layoutTypographicBounds(latex_, font_, style_, proposal.width);
    }

    void placeSubviews(platform::Rect bounds, ProposedViewSize,
                       platform::ui::LayoutSubviews subviews, std::any&) const override {
        if (subviews.empty()) {
            return;
        }
        subviews.front().place(bounds.origin, platform::ui::UnitPoint::topLeading(),
                               ProposedViewSize(bounds.size));
    }

    bool equals(const platform::ui::Layout& other) const override {
        const auto* layout = dynamic_cast<const Layout*>(&other);
        return layout && layout->latex_ == latex_ && layout->font_ == font_ &&
               layout->style_ == style_;
    }

private:
    std::string latex_;
    Font font_;
    TypesettingStyle style_;
};

platform::ui::AnyView MathView::body(platform::ui::ViewContext& context) const {
    const Font font = context.environment<MathFontKey>();
    const TypesettingStyle style = context.environment<MathTypesettingStyleKey>();
    platform::ui::Canvas canvas(
        [latex = latex_, font, style, drawn = std::make_shared<DrawnRoot>()](
            platform::ui::CanvasContext& canvas, platform::Size size) {
            renderMath(canvas, size, latex, font, style, *drawn);
        });
    return platform::ui::LayoutView(std::make_shared<const Layout>(latex_, font, style),
                                    {platform::ui::AnyView(std::move(canvas))});
}

} // namespace Math
