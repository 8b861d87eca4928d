// Filling a rectangle takes shortcuts past Cairo where the outcome is known: pixels written
// directly where they all change to one opaque colour, and a fill under a clip to a curved shape
// drawn without the clip where the shape covers it fully. Each case fills the same rectangles
// twice, once through the context and once through Cairo with every clip in force, and the two
// must match byte for byte.

#include "platform/graphics/CairoAccess.hpp"
#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"

#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace platform {
namespace {

struct Fill {
    Rect rect;
    Color color;
};

// Sets up the context's state (transform, clips, layers) before the fills.
using Prepare = std::function<void(GraphicsContext&)>;

Image filled(const Prepare& setup, const std::vector<Fill>& fills, Size size, double scale,
             bool throughCairo) {
    ImageSurface surface = ImageSurface::ofSize(size, scale);
    {
        GraphicsContext g(surface);
        g.fill(Rect({0, 0}, size), Color(0.3, 0.5, 0.7, 0.5));
        setup(g);
        for (const Fill& f : fills) {
            if (throughCairo) {
                cairo_t* cr = CairoAccess::cairoContext(g);
                cairo_new_path(cr);
                cairo_rectangle(cr, f.rect.minX(), f.rect.minY(), f.rect.width(), f.rect.height());
                CairoAccess::applyColor(g, f.color);
                cairo_fill(cr);
            } else {
                g.fill(f.rect, f.color);
            }
        }
    }
    return surface.makeImage();
}

std::size_t differingPixels(const Image& a, const Image& b) {
    if (a.pixels().size() != b.pixels().size()) {
        return a.pixels().size() + b.pixels().size();
    }
    std::size_t n = 0;
    for (std::size_t i = 0; i < a.pixels().size(); ++i) {
        n += a.pixels()[i] != b.pixels()[i] ? 1 : 0;
    }
    return n;
}

// Rectangles on whole, half and quarter points, some reaching past the surface, in opaque
// colours (some beyond the unit range, which Cairo clamps) and a few translucent ones.
std::vector<Fill> someFills(std::mt19937& random, Size size) {
    std::uniform_int_distribution<int> quarter(-20, 4 * static_cast<int>(size.width) + 20);
    std::uniform_int_distribution<int> pick(0, 9);
    std::uniform_real_distribution<double> unit(-0.1, 1.1);
    std::vector<Fill> fills;
    for (int i = 0; i < 3; ++i) {
        const auto at = [&](int step) { return (quarter(random) / step * step) / 4.0; };
        const int step = pick(random) < 6 ? 4 : (pick(random) < 5 ? 2 : 1);
        const double x0 = at(step), x1 = at(step), y0 = at(step) * 0.75, y1 = at(step) * 0.75;
        const double alpha = pick(random) < 8 ? 1 : 0.6;
        fills.push_back({Rect(x0, y0, x1 - x0, y1 - y0),
                         Color(unit(random), unit(random), unit(random), alpha)});
    }
    return fills;
}

TEST(RectFill, FillsComeOutAsCairoDrawsThemUnderEveryState) {
    const Size size{48, 36};
    const std::vector<std::pair<std::string, Prepare>> setups = {
        {"plain", [](GraphicsContext&) {}},
        {"moved whole", [](GraphicsContext& g) { g.translateBy(3, -2); }},
        {"moved half", [](GraphicsContext& g) { g.translateBy(0.5, 0.25); }},
        {"scaled", [](GraphicsContext& g) { g.scaleBy(1.5, 2); }},
        {"flipped",
         [](GraphicsContext& g) {
             g.translateBy(48, 36);
             g.scaleBy(-1, -1);
         }},
        {"box clip", [](GraphicsContext& g) { g.clip(Rect(4, 3, 30, 20)); }},
        {"fractional box clip", [](GraphicsContext& g) { g.clip(Rect(4.5, 3.25, 30, 20.5)); }},
        {"rotated clip",
         [](GraphicsContext& g) {
             g.rotateBy(0.1);
             g.clip(Rect(4, 3, 30, 20));
             g.rotateBy(-0.1);
         }},
        {"curved clip",
         [](GraphicsContext& g) {
             g.clip(Path::roundedRect(Rect(2.5, 2.5, 40, 30), 8, RoundedCornerStyle::continuous));
         }},
        {"curved clip on whole pixels",
         [](GraphicsContext& g) {
             g.clip(Path::roundedRect(Rect(2, 1, 40, 34), 5, RoundedCornerStyle::continuous));
         }},
        {"moved curved clips on whole pixels",
         [](GraphicsContext& g) {
             g.translateBy(1, 0.5);
             g.clip(Path::roundedRect(Rect(-1, 1.5, 45, 34), 3));
             g.clip(Path::roundedRect(Rect(5, -3, 30, 40), 4));
         }},
        {"curved clip on whole pixels then box",
         [](GraphicsContext& g) {
             g.clip(Path::roundedRect(Rect(2, 1, 40, 34), 5));
             g.clip(Rect(6, 2.5, 30.5, 40));
         }},
        {"curved clip then box",
         [](GraphicsContext& g) {
             g.clip(Path::roundedRect(Rect(2.5, 2.5, 40, 30), 6));
             g.clip(Rect(6, 1, 30, 40));
         }},
        {"two curved clips",
         [](GraphicsContext& g) {
             g.clip(Path::roundedRect(Rect(2.5, 2.5, 40, 30), 6));
             g.clip(Path::roundedRect(Rect(10, -5, 30, 30), 4));
         }},
        {"layer",
         [](GraphicsContext& g) {
             g.setOpacity(0.5);
             g.beginLayer();
         }},
        {"layer under a box clip",
         [](GraphicsContext& g) {
             g.clip(Rect(4, 3, 30, 20));
             g.beginLayer();
         }},
        {"faded", [](GraphicsContext& g) { g.setOpacity(0.7); }},
        {"multiplied", [](GraphicsContext& g) { g.setBlendMode(BlendMode::multiply); }},
        {"copied", [](GraphicsContext& g) { g.setBlendMode(BlendMode::copy); }},
    };
    std::mt19937 random(7);
    for (const double scale : {1.0, 2.0, 1.25}) {
        for (const auto& [name, setup] : setups) {
            for (int round = 0; round < 40; ++round) {
                const std::vector<Fill> fills = someFills(random, size);
                const std::size_t differing =
                    differingPixels(filled(setup, fills, size, scale, false),
                                    filled(setup, fills, size, scale, true));
                EXPECT_EQ(differing, 0u) << name << " at scale " << scale << ", round " << round;
                if (differing != 0) {
                    break;
                }
            }
        }
    }
}

// The colour of a pixel written directly is the one Cairo would write, including colours on
// either side of its rounding.
TEST(RectFill, OpaqueColoursKeepCairosRounding) {
    std::vector<Fill> fills;
    for (int i = 0; i < 256; ++i) {
        const double v = i / 255.0;
        fills.push_back({Rect(i % 16, i / 16, 1, 1),
                         Color(v - 0.5 / 255, v + 0.49 / 255, v + 0.51 / 255 - 1.0 / 255)});
    }
    const auto none = [](GraphicsContext&) {};
    EXPECT_EQ(differingPixels(filled(none, fills, {16, 16}, 1, false),
                              filled(none, fills, {16, 16}, 1, true)),
              0u);
}

} // namespace
} // namespace platform
