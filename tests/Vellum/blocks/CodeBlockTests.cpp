// Code blocks in a live view tree: the highlighted text shows plain at once and coloured once the
// bundled tokenizer (in its worker processes) answers, and the handle a code block style gets
// copies the code alone.

#include "Vellum/blocks/HighlightedTextFragment.hpp"
#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/export/Formatter.hpp"
#include "Vellum/highlighting/CodeTokenizer.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/style/VellumNamespace.hpp"
#include "platform/appkit/Pasteboard.hpp"
#include "platform/ui/UI.hpp"
#include "tests/support/MainLoopWait.hpp"

#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

namespace ui = platform::ui;
using platform::AttributedString;

// What the texts of a subtree were laid out with, after each layout pass.
struct Shown {
    std::string text;
    // The colours runs carry themselves; runs without one take the view's foreground.
    std::unordered_set<platform::Color> colours;
    int runsWithoutColour = 0;
};

ui::AnyView recordingTexts(ui::AnyView view, const std::shared_ptr<Shown>& shown) {
    return view.onPreferenceChange<ui::Text::LayoutKey>(
        [shown](const ui::Text::LayoutKey::Value& layouts) {
            *shown = Shown{};
            for (const ui::Text::AnchoredLayout& anchored : layouts) {
                shown->text += anchored.layout.base().string();
                for (const auto& line : anchored.layout.lines()) {
                    for (const auto& run : line.runs) {
                        const ui::Text::Run* source = anchored.layout.sourceRun(run);
                        if (source != nullptr && source->attributes->foregroundColor) {
                            shown->colours.insert(*source->attributes->foregroundColor);
                        } else {
                            ++shown->runsWithoutColour;
                        }
                    }
                }
            }
        });
}

// The shared tokenizer keeps its answers for the life of the process: each test shows code no other
// test tokenizes, or it would find its code coloured before it asked.
TEST(HighlightedCode, ShowsPlainAtOnceAndColouredWhenTheTokenizerAnswers) {
    ASSERT_NE(vellum::CodeTokenizer::shared(), nullptr) << "the bundled tokenizer is missing";
    const std::string code = "int shownPlainFirst() { return 0; }";
    const AttributedString content(code, {});
    auto shown = std::make_shared<Shown>();
    ui::OffscreenHost host(
        recordingTexts(ui::AnyView(vellum::HighlightedTextFragment(
                           content.slice(), "cpp", vellum::HighlighterTheme::defaultTheme())),
                       shown),
        {600, std::nullopt});

    // One update: the tokenizer cannot have answered, as its answer comes through the main
    // loop; the code is there all the same, in one colour.
    host.graph().update();
    EXPECT_EQ(shown->text, code);
    EXPECT_LE(shown->colours.size(), 1U);

    EXPECT_TRUE(host.runUntil([&] { return shown->colours.size() >= 3; }, moss_test::hangDeadline))
        << "the tokens never coloured the code";
    EXPECT_EQ(shown->text, code);
    EXPECT_EQ(shown->runsWithoutColour, 0);
}

// The answer is awaited from the block's first frame, before its task has asked for it: whoever
// waits for the count to drop (a renderer) finds the block coloured once it has.
TEST(HighlightedCode, AnswersAreAwaitedFromTheFirstFrameUntilTheyColourTheCode) {
    const std::shared_ptr<vellum::CodeTokenizer>& tokenizer = vellum::CodeTokenizer::shared();
    ASSERT_NE(tokenizer, nullptr) << "the bundled tokenizer is missing";
    // Answers still on their way to blocks of cases before this one are let in first: they
    // would end their waits during this one's.
    ASSERT_TRUE(
        ui::OffscreenHost(ui::EmptyView(), {10, 10})
            .runUntil([&] { return tokenizer->pendingCount() == 0; }, moss_test::hangDeadline));
    const std::size_t before = tokenizer->pendingCount();
    const std::string code = "long awaitedFromTheStart = 7L;";
    auto shown = std::make_shared<Shown>();
    ui::OffscreenHost host(recordingTexts(ui::AnyView(vellum::HighlightedTextFragment(
                                              AttributedString(code, {}).slice(), "cpp",
                                              vellum::HighlighterTheme::defaultTheme())),
                                          shown),
                           {600, std::nullopt});
    host.graph().update();
    EXPECT_EQ(tokenizer->pendingCount(), before + 1);
    ASSERT_TRUE(host.runUntil([&] { return tokenizer->pendingCount() == before; },
                              moss_test::hangDeadline));
    host.runUntilIdle();
    EXPECT_GE(shown->colours.size(), 3U);
}

// A block awaits its code's answer once. The answer ends the wait, and code answered already (plain
// after a failure, which the tokenizer does not keep, so the body shows it plain again) is not
// awaited again: nothing would answer, and a renderer would wait for it to the end.
TEST(HighlightedCode, AnAnswerEndsTheWaitForItsCodeAndItIsNotAwaitedAgain) {
    auto held = std::make_shared<int>(0);
    const auto awaitAnswer = [held] {
        ++*held;
        return std::shared_ptr<void>(nullptr, [held](void*) { --*held; });
    };
    vellum::HighlightedTextFragment::Model model;
    model.awaitTokens("a", awaitAnswer);
    model.awaitTokens("a", awaitAnswer);
    EXPECT_EQ(*held, 1);
    model.answered("b");
    EXPECT_EQ(*held, 1) << "another code's answer";
    model.answered("a");
    EXPECT_EQ(*held, 0);
    EXPECT_FALSE(model.awaitsTokens());
    model.awaitTokens("a", awaitAnswer);
    EXPECT_EQ(*held, 0) << "answered already";
    model.awaitTokens("c", awaitAnswer);
    model.awaitTokens("d", awaitAnswer);
    EXPECT_EQ(*held, 1) << "new code's wait replaces the one before";
    EXPECT_TRUE(model.awaitsTokens());
}

// Code without a language, or in one the bundle has no grammar for, shows plain and is never
// sent to the tokenizer; nothing awaits an answer for it.
TEST(HighlightedCode, CodeWithoutAKnownLanguageIsNeverSentToTheTokenizer) {
    const std::shared_ptr<vellum::CodeTokenizer>& tokenizer = vellum::CodeTokenizer::shared();
    ASSERT_NE(tokenizer, nullptr) << "the bundled tokenizer is missing";
    const std::size_t requests = tokenizer->requestCount();
    const std::size_t pending = tokenizer->pendingCount();
    for (const std::optional<std::string>& hint :
         {std::optional<std::string>(), std::optional<std::string>("klingon")}) {
        auto shown = std::make_shared<Shown>();
        ui::OffscreenHost host(
            recordingTexts(ui::AnyView(vellum::HighlightedTextFragment(
                               AttributedString("int neverSent = 1;", {}).slice(), hint,
                               vellum::HighlighterTheme::defaultTheme())),
                           shown),
            {600, std::nullopt});
        host.graph().update();
        EXPECT_EQ(tokenizer->pendingCount(), pending);
        host.runUntilIdle();
        EXPECT_EQ(shown->text, "int neverSent = 1;");
        EXPECT_LE(shown->colours.size(), 1U);
    }
    EXPECT_EQ(tokenizer->requestCount(), requests);
}

ui::AnyView highlighted(const AttributedString& content, const std::shared_ptr<Shown>& shown) {
    return recordingTexts(ui::AnyView(vellum::HighlightedTextFragment(
                              content.slice(), "cpp", vellum::HighlighterTheme::defaultTheme())),
                          shown);
}

// Shows `content` until its tokens have coloured it: from then on the tokenizer knows them.
void showUntilColoured(const AttributedString& content) {
    auto shown = std::make_shared<Shown>();
    ui::OffscreenHost host(highlighted(content, shown), {600, std::nullopt});
    ASSERT_TRUE(host.runUntil([&] { return shown->colours.size() >= 3; }, moss_test::hangDeadline))
        << "the tokens never coloured the code";
}

TEST(HighlightedCode, CodeShownBeforeIsColouredFromItsFirstFrame) {
    ASSERT_NE(vellum::CodeTokenizer::shared(), nullptr) << "the bundled tokenizer is missing";
    const std::string code = "struct Seen { int again = 2; };";
    const AttributedString content(code, {});
    showUntilColoured(content);

    auto shown = std::make_shared<Shown>();
    ui::OffscreenHost again(highlighted(content, shown), {600, std::nullopt});
    again.graph().update();
    EXPECT_EQ(shown->text, code);
    EXPECT_GE(shown->colours.size(), 3U);
    EXPECT_EQ(shown->runsWithoutColour, 0);
    // Its task finds the tokens it was coloured with: nothing is made or laid out again.
    const ui::ViewGraph::Statistics first = again.graph().statistics();
    again.runUntilIdle();
    EXPECT_EQ(again.graph().statistics().bodyEvaluations, first.bodyEvaluations);
    EXPECT_EQ(again.graph().statistics().sizeComputations, first.sizeComputations);
}

TEST(HighlightedCode, CodeChangedToCodeShownBeforeIsColouredAtOnce) {
    ASSERT_NE(vellum::CodeTokenizer::shared(), nullptr) << "the bundled tokenizer is missing";
    const AttributedString before("int before = 1;", {});
    const AttributedString after("long after = 2L;", {});
    showUntilColoured(before);
    showUntilColoured(after);

    auto shown = std::make_shared<Shown>();
    ui::OffscreenHost host(highlighted(before, shown), {600, std::nullopt});
    host.runUntilIdle();
    EXPECT_EQ(shown->text, "int before = 1;");
    // The same block with the other code: its own text, coloured, in the first frame after.
    host.setRootView(highlighted(after, shown));
    host.graph().update();
    EXPECT_EQ(shown->text, "long after = 2L;");
    EXPECT_GE(shown->colours.size(), 3U);
}

// A code block made again for an unchanged document brings a theme of its own, equal to the one
// before: the view is the same and its body need not run again.
TEST(HighlightedCode, FragmentsCompareByTheThemesTheyHoldNotByTheirCopies) {
    const AttributedString content("x = 1", {});
    const vellum::HighlighterTheme theme = vellum::HighlighterTheme::defaultTheme();
    const vellum::HighlightedTextFragment fragment(content.slice(), "py", theme);
    EXPECT_TRUE(fragment == vellum::HighlightedTextFragment(content.slice(), "py", theme));
    EXPECT_FALSE(fragment == vellum::HighlightedTextFragment(
                                 content.slice(), "py", vellum::HighlighterTheme::colorOnly()));
    EXPECT_FALSE(fragment == vellum::HighlightedTextFragment(content.slice(), "js", theme));
}

// Hands the handle of each code block it styles to the test.
struct CapturingCodeStyle final : vellum::structured::CodeBlockStyle {
    std::shared_ptr<std::vector<vellum::structured::CodeBlockProxy>> handles =
        std::make_shared<std::vector<vellum::structured::CodeBlockProxy>>();
    ui::AnyView makeBody(ui::ViewContext& /*context*/,
                         const vellum::structured::CodeBlockStyleConfiguration& c) const override {
        handles->push_back(c.codeBlock);
        return c.label.content;
    }
};

// Styles that keep state, each of its own type.
struct NumberedParagraphStyle final : vellum::structured::ParagraphStyle {
    ui::AnyView makeBody(ui::ViewContext& context,
                         const vellum::structured::BlockStyleConfiguration& c) const override {
        const ui::State<int> number = context.state<int>(1);
        return *number > 0 ? c.label.content : ui::AnyView();
    }
};
struct NamingCodeStyle final : vellum::structured::CodeBlockStyle {
    ui::AnyView makeBody(ui::ViewContext& context,
                         const vellum::structured::CodeBlockStyleConfiguration& c) const override {
        const ui::State<std::string> name = context.state<std::string>("code");
        return name->empty() ? ui::AnyView() : c.label.content;
    }
};

// A paragraph fenced into a code block, and back: the code block style's state is its own, not
// held in the slots the paragraph style's was.
TEST(CodeBlockState, AParagraphTurnedIntoCodeKeepsTheStylesStatesApart) {
    const auto view = [](const char* markdown) {
        return vellum::vellum(vellum::vellum(ui::AnyView(vellum::StructuredText(markdown)))
                                  .paragraphStyle(std::make_shared<NumberedParagraphStyle>()))
            .codeBlockStyle(std::make_shared<NamingCodeStyle>());
    };
    ui::OffscreenHost host(view("plain text\n"), {400, std::nullopt});
    host.runUntilIdle();
    EXPECT_NO_THROW({
        host.setRootView(view("```\nplain text\n```\n"));
        host.runUntilIdle();
        host.setRootView(view("plain text\n"));
        host.runUntilIdle();
    });
}

TEST(CodeBlockCopy, CopiesTheCodeAloneAsPlainTextAndHTML) {
    const auto style = std::make_shared<CapturingCodeStyle>();
    ui::OffscreenHost host(
        vellum::vellum(ui::AnyView(vellum::StructuredText("- item\n\n  ```c\n  if (a < b) {\n"
                                                          "      *p = 1;\n  }\n  ```\n\n"
                                                          "> ```\n> x\n> ```\n")))
            .codeBlockStyle(style),
        {400, std::nullopt});
    host.runUntilIdle();
    ASSERT_EQ(style->handles->size(), 2U);

    // The code as written: no bullet or quote mark of the blocks around it, no indentation of
    // theirs, no closing line feed of the fence.
    const vellum::Formatter listed{style->handles->front().code()};
    EXPECT_EQ(listed.plainText(), "if (a < b) {\n    *p = 1;\n}");
    EXPECT_NE(listed.html().find("a &lt; b"), std::string::npos) << listed.html();
    EXPECT_EQ(listed.html().find("<li"), std::string::npos) << listed.html();
    EXPECT_EQ(vellum::Formatter{style->handles->back().code()}.plainText(), "x");

    // What the clipboard is handed: cleared, then one write of both forms. (Its content is the
    // toolkit's business, tested with the clipboard itself.)
    platform::Pasteboard& pasteboard = platform::Pasteboard::general();
    const std::uint64_t before = pasteboard.changeCount();
    style->handles->front().copyToPasteboard();
    EXPECT_EQ(pasteboard.changeCount(), before + 2);
}

} // namespace
