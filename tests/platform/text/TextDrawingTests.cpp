#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSource.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/text/TextLayout.hpp"
#include "tests/support/PixelSnapshot.hpp"

#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>

namespace platform {
namespace {

// Snapshots live in tests/fixtures/text; glyph antialiasing may leave up to 1 % of pixels off.
void expectSnapshot(const Image& image, const std::string& name, int tolerance = 64) {
    moss_test::expectSnapshot(image, std::string(MOSS_TEXT_FIXTURES) + "/" + name + ".png",
                              tolerance, 0.01);
}

StyledText sample() {
    StyledText text;
    text.append("Plain, ");
    text.append("bold", TextAttributes{.font = Font::body().bold()});
    text.append(", ");
    text.append("red", TextAttributes{.foregroundColor = Color(0.9, 0.1, 0.1)});
    text.append(", ");
    text.append("underlined", TextAttributes{.underline = TextLineStyle{}});
    text.append(", ");
    text.append("struck", TextAttributes{.strikethrough = TextLineStyle{Color(0, 0, 1)}});
    text.append(", ");
    text.append("code", TextAttributes{.font = Font::body().monospaced(),
                                       .backgroundColor = Color(0.85, 0.85, 0.85)});
    text.append(" a box ");
    text.appendBox(InlineBox{{16, 16}, -3});
    text.append(" x");
    text.append("2", TextAttributes{.font = Font::caption(), .baselineOffset = 5});
    text.append(" \xF0\x9F\x98\x80 and \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D wrap here, ");
    text.append("Small Caps", TextAttributes{.font = Font::body().smallCaps()});
    text.append(" 0123", TextAttributes{.font = Font::body().monospacedDigit().italic()});
    return text;
}

TEST(TextDrawing, ParagraphSnapshot) {
    const TextLayout layout(sample(), ParagraphStyle{.width = 180});
    ImageSurface surface = ImageSurface::ofSize({200, 90}, 2);
    {
        GraphicsContext context(surface);
        context.fill(Rect(0, 0, 200, 90), Color::white());
        layout.draw(context, {10, 5}, Color::black());
    }
    expectSnapshot(surface.makeImage(), "paragraph");
}

TEST(TextDrawing, CentredLargeTitleSnapshot) {
    const TextLayout layout(StyledText("Large Title", TextAttributes{.font = Font::largeTitle()}),
                            ParagraphStyle{.alignment = TextAlignment::center, .width = 200});
    ImageSurface surface(200, 40);
    {
        GraphicsContext context(surface);
        context.fill(Rect(0, 0, 200, 40), Color::white());
        layout.draw(context, {0, 2}, Color(0.1, 0.3, 0.8));
    }
    expectSnapshot(surface.makeImage(), "large-title");
}

TEST(TextDrawing, RunColoursAndTheDefaultColour) {
    StyledText text;
    text.append("MMMM");
    text.append("MMMM", TextAttributes{.foregroundColor = Color(1, 0, 0)});
    const TextLayout layout(text, ParagraphStyle{.font = Font::system(30)});
    const auto& runs = layout.lines()[0].runs;
    ASSERT_EQ(runs.size(), 2u);
    ImageSurface surface(200, 50);
    {
        GraphicsContext context(surface);
        layout.draw(context, {0, 0}, Color(0, 0, 1));
        layout.draw(context, {std::nan(""), 0}, Color(0, 1, 0)); // ignored
    }
    const Image image = surface.makeImage();
    const auto dominant = [&image](const Rect& r) {
        long red = 0;
        long blue = 0;
        long green = 0;
        for (int y = int(r.minY()); y < int(r.maxY()); ++y) {
            for (int x = int(r.minX()); x < int(r.maxX()); ++x) {
                const Image::Pixel p = image.pixel(x, y);
                red += p.red;
                green += p.green;
                blue += p.blue;
            }
        }
        return std::array<long, 3>{red, green, blue};
    };
    const auto first = dominant(runs[0].typographicBounds.rect());
    const auto second = dominant(runs[1].typographicBounds.rect());
    EXPECT_GT(first[2], 0);
    EXPECT_EQ(first[0], 0);
    EXPECT_GT(second[0], 0);
    EXPECT_EQ(second[2], 0);
    EXPECT_EQ(first[1] + second[1], 0);
}

TEST(TextDrawing, ManyRunsEachDrawInTheirOwnColour) {
    // Runs of a few colours taken in turn, more colours than a layout compares with the last
    // few it met (it keeps each distinct set of attributes once, not a copy per run), one of them
    // the default; on the word-shaped path and on Pango's (the emoji).
    // Red, green, blue, none (the layout's grey), magenta, cyan; the first twelve runs take the
    // six in turn, the rest the first three.
    const std::array<std::array<double, 3>, 6> rgb = {
        {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.5, 0.5, 0.5}, {1, 0, 1}, {0, 1, 1}}};
    const auto index = [](std::size_t run) { return run < 12 ? run % 6 : run % 3; };
    const auto colour = [&](std::size_t run) -> std::optional<Color> {
        const std::size_t i = index(run);
        if (i == 3) {
            return std::nullopt;
        }
        return Color(rgb[i][0], rgb[i][1], rgb[i][2]);
    };
    for (const bool pango : {false, true}) {
        StyledText text;
        for (int i = 0; i < 30; ++i) {
            text.append(pango && i == 0 ? "\xF0\x9F\x98\x80" : "MM",
                        TextAttributes{.foregroundColor = colour(std::size_t(i))});
        }
        const TextLayout layout(text, ParagraphStyle{.font = Font::system(20), .width = 300});
        ImageSurface surface(320, 400);
        {
            GraphicsContext context(surface);
            layout.draw(context, {0, 0}, Color(0.5, 0.5, 0.5));
        }
        const Image image = surface.makeImage();
        int checked = 0;
        for (const TextLayout::Line& line : layout.lines()) {
            for (const TextLayout::Run& run : line.runs) {
                if (pango && run.sourceRun == 0) {
                    continue; // the colour emoji keeps its own colours
                }
                const std::array<double, 3>& expected = rgb[index(run.sourceRun)];
                // The most covered pixel of the run has its colour.
                const Rect r = run.typographicBounds.rect();
                Image::Pixel best;
                for (int y = int(r.minY()); y < int(r.maxY()); ++y) {
                    for (int x = int(r.minX()) + 1; x < int(r.maxX()) - 1; ++x) {
                        const Image::Pixel p = image.pixel(x, y);
                        if (p.alpha > best.alpha) {
                            best = p;
                        }
                    }
                }
                ASSERT_GT(best.alpha, 200) << run.sourceRun;
                EXPECT_NEAR(best.red, expected[0] * 255, 2) << run.sourceRun << pango;
                EXPECT_NEAR(best.green, expected[1] * 255, 2) << run.sourceRun << pango;
                EXPECT_NEAR(best.blue, expected[2] * 255, 2) << run.sourceRun << pango;
                ++checked;
            }
        }
        EXPECT_GE(checked, 29);
    }
}

} // namespace
} // namespace platform
