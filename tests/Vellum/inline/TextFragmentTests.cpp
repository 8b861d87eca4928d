#include "Vellum/attachments/AttachmentAttribute.hpp"
#include "Vellum/attachments/AttachmentOverlay.hpp"
#include "Vellum/attachments/EmojiAttachment.hpp"
#include "Vellum/attachments/LinkAttribute.hpp"
#include "Vellum/attachments/VellumAttributes.hpp"
#include "Vellum/inline/TextFragment.hpp"
#include "Vellum/inline/TextFragmentAttribute.hpp"
#include "Vellum/text/TextPropertyAttributes.hpp"
#include "platform/ui/OffscreenHost.hpp"

#include <algorithm>
#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <typeinfo>

namespace {

namespace ui = platform::ui;
using platform::AttributeContainer;
using platform::AttributedString;
using platform::Color;
using platform::Font;
using platform::Size;
using vellum::AnyAttachment;
using vellum::TextEnvironmentValues;
using Builder = vellum::TextFragment::TextBuilder;
using Foundation = platform::AttributeScopes::FoundationAttributes;

// A coloured box of a fixed size, or as wide as the room offered when `fitsWidth`.
class Swatch final : public vellum::Attachment {
public:
    Swatch(Color color, Size size, double baseline = 0, bool fitsWidth = false)
        : color_(color)
        , size_(size)
        , baseline_(baseline)
        , fitsWidth_(fitsWidth) {}
    bool isEqual(const Attachment& other) const override {
        const auto* swatch = dynamic_cast<const Swatch*>(&other);
        return swatch != nullptr && swatch->color_ == color_ && swatch->size_ == size_ &&
               swatch->baseline_ == baseline_ && swatch->fitsWidth_ == fitsWidth_;
    }
    std::size_t hashValue() const override {
        return std::hash<double>()(size_.width) * 31 + std::hash<double>()(size_.height);
    }
    std::string description() const override { return "swatch"; }
    vellum::AttachmentSelectionStyle selectionStyle() const override {
        return vellum::AttachmentSelectionStyle::object;
    }
    ui::AnyView body() const override { return ui::AnyView(color_); }
    double baselineOffset(const TextEnvironmentValues& /*environment*/) const override {
        return baseline_;
    }
    Size sizeThatFits(ui::ProposedViewSize proposal,
                      const TextEnvironmentValues& /*environment*/) const override {
        if (fitsWidth_ && proposal.width) {
            return {std::min(size_.width, *proposal.width), size_.height};
        }
        return size_;
    }

private:
    Color color_;
    Size size_;
    double baseline_;
    bool fitsWidth_;
};

AttributeContainer withAttachment(const AnyAttachment& attachment) {
    AttributeContainer c;
    vellum::setAttachment(c, attachment);
    return c;
}

AttributeContainer withFont(Font font, AttributeContainer c = {}) {
    c.set<vellum::TextAttributeScope::FontAttribute>(std::move(font));
    return c;
}

const Color red(1, 0, 0, 1);

// The source runs of the built text that are boxes.
std::vector<ui::Text::Run> boxes(const ui::Text& text) {
    std::vector<ui::Text::Run> result;
    std::copy_if(text.runs().begin(), text.runs().end(), std::back_inserter(result),
                 [](const ui::Text::Run& run) { return run.box.has_value(); });
    return result;
}

template <class T>
const T* custom(const ui::Text::Run& run) {
    for (const ui::ViewID& id : run.custom) {
        if (const T* value = id.as<T>()) {
            return value;
        }
    }
    return nullptr;
}

} // namespace

TEST(TextBuilder, AttachmentsBecomeSizedBoxesAndLinksKeepTheirAddress) {
    const AnyAttachment swatch(Swatch(red, {12, 8}, -2));
    const platform::URL url = *platform::URL::fromString("https://example.com/a");
    AttributedString text("see ", withFont(Font::system(14)));
    AttributeContainer linked = withAttachment(swatch);
    linked.set<Foundation::LinkAttribute>(url);
    text.append("\xEF\xBF\xBC", linked);
    AttributeContainer link;
    link.set<Foundation::LinkAttribute>(url);
    text.append(" here", link);

    const Builder builder(text, {});
    const ui::Text& built = builder.text();
    ASSERT_EQ(boxes(built).size(), 1U);
    const ui::Text::Run box = boxes(built).front();
    EXPECT_EQ(box.box->size, (Size{12, 8}));
    EXPECT_EQ(box.box->baselineOffset, -2);
    const auto* attribute = custom<vellum::AttachmentAttribute>(box);
    ASSERT_NE(attribute, nullptr);
    EXPECT_EQ(attribute->attachment, swatch);
    // A box that is also a link carries both marks.
    ASSERT_NE(custom<vellum::LinkAttribute>(box), nullptr);
    EXPECT_EQ(custom<vellum::LinkAttribute>(box)->url, url);

    // Text runs keep their characters and drawn attributes; only the linked one is marked.
    EXPECT_EQ(built.string(), "see \xEF\xBF\xBC here");
    const auto plain = std::find_if(built.runs().begin(), built.runs().end(),
                                    [](const auto& r) { return r.text == "see "; });
    ASSERT_NE(plain, built.runs().end());
    EXPECT_EQ(plain->attributes->font, Font::system(14));
    EXPECT_EQ(custom<vellum::LinkAttribute>(*plain), nullptr);
    const auto here = std::find_if(built.runs().begin(), built.runs().end(),
                                   [](const auto& r) { return r.text == " here"; });
    ASSERT_NE(here, built.runs().end());
    EXPECT_NE(custom<vellum::LinkAttribute>(*here), nullptr);
}

TEST(TextBuilder, OneSizePerAttachmentAndFont) {
    const AnyAttachment emoji(vellum::EmojiAttachment(vellum::Image(), "smile"));
    AttributedString text("\xEF\xBF\xBC", withAttachment(emoji));
    text.append("a", {});
    text.append("\xEF\xBF\xBC", withAttachment(emoji));
    text.append("\xEF\xBF\xBC", withFont(Font::system(30), withAttachment(emoji)));

    TextEnvironmentValues environment;
    environment.font = Font::system(10);
    const Builder::SizeMap sizes = Builder::sizeMap(text, {}, environment);
    // The same emoji in the same font is measured once; in a larger font it is an entry of its
    // own, sized from that font.
    ASSERT_EQ(sizes.size(), 2U);
    EXPECT_EQ(sizes[0].font, Font::system(10));
    EXPECT_EQ(sizes[0].size, (Size{10, 10}));
    EXPECT_EQ(sizes[1].size, (Size{30, 30}));

    const std::vector<ui::Text::Run> built = boxes(Builder::build(text, sizes, environment));
    ASSERT_EQ(built.size(), 3U);
    EXPECT_EQ(built[0].box->size, (Size{10, 10}));
    EXPECT_EQ(built[1].box->size, (Size{10, 10}));
    EXPECT_EQ(built[2].box->size, (Size{30, 30}));
    // The emoji hangs below the baseline by a tenth of its font's size.
    EXPECT_DOUBLE_EQ(built[0].box->baselineOffset, -1.0);
    EXPECT_DOUBLE_EQ(built[2].box->baselineOffset, -3.0);
}

TEST(TextBuilder, RepeatedAttachmentsShareOneMarkAndEachSetOfAttributesIsMadeOnce) {
    // A line of one formula repeated, as `$x$ $x$ ...` parses: each formula its own attachment,
    // equal to the others. The built text holds one mark and one set of attributes for all its
    // boxes, and one set of attributes for all the text between them; only a box unlike the last
    // (another size, a link) is made apart.
    AttributedString text;
    constexpr int formulas = 200;
    for (int i = 0; i < formulas; ++i) {
        text.append("\xEF\xBF\xBC", withAttachment(AnyAttachment(Swatch(red, {12, 8}, -2))));
        text.append(" ", {});
    }
    AttributeContainer linked = withAttachment(AnyAttachment(Swatch(red, {12, 8}, -2)));
    linked.set<Foundation::LinkAttribute>(*platform::URL::fromString("https://e.dev/"));
    text.append("\xEF\xBF\xBC", std::move(linked));
    const Builder::SizeMap sizes = Builder::sizeMap(text, {}, {});
    const ui::Text built = Builder::build(text, sizes, {})
                               .customAttribute(vellum::TextFragmentAttribute{
                                   std::make_shared<const AttributedString>(text)});

    const std::vector<ui::Text::Run> made = boxes(built);
    ASSERT_EQ(made.size(), std::size_t(formulas) + 1);
    std::set<const ui::ViewID*> marks;
    std::set<const ui::ViewID*> spaceMarks;
    for (const ui::Text::Run& run : built.runs()) {
        (run.box ? marks : spaceMarks).insert(run.custom.begin());
        if (run.box) {
            EXPECT_EQ(run.box->size, (Size{12, 8}));
            EXPECT_EQ(run.box->baselineOffset, -2);
            EXPECT_NE(custom<vellum::AttachmentAttribute>(run), nullptr);
        }
        EXPECT_NE(custom<vellum::TextFragmentAttribute>(run), nullptr);
    }
    EXPECT_EQ(marks.size(), 2u); // the repeated box's, and the linked box's
    EXPECT_EQ(spaceMarks.size(), 1u);
    EXPECT_NE(custom<vellum::LinkAttribute>(made.back()), nullptr);
    EXPECT_EQ(custom<vellum::LinkAttribute>(made.front()), nullptr);
    for (std::size_t i = 2; i < 2 * formulas; ++i) {
        EXPECT_TRUE(built.runs()[i + 1].attributes.sharesWith(built.runs()[i - 1].attributes))
            << "run " << i + 1;
    }
}

TEST(TextBuilder, RunsSharingAttributesBuildAsRunsWithEqualOnes) {
    // Runs that share their attributes (one container appended again and again, as a line of one
    // formula parses) are measured and built as runs with equal attributes of their own are,
    // whatever comes between them: text, another attachment, the same one in another font.
    const std::array<std::function<AttributeContainer()>, 3> make = {
        [] {
            return withAttachment(AnyAttachment(Swatch(red, {12, 8}, -2)));
        },
        [] {
            return withAttachment(AnyAttachment(Swatch(red, {20, 9}, 1)));
        },
        [] {
            return withFont(Font::system(30),
                            withAttachment(AnyAttachment(Swatch(red, {12, 8}, -2))));
        }};
    const std::array<AttributeContainer, 3> once = {make[0](), make[1](), make[2]()};
    AttributedString shared;
    AttributedString own;
    const std::vector<int> kinds = {0, 0, 1, 0, 1, 1, 2, 0, 2, -1, 0};
    for (const int kind : kinds) {
        if (kind < 0) {
            shared.append(" a ", {});
            own.append(" a ", {});
            continue;
        }
        shared.append("\xEF\xBF\xBC", once.at(std::size_t(kind)));
        own.append("\xEF\xBF\xBC", make.at(std::size_t(kind))());
    }
    ASSERT_TRUE(shared.runs().attributes(0).sharesStorage(shared.runs().attributes(1)));
    ASSERT_FALSE(own.runs().attributes(0).sharesStorage(own.runs().attributes(1)));
    const Builder::SizeMap sizes = Builder::sizeMap(shared, {}, {});
    ASSERT_EQ(sizes.size(), 3U); // each attachment and font once
    ASSERT_EQ(sizes, Builder::sizeMap(own, {}, {}));
    const std::vector<ui::Text::Run> made = boxes(Builder::build(shared, sizes, {}));
    const std::vector<ui::Text::Run> expected = boxes(Builder::build(own, sizes, {}));
    ASSERT_EQ(made.size(), expected.size());
    std::vector<int> boxKinds;
    std::copy_if(kinds.begin(), kinds.end(), std::back_inserter(boxKinds),
                 [](int kind) { return kind >= 0; });
    ASSERT_EQ(made.size(), boxKinds.size());
    for (std::size_t i = 0; i < made.size(); ++i) {
        EXPECT_EQ(made[i].box->size, (boxKinds[i] == 1 ? Size{20, 9} : Size{12, 8})) << i;
        EXPECT_EQ(made[i].box, expected[i].box) << i;
        EXPECT_EQ(custom<vellum::AttachmentAttribute>(made[i])->attachment,
                  custom<vellum::AttachmentAttribute>(expected[i])->attachment)
            << i;
    }
}

TEST(TextBuilder, AnAttachmentWithoutSizeStaysText) {
    const AnyAttachment swatch(Swatch(red, {12, 8}));
    AttributedString text("x\xEF\xBF\xBC", withAttachment(swatch));
    const ui::Text built = Builder::build(text, {}, {});
    EXPECT_TRUE(boxes(built).empty());
    EXPECT_EQ(built.string(), "x\xEF\xBF\xBC");
}

TEST(TextBuilder, WidthChangesReuseTextsBuiltForTheSameSizes) {
    AttributedString fixed("plain ", {});
    fixed.append("\xEF\xBF\xBC", withAttachment(AnyAttachment(Swatch(red, {12, 8}))));
    Builder steady(fixed, {});
    steady.resolveText({100, 50}, {});
    steady.resolveText({300, 50}, {});
    EXPECT_EQ(steady.buildCount(), 1U);

    AttributedString wide("\xEF\xBF\xBC",
                          withAttachment(AnyAttachment(Swatch(red, {500, 8}, 0, true))));
    Builder builder(wide, {});
    EXPECT_EQ(boxes(builder.text()).front().box->size.width, 500);
    builder.resolveText({200, 50}, {});
    EXPECT_EQ(builder.buildCount(), 2U);
    EXPECT_EQ(boxes(builder.text()).front().box->size.width, 200);
    builder.resolveText({500, 50}, {}); // the first text again, from the cache
    EXPECT_EQ(builder.buildCount(), 2U);
    EXPECT_EQ(boxes(builder.text()).front().box->size.width, 500);

    // Ten texts at most: the least recently used goes and is rebuilt when asked for again.
    for (int width = 1; width <= 10; ++width) {
        builder.resolveText({double(width), 50}, {});
    }
    EXPECT_EQ(builder.buildCount(), 12U);
    builder.resolveText({10, 50}, {});
    EXPECT_EQ(builder.buildCount(), 12U);
    builder.resolveText({200, 50}, {});
    EXPECT_EQ(builder.buildCount(), 13U);
}

// Renders `text` as a fragment on white and hands back the image with the fragment's layout.
struct Rendered {
    platform::Image image;
    ui::Text::Layout layout;
};

Rendered render(const AttributedString& text) {
    std::vector<ui::Text::AnchoredLayout> layouts;
    ui::OffscreenHost host(
        ui::AnyView(vellum::TextFragment(text))
            .onPreferenceChange<ui::Text::LayoutKey>([&](const auto& value) { layouts = value; }));
    host.runUntilIdle();
    EXPECT_EQ(layouts.size(), 1U);
    return {host.render(1.0, Color::white()),
            layouts.empty() ? ui::Text::Layout() : layouts[0].layout};
}

// The bounding rectangle of the pure red pixels in `image` within columns [from, to).
std::optional<platform::Rect> redArea(const platform::Image& image, int from, int to) {
    int minX = to, minY = image.height(), maxX = -1, maxY = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = std::max(from, 0); x < std::min(to, image.width()); ++x) {
            const platform::Image::Pixel p = image.pixel(x, y);
            if (p.red == 255 && p.green == 0 && p.blue == 0) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
        }
    }
    if (maxX < 0) {
        return std::nullopt;
    }
    return platform::Rect{double(minX), double(minY), double(maxX - minX + 1),
                          double(maxY - minY + 1)};
}

TEST(AttachmentOverlay, DrawsEachAttachmentOverItsBoxAtTheBaseline) {
    const AnyAttachment swatch(Swatch(red, {10, 6}, -3));
    AttributedString text("Hg ", withFont(Font::system(20)));
    text.append("\xEF\xBF\xBC", withAttachment(swatch));
    text.append(" and ", withFont(Font::system(20)));
    text.append("\xEF\xBF\xBC", withAttachment(swatch));
    const Rendered rendered = render(text);

    std::vector<const platform::TextLayout::Run*> boxRuns;
    double baseline = 0;
    for (const auto& line : rendered.layout.lines()) {
        for (const auto& run : line.runs) {
            if (rendered.layout.attribute<vellum::AttachmentAttribute>(run) != nullptr) {
                boxRuns.push_back(&run);
                baseline = line.typographicBounds.origin.y;
            }
        }
    }
    // The same attachment twice: drawn in both boxes.
    ASSERT_EQ(boxRuns.size(), 2U);
    for (const platform::TextLayout::Run* run : boxRuns) {
        const platform::Rect box = run->typographicBounds.rect();
        const auto area =
            redArea(rendered.image, int(box.origin.x) - 2, int(box.origin.x + box.size.width) + 2);
        ASSERT_TRUE(area.has_value());
        EXPECT_NEAR(area->origin.x, box.origin.x, 1.0);
        EXPECT_NEAR(area->size.width, 10, 1.0);
        EXPECT_NEAR(area->size.height, 6, 1.0);
        // Its bottom edge 3 points below the text's baseline.
        EXPECT_NEAR(area->origin.y + area->size.height, baseline + 3, 1.0);
    }
}
