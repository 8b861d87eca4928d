#pragma once

// A document, or the inside of a container block, as its blocks: the text is split wherever the
// block just below `parent` changes, and each block is shown by the view of its kind. Quotes and
// list items list their own children the same way, so the document renders recursively.
//
// A new version of the text is split again only between the runs it holds alike with the version
// before: the blocks before and after keep their views, which the engine then passes by at once.

#include "platform/foundation/AttributedString.hpp"
#include "platform/foundation/PresentationIntent.hpp"
#include "platform/ui/UI.hpp"

#include <optional>
#include <string>

namespace vellum::structured {

using IntentType = platform::PresentationIntent::IntentType;

// Whether two slices hold the same characters in the same runs of equal attributes; compared in
// place, as every block of a document is compared again after each re-parse.
[[nodiscard]] bool sameContent(const platform::AttributedSubstring& a,
                               const platform::AttributedSubstring& b);

class BlockContent {
public:
    BlockContent(std::optional<IntentType> parent, platform::AttributedSubstring content)
        : parent_(std::move(parent))
        , content_(std::move(content)) {}
    BlockContent(std::optional<IntentType> parent, const platform::AttributedString& content)
        : BlockContent(std::move(parent), content.slice()) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;
    friend bool operator==(const BlockContent& a, const BlockContent& b) {
        return a.parent_ == b.parent_ && sameContent(a.content_, b.content_);
    }

private:
    std::optional<IntentType> parent_;
    platform::AttributedSubstring content_;
};

// One block, shown by the view its intent asks for.
class Block {
public:
    Block(std::optional<IntentType> intent, platform::AttributedSubstring content)
        : intent_(std::move(intent))
        , content_(std::move(content)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;
    friend bool operator==(const Block& a, const Block& b) {
        return a.intent_ == b.intent_ && sameContent(a.content_, b.content_);
    }

private:
    std::optional<IntentType> intent_;
    platform::AttributedSubstring content_;
};

// The presentation intent all runs of `content` share; nothing when they differ or have none.
[[nodiscard]] std::optional<platform::PresentationIntent>
uniformPresentationIntent(const platform::AttributedSubstring& content);

// How deep in lists a block with `intent` stands: the number of lists that enclose it.
[[nodiscard]] int indentationLevel(const platform::PresentationIntent& intent);
// The level of the intent all runs share (0 when they share none): for blocks of inline text.
[[nodiscard]] int sharedIndentationLevel(const platform::AttributedSubstring& content);
// The level of the first run's intent (0 without runs or intent): for container blocks.
[[nodiscard]] int firstRunIndentationLevel(const platform::AttributedSubstring& content);

// Whether `content` is a paragraph of nothing but one display formula (white space aside).
[[nodiscard]] bool isLoneMath(const platform::AttributedSubstring& content);

// A block's inline text as its style's label: the environment's inline style applied, drawn as
// one text fragment.
[[nodiscard]] platform::ui::AnyView inlineLabel(platform::AttributedString text);

} // namespace vellum::structured
