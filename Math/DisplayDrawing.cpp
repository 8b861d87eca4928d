#include "Math/DisplayDrawing.hpp"

#include "Math/FontRegistry.hpp"
#include "Math/PlatformFont.hpp"
#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/Path.hpp"

#include <cmath>
#include <optional>

namespace Math {
namespace {

using platform::GraphicsContext;
using platform::Point;

/// Saves the context's state for one scope.
class SavedState {
public:
    explicit SavedState(GraphicsContext& context)
        : context_(context) {
        context_.save();
    }
    ~SavedState() { context_.restore(); }
    SavedState(const SavedState&) = delete;
    SavedState& operator=(const SavedState&) = delete;

private:
    GraphicsContext& context_;
};

bool finite(Point p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

/// A straight stroke; nothing when a coordinate or the width is not a number, which Cairo would
/// turn into an error state that spoils everything drawn after.
void strokeSegment(GraphicsContext& context, Point from, Point to, double thickness,
                   platform::LineCap cap, const platform::Color& color) {
    if (!finite(from) || !finite(to) || !std::isfinite(thickness)) {
        return;
    }
    platform::Path path;
    path.move(from);
    path.addLine(to);
    platform::StrokeStyle style;
    style.lineWidth = thickness;
    style.lineCap = cap;
    context.stroke(path, color, style);
}

/// The face of a glyph node at its size, from the registry's cache; nothing for a font that does
/// not load or a size no font is made at.
std::optional<platform::GlyphFont> glyphFontFor(const Font& font) {
    if (!std::isfinite(font.size) || font.size <= 0 || font.size > PlatformFont::maxSize) {
        return std::nullopt;
    }
    return FontRegistry::shared().glyphFont(font);
}

void drawList(const std::shared_ptr<DisplayList>& list, const platform::Color& color,
              GraphicsContext& context) {
    if (list) {
        drawDisplayNode(*list, color, context);
    }
}

void drawGlyphs(const DisplayShiftedNode& node, const Font& font,
                std::span<const platform::GlyphID> glyphs, std::span<const double> offsets,
                const platform::Color& color, GraphicsContext& context) {
    const std::optional<platform::GlyphFont> glyphFont = glyphFontFor(font);
    const Point origin{node.position().x, node.position().y - node.shiftDown};
    if (!glyphFont || !finite(origin)) {
        return;
    }
    std::vector<Point> positions;
    positions.reserve(glyphs.size());
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        positions.push_back({origin.x, origin.y + (i < offsets.size() ? offsets[i] : 0)});
    }
    glyphFont->draw(context, glyphs, positions, color);
}

void drawTextRun(const DisplayTextRun& run, const platform::Color& color,
                 GraphicsContext& context) {
    const std::optional<platform::GlyphFont> glyphFont = glyphFontFor(run.font);
    const Point origin = run.position();
    if (!glyphFont || !finite(origin) || run.shaped.glyphs.empty()) {
        return;
    }
    // Ranges of the text may carry colours of their own (placeholders); the glyphs are drawn in
    // one call per colour.
    const auto& ranges = run.attributedString.colors();
    std::vector<platform::GlyphID> glyphs;
    std::vector<Point> positions;
    const auto flush = [&](const platform::Color& c) {
        if (!glyphs.empty()) {
            glyphFont->draw(context, glyphs, positions, c);
            glyphs.clear();
            positions.clear();
        }
    };
    const auto colorOf = [&](std::size_t cluster) -> const platform::Color& {
        for (const AttributedLine::ColorRange& range : ranges) {
            if (cluster >= range.utf16Offset && cluster - range.utf16Offset < range.utf16Length) {
                return range.color;
            }
        }
        return color;
    };
    const platform::Color* current = nullptr;
    for (const platform::ShapedRun::Glyph& glyph : run.shaped.glyphs) {
        const platform::Color& c = colorOf(glyph.cluster);
        if (current != nullptr && !(*current == c)) {
            flush(*current);
        }
        current = &c;
        glyphs.push_back(glyph.glyph);
        positions.push_back({origin.x + glyph.position.x, origin.y + glyph.position.y});
    }
    if (current != nullptr) {
        flush(*current);
    }
}

constexpr std::size_t kChildrenWorthCulling = 64;

// Whether `node` (in the space of its list, y up) may put ink inside `clip`: its ink stays within
// its own height and a hundred points of its typographic box, whatever accents or big operators
// stand out of it.
bool mayDrawWithin(const DisplayNode& node, const platform::Rect& clip) {
    const double bottom = node.position().y - node.descent();
    const double top = node.position().y + node.ascent();
    const double margin = std::abs(top - bottom) + 100;
    // Written so that a NaN anywhere keeps the node.
    return !(top + margin < clip.minY() || bottom - margin > clip.maxY());
}

} // namespace

void drawDisplayNode(const DisplayNode& node, const platform::Color& inherited,
                     GraphicsContext& context) {
    const platform::Color& color = node.localTextColor ? *node.localTextColor
                                   : node.textColor    ? *node.textColor
                                                       : inherited;
    const Point position = node.position();

    if (const auto* list = dynamic_cast<const DisplayList*>(&node)) {
        if (!finite(position)) {
            return;
        }
        const SavedState saved(context);
        context.translateBy(position.x, position.y);
        // A long formula broken into many lines mostly lies outside the clip (a window shows a
        // screen of it): its lines there are passed over, with a margin far beyond any ink.
        std::optional<platform::Rect> clip;
        if (list->children.size() > kChildrenWorthCulling) {
            clip = context.clipBoundingRect();
        }
        for (const std::shared_ptr<DisplayNode>& child : list->children) {
            if (child && (!clip || mayDrawWithin(*child, *clip))) {
                drawDisplayNode(*child, color, context);
            }
        }
    } else if (const auto* run = dynamic_cast<const DisplayTextRun*>(&node)) {
        drawTextRun(*run, color, context);
    } else if (const auto* glyph = dynamic_cast<const DisplayGlyph*>(&node)) {
        drawGlyphs(*glyph, glyph->font, std::span(&glyph->glyph, 1), {}, color, context);
    } else if (const auto* glyphRun = dynamic_cast<const DisplayGlyphRun*>(&node)) {
        drawGlyphs(*glyphRun, glyphRun->font, glyphRun->glyphs, glyphRun->offsets, color, context);
    } else if (const auto* fraction = dynamic_cast<const DisplayFraction*>(&node)) {
        drawList(fraction->numerator, color, context);
        drawList(fraction->denominator, color, context);
        if (fraction->lineThickness > 0) {
            const double y = position.y + fraction->linePosition;
            strokeSegment(context, {position.x, y}, {position.x + fraction->width(), y},
                          fraction->lineThickness, platform::LineCap::butt, color);
        }
    } else if (const auto* radical = dynamic_cast<const DisplayRadical*>(&node)) {
        drawList(radical->radicand, color, context);
        drawList(radical->degree, color, context);
        const Point origin{position.x + radical->radicalShift, position.y};
        if (!finite(origin)) {
            return;
        }
        const SavedState saved(context);
        context.translateBy(origin.x, origin.y);
        if (radical->radicalGlyph) {
            drawDisplayNode(*radical->radicalGlyph, color, context);
        }
        // The overbar starts where the sign ends and spans the radicand.
        const double signWidth = radical->radicalGlyph ? radical->radicalGlyph->width() : 0;
        const double radicandWidth = radical->radicand ? radical->radicand->width() : 0;
        const double height = radical->ascent() - radical->topKern - radical->lineThickness / 2;
        strokeSegment(context, {signWidth, height}, {signWidth + radicandWidth, height},
                      radical->lineThickness, platform::LineCap::round, color);
    } else if (const auto* line = dynamic_cast<const DisplayLine*>(&node)) {
        drawList(line->inner, color, context);
        const double y = position.y + line->lineShiftUp;
        const double width = line->inner ? line->inner->width() : 0;
        strokeSegment(context, {position.x, y}, {position.x + width, y}, line->lineThickness,
                      platform::LineCap::butt, color);
    } else if (const auto* op = dynamic_cast<const DisplayLargeOperator*>(&node)) {
        drawList(op->upperLimit, color, context);
        drawList(op->lowerLimit, color, context);
        if (op->nucleus) {
            drawDisplayNode(*op->nucleus, color, context);
        }
    } else if (const auto* accent = dynamic_cast<const DisplayAccent*>(&node)) {
        drawList(accent->accentee, color, context);
        if (accent->accent && finite(position)) {
            const SavedState saved(context);
            context.translateBy(position.x, position.y);
            drawDisplayNode(*accent->accent, color, context);
        }
    }
}

void drawInGraphicsContext(const DisplayNode& root, const platform::Color& color,
                           GraphicsContext& context, platform::Size size) {
    if (!std::isfinite(size.height) || !std::isfinite(root.descent())) {
        return;
    }
    const SavedState saved(context);
    context.translateBy(0, size.height);
    context.scaleBy(1, -1);
    context.translateBy(0, root.descent());
    drawDisplayNode(root, color, context);
}

void drawInGraphicsContext(const DisplayNode& root, GraphicsContext& context, platform::Size size) {
    drawInGraphicsContext(root, platform::Color::black(), context, size);
}

} // namespace Math
