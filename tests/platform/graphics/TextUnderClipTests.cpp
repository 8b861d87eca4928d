// Text drawn under a clip that cuts through it: the runs that lie wholly outside the clip are left
// out before they reach Cairo, and what shows inside must be exactly what drawing the whole text
// shows there. The texts reach past their lines' boxes on purpose: marks stacked above a letter,
// an italic overhang, a large size among small ones.

#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/text/TextLayout.hpp"

#include <gtest/gtest.h>
#include <string>

namespace platform {
namespace {

TextLayout reachingText() {
    StyledText text;
    const TextAttributes body{.font = Font::body()};
    text.append("plain words on the first line\n", body);
    // Capitals with two accents stacked on them: ink above the font's ascent.
    text.append("\xE1\xBA\xAA\xC7\xBA", TextAttributes{.font = Font::system(30)});
    // Letters pulled together past their advances: the last one's ink ends well after the run.
    text.append("WWW", TextAttributes{.font = Font::body(), .kerning = -9});
    text.append(" then small\n", body);
    TextAttributes marked = body;
    marked.backgroundColor = Color(0.8, 0.9, 1);
    marked.underline = TextLineStyle{};
    text.append("marked", marked);
    text.append(" gjy ", body);
    text.append("raised", TextAttributes{.font = Font::body(), .baselineOffset = 14});
    text.append("fff", TextAttributes{.font = Font::system(40).italic()});
    text.append("\nffff", TextAttributes{.font = Font::body().italic()});
    return TextLayout(text, ParagraphStyle{});
}

Image drawnUnderClip(const TextLayout& text, Size size, double scale, const Rect* clip) {
    ImageSurface surface = ImageSurface::ofSize(size, scale);
    {
        GraphicsContext context(surface);
        context.fill(Rect({0, 0}, size), Color(0.95, 0.94, 0.9));
        if (clip != nullptr) {
            context.clip(*clip);
        }
        text.draw(context, {6.5, 4.25}, Color(0.1, 0.1, 0.3));
    }
    return surface.makeImage();
}

// Inside `clip` (whole pixels at `scale`) the pixels of `cut` are those of `whole`; outside
// they are the background.
void expectCutOfWhole(const Image& cut, const Image& whole, const Image& background,
                      const Rect& clip, double scale, const std::string& what) {
    std::size_t differing = 0;
    for (int y = 0; y < cut.height(); ++y) {
        for (int x = 0; x < cut.width(); ++x) {
            const bool inside = x >= clip.minX() * scale && x < clip.maxX() * scale &&
                                y >= clip.minY() * scale && y < clip.maxY() * scale;
            differing += cut.pixel(x, y) != (inside ? whole : background).pixel(x, y) ? 1 : 0;
        }
    }
    EXPECT_EQ(differing, 0u) << what;
}

TEST(TextUnderClip, BandsAcrossAndBesideTheLinesDrawWhatTheWholeTextDrawsThere) {
    const TextLayout text = reachingText();
    const Size size{420, text.size().height + 40};
    for (const double scale : {1.0, 2.0}) {
        const Image whole = drawnUnderClip(text, size, scale, nullptr);
        const Rect nothing(0, 0, 0, 0);
        const Image background = drawnUnderClip(text, size, scale, &nothing);
        // Horizontal bands, each a few points tall, from above the text to below it: most cut
        // through one line while the ink of the next reaches into them.
        for (double top = 0; top < size.height; top += 3) {
            const Rect band(0, top, size.width, 4);
            expectCutOfWhole(drawnUnderClip(text, size, scale, &band), whole, background, band,
                             scale, "rows from " + std::to_string(top));
        }
        // Vertical bands: the italic overhang reaches past the end of its run.
        for (double left = 0; left < size.width; left += 5) {
            const Rect band(left, 0, 6, size.height);
            expectCutOfWhole(drawnUnderClip(text, size, scale, &band), whole, background, band,
                             scale, "columns from " + std::to_string(left));
        }
    }
}

} // namespace
} // namespace platform
