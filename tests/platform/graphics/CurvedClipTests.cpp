// A clip to a curved shape is kept by the context and given to Cairo only around the drawing that
// reaches beyond the pixels the shape covers fully. Each case draws the same scene twice: once as
// it comes, once with every clip handed to Cairo the moment it is set (asking for the Cairo
// context does that). The two must match byte for byte.

#include "platform/graphics/CairoAccess.hpp"
#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/text/TextLayout.hpp"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace platform {
namespace {

// The context a scene draws with, and whether its clips go to Cairo at once.
struct Canvas {
    GraphicsContext& context;
    bool eager;

    void clip(const Path& path) {
        context.clip(path);
        if (eager) {
            (void)CairoAccess::cairoContext(context);
        }
    }
};

// Returns the scene as drawn with its clips kept back.
Image expectSameBothWays(const std::function<void(Canvas&)>& scene, Size size, double scale,
                         const std::string& what) {
    Image drawn[2];
    Rect clipBounds[2];
    for (int eager = 0; eager < 2; ++eager) {
        ImageSurface surface = ImageSurface::ofSize(size, scale);
        {
            GraphicsContext context(surface);
            context.fill(Rect({0, 0}, size), Color(0.95, 0.94, 0.9));
            Canvas canvas{context, eager == 1};
            scene(canvas);
            clipBounds[eager] = context.clipBoundingRect();
        }
        drawn[eager] = surface.makeImage();
    }
    EXPECT_EQ(clipBounds[0], clipBounds[1]) << what;
    EXPECT_EQ(drawn[0].pixels().size(), drawn[1].pixels().size()) << what;
    if (drawn[0].pixels().size() != drawn[1].pixels().size()) {
        return drawn[0];
    }
    std::size_t differing = 0;
    for (std::size_t i = 0; i < drawn[0].pixels().size(); ++i) {
        differing += drawn[0].pixels()[i] != drawn[1].pixels()[i] ? 1 : 0;
    }
    EXPECT_EQ(differing, 0u) << what;
    return drawn[0];
}

Path panel(Rect r) {
    return Path::roundedRect(r, 9, RoundedCornerStyle::continuous);
}

// Code as a panel shows it: lines in a monospaced face, some longer than the panel is wide, a run
// with a background and one underlined, the first line close to the rounded top.
TextLayout codeLines() {
    StyledText text;
    const TextAttributes code{.font = Font::body().monospaced()};
    text.append("Weight ultraLight() { return {-0.8}; } // gjy@WMm\n", code);
    text.append("    static constexpr Weight thin() { return {-0.6}; } and a line that runs on "
                "past the right edge of the panel\n",
                code);
    TextAttributes marked = code;
    marked.backgroundColor = Color(0.8, 0.9, 1);
    text.append("marked", marked);
    text.append(" then ", code);
    TextAttributes underlined = code;
    underlined.underline = TextLineStyle{};
    underlined.foregroundColor = Color(0.6, 0.1, 0.5);
    text.append("underlined_words", underlined);
    text.append("\n  ffi fl WAVY Tj ; . , i l | \xC3\xA9\xC3\xA0 x\xCC\x81\n", code);
    text.append("}", code);
    return TextLayout(text, ParagraphStyle{});
}

TEST(CurvedClip, TextInAndAcrossARoundedPanelDrawsAsWithTheClip) {
    const TextLayout lines = codeLines();
    // Fractional origins put Cairo's glyph positions on either side of its rounding.
    for (const double scale : {1.0, 2.0}) {
        for (const double dx : {0.0, 0.25, 0.5, 0.75}) {
            const auto scene = [&](Canvas& c) {
                c.context.save();
                c.clip(panel(Rect(10.5, 6.25, 300, 90)));
                c.context.fill(Rect(0, 0, 400, 120), Color(0.97, 0.97, 0.98));
                lines.draw(c.context, {20 + dx, 8 + dx}, Color(0.1, 0.1, 0.1));
                c.context.restore();
                // After the restore the panel no longer clips.
                lines.draw(c.context, {4 + dx, 100}, Color::black());
            };
            expectSameBothWays(scene, {400, 190}, scale,
                               "scale " + std::to_string(scale) + " dx " + std::to_string(dx));
        }
    }
}

TEST(CurvedClip, SavesRestoresLayersAndNestedClipsDrawAsWithTheClip) {
    const TextLayout lines = codeLines();
    const auto scene = [&](Canvas& c) {
        GraphicsContext& g = c.context;
        g.save();
        c.clip(panel(Rect(5, 5, 150, 110)));
        // Kept by the outer state while an inner one sets it going and is restored.
        g.save();
        g.translateBy(3.5, 2.25);
        g.fill(Rect(-10, -10, 60, 40), Color(0.2, 0.6, 0.3));
        (void)CairoAccess::cairoContext(g);
        g.restore();
        g.fill(Rect(100, 80, 80, 60), Color(0.8, 0.3, 0.2));
        StrokeStyle wide;
        wide.lineWidth = 6;
        g.stroke(Path::ellipse(Rect(20, 20, 120, 60)), Color(0.1, 0.2, 0.9), wide);
        // A box cutting through lines that lie where the curve covers fully.
        g.save();
        g.clip(Rect(12.5, 44.5, 200, 22.5));
        lines.draw(g, {14, 36}, Color(0.1, 0.4, 0.1));
        g.restore();
        // A box inside the curve, then a second curve: both narrow what follows.
        g.save();
        g.clip(Rect(12.5, 30.5, 200, 70));
        c.clip(panel(Rect(30, 35, 110, 90)));
        lines.draw(g, {25, 30}, Color::black());
        g.restore();
        // A layer begun under the clip is composited under it.
        g.setOpacity(0.5);
        g.drawLayer([&](GraphicsContext& layer) {
            layer.fill(Rect(0, 0, 60, 200), Color(0.9, 0.8, 0.1));
            lines.draw(layer, {8, 60}, Color(0.3, 0.0, 0.6));
        });
        g.restore();
        g.fill(Rect(150, 0, 10, 10), Color(0, 0, 0));
        // Left set on purpose: the clip bounds are compared as well.
        c.clip(panel(Rect(40.3, 20.7, 100, 60)));
        const Rect bounds = g.clipBoundingRect();
        EXPECT_TRUE(bounds.contains(Rect(40.3, 20.7, 100, 60)) &&
                    Rect(39.5, 20, 101.5, 61.5).contains(bounds))
            << bounds.minX() << " " << bounds.minY() << " " << bounds.maxX() << " "
            << bounds.maxY();
    };
    for (const double scale : {1.0, 2.0}) {
        const Image drawn = expectSameBothWays(scene, {200, 140}, scale, "nested");
        const auto at = [&](double x, double y) {
            return drawn.pixel(static_cast<int>(x * scale), static_cast<int>(y * scale));
        };
        // Drawn after the clips were restored away.
        EXPECT_EQ(at(155, 5), (Image::Pixel{0, 0, 0, 255}));
        // Below the first panel, which kept the red box from it.
        EXPECT_EQ(at(120, 125), at(195, 135));
    }
}

// Text in many sizes, each reaching a little past the panel's right edge, smallest first: the
// ink measured for a glyph in one size must not stand for it in another, nor outlive the fonts
// the context drew with last.
TEST(CurvedClip, TextInManySizesAcrossTheEdgeDrawsAsWithTheClip) {
    std::vector<TextLayout> sized;
    for (int size = 8; size <= 46; size += 2) {
        StyledText text;
        text.append("WWW", TextAttributes{.font = Font::system(size)});
        sized.emplace_back(text, ParagraphStyle{});
    }
    const auto scene = [&](Canvas& c) {
        c.context.save();
        c.clip(panel(Rect(10.5, 6.25, 300, 1000)));
        double y = 10;
        for (const TextLayout& text : sized) {
            text.draw(c.context, {311.5 - text.size().width, y}, Color(0.1, 0.1, 0.1));
            y += text.size().height;
        }
        c.context.restore();
    };
    for (int round = 0; round < 2; ++round) {
        expectSameBothWays(scene, {330, 700}, 1, "round " + std::to_string(round));
    }
}

} // namespace
} // namespace platform
