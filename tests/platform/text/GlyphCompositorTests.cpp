#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/text/GlyphCompositor.hpp"
#include "platform/text/TextLayout.hpp"

#include <algorithm>
#include <cairo.h>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace platform::text_internal {
namespace {

// A font as the layout makes them: no hinting of outlines or metrics.
cairo_scaled_font_t* makeFont(const char* family, bool bold, double pixels,
                              cairo_antialias_t antialias) {
    cairo_font_face_t* face = cairo_toy_font_face_create(
        family, CAIRO_FONT_SLANT_NORMAL, bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_matrix_t size;
    cairo_matrix_init_scale(&size, pixels, pixels);
    cairo_matrix_t identity;
    cairo_matrix_init_identity(&identity);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_antialias(options, antialias);
    cairo_scaled_font_t* font = cairo_scaled_font_create(face, &size, &identity, options);
    cairo_font_options_destroy(options);
    cairo_font_face_destroy(face);
    return font;
}

struct Surface {
    cairo_surface_t* surface;
    explicit Surface(int w, int h)
        : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h)) {}
    ~Surface() { cairo_surface_destroy(surface); }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
    std::uint32_t* row(int y) const {
        cairo_surface_flush(surface);
        return reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(surface) +
                                                std::ptrdiff_t{y} *
                                                    cairo_image_surface_get_stride(surface));
    }
};

unsigned long glyphOf(cairo_scaled_font_t* font, char c) {
    const char text[2] = {c, 0};
    cairo_glyph_t* found = nullptr;
    int count = 0;
    cairo_scaled_font_text_to_glyphs(font, 0, 0, text, 1, &found, &count, nullptr, nullptr,
                                     nullptr);
    const unsigned long index = count == 1 ? found[0].index : 0;
    cairo_glyph_free(found);
    return index;
}

int differingRows(const Surface& a, const Surface& b, int width, int height) {
    int rows = 0;
    for (int y = 0; y < height; ++y) {
        rows += std::memcmp(a.row(y), b.row(y), 4 * static_cast<std::size_t>(width)) != 0;
    }
    return rows;
}

// One random drawing: the same glyphs, font, colour, clip and layer for Cairo and the compositor.
struct Case {
    int width = 0;
    int height = 0;
    cairo_scaled_font_t* font = nullptr;
    double rgba[4] = {0, 0, 0, 1};
    double tx = 0;
    double ty = 0;
    bool boxClip = false;
    int clip[4] = {0, 0, 0, 0};
    bool curvedClip = false;
    bool layer = false;
    std::vector<cairo_glyph_t> glyphs;
    std::string describe() const {
        std::string s = std::to_string(width) + "x" + std::to_string(height) + " alpha " +
                        std::to_string(rgba[3]) + (boxClip ? " box clip" : "") +
                        (curvedClip ? " curved clip" : "") + (layer ? " layer" : "") + ":";
        for (const cairo_glyph_t& g : glyphs) {
            s += " " + std::to_string(g.index) + "@" + std::to_string(g.x + tx) + "," +
                 std::to_string(g.y + ty);
        }
        return s;
    }
};

// Draws the case into `surface`, through Cairo or through the compositor where it takes the
// drawing (false where it leaves it to Cairo).
bool draw(const Case& c, const Surface& surface, bool compositor) {
    cairo_t* cr = cairo_create(surface.surface);
    cairo_translate(cr, c.tx, c.ty);
    PixelBox unclipped = PixelBox::everything();
    if (c.boxClip) {
        cairo_rectangle(cr, c.clip[0] - c.tx, c.clip[1] - c.ty, c.clip[2], c.clip[3]);
        cairo_clip(cr);
        unclipped = {static_cast<double>(c.clip[0]), static_cast<double>(c.clip[1]),
                     static_cast<double>(c.clip[0] + c.clip[2]),
                     static_cast<double>(c.clip[1] + c.clip[3])};
    }
    const auto clipToRoundedBox = [&] {
        // A rounded box whose corners lie beyond the surface: every pixel of it is whole.
        const double x0 = -3 - c.tx, y0 = -3 - c.ty, x1 = c.width + 3 - c.tx,
                     y1 = c.height + 3 - c.ty, r = 2.5;
        cairo_new_sub_path(cr);
        cairo_arc(cr, x1 - r, y0 + r, r, -M_PI / 2, 0);
        cairo_arc(cr, x1 - r, y1 - r, r, 0, M_PI / 2);
        cairo_arc(cr, x0 + r, y1 - r, r, M_PI / 2, M_PI);
        cairo_arc(cr, x0 + r, y0 + r, r, M_PI, 3 * M_PI / 2);
        cairo_close_path(cr);
        cairo_clip(cr);
    };
    if (c.curvedClip && !compositor) {
        clipToRoundedBox();
    }
    if (c.layer) {
        cairo_push_group(cr);
    }
    cairo_set_scaled_font(cr, c.font);
    cairo_set_source_rgba(cr, c.rgba[0], c.rgba[1], c.rgba[2], c.rgba[3]);
    bool drawn = true;
    if (compositor) {
        GlyphCompositor glyphs(cr, unclipped, c.curvedClip);
        cairo_scaled_font_t* installed = c.font;
        drawn = glyphs.show(c.font, c.glyphs.data(), static_cast<int>(c.glyphs.size()), installed);
    }
    if (!drawn || !compositor) {
        cairo_save(cr);
        if (c.curvedClip && compositor) {
            clipToRoundedBox();
        }
        cairo_show_glyphs(cr, c.glyphs.data(), static_cast<int>(c.glyphs.size()));
        cairo_restore(cr);
    }
    if (c.layer) {
        cairo_pop_group_to_source(cr);
        cairo_paint(cr);
    }
    cairo_destroy(cr);
    return drawn;
}

// Random backgrounds: an opaque colour, a translucent one, or premultiplied noise.
void paintBackground(const Surface& surface, int width, int height, std::mt19937& random) {
    std::uniform_int_distribution<std::uint32_t> byte(0, 255);
    const int kind = static_cast<int>(random() % 3);
    const std::uint32_t a = kind == 0 ? 255 : byte(random);
    const auto channel = [&](std::uint32_t alpha) {
        return alpha == 0 ? 0 : byte(random) % (alpha + 1);
    };
    const std::uint32_t fixed = a << 24 | channel(a) << 16 | channel(a) << 8 | channel(a);
    for (int y = 0; y < height; ++y) {
        std::uint32_t* row = surface.row(y);
        for (int x = 0; x < width; ++x) {
            if (kind == 2) {
                const std::uint32_t pa = byte(random);
                row[x] = pa << 24 | channel(pa) << 16 | channel(pa) << 8 | channel(pa);
            } else {
                row[x] = fixed;
            }
        }
    }
    cairo_surface_mark_dirty(surface.surface);
}

TEST(GlyphCompositor, DrawsEveryPixelAsCairoDoes) {
    const char* const families[] = {"DejaVu Sans", "DejaVu Serif", "DejaVu Sans Mono", "Inter"};
    const cairo_antialias_t antialiases[] = {CAIRO_ANTIALIAS_DEFAULT, CAIRO_ANTIALIAS_GRAY,
                                             CAIRO_ANTIALIAS_NONE};
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> unit(0, 1);
    int handled = 0;
    constexpr int kCases = 3000;
    for (int n = 0; n < kCases; ++n) {
        Case c;
        c.width = 20 + static_cast<int>(random() % 70);
        c.height = 16 + static_cast<int>(random() % 50);
        const double pixels = random() % 4 == 0 ? 4 + unit(random) * 40 : 9 + random() % 12;
        c.font =
            makeFont(families[random() % 4], random() % 3 == 0, pixels, antialiases[random() % 3]);
        const int alphaKind = static_cast<int>(random() % 4);
        c.rgba[0] = unit(random);
        c.rgba[1] = unit(random);
        c.rgba[2] = unit(random);
        c.rgba[3] = alphaKind < 2 ? 1 : alphaKind == 2 ? unit(random) : 0.003 * unit(random);
        if (random() % 4 == 0) {
            c.tx = static_cast<double>(static_cast<int>(random() % 21) - 10);
            c.ty = static_cast<double>(static_cast<int>(random() % 21) - 10);
            if (random() % 2 == 0) {
                c.tx += static_cast<int>(random() % 1024) / 1024.0;
            }
        }
        c.boxClip = random() % 4 == 0;
        if (c.boxClip) {
            c.clip[0] = static_cast<int>(random() % 10);
            c.clip[1] = static_cast<int>(random() % 10);
            c.clip[2] = 1 + static_cast<int>(random() % static_cast<unsigned>(c.width));
            c.clip[3] = 1 + static_cast<int>(random() % static_cast<unsigned>(c.height));
        }
        c.curvedClip = random() % 5 == 0;
        c.layer = random() % 5 == 0;
        // Glyphs along a line, at Pango's 1024ths of a point, halves included: some far apart,
        // some on top of each other.
        const std::string text = "ilj.,;AVWTYgqpfx0O@_|-~";
        const int count = 1 + static_cast<int>(random() % 12);
        const int spread = static_cast<int>(random() % 3);
        const int far = static_cast<int>(random() % 8);
        double x = (static_cast<int>(random() % static_cast<unsigned>(c.width + 40)) - 20) - c.tx +
                   static_cast<int>(random() % 2048) / 1024.0;
        double y = (static_cast<int>(random() % static_cast<unsigned>(c.height + 30)) - 5) - c.ty +
                   (random() % 2 == 0 ? 0.5 : static_cast<int>(random() % 1024) / 1024.0);
        // Now and then from far beyond the surface, where Cairo leaves glyphs out.
        if (far == 1) {
            x = -10 * pixels - c.tx + static_cast<int>(random() % 40) / 4.0 - 5;
        } else if (far == 2) {
            y = -10 * pixels - c.ty + static_cast<int>(random() % 40) / 4.0 - 5;
        } else if (far == 3) {
            y = c.height + 10 * pixels - c.ty + static_cast<int>(random() % 40) / 4.0 - 5;
        }
        for (int i = 0; i < count; ++i) {
            if (far == 1 && i == 1) {
                x += 10 * pixels - 10;
            }
            if (far == 4 && count >= 3 && i + 2 >= count) {
                // Two glyphs on top of each other about where Cairo stops keeping glyphs.
                if (i + 2 == count) {
                    x = c.width - c.tx + 10 * pixels + static_cast<int>(random() % 40) / 4.0 - 5;
                } else {
                    x = c.glyphs.back().x;
                }
            }
            const unsigned long index = glyphOf(c.font, text[random() % text.size()]);
            c.glyphs.push_back({index, x, y + (random() % 6 == 0 ? unit(random) * 4 - 2 : 0)});
            const double step = spread == 0   ? pixels * (0.1 + unit(random) * 0.3)
                                : spread == 1 ? pixels * (0.4 + unit(random) * 0.3)
                                              : pixels * (0.7 + unit(random) * 0.5);
            x += std::round(step * 1024) / 1024;
        }
        Surface byCairo(c.width, c.height);
        Surface byCompositor(c.width, c.height);
        std::mt19937 background(static_cast<unsigned>(n));
        paintBackground(byCairo, c.width, c.height, background);
        background.seed(static_cast<unsigned>(n));
        paintBackground(byCompositor, c.width, c.height, background);
        draw(c, byCairo, false);
        if (draw(c, byCompositor, true)) {
            ++handled;
        }
        EXPECT_EQ(differingRows(byCairo, byCompositor, c.width, c.height), 0)
            << "case " << n << ": " << c.describe();
        cairo_scaled_font_destroy(c.font);
    }
    // Most random drawings are ones the compositor takes.
    EXPECT_GT(handled, kCases * 3 / 4);
}

// Cairo adds glyphs up in one mask when any two of a call overlap, but leaves out those lying
// ten times the font's size beyond the surface first: two far glyphs on top of each other decide
// how two near ones that share a pixel column are drawn only while they are kept.
TEST(GlyphCompositor, LeavesOutFarGlyphsAsCairoDoes) {
    int differing = 0;
    int cases = 0;
    for (const double pixels : {11.0, 13.0, 15.5}) {
        cairo_scaled_font_t* font = makeFont("DejaVu Sans", false, pixels, CAIRO_ANTIALIAS_GRAY);
        for (const char* pair : {"lo", "oV", "Vl", "AV"}) {
            const unsigned long a = glyphOf(font, pair[0]);
            const unsigned long b = glyphOf(font, pair[1]);
            for (const double beyond : {-2.0, 2.0}) {
                for (int k = 0; k <= 24; ++k) {
                    Case c;
                    c.width = 40;
                    c.height = 30;
                    c.font = font;
                    c.rgba[0] = 0.2;
                    c.rgba[3] = 0.6;
                    const double far = c.width + 10 * pixels + beyond;
                    c.glyphs = {{a, 4, 20}, {b, 4 + k / 2.0, 20}, {a, far, 20}, {a, far, 20}};
                    Surface byCairo(c.width, c.height);
                    Surface byCompositor(c.width, c.height);
                    draw(c, byCairo, false);
                    EXPECT_TRUE(draw(c, byCompositor, true));
                    differing += differingRows(byCairo, byCompositor, c.width, c.height);
                    ++cases;
                }
            }
        }
        cairo_scaled_font_destroy(font);
    }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(cases, 3 * 4 * 2 * 25);
}

// Paragraphs drawn through a context, the compositor on and off: every clip, layer, colour and
// offset the context can give comes out the same.
TEST(GlyphCompositor, LaysOutParagraphsAsCairoDrawsThem) {
    std::mt19937 random(777);
    std::uniform_real_distribution<double> unit(0, 1);
    const std::string words[] = {"Lorem", "ipsum", "dolor", "fi", "WAVE", "j,",  "gyp",
                                 "|x|",   "0123",  "@@",    "--", "Tj",   "rnm", "., "};
    const Font fonts[] = {Font::body(),    Font::body().bold(), Font::body().monospaced(),
                          Font::caption(), Font::largeTitle(),  Font::body().italic()};
    for (int n = 0; n < 120; ++n) {
        StyledText text;
        const int count = 3 + static_cast<int>(random() % 14);
        for (int i = 0; i < count; ++i) {
            TextAttributes a{.font = fonts[random() % 6]};
            if (random() % 3 == 0) {
                a.foregroundColor = Color(unit(random), unit(random), unit(random),
                                          random() % 2 == 0 ? 1.0 : unit(random));
            }
            if (random() % 9 == 0) {
                a.backgroundColor = Color(unit(random), unit(random), unit(random), unit(random));
            }
            text.append(words[random() % 14] + " ", a);
        }
        const TextLayout layout(text, ParagraphStyle{.width = 40 + unit(random) * 160});
        const Point origin{static_cast<int>(random() % 512) / 16.0 - 10,
                           static_cast<int>(random() % 512) / 16.0 - 10};
        const int clipKind = static_cast<int>(random() % 5);
        const Rect clipBox(static_cast<int>(random() % 40), static_cast<int>(random() % 30),
                           40 + static_cast<int>(random() % 120),
                           30 + static_cast<int>(random() % 60));
        const bool layer = random() % 4 == 0;
        const double opacity = random() % 3 == 0 ? unit(random) : 1.0;
        const double shift = static_cast<int>(random() % 8) / 4.0;
        const Color colour(unit(random), unit(random), unit(random),
                           random() % 4 == 0 ? unit(random) : 1.0);
        const auto drawn = [&](bool enabled) {
            GlyphCompositor::setEnabled(enabled);
            ImageSurface surface(180, 120);
            {
                GraphicsContext context(surface);
                context.fill(Rect(0, 0, 180, 120), Color(0.9, 0.95, 1.0));
                context.translateBy(shift, 3);
                switch (clipKind) {
                case 1:
                    context.clip(clipBox);
                    break;
                case 2:
                    context.clip(clipBox.offsetBy(0.5, 0.25));
                    break;
                case 3:
                    context.clip(Path::roundedRect(clipBox, 6));
                    break;
                default:
                    break;
                }
                if (layer) {
                    context.setOpacity(0.8);
                    context.beginLayer();
                    context.setOpacity(1);
                }
                context.setOpacity(context.opacity() * opacity);
                if (n % 7 == 0) {
                    context.setBlendMode(BlendMode::multiply);
                }
                layout.draw(context, origin, colour);
                if (layer) {
                    context.endLayer();
                }
            }
            GlyphCompositor::setEnabled(true);
            return surface.makeImage();
        };
        const Image byCairo = drawn(false);
        const Image byCompositor = drawn(true);
        EXPECT_TRUE(std::equal(byCairo.pixels().begin(), byCairo.pixels().end(),
                               byCompositor.pixels().begin(), byCompositor.pixels().end()))
            << "paragraph " << n << " clip " << clipKind << (layer ? " layer" : "") << " opacity "
            << opacity << " shift " << shift;
    }
}

} // namespace
} // namespace platform::text_internal
