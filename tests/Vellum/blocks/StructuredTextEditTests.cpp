#include "Vellum/attachments/AttachmentLoader.hpp"
#include "Vellum/attachments/MathAttachment.hpp"
#include "Vellum/attachments/VellumAttributes.hpp"
#include "Vellum/attachments/WithAttachments.hpp"
#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/style/ParagraphStyle.hpp"
#include "Vellum/style/StyleConfiguration.hpp"
#include "Vellum/style/VellumNamespace.hpp"
#include "platform/ui/UI.hpp"
#include "tests/support/RandomEdit.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace ui = platform::ui;
using platform::AttributedString;
using ui::AnyView;
using vellum::StructuredText;

// Counts the paragraphs whose style was asked for a body.
struct CountingParagraph final : vellum::structured::ParagraphStyle {
    std::shared_ptr<int> built = std::make_shared<int>(0);
    AnyView makeBody(ui::ViewContext&,
                     const vellum::structured::BlockStyleConfiguration& c) const override {
        ++*built;
        return c.label.content;
    }
};

TEST(DocumentEdit, AnEditBuildsOnlyTheBlocksItChanges) {
    std::string text;
    for (int i = 0; i < 40; ++i) {
        text += "Paragraph " + std::to_string(i) + " of the document.\n\n";
    }
    auto style = std::make_shared<CountingParagraph>();
    const auto view = [&](const std::string& markdown) {
        return vellum::vellum(AnyView(StructuredText(markdown))).paragraphStyle(style);
    };
    ui::OffscreenHost host(view(text), {400, std::nullopt});
    host.runUntilIdle();
    ASSERT_EQ(*style->built, 40);

    *style->built = 0;
    text[text.find("Paragraph 20") + 1] = 'A';
    host.setRootView(view(text));
    host.runUntilIdle();
    EXPECT_EQ(*style->built, 1);

    // A paragraph split in two: the two new ones are built, and the later ones, whose block
    // identities moved, again.
    *style->built = 0;
    text.insert(text.find(" of", text.find("Paragraph 30")), "\n\nMore");
    host.setRootView(view(text));
    host.runUntilIdle();
    EXPECT_EQ(*style->built, 2 + 9);
}

// Blocks inside blocks, with nothing to colour or load, so that what the document shows is
// settled once its host is idle. Edits here split and join blocks, turn paragraphs into headings
// or list items, and move blocks in and out of lists, quotes and the table.
const char* const nestedDocument = R"(# Notes

Setext heading
==============

A paragraph with *emphasis*, `code` and a [link](https://example.com).
Its second line.

1. First item
2. Second item with a longer text
   - nested bullet
   - another
     1. deeper
3. Third

- loose item

- another loose item

  with a second paragraph

> Quoted text.
>
> - a list inside
>
> > nested quote

---

| Name | Count |
|------|------:|
| apples | 3 |
| pears | 12 |

Closing paragraph.
)";

platform::Image rendered(ui::OffscreenHost& host) {
    host.runUntilIdle();
    return host.render(1.0, platform::Color::white());
}

// Random one-character edits, each shown by the same host, drawn exactly as a new host draws the
// edited text: the blocks kept from the text before are the blocks a fresh split makes.
TEST(DocumentEdit, EveryEditDrawsAsTheEditedTextDrawnAfresh) {
    constexpr std::string_view characters = "\n\n\n#*`->|=1. a";
    constexpr double width = 320;
    std::mt19937 random(20261207);
    std::string text = nestedDocument;
    ui::OffscreenHost edited(AnyView(StructuredText(text)), {width, std::nullopt});
    (void)rendered(edited);
    for (int step = 0; step < 48; ++step) {
        if (step % 16 == 0) {
            text = nestedDocument;
        }
        // Near line starts half of the time, where block syntax is.
        std::size_t at = random() % (text.size() + 1);
        if (random() % 2 == 0) {
            const std::size_t line = text.rfind('\n', at == 0 ? 0 : at - 1);
            at = std::min(line == std::string::npos ? 0 : line + 1 + random() % 3, text.size());
        }
        moss_test::editOneCharacter(text, at, characters[random() % characters.size()],
                                    static_cast<unsigned>(random() % 3));
        edited.setRootView(AnyView(StructuredText(text)));
        const platform::Image shown = rendered(edited);
        ui::OffscreenHost fresh(AnyView(StructuredText(text)), {width, std::nullopt});
        const platform::Image expected = rendered(fresh);
        ASSERT_EQ(shown.height(), expected.height()) << "step " << step << ":\n" << text;
        ASSERT_TRUE(shown.rgba() == expected.rgba()) << "step " << step << ":\n" << text;
    }
}

// Makes a formula attachment for every address, counting the loads.
struct CountingLoader final : vellum::AttachmentLoader {
    std::shared_ptr<std::atomic<int>> loads = std::make_shared<std::atomic<int>>(0);
    platform::Task<vellum::AnyAttachment>
    attachment(platform::URL url, std::string /*text*/,
               vellum::ColorEnvironmentValues /*environment*/) const override {
        ++*loads;
        co_return vellum::AnyAttachment(vellum::MathAttachment(
            url.absoluteString(), vellum::MathAttachment::DisplayStyle::inline_));
    }
};

AttributedString withEmoji(std::string_view before, std::string_view after,
                           std::string_view emoji = "smile") {
    AttributedString text(before);
    platform::AttributeContainer attributes;
    attributes.set<vellum::VellumAttributes::EmojiURLAttribute>(
        *platform::URL::fromString("https://e.dev/smile.png"));
    text.append(AttributedString(emoji, attributes));
    text.append(AttributedString(after));
    return text;
}

// An edit away from a loaded emoji, before or after it, keeps its attachment, shown at once,
// without loading it again; an edit of the emoji itself loads it again.
TEST(DocumentEdit, AttachmentsOfUnchangedRunsCarryOver) {
    auto loader = std::make_shared<CountingLoader>();
    auto shown = std::make_shared<std::vector<AttributedString>>();
    const auto view = [&](AttributedString text) {
        return AnyView(vellum::WithAttachments(std::move(text),
                                               [shown](const AttributedString& s) {
                                                   shown->push_back(s);
                                                   return AnyView(ui::Text(s.string()));
                                               }))
            .environment<vellum::EmojiAttachmentLoaderKey>(loader);
    };
    ui::OffscreenHost host(view(withEmoji("Hello ", " world.")));
    ASSERT_TRUE(host.runUntil([&] { return !vellum::collectAttachments(shown->back()).empty(); },
                              std::chrono::seconds(60)));
    EXPECT_EQ(*loader->loads, 1);

    shown->clear();
    host.setRootView(view(withEmoji("Hello ", " wide world.")));
    host.runUntilIdle();
    ASSERT_FALSE(shown->empty());
    for (const AttributedString& s : *shown) {
        EXPECT_EQ(vellum::collectAttachments(s).size(), 1U) << s.description();
    }
    EXPECT_EQ(shown->back().string(), "Hello smile wide world.");
    EXPECT_EQ(*loader->loads, 1);

    host.setRootView(view(withEmoji("Hi ", " wide world.")));
    host.runUntilIdle();
    EXPECT_EQ(vellum::collectAttachments(shown->back()).size(), 1U);
    EXPECT_EQ(*loader->loads, 1);

    host.setRootView(view(withEmoji("Hi ", " wide world.", "smiles")));
    ASSERT_TRUE(host.runUntil([&] { return *loader->loads == 2; }, std::chrono::seconds(60)));
}

} // namespace
