// What a copy of rendered text carries: a document with every kind of block, laid out offscreen,
// is selected in parts by dragging across it, and the plain text and HTML
// the copy makes must equal NAME.txt and NAME.html of tests/fixtures/selection-copy byte for
// byte. Those files are the export of the selected part of document.md, written by hand: the
// structure of the selected blocks, formulas as their LaTeX and emoji as their short name. On a
// mismatch the actual output is written beside the build for inspection.

#include "TextLayoutTestSupport.hpp"
#include "Vellum/attachments/AttachmentLoader.hpp"
#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/selection/TextHitTesting.hpp"
#include "Vellum/selection/TextSelectionInteraction.hpp"
#include "tests/support/FileContents.hpp"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace vellum {
namespace {

namespace ui = platform::ui;
using Parser = AttributedStringMarkdownParser;

const std::filesystem::path& fixtures() {
    static const std::filesystem::path path =
        std::filesystem::path(MOSS_VELLUM_FIXTURES).parent_path() / "selection-copy";
    return path;
}

using moss_test::readFile;

void expectFile(const std::string& actual, const std::string& name) {
    const std::string expected = readFile(fixtures() / name);
    EXPECT_EQ(actual, expected) << "for " << name;
    if (actual != expected) {
        const auto dump = std::filesystem::temp_directory_path() / "selection-copy-actual";
        std::filesystem::create_directories(dump);
        std::ofstream(dump / name, std::ios::binary) << actual;
        ADD_FAILURE() << "actual output written to " << (dump / name);
    }
}

std::size_t utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if ((byte & 0xC0) != 0x80) {
            units += byte >= 0xF0 ? 2 : 1;
        }
    }
    return units;
}

// Hands out the model of the selectable text it is built in.
struct ModelProbe {
    std::weak_ptr<std::shared_ptr<TextSelectionModel>> out;
    ui::AnyView body(ui::ViewContext& context) const {
        const auto holder = out.lock();
        if (auto model = context.environment<TextSelectionModelKey>(); model && holder) {
            *holder = std::move(model);
        }
        return ui::AnyView(platform::Color::clear());
    }
    friend bool operator==(const ModelProbe&, const ModelProbe&) { return false; }
};

// The document's emoji: no picture of its own, so a copy writes its short name; its view, built
// inside the document, hands out the document's selection model.
class ProbeEmoji final : public Attachment {
public:
    ProbeEmoji(std::string text, std::weak_ptr<std::shared_ptr<TextSelectionModel>> out)
        : text_(std::move(text))
        , out_(std::move(out)) {}
    bool isEqual(const Attachment& other) const override {
        const auto* emoji = dynamic_cast<const ProbeEmoji*>(&other);
        return emoji != nullptr && emoji->text_ == text_;
    }
    std::size_t hashValue() const override { return std::hash<std::string>()(text_); }
    std::string description() const override { return ":" + text_ + ":"; }
    ui::AnyView body() const override { return ui::AnyView(ModelProbe{out_}); }
    platform::Size sizeThatFits(ui::ProposedViewSize /*proposal*/,
                                const TextEnvironmentValues& /*environment*/) const override {
        return {14, 14};
    }

private:
    std::string text_;
    // Weakly: the model's texts hold the attachment.
    std::weak_ptr<std::shared_ptr<TextSelectionModel>> out_;
};

class ProbeEmojiLoader final : public AttachmentLoader {
public:
    explicit ProbeEmojiLoader(std::weak_ptr<std::shared_ptr<TextSelectionModel>> out)
        : out_(std::move(out)) {}
    platform::Task<AnyAttachment> attachment(platform::URL /*url*/, std::string text,
                                             ColorEnvironmentValues /*env*/) const override {
        co_return AnyAttachment(ProbeEmoji(std::move(text), out_));
    }

private:
    std::weak_ptr<std::shared_ptr<TextSelectionModel>> out_;
};

class Document {
public:
    /// `markdown` shown in a window of `visible` (all of it when none): a lazy document lays out
    /// only the blocks in and near that part.
    explicit Document(std::string markdown = readFile(fixtures() / "document.md"),
                      std::optional<platform::Rect> visible = std::nullopt)
        : markdown_(std::move(markdown))
        , host_(root(), ui::ProposedViewSize{560, std::nullopt}) {
        host_.setVisibleRect(visible);
        host_.runUntil([this] { return *model_ != nullptr; }, std::chrono::milliseconds(10000));
        host_.runUntilIdle(std::chrono::milliseconds(10000));
    }

    bool shown() const { return *model_ != nullptr; }
    const TextLayoutCollection& collection() const { return (*model_)->layoutCollection(); }

    /// A point just inside the left edge of the glyph of character `offset` of `needle`, in the
    /// first text that holds it: a press there puts the caret before that character.
    platform::Point at(std::string_view needle, std::size_t offset = 0) const {
        const auto& c = collection();
        for (std::size_t l = 0; l < c.layoutCount(); ++l) {
            const TextLayout& layout = c.layout(l);
            const std::size_t found = layout.string().find(needle);
            if (found == std::string::npos) {
                continue;
            }
            const std::size_t index = utf16Length(layout.string().substr(0, found)) + offset;
            for (std::size_t n = 0; n < layout.lineCount(); ++n) {
                const TextLine& line = layout.line(n);
                for (std::size_t r = 0; r < line.runCount(); ++r) {
                    for (std::size_t s = 0; s < line.run(r).sliceCount(); ++s) {
                        const TextRunSlice& slice = line.run(r).slice(s);
                        if (slice.characterRange().contains(index)) {
                            return {layout.origin().x + slice.typographicBounds().minX() + 1,
                                    layout.origin().y + line.typographicBounds().midY()};
                        }
                    }
                }
            }
        }
        ADD_FAILURE() << "no text holds " << needle;
        return {};
    }

    void drag(platform::Point from, platform::Point to) {
        host_.pointer({ui::PointerEvent::Kind::down, from, 1, 1, {}});
        host_.pointer({ui::PointerEvent::Kind::dragged, to, 1, 1, {}});
        host_.pointer({ui::PointerEvent::Kind::up, to, 1, 1, {}});
    }
    /// Shows `visible` of the document instead, as a scroll would, and lets it lay out.
    void show(std::optional<platform::Rect> visible) {
        host_.setVisibleRect(visible);
        host_.runUntilIdle(std::chrono::milliseconds(60000));
    }
    void select(const TextRange& range) {
        (*model_)->setSelectedRange(range);
        host_.runUntilIdle(std::chrono::milliseconds(60000));
    }
    std::optional<TextRange> selectedRange() const { return (*model_)->selectedRange(); }
    /// Ctrl+`key` to the text that has focus.
    void command(const std::string& key) { host_.key(key, {}, {.control = true}); }
    /// The copy the interaction makes of the current selection (what Ctrl+C writes).
    TextInteractionView::Copied copied() const {
        EXPECT_TRUE((*model_)->selectedRange().has_value());
        return TextInteractionView(*model_).copiedSelection().value_or(
            TextInteractionView::Copied{});
    }
    /// The copy compared with NAME.txt/.html.
    void expectCopy(const std::string& name) {
        ASSERT_TRUE((*model_)->selectedRange().has_value()) << name;
        const auto copy = copied();
        expectFile(copy.plainText, name + ".txt");
        expectFile(copy.html, name + ".html");
    }

private:
    ui::AnyView root() {
        const std::unordered_set<Emoji> emoji{{"smile", *platform::URL::fromString("e:smile")}};
        return textSelection(ui::AnyView(StructuredText(markdown_, std::nullopt,
                                                        Parser::syntaxExtensions({emoji, true})))
                                 .environment<EmojiAttachmentLoaderKey>(
                                     std::make_shared<const ProbeEmojiLoader>(model_)),
                             EnabledTextSelectability());
    }

    std::string markdown_;
    std::shared_ptr<std::shared_ptr<TextSelectionModel>> model_ =
        std::make_shared<std::shared_ptr<TextSelectionModel>>();
    ui::OffscreenHost host_;
};

TEST(SelectionCopy, PartialSelectionsCopyAsTheExportOfTheirPartOfTheSource) {
    Document document;
    ASSERT_TRUE(document.shown());
    ASSERT_GT(document.collection().layoutCount(), 10u);

    document.drag(document.at("strong"), document.at("nested one", 6));
    document.expectCopy("paragraph-to-list");

    document.drag(document.at("energy"), document.at("First"));
    document.expectCopy("formula-and-emoji");

    // A partly filled last row keeps its columns.
    document.drag(document.at("Name", 1), document.at("pears", 3));
    document.expectCopy("table");

    // The code sits in a horizontally scrolling region, whose text is the document's too.
    document.drag(document.at("main"), document.at("return a", 8));
    document.expectCopy("code");

    // Select All takes every block in, the code with the line feed that closes it.
    document.command("a");
    document.expectCopy("whole");
}

// A long document shown in a small window lays out only its first blocks; Select All then Copy
// must still carry every block, not stop at the last one laid out.
TEST(SelectionCopy, SelectAllOfALazyDocumentCopiesBlocksNotYetLaidOut) {
    std::string markdown = "First words :smile: here.\n\n";
    for (int n = 0; n < 300; ++n) {
        markdown += "Paragraph " + std::to_string(n) +
                    " of a long document, long enough to wrap "
                    "over a couple of lines in a window this narrow.\n\n";
    }
    markdown += "The very last block.\n";
    Document document(markdown, platform::Rect(0, 0, 560, 400));
    ASSERT_TRUE(document.shown());
    // Laid out lazily: the last block has not been yet.
    ASSERT_LT(document.collection().layoutCount(), 300u);

    document.drag(document.at("First"), document.at("words")); // takes focus
    document.command("a");
    document.command("c");
    const std::string plain = document.copied().plainText;
    EXPECT_TRUE(plain.ends_with("The very last block."))
        << plain.substr(plain.size() > 80 ? plain.size() - 80 : 0);
    EXPECT_NE(plain.find("Paragraph 299 of"), std::string::npos);
}

// A selection from the first screen to a row far below, made while the rows between were not laid
// out, stays when they are: each end keeps its place in the document and the rows laid out later
// join the range.
TEST(SelectionCopy, ASelectionOverRowsNotYetLaidOutSurvivesTheirLayout) {
    std::string markdown = "First words :smile: here.\n\n";
    for (int n = 0; n < 300; ++n) {
        markdown += "Paragraph " + std::to_string(n) +
                    " of a long document, long enough to wrap "
                    "over a couple of lines in a window this narrow.\n\n";
    }
    Document document(markdown, platform::Rect(0, 0, 560, 400));
    ASSERT_TRUE(document.shown());
    const std::size_t firstScreen = document.collection().layoutCount();

    // Scrolled far down: the rows there are laid out, most of those between are not.
    document.show(platform::Rect(0, 12000, 560, 400));
    ASSERT_GT(document.collection().layoutCount(), firstScreen);
    std::string target;
    std::size_t targetLayout = 0;
    for (int n = 299; n >= 0 && target.empty(); --n) {
        const std::string candidate = "Paragraph " + std::to_string(n) + " of";
        for (std::size_t l = 0; l < document.collection().layoutCount(); ++l) {
            if (document.collection().layout(l).string().starts_with(candidate)) {
                target = candidate;
                targetLayout = l;
            }
        }
    }
    ASSERT_FALSE(target.empty());
    // From the first text to the end of the row's first word.
    document.select({startPosition(document.collection()),
                     *positionForCharacterIndex(document.collection(), targetLayout, 9)});
    ASSERT_TRUE(document.selectedRange().has_value());
    const std::string before = document.copied().plainText;
    ASSERT_TRUE(before.starts_with("First words :smile: here.")) << before.substr(0, 80);
    ASSERT_TRUE(before.ends_with(target.substr(0, 9))) << before.substr(before.size() - 40);

    // Every row laid out now, those between the ends included.
    const std::size_t laidOut = document.collection().layoutCount();
    document.show(std::nullopt);
    ASSERT_GT(document.collection().layoutCount(), laidOut);
    ASSERT_TRUE(document.selectedRange().has_value()) << "the selection survives the layout";
    const std::string after = document.copied().plainText;
    EXPECT_TRUE(after.starts_with("First words :smile: here.")) << after.substr(0, 80);
    EXPECT_TRUE(after.ends_with(target.substr(0, 9))) << after.substr(after.size() - 40);
    // The rows between joined the range, in order.
    std::size_t at = 0;
    for (int n = 0; "Paragraph " + std::to_string(n) + " of" != target; ++n) {
        at = after.find("Paragraph " + std::to_string(n) + " of", at);
        ASSERT_NE(at, std::string::npos) << n;
    }
}

} // namespace
} // namespace vellum
