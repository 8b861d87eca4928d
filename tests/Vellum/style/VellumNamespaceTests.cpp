// The vellum modifiers in a live view tree: each writes its environment value or publishes its
// preference, font-relative ones resolve their ems against the real font of their subtree, a whole
// style set nests with single style modifiers, and the resolved views show a style's body built
// with the environment of the place they stand in.

#include "Vellum/style/DefaultStyle.hpp"
#include "Vellum/style/GitHubStyle.hpp"
#include "Vellum/style/ResolvedStyle.hpp"
#include "Vellum/style/VellumNamespace.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"
#include "platform/ui/UI.hpp"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using platform::Font;
using platform::Size;
using platform::ui::AnyView;
using platform::ui::EnvironmentValues;
using platform::ui::OffscreenHost;
using platform::ui::Text;
using platform::ui::ViewContext;
using vellum::FontScaled;
using vellum::vellum;
namespace st = vellum::structured;

// Records the environment its place in the tree sees.
struct EnvironmentProbe {
    std::shared_ptr<EnvironmentValues> seen;
    AnyView body(ViewContext& context) const {
        *seen = context.environment();
        return AnyView(Text("Hg"));
    }
};

EnvironmentValues environmentInside(const std::function<AnyView(AnyView)>& wrap) {
    auto seen = std::make_shared<EnvironmentValues>();
    OffscreenHost host(wrap(AnyView(EnvironmentProbe{seen})));
    (void)host.size();
    return *seen;
}

// Styles that tell themselves apart by a tag and show what they were given.
template <class Protocol, class Configuration>
struct TaggedStyle final : Protocol {
    explicit TaggedStyle(int tag_)
        : tag(tag_) {}
    AnyView makeBody(ViewContext& /*context*/,
                     const Configuration& /*configuration*/) const override {
        return Text(std::to_string(tag));
    }
    int tag;
};

template <class Protocol, class Configuration>
int tagOf(const std::shared_ptr<const Protocol>& style) {
    const auto* tagged = dynamic_cast<const TaggedStyle<Protocol, Configuration>*>(style.get());
    return tagged != nullptr ? tagged->tag : -1;
}

using Heading = TaggedStyle<st::HeadingStyle, st::HeadingStyleConfiguration>;
using Paragraph = TaggedStyle<st::ParagraphStyle, st::BlockStyleConfiguration>;
using Quote = TaggedStyle<st::BlockQuoteStyle, st::BlockStyleConfiguration>;
using Code = TaggedStyle<st::CodeBlockStyle, st::CodeBlockStyleConfiguration>;
using Item = TaggedStyle<st::ListItemStyle, st::ListItemStyleConfiguration>;
using Bullet = TaggedStyle<st::UnorderedListMarker, st::UnorderedListMarkerConfiguration>;
using Number = TaggedStyle<st::OrderedListMarker, st::OrderedListMarkerConfiguration>;
using Table = TaggedStyle<st::TableStyle, st::TableStyleConfiguration>;
using Cell = TaggedStyle<st::TableCellStyle, st::TableCellStyleConfiguration>;
using Break = TaggedStyle<st::ThematicBreakStyle, st::BlockStyleConfiguration>;

// A style set whose every member carries its own tag; members may be held by value or shared.
struct TaggedSet {
    vellum::InlineStyle inlineStyle = vellum::InlineStyle().withStrong();
    Heading headingStyle{1};
    Paragraph paragraphStyle{2};
    std::shared_ptr<const st::BlockQuoteStyle> blockQuoteStyle = std::make_shared<Quote>(3);
    Code codeBlockStyle{4};
    Item listItemStyle{5};
    Bullet unorderedListMarker{6};
    Number orderedListMarker{7};
    Table tableStyle{8};
    Cell tableCellStyle{9};
    Break thematicBreakStyle{10};
};
static_assert(st::Style<TaggedSet>);
static_assert(st::Style<st::DefaultStyle>);
static_assert(st::Style<st::GitHubStyle>);

// The tags of the ten block styles an environment holds, in the order of a style set.
std::vector<int> tagsOf(const EnvironmentValues& env) {
    return {
        tagOf<st::HeadingStyle, st::HeadingStyleConfiguration>(st::headingStyle(env)),
        tagOf<st::ParagraphStyle, st::BlockStyleConfiguration>(st::paragraphStyle(env)),
        tagOf<st::BlockQuoteStyle, st::BlockStyleConfiguration>(st::blockQuoteStyle(env)),
        tagOf<st::CodeBlockStyle, st::CodeBlockStyleConfiguration>(st::codeBlockStyle(env)),
        tagOf<st::ListItemStyle, st::ListItemStyleConfiguration>(st::listItemStyle(env)),
        tagOf<st::UnorderedListMarker, st::UnorderedListMarkerConfiguration>(
            st::unorderedListMarker(env)),
        tagOf<st::OrderedListMarker, st::OrderedListMarkerConfiguration>(
            st::orderedListMarker(env)),
        tagOf<st::TableStyle, st::TableStyleConfiguration>(st::tableStyle(env)),
        tagOf<st::TableCellStyle, st::TableCellStyleConfiguration>(st::tableCellStyle(env)),
        tagOf<st::ThematicBreakStyle, st::BlockStyleConfiguration>(st::thematicBreakStyle(env))};
}

TEST(VellumNamespaceTest, StyleModifiersWriteTheirValue) {
    const EnvironmentValues env = environmentInside([](AnyView v) {
        AnyView out = vellum(v).inlineStyle(vellum::InlineStyle::gitHub());
        out = vellum(out).headingStyle(Heading(11));
        out = vellum(out).paragraphStyle(Paragraph(12));
        out = vellum(out).blockQuoteStyle(Quote(13));
        out = vellum(out).codeBlockStyle(Code(14));
        out = vellum(out).listItemStyle(Item(15));
        out = vellum(out).unorderedListMarker(Bullet(16));
        out = vellum(out).orderedListMarker(Number(17));
        out = vellum(out).tableStyle(Table(18));
        out = vellum(out).tableCellStyle(Cell(19));
        return vellum(out).thematicBreakStyle(Break(20));
    });
    EXPECT_EQ(st::inlineStyle(env), vellum::InlineStyle::gitHub());
    EXPECT_EQ(tagsOf(env), (std::vector<int>{11, 12, 13, 14, 15, 16, 17, 18, 19, 20}));
}

TEST(VellumNamespaceTest, StyleSetWritesAllElevenAndNestsWithSingleModifiers) {
    const EnvironmentValues set =
        environmentInside([](AnyView v) { return vellum(v).structuredTextStyle(TaggedSet()); });
    EXPECT_EQ(st::inlineStyle(set), vellum::InlineStyle().withStrong());
    EXPECT_EQ(tagsOf(set), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

    // Closer to the text, a single style overrides its part of the set; further out, the set wins.
    const EnvironmentValues inner = environmentInside([](AnyView v) {
        return vellum(vellum(v).headingStyle(st::HeadingStyle::gitHub()))
            .structuredTextStyle(st::DefaultStyle());
    });
    EXPECT_NE(dynamic_cast<const st::GitHubHeadingStyle*>(st::headingStyle(inner).get()), nullptr);
    EXPECT_NE(dynamic_cast<const st::DefaultParagraphStyle*>(st::paragraphStyle(inner).get()),
              nullptr);
    const EnvironmentValues outer = environmentInside([](AnyView v) {
        return vellum(vellum(v).structuredTextStyle(st::DefaultStyle()))
            .headingStyle(st::HeadingStyle::gitHub());
    });
    EXPECT_NE(dynamic_cast<const st::DefaultHeadingStyle*>(st::headingStyle(outer).get()), nullptr);
}

TEST(VellumNamespaceTest, OtherModifiersWriteTheirValue) {
    vellum::HighlighterTheme theme = vellum::HighlighterTheme::defaultTheme();
    theme.backgroundColor = platform::Color(1, 0, 0);
    vellum::EmojiProperties emoji = vellum::EmojiProperties::defaultValue();
    emoji.size = FontScaled<Size>::fontScaled(2, 3);
    vellum::MathProperties math = vellum::MathProperties::defaultValue();
    math.fontScale = 1.25;
    const EnvironmentValues env = environmentInside([&](AnyView v) {
        AnyView out = vellum(v).highlighterTheme(theme);
        out = vellum(out).emojiProperties(emoji);
        out = vellum(out).mathProperties(math);
        return vellum(out).fontScale(0.5).font(Font::system(30.0));
    });
    EXPECT_EQ(vellum::highlighterTheme(env), theme);
    EXPECT_EQ(env.get<vellum::EmojiPropertiesKey>(), emoji);
    EXPECT_EQ(env.get<vellum::MathPropertiesKey>(), math);
    ASSERT_TRUE(env.font());
    EXPECT_DOUBLE_EQ(env.font()->pointSize(), 15);
}

TEST(VellumNamespaceTest, TextSelectionWritesWhatTheSelectabilityAnswers) {
    EXPECT_FALSE(environmentInside([](AnyView v) { return v; }).get<vellum::TextSelectionKey>());
    EXPECT_TRUE(environmentInside([](AnyView v) {
                    return vellum(v).textSelection(vellum::EnabledTextSelectability());
                }).get<vellum::TextSelectionKey>());
    // The nearest one counts.
    EXPECT_FALSE(environmentInside([](AnyView v) {
                     return vellum(vellum(v).textSelection(vellum::DisabledTextSelectability()))
                         .textSelection(vellum::EnabledTextSelectability());
                 }).get<vellum::TextSelectionKey>());
}

struct NoAttachments final : vellum::AttachmentLoader {
    platform::Task<vellum::AnyAttachment>
    attachment(platform::URL /*url*/, std::string /*text*/,
               vellum::ColorEnvironmentValues /*env*/) const override {
        throw std::runtime_error("no attachments here");
    }
};

TEST(VellumNamespaceTest, AttachmentLoaderModifiersWriteTheirLoader) {
    const auto images = std::make_shared<const NoAttachments>();
    const EnvironmentValues env = environmentInside([&](AnyView v) {
        return vellum(vellum(v).imageAttachmentLoader(images))
            .emojiAttachmentLoader(NoAttachments());
    });
    EXPECT_EQ(env.get<vellum::ImageAttachmentLoaderKey>(), images);
    const auto emoji = env.get<vellum::EmojiAttachmentLoaderKey>();
    EXPECT_NE(dynamic_cast<const NoAttachments*>(emoji.get()), nullptr);
    EXPECT_NE(emoji, images);
}

Size sizeOf(AnyView view) {
    OffscreenHost host(std::move(view));
    return host.size();
}

TEST(VellumNamespaceTest, PaddingIsInUnitsOfTheFontSize) {
    const auto text = [] { return AnyView(Text("Hg")); };
    for (const double points : {16.0, 32.0}) {
        const Size bare = sizeOf(text().font(Font::system(points)));
        const Size all =
            sizeOf(vellum(text()).padding(FontScaled<double>(1)).font(Font::system(points)));
        EXPECT_DOUBLE_EQ(all.width, bare.width + 2 * points);
        EXPECT_DOUBLE_EQ(all.height, bare.height + 2 * points);

        const Size leading =
            sizeOf(vellum(text())
                       .padding(platform::ui::Edges::onlyLeading(), FontScaled<double>(0.5))
                       .font(Font::system(points)));
        EXPECT_DOUBLE_EQ(leading.width, bare.width + points / 2);
        EXPECT_DOUBLE_EQ(leading.height, bare.height);

        const Size insets =
            sizeOf(vellum(text())
                       .padding(FontScaled<platform::EdgeInsets>::fontScaled(1, 0, 0.25, 2))
                       .font(Font::system(points)));
        EXPECT_DOUBLE_EQ(insets.width, bare.width + 2 * points);
        EXPECT_DOUBLE_EQ(insets.height, bare.height + 1.25 * points);
    }
}

TEST(VellumNamespaceTest, FramesAreInUnitsOfTheFontSize) {
    const auto text = [] { return AnyView(Text("Hg")); };
    const Size bare = sizeOf(text().font(Font::system(10.0)));

    const Size both = sizeOf(vellum(text())
                                 .frame(FontScaled<double>(7), FontScaled<double>(4))
                                 .font(Font::system(10.0)));
    EXPECT_DOUBLE_EQ(both.width, 70);
    EXPECT_DOUBLE_EQ(both.height, 40);

    // No width: the width is the content's.
    const Size heightOnly =
        sizeOf(vellum(text()).frame(std::nullopt, FontScaled<double>(4)).font(Font::system(10.0)));
    EXPECT_DOUBLE_EQ(heightOnly.width, bare.width);
    EXPECT_DOUBLE_EQ(heightOnly.height, 40);

    const Size wide =
        sizeOf(vellum(text()).frameMinWidth(FontScaled<double>(9)).font(Font::system(10.0)));
    EXPECT_DOUBLE_EQ(wide.width, 90);
    EXPECT_DOUBLE_EQ(wide.height, bare.height);
}

TEST(VellumNamespaceTest, LineSpacingIsInUnitsOfTheFontSize) {
    const EnvironmentValues env = environmentInside([](AnyView v) {
        return vellum(v).lineSpacing(FontScaled<double>(0.25)).font(Font::system(24.0));
    });
    EXPECT_DOUBLE_EQ(env.get<platform::ui::LineSpacingKey>(), 6);
}

st::BlockSpacing publishedSpacing(AnyView view) {
    auto seen = std::make_shared<st::BlockSpacing>(7, 7);
    OffscreenHost host(AnyView(platform::ui::VStack({std::move(view)}))
                           .onPreferenceChange<st::BlockSpacingKey>(
                               [seen](const st::BlockSpacing& value) { *seen = value; }));
    (void)host.size();
    host.runUntilIdle();
    return *seen;
}

TEST(VellumNamespaceTest, BlockSpacingPublishesPointsOrResolvedEms) {
    EXPECT_EQ(publishedSpacing(vellum(Text("a")).blockSpacing(st::BlockSpacing(3, std::nullopt))),
              st::BlockSpacing(3, std::nullopt));
    EXPECT_EQ(publishedSpacing(vellum(Text("a"))
                                   .blockSpacing(st::fontScaled(std::nullopt, 0.5))
                                   .font(Font::system(20.0))),
              st::BlockSpacing(std::nullopt, 10));
}

// A heading style that shows the font it finds and the level it is given.
struct FontReadingHeading final : st::HeadingStyle {
    std::shared_ptr<std::optional<Font>> seen;
    std::shared_ptr<int> level;
    AnyView makeBody(ViewContext& context,
                     const st::HeadingStyleConfiguration& configuration) const override {
        *seen = context.environment().font();
        *level = configuration.headingLevel;
        return configuration.label.body();
    }
};

TEST(ResolvedStyleTest, ShowsTheStyleBodyAndFollowsTheEnvironment) {
    auto style = std::make_shared<FontReadingHeading>();
    style->seen = std::make_shared<std::optional<Font>>();
    style->level = std::make_shared<int>(0);
    const auto root = [&](double points) {
        st::HeadingStyleConfiguration configuration{
            st::HeadingStyleConfiguration::Label(AnyView(Text("Title"))), 0, 3};
        return AnyView(st::ResolvedHeadingStyle(style, configuration)).font(Font::system(points));
    };
    OffscreenHost host(root(12));
    const Size small = host.size();
    EXPECT_EQ(*style->seen, Font::system(12.0));
    EXPECT_EQ(*style->level, 3);
    EXPECT_GT(small.width, 0);

    host.setRootView(root(24));
    const Size large = host.size();
    EXPECT_EQ(*style->seen, Font::system(24.0));
    EXPECT_GT(large.width, small.width);
}

} // namespace
