// Filling a rectangle takes shortcuts past Cairo where the outcome is known: pixels written
// directly where they all change to one opaque colour, and a fill under a clip to a curved shape
// drawn without the clip where the shape covers it fully. Stroking a shape with two vertical
// sides writes the rows between its corners directly. Each case draws the same shapes twice,
// once through the context and once through Cairo with every clip in force, and the two must
// match byte for byte.

#include "platform/graphics/CairoAccess.hpp"
#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"

#include <cmath>
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

// Transforms, clips, layers, opacity and blend modes the shortcuts must see to.
std::vector<std::pair<std::string, Prepare>> everyState() {
    return {
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
}

TEST(RectFill, FillsComeOutAsCairoDrawsThemUnderEveryState) {
    const Size size{48, 36};
    const std::vector<std::pair<std::string, Prepare>> setups = everyState();
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

// Edges laid out as sums of fractions (a table's offset plus its divider's) land a rounding error
// off a pixel boundary; those Cairo itself takes to the boundary, and those a little farther off
// it, come out as Cairo draws them.
TEST(RectFill, EdgesARoundingErrorOffPixelsComeOutAsCairoDrawsThem) {
    std::mt19937 random(3);
    std::uniform_real_distribution<double> fraction(0, 100);
    const double offPixel[] = {0,          1e-12,      -1e-9, 1.0 / 1024, 1.0 / 512,
                               -1.0 / 512, 3.0 / 1024, 0.005, -0.005};
    for (const double off : offPixel) {
        for (int round = 0; round < 20; ++round) {
            const double dx = std::round(fraction(random) * 1000) / 1000;
            const double dy = std::round(fraction(random) * 1000) / 1000;
            const auto moved = [dx, dy](GraphicsContext& g) { g.translateBy(dx, dy); };
            // Whole device pixels, given relative to the moved origin.
            const double x = 1 + round % 7, y = 2 + round % 5 + off;
            const std::vector<Fill> fills = {
                {Rect(x - dx, y - dy, 25, 1), Color(0.2, 0.4, 0.9)},
                {Rect(x + 3 - dx, 0.5 + round % 3 - dy, 1, 20 + off), Color(0.9, 0.1, 0.3)}};
            EXPECT_EQ(differingPixels(filled(moved, fills, {48, 36}, 1, false),
                                      filled(moved, fills, {48, 36}, 1, true)),
                      0u)
                << off << " off, moved " << dx << ", " << dy;
        }
    }
}

// A clip whose edges fall between pixels (a scrolling region's) cuts through the edge pixels of
// whole-pixel rectangles: lines and boxes across each of its edges, and over it all.
TEST(RectFill, FillsCutByAClipBetweenPixelsComeOutAsCairoDrawsThem) {
    const auto clipped = [](GraphicsContext& g) { g.clip(Rect(4.5, 3.25, 30, 20.5)); };
    for (const double scale : {1.0, 2.0}) {
        for (int x = 0; x < 40; x += 3) {
            for (int y = 0; y < 30; y += 4) {
                const std::vector<Fill> fills = {
                    {Rect(x, 0, 1, 36), Color(0.1, 0.2, 0.3)},
                    {Rect(0, y, 48, 1), Color(0.6, 0.2, 0.3)},
                    {Rect(x, y, 7, 5), Color(0.3, 0.7, 0.1)},
                    {Rect(x / 2.0, y / 2.0, 40, 30), Color(0.9, 0.9, 0.2)}};
                EXPECT_EQ(differingPixels(filled(clipped, fills, {48, 36}, scale, false),
                                          filled(clipped, fills, {48, 36}, scale, true)),
                          0u)
                    << x << ", " << y << " at scale " << scale;
            }
        }
    }
}

struct Outline {
    Path path;
    Color color;
    StrokeStyle style;
};

Image stroked(const Prepare& setup, const std::vector<Outline>& outlines, Size size, double scale,
              bool throughCairo) {
    ImageSurface surface = ImageSurface::ofSize(size, scale);
    {
        GraphicsContext g(surface);
        g.fill(Rect({0, 0}, size), Color(0.3, 0.5, 0.7, 0.5));
        setup(g);
        for (const Outline& o : outlines) {
            if (!throughCairo) {
                g.stroke(o.path, o.color, o.style);
                continue;
            }
            cairo_t* cr = CairoAccess::cairoContext(g);
            cairo_new_path(cr);
            CairoAccess::appendPath(cr, o.path);
            double width = o.style.lineWidth;
            if (width == 0) {
                double dx = 1, dy = 0;
                cairo_device_to_user_distance(cr, &dx, &dy);
                width = std::hypot(dx, dy);
            }
            cairo_set_line_width(cr, width);
            cairo_set_line_join(cr, o.style.lineJoin == LineJoin::round   ? CAIRO_LINE_JOIN_ROUND
                                    : o.style.lineJoin == LineJoin::bevel ? CAIRO_LINE_JOIN_BEVEL
                                                                          : CAIRO_LINE_JOIN_MITER);
            cairo_set_miter_limit(cr, o.style.miterLimit);
            if (o.style.dash.empty())
                cairo_set_dash(cr, nullptr, 0, 0);
            else
                cairo_set_dash(cr, o.style.dash.data(), static_cast<int>(o.style.dash.size()), 0);
            CairoAccess::applyColor(g, o.color);
            cairo_stroke(cr);
        }
    }
    return surface.makeImage();
}

// Panels, boxes and rings on whole, half and quarter points, in line widths whose edges fall on
// pixels and some whose do not, mostly in opaque colours, some of them cut by the surface's edges.
std::vector<Outline> someOutlines(std::mt19937& random, Size size) {
    std::uniform_int_distribution<int> pick(0, 9);
    std::uniform_int_distribution<int> quarter(-12, 4 * static_cast<int>(size.width) / 3);
    std::uniform_real_distribution<double> unit(0, 1);
    const double widths[] = {1, 1, 1, 2, 0, 0.5, 3, 1.5};
    std::vector<Outline> outlines;
    for (int i = 0; i < 2; ++i) {
        const int step = pick(random) < 5 ? 4 : (pick(random) < 6 ? 2 : 1);
        const auto at = [&] { return (quarter(random) / step * step) / 4.0; };
        const double x0 = at(), w = 8 + 2 * std::abs(at());
        // Reaching past the top of the surface, past its bottom, past both or neither.
        const int reach = pick(random) % 4;
        const double y0 = reach % 2 == 0 ? at() / 2 : -4 - at();
        const double y1 = reach < 2 ? size.height - 2 - at() / 2 : size.height + 4 + at();
        const double h = std::max(y1 - y0, 8.0);
        Outline o;
        o.style.lineWidth = widths[pick(random) % 8];
        // Mostly as a shape view strokes its frame: inside it by half the line.
        const double inset = pick(random) < 6 ? o.style.lineWidth / 2 : 0;
        const Rect frame = Rect(x0, y0, w, h).insetBy(inset, inset);
        const int shape = pick(random);
        o.path = shape < 4   ? Path::roundedRect(frame, 4, RoundedCornerStyle::continuous)
                 : shape < 6 ? Path::roundedRect(frame, 1 + pick(random))
                 : shape < 8 ? Path::rect(frame)
                 : shape < 9 ? Path::ellipse(frame)
                             : Path::roundedRect(frame, Size{3, 8});
        if (pick(random) < 2) {
            // A notch cut into the top edge, its sharp joins' miters reaching down.
            o.path = Path();
            o.path.move({frame.minX(), frame.minY()});
            o.path.addLine({frame.midX(), frame.minY() + frame.height() / 3});
            o.path.addLine({frame.maxX(), frame.minY()});
            o.path.addLine({frame.maxX(), frame.maxY()});
            o.path.addLine({frame.minX(), frame.maxY()});
            o.path.closeSubpath();
        }
        if (pick(random) < 2)
            o.style.lineJoin = pick(random) < 5 ? LineJoin::round : LineJoin::bevel;
        if (pick(random) < 2)
            o.style.miterLimit = 1 + pick(random);
        if (pick(random) < 1)
            o.style.dash = {3, 2};
        o.color = Color(unit(random), unit(random), unit(random), pick(random) < 8 ? 1 : 0.6);
        outlines.push_back(o);
    }
    return outlines;
}

TEST(RectFill, StrokesComeOutAsCairoDrawsThemUnderEveryState) {
    const Size size{64, 48};
    std::mt19937 random(11);
    for (const double scale : {1.0, 2.0, 1.25}) {
        for (const auto& [name, setup] : everyState()) {
            for (int round = 0; round < 30; ++round) {
                const std::vector<Outline> outlines = someOutlines(random, size);
                const std::size_t differing =
                    differingPixels(stroked(setup, outlines, size, scale, false),
                                    stroked(setup, outlines, size, scale, true));
                EXPECT_EQ(differing, 0u) << name << " at scale " << scale << ", round " << round;
                if (differing != 0) {
                    break;
                }
            }
        }
    }
}

// A panel's border drawn again a whole number of pixels away (a page drawn again, a scroll) is
// laid from what its first stroke left of its corner rows: over a background of many colours,
// partly transparent, it comes out as Cairo draws it, wherever it lies in the pixel and however
// much of it the surface shows.
TEST(RectFill, StrokesDrawnAgainWholePixelsAwayComeOutAsCairoDrawsThem) {
    const Size size{64, 48};
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(0, 1);
    const auto background = [&random, &unit, size] {
        std::vector<Fill> stripes;
        for (int x = 0; x < size.width; ++x)
            stripes.push_back({Rect(x, 0, 1, size.height),
                               Color(unit(random), unit(random), unit(random), unit(random))});
        for (int y = 0; y < size.height; y += 5)
            stripes.push_back({Rect(0, y, size.width, 2), Color(unit(random), 0.5, 0.2)});
        return stripes;
    };
    const Path shapes[] = {
        Path::roundedRect(Rect(0.5, 0.5, 40, 60), 4, RoundedCornerStyle::continuous),
        Path::roundedRect(Rect(0.5, 0.5, 30, 70), 3),
        Path::roundedRect(Rect(1, 1, 44, 58), Size{6, 2}), Path::rect(Rect(0.5, 0.5, 20, 55)),
        Path::roundedRect(Rect(0.5, 0.5, 50, 30), 4, RoundedCornerStyle::continuous)};
    for (const Path& shape : shapes) {
        for (const double fraction : {0.0, 0.3, 0.59, 0.75}) {
            // Moves by whole pixels from one showing to the next, reaching past the bottom and
            // then the top (a short panel all in view first).
            std::vector<std::pair<double, double>> moves;
            for (int i = 0; i < 6; ++i)
                moves.push_back({i * 3.0 - 2, fraction + i * 2.0 - 1});
            for (int i = 0; i < 6; ++i)
                moves.push_back({i * 2.0 + 3, fraction - 30 - i * 3.0});
            const std::vector<Fill> behind = background();
            const Color border(unit(random), unit(random), unit(random));
            Image images[2];
            for (const bool throughCairo : {false, true}) {
                ImageSurface surface = ImageSurface::ofSize(size, 1);
                {
                    GraphicsContext g(surface);
                    for (const Fill& f : behind)
                        g.fill(f.rect, f.color);
                    for (const auto& [dx, dy] : moves) {
                        g.save();
                        g.translateBy(dx, dy);
                        if (!throughCairo) {
                            g.stroke(shape, border, {});
                        } else {
                            cairo_t* cr = CairoAccess::cairoContext(g);
                            cairo_new_path(cr);
                            CairoAccess::appendPath(cr, shape);
                            cairo_set_line_width(cr, 1);
                            CairoAccess::applyColor(g, border);
                            cairo_stroke(cr);
                        }
                        g.restore();
                    }
                }
                images[throughCairo ? 1 : 0] = surface.makeImage();
            }
            EXPECT_EQ(differingPixels(images[0], images[1]), 0u) << fraction;
        }
    }
}

} // namespace
} // namespace platform
