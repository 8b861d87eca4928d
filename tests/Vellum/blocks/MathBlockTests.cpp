// A formula standing alone as a paragraph ($$...$$) or a fenced block in the math language is a
// block of its own: set in display style and centred, where a formula inside a paragraph's text
// is set in text style and flows with the words, from the leading edge.

#include "../selection/DocumentTestSupport.hpp"
#include "Math/DisplayProvider.hpp"
#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace vellum::math_block_test {

// The bounds, in the document, of the first attachment (U+FFFC) of text `l`.
platform::Rect formulaIn(const TextLayoutCollection& c, std::size_t l) {
    const TextLayout& layout = c.layout(l);
    const std::size_t at = layout.string().find("\xEF\xBF\xBC");
    const std::size_t index = platform::unicode::utf16Length(layout.string().substr(0, at));
    for (std::size_t n = 0; n < layout.lineCount(); ++n) {
        for (std::size_t r = 0; r < layout.line(n).runCount(); ++r) {
            const TextRun& run = layout.line(n).run(r);
            for (std::size_t s = 0; s < run.sliceCount(); ++s) {
                if (run.slice(s).characterRange().contains(index)) {
                    return run.slice(s).typographicBounds().offsetBy(layout.origin().x,
                                                                     layout.origin().y);
                }
            }
        }
    }
    ADD_FAILURE() << "no attachment in text " << l;
    return platform::Rect::null();
}

platform::Rect formulaIn(const test::SelectableDocument& document, std::string_view needle) {
    const std::optional<std::size_t> l = document.textHolding(needle);
    if (!l) {
        ADD_FAILURE() << "no text holds " << needle;
        return platform::Rect::null();
    }
    return formulaIn(document.collection(), *l);
}

TEST(MathBlock, AFormulaAloneIsACentredDisplayBlockAndOneInATextFlowsWithIt) {
    // The formulas standing alone are texts of their own, between the paragraphs' texts.
    const std::string sum = "\\sum_{i=1}^{n} x_i";
    test::SelectableDocument document("First :smile: words.\n\n"
                                      "$$" +
                                      sum +
                                      "$$\n\n"
                                      "Inline $" +
                                      sum +
                                      "$ in a paragraph.\n\n"
                                      "```math\n" +
                                      sum +
                                      "\n```\n\n"
                                      "Mixed words $$" +
                                      sum +
                                      "$$ and a display formula.\n\n"
                                      "Last words.");
    ASSERT_TRUE(document.shown());
    const TextLayoutCollection& c = document.collection();
    const std::size_t first = *document.textHolding("First");
    ASSERT_EQ(c.layoutCount(), first + 6) << "one text per block";
    const platform::Rect text =
        c.layout(first).bounds().offsetBy(c.layout(first).origin().x, c.layout(first).origin().y);

    // The bounds of the lone formula of block `index`, which holds nothing else.
    const auto lone = [&](std::size_t index) {
        const TextLayout& layout = c.layout(index);
        EXPECT_EQ(layout.string(), "\xEF\xBF\xBC") << "block " << index;
        return formulaIn(c, index);
    };
    const platform::Rect dollars = lone(first + 1);
    const platform::Rect fenced = lone(first + 3);
    const platform::Rect inline_ = formulaIn(document, "Inline");
    const platform::Rect mixed = formulaIn(document, "Mixed");

    // Centred in the document, which is as wide as its widest block.
    const double middle = document.host().size().width / 2;
    EXPECT_NEAR(dollars.midX(), middle, 0.5);
    EXPECT_NEAR(fenced.midX(), middle, 0.5);
    // In a paragraph, after its words, from the leading edge.
    EXPECT_GT(inline_.minX(), text.minX() + 20);
    EXPECT_GT(mixed.minX(), text.minX() + 60);
    EXPECT_LT(mixed.maxX(), middle);
    // Between the words of its paragraph, a $$ formula is still set in display style.
    EXPECT_EQ(mixed.size, dollars.size);
    EXPECT_EQ(fenced.size, dollars.size);
}

TEST(MathBlock, AFirstScreenSetsEachOfItsFormulasOnce) {
    // Each formula is measured without a width (its baseline, the text's first layout) and again
    // at the room its text is given, then drawn at the width it answered: a formula that fits
    // is parsed and set once for all of it. The formulas are this case's own, so that no other
    // case has set them before.
    Math::DisplayProvider& provider = Math::DisplayProvider::shared();
    const std::size_t typesetBefore = provider.typesetCount();
    const std::size_t parsedBefore = provider.parseCount();
    test::SelectableDocument document("A :smile: first.\n\n$$\\frac{p_7}{q_7}+r_7$$\n\n"
                                      "Words with $\\sqrt{s_7}+t_7^2$ inside.\n\n"
                                      "```math\nu_7\\cdot v_7\n```\n");
    ASSERT_TRUE(document.shown());
    platform::ImageSurface surface = platform::ImageSurface::ofSize({560, 400});
    {
        platform::GraphicsContext context(surface);
        document.host().graph().draw(context);
    }
    EXPECT_EQ(provider.typesetCount() - typesetBefore, 3U);
    EXPECT_EQ(provider.parseCount() - parsedBefore, 3U);
}

TEST(MathBlock, ADisplayFormulaThatFitsItsColumnIsSetOnce) {
    // Its text measures it without a width (its baseline, its first layout) and then at the
    // column's width; a formula that fits the column on one line is set there as without one.
    // Its own symbols, so that no other case has set it.
    const std::string half = "\\frac{g_9}{h_9}+g_9^2+\\sqrt{h_9}+g_9 h_9+\\frac{1}{g_9}+h_9";
    const std::string formula = half + "-" + half;
    Math::DisplayProvider& provider = Math::DisplayProvider::shared();
    const std::size_t typesetBefore = provider.typesetCount();
    test::SelectableDocument document("Words :smile:.\n\n$$" + formula + "$$\n");
    ASSERT_TRUE(document.shown());
    platform::ImageSurface surface = platform::ImageSurface::ofSize({560, 400});
    {
        platform::GraphicsContext context(surface);
        document.host().graph().draw(context);
    }
    const platform::Rect box = formulaIn(document.collection(), *document.textHolding("Words") + 1);
    // Well past half the column, and on one line.
    EXPECT_GT(box.width(), 0.7 * 560);
    EXPECT_LT(box.height(), 40);
    EXPECT_EQ(provider.typesetCount() - typesetBefore, 1U);
}

TEST(MathBlock, FormulasInATextDrawTheSameThroughAClip) {
    // A text's formulas are drawn by one canvas, which passes over the lines clear of the clip:
    // a band drawn alone shows exactly what the whole page shows there.
    std::string words = "A :smile: start.\n\n";
    for (int i = 0; i < 600; ++i) {
        words += "$y_{" + std::to_string(i % 7) + "}^2$ and ";
    }
    test::SelectableDocument document(words + "the end.\n");
    ASSERT_TRUE(document.shown());
    const platform::Size size = document.host().size();
    ASSERT_GT(size.height, 600);
    const auto draw = [&](std::optional<platform::Rect> clip) {
        platform::ImageSurface surface = platform::ImageSurface::ofSize(size);
        {
            platform::GraphicsContext context(surface);
            if (clip) {
                context.clip(*clip);
            }
            document.host().graph().draw(context);
        }
        return surface.makeImage().rgba();
    };
    const std::vector<std::uint8_t> whole = draw(std::nullopt);
    const platform::Rect band({0, 301}, {size.width, 200});
    const std::vector<std::uint8_t> clipped = draw(band);
    const auto row = static_cast<std::size_t>(size.width) * 4;
    // Inside the band: its edges fall between pixels, where a clip shades them.
    const auto first = whole.begin() + static_cast<std::ptrdiff_t>(row * 303);
    const auto last = whole.begin() + static_cast<std::ptrdiff_t>(row * 499);
    EXPECT_TRUE(std::equal(first, last, clipped.begin() + (first - whole.begin())));
    // Not a blank band.
    EXPECT_NE(std::adjacent_find(first, last, std::not_equal_to<>()), last);
}

} // namespace vellum::math_block_test
