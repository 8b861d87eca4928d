#pragma once

// A selectable markdown document laid out offscreen, driven by pointer and key events as a window
// would drive it. The document's selection model lives inside StructuredText; an emoji of the
// document, whose view is built inside, hands it out.

#include "Vellum/attachments/AttachmentLoader.hpp"
#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/selection/TextHitTesting.hpp"
#include "Vellum/selection/TextSelectionInteraction.hpp"
#include "platform/foundation/Unicode.hpp"
#include "platform/ui/OffscreenHost.hpp"

#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace vellum::test {

using platform::unicode::utf16Length;

// Hands out the model of the selectable text it is built in.
struct DocumentModelProbe {
    std::weak_ptr<std::shared_ptr<TextSelectionModel>> out;
    platform::ui::AnyView body(platform::ui::ViewContext& context) const {
        const auto holder = out.lock();
        if (auto model = context.environment<TextSelectionModelKey>(); model && holder) {
            *holder = std::move(model);
        }
        return platform::ui::AnyView(platform::Color::clear());
    }
    friend bool operator==(const DocumentModelProbe&, const DocumentModelProbe&) { return false; }
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
    platform::ui::AnyView body() const override {
        return platform::ui::AnyView(DocumentModelProbe{out_});
    }
    platform::Size sizeThatFits(platform::ui::ProposedViewSize /*proposal*/,
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

/// `markdown` (with a `:smile:` somewhere, which hands out the model) 560 points wide.
class SelectableDocument {
public:
    /// Shown in a window of `visible` (all of it when none): a lazy document lays out only the
    /// blocks in and near that part.
    explicit SelectableDocument(std::string markdown,
                                std::optional<platform::Rect> visible = std::nullopt)
        : markdown_(std::move(markdown))
        , host_(root(), platform::ui::ProposedViewSize{560, std::nullopt}) {
        host_.setVisibleRect(visible);
        layOutDeferred_ = host_.graph().environment().get<platform::ui::LayOutDeferredKey>();
        host_.runUntil([this] { return *model_ != nullptr; }, std::chrono::milliseconds(60000));
        host_.runUntilIdle(std::chrono::milliseconds(60000));
    }

    bool shown() const { return *model_ != nullptr; }
    platform::ui::OffscreenHost& host() { return host_; }
    const TextLayoutCollection& collection() const { return (*model_)->layoutCollection(); }

    /// The index of the first text that holds `needle`, if any.
    std::optional<std::size_t> textHolding(std::string_view needle) const {
        const auto& c = collection();
        for (std::size_t l = 0; l < c.layoutCount(); ++l) {
            if (c.layout(l).string().find(needle) != std::string::npos) {
                return l;
            }
        }
        return std::nullopt;
    }

    /// A point just inside the left edge of the glyph of character `offset` of `needle`, in the
    /// first text that holds it: a press there puts the caret before that character.
    platform::Point at(std::string_view needle, std::size_t offset = 0) const {
        const auto& c = collection();
        if (const auto l = textHolding(needle)) {
            const TextLayout& layout = c.layout(*l);
            const std::size_t index =
                utf16Length(layout.string().substr(0, layout.string().find(needle))) + offset;
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
        host_.pointer({platform::ui::PointerEvent::Kind::down, from, 1, 1, {}});
        host_.pointer({platform::ui::PointerEvent::Kind::dragged, to, 1, 1, {}});
        host_.pointer({platform::ui::PointerEvent::Kind::up, to, 1, 1, {}});
    }
    void click(platform::Point at, platform::ui::EventModifiers modifiers = {}) {
        host_.pointer({platform::ui::PointerEvent::Kind::down, at, 1, 1, modifiers});
        host_.pointer({platform::ui::PointerEvent::Kind::up, at, 1, 1, modifiers});
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
    /// What Ctrl+C writes: the copy the interaction makes of the current selection, which first
    /// lays out rows of a lazy document the range passes.
    TextInteractionView::Copied copiedByCommand() const {
        EXPECT_TRUE((*model_)->selectedRange().has_value());
        TextInteractionView view(*model_);
        view.setLayOutDeferred(layOutDeferred_);
        return view.copiedSelection().value_or(TextInteractionView::Copied{});
    }
    /// The copy of the current selection from the texts laid out now.
    TextInteractionView::Copied copied() const {
        EXPECT_TRUE((*model_)->selectedRange().has_value());
        return TextInteractionView(*model_).copiedSelection().value_or(
            TextInteractionView::Copied{});
    }

private:
    platform::ui::AnyView root() {
        const std::unordered_set<Emoji> emoji{{"smile", *platform::URL::fromString("e:smile")}};
        return textSelection(
            platform::ui::AnyView(
                StructuredText(markdown_, std::nullopt,
                               AttributedStringMarkdownParser::syntaxExtensions({emoji, true})))
                .environment<EmojiAttachmentLoaderKey>(
                    std::make_shared<const ProbeEmojiLoader>(model_)),
            EnabledTextSelectability());
    }

    std::string markdown_;
    std::shared_ptr<std::shared_ptr<TextSelectionModel>> model_ =
        std::make_shared<std::shared_ptr<TextSelectionModel>>();
    platform::ui::OffscreenHost host_;
    platform::ui::LayOutDeferredAction layOutDeferred_;
};

} // namespace vellum::test
