#include "platform/text/TextLayout.hpp"
#include "platform/text/TextLayoutInternal.hpp"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <string>

namespace platform {
namespace {

constexpr double kTolerance = 1e-6;

const char* kLorem = "The quick brown fox jumps over the lazy dog while the cat watches from "
                     "the window and the bird sings a little song about the morning light.";

TEST(TextLayoutLines, ParagraphWrapsAtWidthWithStackedLines) {
    const ParagraphStyle style{.font = Font::body(), .width = 200};
    const TextLayout layout(StyledText(kLorem), style);
    const auto lines = layout.lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_FALSE(layout.isTruncated());

    // Inter at 13 points: ascent and descent of the face, the same on every line, and lines
    // stacked without gaps or overlap.
    const double ascent = lines[0].typographicBounds.ascent;
    const double descent = lines[0].typographicBounds.descent;
    EXPECT_NEAR(ascent, 13 * 0.96875, 0.05);
    EXPECT_NEAR(descent, 13 * 0.2421875, 0.05);
    std::size_t expectedStart = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const TextLayout::Line& line = lines[i];
        EXPECT_LE(line.typographicBounds.width, 200 + kTolerance);
        EXPECT_NEAR(line.typographicBounds.ascent, ascent, kTolerance);
        EXPECT_NEAR(line.typographicBounds.origin.y, ascent + i * (ascent + descent), 1e-3);
        EXPECT_DOUBLE_EQ(line.typographicBounds.origin.x, 0);
        EXPECT_EQ(line.characterRange.lowerBound, expectedStart);
        expectedStart = line.characterRange.upperBound;
        // Runs tile the line from its left edge.
        double x = 0;
        for (const TextLayout::Run& run : line.runs) {
            EXPECT_NEAR(run.typographicBounds.origin.x, x, 1e-3);
            x += run.typographicBounds.width;
            EXPECT_EQ(run.fontFamily, "Inter");
        }
    }
    EXPECT_EQ(expectedStart, layout.length());
    EXPECT_NEAR(layout.size().height, lines.size() * (ascent + descent), 1e-3);
    EXPECT_TRUE(layout.bounds().height() > 0);

    // A wider paragraph needs fewer lines; without a width only line separators break.
    const TextLayout wide(StyledText(kLorem), ParagraphStyle{.width = 400});
    EXPECT_LT(wide.lines().size(), lines.size());
    const TextLayout unwrapped(StyledText("one\ntwo\n\nfour"), ParagraphStyle{});
    ASSERT_EQ(unwrapped.lines().size(), 4u);
    EXPECT_TRUE(unwrapped.lines()[2].runs.empty());
    EXPECT_EQ(unwrapped.lines()[3].characterRange, (CharacterRange{9, 13}));
}

TEST(TextLayoutLines, SpacingAlignmentAndLimit) {
    const ParagraphStyle spaced{.lineSpacing = 6, .width = 200};
    const TextLayout a(StyledText(kLorem), ParagraphStyle{.width = 200});
    const TextLayout b(StyledText(kLorem), spaced);
    ASSERT_EQ(a.lines().size(), b.lines().size());
    EXPECT_NEAR(b.lines()[1].typographicBounds.origin.y - b.lines()[0].typographicBounds.origin.y,
                a.lines()[1].typographicBounds.origin.y - a.lines()[0].typographicBounds.origin.y +
                    6,
                1e-3);

    // A font's leading packs its lines tighter or looser than the face's own line height.
    const auto pitch = [](Font::Leading leading) {
        const TextLayout layout(
            StyledText(kLorem, TextAttributes{.font = Font::body().leading(leading)}),
            ParagraphStyle{.width = 200});
        return layout.lines()[1].typographicBounds.origin.y -
               layout.lines()[0].typographicBounds.origin.y;
    };
    EXPECT_LT(pitch(Font::Leading::tight), pitch(Font::Leading::standard));
    EXPECT_GT(pitch(Font::Leading::loose), pitch(Font::Leading::standard));

    const TextLayout centered(StyledText("short"),
                              ParagraphStyle{.alignment = TextAlignment::center, .width = 300});
    const TypographicBounds& c = centered.lines()[0].typographicBounds;
    EXPECT_NEAR(c.origin.x + c.width / 2, 150, 1e-3);
    const TextLayout trailing(StyledText("short"),
                              ParagraphStyle{.alignment = TextAlignment::trailing, .width = 300});
    const TypographicBounds& t = trailing.lines()[0].typographicBounds;
    EXPECT_NEAR(t.origin.x + t.width, 300, 1e-3);

    const TextLayout limited(StyledText(kLorem), ParagraphStyle{.lineLimit = 2, .width = 200});
    EXPECT_EQ(limited.lines().size(), 2u);
    EXPECT_TRUE(limited.isTruncated());
    // The limit counts the lines of all paragraphs together.
    const TextLayout paragraphs(StyledText("a\nb\nc"),
                                ParagraphStyle{.lineLimit = 2, .width = 200});
    EXPECT_EQ(paragraphs.lines().size(), 2u);
    EXPECT_TRUE(paragraphs.isTruncated());
    EXPECT_NEAR(paragraphs.size().height, paragraphs.lines()[1].typographicBounds.rect().maxY(),
                1e-6);
    const TextLayout unlimitedWidth(StyledText("a\nb\nc"), ParagraphStyle{.lineLimit = 2});
    EXPECT_EQ(unlimitedWidth.lines().size(), 2u);
    EXPECT_TRUE(unlimitedWidth.isTruncated());
}

TEST(TextLayoutRuns, AttributedRunsKeepTheirSourceAndFont) {
    StyledText text;
    text.append("Plain ");
    text.append("bold", TextAttributes{.font = Font::body().bold()});
    text.append(" and ", TextAttributes{.foregroundColor = Color(1, 0, 0)});
    text.append("code", TextAttributes{.font = Font::body().monospaced()});
    text.append(" \xF0\x9F\x98\x80 end");
    const TextLayout layout(text);
    ASSERT_EQ(layout.lines().size(), 1u);
    const auto& runs = layout.lines()[0].runs;
    std::vector<std::size_t> sources;
    for (const auto& run : runs) {
        if (sources.empty() || sources.back() != run.sourceRun) {
            sources.push_back(run.sourceRun);
        }
        // Slices tile their run.
        double width = 0;
        for (const auto& slice : run.slices) {
            width += slice.typographicBounds.width;
        }
        EXPECT_NEAR(width, run.typographicBounds.width, 1e-6);
    }
    // A colour change alone still starts a new run, so every run maps to one source run.
    EXPECT_EQ(sources, (std::vector<std::size_t>{0, 1, 2, 3, 4}));
    const auto runWith = [&runs](const char* family) {
        return std::find_if(runs.begin(), runs.end(),
                            [family](const auto& r) { return r.fontFamily == family; });
    };
    ASSERT_NE(runWith("DejaVu Sans Mono"), runs.end());
    EXPECT_EQ(runWith("DejaVu Sans Mono")->characterRange, (CharacterRange{15, 19}));
    // The emoji falls back to the colour emoji face; its slice covers the surrogate pair.
    const auto emoji = runWith("Noto Color Emoji");
    ASSERT_NE(emoji, runs.end());
    ASSERT_EQ(emoji->slices.size(), 1u);
    EXPECT_EQ(emoji->slices[0].characterRange, (CharacterRange{20, 22}));
    EXPECT_EQ(layout.length(), 26u);
    EXPECT_EQ(layout.substring({15, 19}), "code");
}

TEST(TextLayoutRuns, FontFeaturesReachTheShaper) {
    const auto width = [](const char* text, const Font& font) {
        return TextLayout(StyledText(text, TextAttributes{.font = font})).size().width;
    };
    // Inter's proportional "1" is narrower than its "0"; tabular figures make them equal.
    EXPECT_LT(width("1111", Font::body()), width("0000", Font::body()));
    EXPECT_NEAR(width("1111", Font::body().monospacedDigit()),
                width("0000", Font::body().monospacedDigit()), 1e-6);
    EXPECT_NE(width("small caps", Font::body().smallCaps()), width("small caps", Font::body()));
}

TEST(TextLayoutRuns, BaselineOffsetKerningAndTracking) {
    StyledText text;
    text.append("x");
    text.append("y", TextAttributes{.baselineOffset = 4});
    const TextLayout layout(text);
    const auto& runs = layout.lines()[0].runs;
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_NEAR(runs[0].typographicBounds.origin.y - runs[1].typographicBounds.origin.y, 4, 1e-3);

    const TextLayout plain(StyledText("abcd"));
    const TextLayout kerned(StyledText("abcd", TextAttributes{.kerning = 2}));
    const TextLayout tracked(StyledText("abcd", TextAttributes{.tracking = 1.5}));
    // The space goes between letters: three gaps in four letters.
    EXPECT_NEAR(kerned.size().width - plain.size().width, 6, 1e-3);
    EXPECT_NEAR(tracked.size().width - plain.size().width, 4.5, 1e-3);
}

TEST(TextLayoutInlineBox, OccupiesExactlyItsSizeAtItsBaselineOffset) {
    StyledText text;
    text.append("Before ");
    text.appendBox(InlineBox{{30, 40}, -5});
    text.append(" after");
    const TextLayout layout(text);
    ASSERT_EQ(layout.lines().size(), 1u);
    const TextLayout::Line& line = layout.lines()[0];
    const auto box = std::find_if(line.runs.begin(), line.runs.end(),
                                  [](const auto& r) { return r.isInlineBox; });
    ASSERT_NE(box, line.runs.end());
    EXPECT_EQ(box->sourceRun, 1u);
    EXPECT_EQ(box->characterRange, (CharacterRange{7, 8}));
    ASSERT_EQ(box->slices.size(), 1u);
    const double baseline = line.typographicBounds.origin.y;
    const Rect rect = box->slices[0].typographicBounds.rect();
    EXPECT_NEAR(rect.width(), 30, 1e-3);
    EXPECT_NEAR(rect.height(), 40, 1e-3);
    // Bottom edge 5 points below the baseline.
    EXPECT_NEAR(rect.maxY(), baseline + 5, 1e-3);
    EXPECT_NEAR(box->typographicBounds.rect().minY(), baseline - 35, 1e-3);
    // The line grows to hold the box: its top is the box's top.
    EXPECT_NEAR(line.typographicBounds.ascent, 35, 1e-3);
    // The text after the box starts where the box ends.
    const auto after = std::next(box);
    ASSERT_NE(after, line.runs.end());
    EXPECT_NEAR(after->typographicBounds.origin.x, rect.maxX(), 1e-3);
}

TEST(TextLayoutHitTesting, SliceUnderAPoint) {
    const TextLayout layout(StyledText("Hello world"));
    const TextLayout::Line& line = layout.lines()[0];
    const TextLayout::RunSlice& w = line.runs[0].slices[6];
    EXPECT_EQ(w.characterRange, (CharacterRange{6, 7}));
    const Rect rect = w.typographicBounds.rect();
    const auto path = layout.slice({rect.midX(), rect.midY()});
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, (TextLayout::SlicePath{0, 0, 6}));
    EXPECT_FALSE(layout.slice({rect.midX(), rect.maxY() + 1}));
    EXPECT_FALSE(layout.slice({-1, rect.midY()}));
    EXPECT_EQ(layout.lineIndex(3), 0u);
    EXPECT_EQ(layout.lineIndex(11), 0u);
}

TEST(TextLayoutHitTesting, RightToLeftRunSlicesAndCarets) {
    // Hebrew "shalom" between Latin words: the middle run goes right to left.
    const std::string hebrew = "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D";
    const TextLayout layout(StyledText("ab " + hebrew + " cd"));
    const auto& runs = layout.lines()[0].runs;
    const auto rtl = std::find_if(runs.begin(), runs.end(), [](const auto& r) {
        return r.layoutDirection == LayoutDirection::rightToLeft;
    });
    ASSERT_NE(rtl, runs.end());
    ASSERT_EQ(rtl->slices.size(), 4u);
    // Glyphs run left to right, characters right to left: the leftmost glyph is the last letter.
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(rtl->slices[i].characterRange, (CharacterRange{6 - i, 7 - i})) << i;
    }
    // Inside the run the caret before each letter stands on that letter's right edge; at the
    // boundary with the left-to-right text the caret follows the paragraph's direction.
    EXPECT_NEAR(layout.caretRect(3).minX(), runs[0].typographicBounds.rect().maxX(), 1e-3);
    for (std::size_t i = 1; i < 4; ++i) {
        const TypographicBounds& b = rtl->slices[3 - i].typographicBounds;
        EXPECT_NEAR(layout.caretRect(3 + i).minX(), b.origin.x + b.width, 1e-3) << i;
    }
    EXPECT_NEAR(layout.caretRect(0).minX(), 0, 1e-6);
    const Rect caret = layout.caretRect(1);
    EXPECT_NEAR(caret.height(), layout.lines()[0].typographicBounds.rect().height(), 1e-6);

    // A paragraph that starts right to left lays out right to left and aligns to the right.
    const TextLayout rtlParagraph(StyledText(hebrew), ParagraphStyle{.width = 200});
    const TypographicBounds& line = rtlParagraph.lines()[0].typographicBounds;
    EXPECT_NEAR(line.origin.x + line.width, 200, 1e-3);
}

/// Every slice of `layout` sits on its run's baseline with the run's extent, the slices tiling
/// the run from its origin without gap; hit testing finds each at its centre and its edges.
void expectSlicesTileTheirRuns(const TextLayout& layout) {
    std::size_t slices = 0;
    for (std::size_t l = 0; l < layout.lines().size(); ++l) {
        const TextLayout::Line& line = layout.lines()[l];
        for (std::size_t r = 0; r < line.runs.size(); ++r) {
            const TextLayout::Run& run = line.runs[r];
            double x = run.typographicBounds.origin.x;
            for (std::size_t s = 0; s < run.slices.size(); ++s) {
                const TypographicBounds& b = run.slices[s].typographicBounds;
                EXPECT_DOUBLE_EQ(b.origin.x, x) << l << "/" << r << "/" << s;
                EXPECT_EQ(b.origin.y, run.typographicBounds.origin.y);
                EXPECT_EQ(b.ascent, run.typographicBounds.ascent);
                EXPECT_EQ(b.descent, run.typographicBounds.descent);
                x += b.width;
                if (b.width > 0.01) {
                    const TextLayout::SlicePath path{l, r, s};
                    EXPECT_EQ(layout.slice({b.origin.x + b.width / 2, b.origin.y}), path);
                    EXPECT_EQ(layout.slice({b.origin.x, b.origin.y}), path);
                }
                ++slices;
            }
            EXPECT_NEAR(x - run.typographicBounds.origin.x, run.typographicBounds.width, 1e-9);
        }
    }
    EXPECT_GT(slices, 0u);
}

TEST(TextLayoutSlices, TileTheirRunsInEveryKindOfLayout) {
    // From word shapes, left-aligned and centred; by Pango, with a box, a raised run and mixed
    // directions.
    expectSlicesTileTheirRuns(TextLayout(StyledText(kLorem), ParagraphStyle{.width = 200}));
    expectSlicesTileTheirRuns(TextLayout(
        StyledText(kLorem), ParagraphStyle{.alignment = TextAlignment::center, .width = 233}));
    StyledText mixed("ab \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D cd ");
    mixed.appendBox(InlineBox{{12, 9}, -2});
    mixed.append(" raised", TextAttributes{.baselineOffset = 3});
    expectSlicesTileTheirRuns(TextLayout(mixed, ParagraphStyle{.width = 90}));
}

TEST(TextLayoutSlices, ACopiedRunHasTheSameSlices) {
    const TextLayout layout(StyledText(kLorem), ParagraphStyle{.width = 200});
    const TextLayout::Line& line = layout.lines()[1];
    TextLayout::Line copy = line;
    ASSERT_EQ(copy.runs.size(), line.runs.size());
    const auto& original = line.runs[0].slices;
    ASSERT_FALSE(original.empty());
    // Copied both before and after the original made its slices.
    const TextLayout::Run early = line.runs[0];
    for (std::size_t s = 0; s < original.size(); ++s) {
        EXPECT_EQ(early.slices[s].typographicBounds, original[s].typographicBounds);
        EXPECT_EQ(copy.runs[0].slices[s].characterRange, original[s].characterRange);
        EXPECT_EQ(copy.runs[0].slices[s].glyph, original[s].glyph);
    }
    TextLayout::Run assigned;
    assigned = copy.runs[0];
    EXPECT_EQ(assigned.slices.back().typographicBounds, original.back().typographicBounds);
}

TEST(TextLayoutWords, WordAndLineBoundaries) {
    const TextLayout layout(StyledText("Hello, big world"));
    EXPECT_EQ(layout.wordRange(1), (CharacterRange{0, 5}));
    EXPECT_EQ(layout.wordRange(8), (CharacterRange{7, 10}));
    EXPECT_EQ(layout.wordRange(5), (CharacterRange{5, 7}));
    EXPECT_TRUE(layout.wordRange(16).isEmpty());
    EXPECT_EQ(layout.nextWordBoundary(0, true), 5u);
    EXPECT_EQ(layout.nextWordBoundary(5, true), 10u);
    EXPECT_EQ(layout.nextWordBoundary(12, true), 16u);
    EXPECT_EQ(layout.nextWordBoundary(16, true), 16u);
    EXPECT_EQ(layout.nextWordBoundary(16, false), 11u);
    EXPECT_EQ(layout.nextWordBoundary(7, false), 0u);
    EXPECT_EQ(layout.nextWordBoundary(0, false), 0u);
    // An identifier is one word, from either side of its underscore.
    const TextLayout identifier(StyledText("call wasm_bindgen now"));
    EXPECT_EQ(identifier.wordRange(12), (CharacterRange{5, 17}));
    EXPECT_EQ(identifier.nextWordBoundary(5, true), 17u);
    EXPECT_EQ(identifier.nextWordBoundary(17, false), 5u);

    const TextLayout wrapped(StyledText(kLorem), ParagraphStyle{.width = 150});
    for (std::size_t l = 0; l < wrapped.lines().size(); ++l) {
        const CharacterRange r = wrapped.lines()[l].characterRange;
        EXPECT_EQ(wrapped.lineIndex(r.lowerBound), l);
        // Lines break between words.
        if (l > 0) {
            EXPECT_EQ(wrapped.wordRange(r.lowerBound).lowerBound, r.lowerBound);
        }
    }
}

TEST(TextLayoutInput, BadBytesAmidLongPlainTextAreReplacedWhereverTheyFall) {
    // Plain text is checked several bytes at a time: a null character, a stray byte or a
    // character past ASCII is found at any place within such a stretch, and the stretches
    // around it are kept whole.
    const std::string replacement = "\xEF\xBF\xBD";
    for (std::size_t at = 0; at < 20; ++at) {
        for (const std::string& bad : {std::string(1, '\0'), std::string("\xFF")}) {
            std::string text(24, 'a');
            text.replace(at, 1, bad);
            std::string expected(24, 'a');
            expected.replace(at, 1, replacement);
            EXPECT_EQ(StyledText(text).runs()[0].text, expected) << "at " << at;
        }
        std::string accented(24, 'a');
        accented.insert(at, "\xC3\xA9"); // é
        EXPECT_EQ(StyledText(accented).runs()[0].text, accented) << "at " << at;
    }
}

TEST(StyledTextRuns, KeepEachSetOfAttributesOnceAndReadBackAsAppended) {
    // A line of formulas: a box and a space, over and over, in two sets of attributes. The
    // attributes are held once per distinct set, not once per run, and every run reads back its
    // own text, attributes and box, a bad byte repaired within its own run.
    const TextAttributes plain{.font = Font::body()};
    const TextAttributes raised{.font = Font::body(), .baselineOffset = 2};
    StyledText text;
    constexpr std::size_t formulas = 20'000;
    for (std::size_t i = 0; i < formulas; ++i) {
        text.appendBox(InlineBox{{double(10 + i % 3), 12}, -3}, raised);
        text.append(i == 7 ? "\xFF" : " ", plain);
    }
    text.append("end", TextAttributes{.kerning = 1});
    EXPECT_EQ(text.distinctAttributesCount(), 3u);
    ASSERT_EQ(text.runs().size(), 2 * formulas + 1);
    const StyledText::Run box = text.runs()[4];
    EXPECT_EQ(box.text, "\xEF\xBF\xBC");
    EXPECT_EQ(box.attributes, raised);
    EXPECT_EQ(box.box, (InlineBox{{12, 12}, -3}));
    EXPECT_EQ(text.runs()[5].box, std::nullopt);
    EXPECT_EQ(text.runs()[5].attributes, plain);
    EXPECT_EQ(text.runs()[15].text, "\xEF\xBF\xBD");
    EXPECT_EQ(text.runs()[2 * formulas].text, "end");
    EXPECT_EQ(text.runs()[2 * formulas].attributes.kerning, 1);
    EXPECT_EQ(text.runStarts()[2 * formulas], text.string().size() - 3);

    // Laid out, each laid-out run names its source run, boxes included.
    const TextLayout layout(text, ParagraphStyle{.width = 400});
    std::size_t boxes = 0;
    for (const TextLayout::Line& line : layout.lines()) {
        for (const TextLayout::Run& run : line.runs) {
            EXPECT_EQ(run.isInlineBox, text.runs()[run.sourceRun].box.has_value());
            boxes += run.isInlineBox ? 1 : 0;
        }
    }
    EXPECT_EQ(boxes, formulas);

    // What a run is told without making it agrees with the run made, an empty run included.
    text.append("", plain);
    text.appendBox(InlineBox{{4, 4}, 0}, plain);
    EXPECT_EQ(text.boxCount(), formulas + 1);
    for (std::size_t r = 0; r < text.runCount(); ++r) {
        const StyledText::Run run = text.run(r);
        ASSERT_EQ(text.runLength(r), run.text.size()) << r;
        ASSERT_EQ(text.isBox(r), run.box.has_value()) << r;
        ASSERT_EQ(text.box(r) != nullptr, run.box.has_value()) << r;
        if (run.box) {
            ASSERT_EQ(*text.box(r), *run.box) << r;
        }
        ASSERT_EQ(&text.attributes(r), &run.attributes) << r;
    }
}

TEST(TextLayoutInput, BadInputNeverBreaksTheLayout) {
    // Invalid UTF-8, an embedded NUL and a lone surrogate encoding each become U+FFFD.
    const std::string bad("a\xFF\xC0\x80z\0y\xED\xA0\x80", 10);
    const TextLayout layout{StyledText(bad)};
    EXPECT_EQ(layout.string(), "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDz\xEF\xBF\xBDy"
                               "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(layout.lines().size(), 1u);

    const TextLayout empty;
    EXPECT_EQ(empty.length(), 0u);
    EXPECT_EQ(empty.lines().size(), 1u);
    EXPECT_TRUE(empty.lines()[0].runs.empty());
    EXPECT_TRUE(empty.wordRange(0).isEmpty());
    EXPECT_EQ(empty.nextWordBoundary(5, true), 0u);
    EXPECT_EQ(empty.substring({3, 1}), "");

    // Degenerate sizes are clamped rather than trusted.
    StyledText odd;
    odd.appendBox(InlineBox{{-5, -5}, 0});
    odd.append("x", TextAttributes{.font = Font::system(-4)});
    const TextLayout clamped(odd, ParagraphStyle{.lineLimit = -3, .width = -10});
    EXPECT_FALSE(clamped.lines().empty());

    const double nan = std::nan("");
    StyledText hostile;
    hostile.appendBox(InlineBox{{nan, 1e300}, nan});
    hostile.append("x", TextAttributes{.font = Font::system(nan),
                                       .baselineOffset = nan,
                                       .kerning = 1e300,
                                       .tracking = nan});
    const TextLayout survived(hostile, ParagraphStyle{.lineSpacing = nan, .width = nan});
    ASSERT_FALSE(survived.lines().empty());
    for (const auto& run : survived.lines()[0].runs) {
        EXPECT_TRUE(std::isfinite(run.typographicBounds.ascent));
        EXPECT_TRUE(std::isfinite(run.typographicBounds.width));
    }
}

} // namespace
} // namespace platform

namespace platform {
namespace {

// Emoji families joined by zero-width joiners, family after family without a space: one word
// that breaks only between the families, all of it in the emoji face.
std::string families(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";
    }
    return text;
}

TEST(TextLayoutLongParagraphs, AreShapedInPiecesAndBreakAsTheirStartAlone) {
    // Pango shapes what remains of an item again for every line it breaks off it; a paragraph of
    // a megabyte in one item took seconds. Long paragraphs reach it in items of a few hundred
    // bytes: no run (a part of one item on one line) spans a long line. The lines come out as a
    // short paragraph of the same start breaks them. (Long paragraphs of emoji are laid out from
    // word shapes; those of scripts that path does not take reach Pango the same way.)
    const ParagraphStyle style{.font = Font::body(), .width = 2000};
    const TextLayout whole = text_internal::layoutWithPango(StyledText(families(2000)), style);
    const TextLayout start = text_internal::layoutWithPango(StyledText(families(600)), style);
    ASSERT_GT(start.lines().size(), 2U);
    ASSERT_GT(whole.lines().size(), start.lines().size());
    std::size_t longest = 0;
    for (const TextLayout::Line& line : whole.lines()) {
        for (const TextLayout::Run& run : line.runs) {
            longest = std::max(longest, run.characterRange.length());
        }
    }
    // A line holds over a thousand UTF-16 units of families.
    EXPECT_GT(whole.lines()[0].characterRange.length(), 1000U);
    EXPECT_LT(longest, 400U);
    for (std::size_t i = 0; i + 1 < start.lines().size(); ++i) {
        const TextLayout::Line& expected = start.lines()[i];
        const TextLayout::Line& line = whole.lines()[i];
        EXPECT_EQ(line.characterRange, expected.characterRange) << i;
        EXPECT_NEAR(line.typographicBounds.width, expected.typographicBounds.width, 1e-6) << i;
        EXPECT_NEAR(line.typographicBounds.origin.y, expected.typographicBounds.origin.y, 1e-6)
            << i;
    }
}

} // namespace
} // namespace platform
