#include "Vellum/blocks/BlockContent.hpp"

#include "Vellum/attachments/MathAttachment.hpp"
#include "Vellum/attachments/UnchangedRuns.hpp"
#include "Vellum/attachments/VellumAttributes.hpp"
#include "Vellum/blocks/BlockQuote.hpp"
#include "Vellum/blocks/BlockVStack.hpp"
#include "Vellum/blocks/CodeBlock.hpp"
#include "Vellum/blocks/Heading.hpp"
#include "Vellum/blocks/MathBlock.hpp"
#include "Vellum/blocks/OrderedList.hpp"
#include "Vellum/blocks/Paragraph.hpp"
#include "Vellum/blocks/Table.hpp"
#include "Vellum/blocks/ThematicBreak.hpp"
#include "Vellum/blocks/UnorderedList.hpp"
#include "Vellum/inline/TextFragment.hpp"
#include "Vellum/inline/WithInlineStyle.hpp"
#include "Vellum/markdown/BlockRuns.hpp"
#include "platform/foundation/Unicode.hpp"

#include <algorithm>
#include <array>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

namespace vellum::structured {

namespace ui = platform::ui;
using platform::AttributedString;
using platform::AttributedSubstring;
using platform::PresentationIntent;
using ui::AnyView;
using Kind = PresentationIntent::Kind;
using IntentAttribute =
    platform::AttributeScopes::FoundationAttributes::PresentationIntentAttribute;

bool sameContent(const AttributedSubstring& a, const AttributedSubstring& b) {
    const std::string_view characters = a.characters();
    if (characters != b.characters()) {
        return false;
    }
    // One slice of one string: the same runs.
    if (characters.data() == b.characters().data()) {
        return true;
    }
    const AttributedString::Runs runsA = a.runs();
    const AttributedString::Runs runsB = b.runs();
    if (runsA.size() != runsB.size()) {
        return false;
    }
    for (std::size_t i = 0; i < runsA.size(); ++i) {
        const AttributedString::Run runA = runsA[i];
        const AttributedString::Run runB = runsB[i];
        if (runA.range.length() != runB.range.length() || !(runA.attributes == runB.attributes)) {
            return false;
        }
    }
    return true;
}

namespace {

// The blocks a BlockContent last showed, kept with its identity: each block's place in the text
// (relative to the text's start) and the view made for it.
class Split {
public:
    // The blocks of `content` as rows, each identified by its position. Where `content` holds the
    // same runs as the text before, the blocks there keep their views; only the stretch between
    // is split again.
    std::vector<std::pair<ui::ViewID, AnyView>> rows(const AttributedSubstring& content,
                                                     const std::optional<IntentType>& parent) {
        const std::size_t length = content.characters().size();
        std::vector<Piece> pieces;
        const std::optional<UnchangedRuns> same =
            content_ && parent_ == parent
                ? std::optional<UnchangedRuns>(unchangedRuns(*content_, content))
                : std::nullopt;
        const std::size_t oldLength = content_ ? content_->characters().size() : 0;
        if (!same) {
            cut(content, parent, 0, length, pieces);
        } else if (same->prefix == oldLength && oldLength == length) {
            // Alike throughout: the same blocks.
            pieces = std::move(pieces_);
        } else {
            // A block is kept when the run after it (before it) is alike as well, so that the
            // boundary between the two is the same in both texts.
            std::size_t kept = 0;
            while (kept < pieces_.size() && pieces_[kept].end < same->prefix) {
                ++kept;
            }
            std::size_t later = pieces_.size();
            while (later > kept && pieces_[later - 1].start > oldLength - same->suffix) {
                --later;
            }
            const std::size_t from = kept > 0 ? pieces_[kept - 1].end : 0;
            const std::size_t to =
                later < pieces_.size() ? pieces_[later].start + length - oldLength : length;
            pieces.reserve(pieces_.size() + 4);
            std::move(pieces_.begin(), pieces_.begin() + static_cast<std::ptrdiff_t>(kept),
                      std::back_inserter(pieces));
            cut(content, parent, from, to, pieces);
            for (std::size_t k = later; k < pieces_.size(); ++k) {
                Piece piece = std::move(pieces_[k]);
                piece.start = piece.start + length - oldLength;
                piece.end = piece.end + length - oldLength;
                pieces.push_back(std::move(piece));
            }
        }
        pieces_ = std::move(pieces);
        content_ = content;
        parent_ = parent;
        letGoOfOldTexts(content);

        std::vector<std::pair<ui::ViewID, AnyView>> result;
        result.reserve(pieces_.size());
        for (std::size_t i = 0; i < pieces_.size(); ++i) {
            result.emplace_back(static_cast<int>(i), pieces_[i].view);
        }
        return result;
    }

private:
    struct Piece {
        std::size_t start = 0;
        std::size_t end = 0;
        std::optional<IntentType> intent;
        AnyView view;
        // The start of the characters of the string the view's slice was cut from.
        const char* origin = nullptr;
    };

    static const char* originOf(const AttributedSubstring& content) {
        return content.characters().data() - content.startIndex().offset;
    }

    // Splits content[from, to) (offsets relative to its start) and adds its blocks to `pieces`.
    static void cut(const AttributedSubstring& content, const std::optional<IntentType>& parent,
                    std::size_t from, std::size_t to, std::vector<Piece>& pieces) {
        if (from >= to) {
            return;
        }
        const std::size_t base = content.startIndex().offset;
        const AttributedSubstring stretch = content[{{base + from}, {base + to}}];
        const char* const origin = originOf(content);
        for (const BlockRuns::BlockRun& block : BlockRuns(stretch, parent)) {
            pieces.push_back(Piece{block.range.lowerBound.offset - base,
                                   block.range.upperBound.offset - base, block.intent,
                                   AnyView(Block(block.intent, content[block.range])), origin});
        }
    }

    // Kept views hold on to the text they were cut from. After edits here and there, the views
    // still cut from older texts than the last few are made again from the current one, so that
    // a long editing session keeps no more than a few versions of the document alive.
    void letGoOfOldTexts(const AttributedSubstring& content) {
        constexpr std::size_t versionsKept = 4;
        const char* const current = originOf(content);
        std::array<const char*, versionsKept> seen{};
        std::size_t count = 0;
        bool tooMany = false;
        for (const Piece& piece : pieces_) {
            if (piece.origin == current ||
                std::find(seen.begin(), seen.begin() + static_cast<std::ptrdiff_t>(count),
                          piece.origin) != seen.begin() + static_cast<std::ptrdiff_t>(count)) {
                continue;
            }
            if (count == seen.size()) {
                tooMany = true;
                break;
            }
            seen[count++] = piece.origin;
        }
        if (!tooMany) {
            return;
        }
        const std::size_t base = content.startIndex().offset;
        for (Piece& piece : pieces_) {
            if (piece.origin != current) {
                piece.view = AnyView(
                    Block(piece.intent, content[{{base + piece.start}, {base + piece.end}}]));
                piece.origin = current;
            }
        }
    }

    std::optional<AttributedSubstring> content_;
    std::optional<IntentType> parent_;
    std::vector<Piece> pieces_;
};

} // namespace

ui::AnyView BlockContent::body(ui::ViewContext& context) const {
    const std::shared_ptr<Split> split =
        context.stateObject<Split>([] { return std::make_shared<Split>(); });
    // A block's identity is its position among its siblings. The stack keeps no state: its body
    // stands in this one's place.
    return BlockVStack(split->rows(content_, parent_)).body(context);
}

ui::AnyView Block::body(ui::ViewContext& context) const {
    // Paragraphs and headings, most of a document's blocks, hold no state: their bodies stand in
    // this block's place rather than one node further down.
    if (!intent_) {
        return Paragraph(content_).body(context);
    }
    switch (intent_->kind()) {
    case Kind::header:
        // Passed on as written: clamping is the heading style's business.
        return Heading(content_, intent_->headerLevel()).body(context);
    case Kind::codeBlock: {
        const std::optional<std::string>& hint = intent_->languageHint();
        if (hint && platform::unicode::lowercased(*hint) == "math") {
            return MathCodeBlock(content_);
        }
        // A view of its own: the code block style may keep state, which must not share this
        // block's slots with the styles of the other kinds of block it may turn into.
        return CodeBlock(content_, hint);
    }
    case Kind::table:
        return Table(intent_, content_, intent_->columns());
    case Kind::paragraph:
        if (isLoneMath(content_)) {
            // Stateless too, and shown by the paragraph style as a paragraph is: in this block's
            // place as well.
            return MathBlock(content_).body(context);
        }
        return Paragraph(content_).body(context);
    case Kind::orderedList:
        return OrderedList(intent_, content_);
    case Kind::unorderedList:
        // Stateless, unlike a numbered list, which keeps its markers' width, and it shows no
        // style's body itself (its items do).
        return UnorderedList(intent_, content_).body(context);
    case Kind::blockQuote:
        return BlockQuote(intent_, content_);
    case Kind::thematicBreak:
        return ThematicBreak(content_);
    case Kind::listItem:
    case Kind::tableHeaderRow:
    case Kind::tableRow:
    case Kind::tableCell:
        break;
    }
    // Parts of lists and tables met on their own read as text.
    return Paragraph(content_).body(context);
}

std::optional<PresentationIntent> uniformPresentationIntent(const AttributedSubstring& content) {
    std::optional<PresentationIntent> shared;
    bool first = true;
    for (const AttributedString::Run& run : content.runs()) {
        const PresentationIntent* const intent = run.get<IntentAttribute>();
        if (intent == nullptr) {
            return std::nullopt;
        }
        if (first) {
            shared = *intent;
            first = false;
        } else if (*intent != *shared) {
            return std::nullopt;
        }
    }
    return shared;
}

int indentationLevel(const PresentationIntent& intent) {
    return static_cast<int>(std::count_if(
        intent.components().begin(), intent.components().end(), [](const IntentType& component) {
            return component.kind() == Kind::orderedList || component.kind() == Kind::unorderedList;
        }));
}

int sharedIndentationLevel(const AttributedSubstring& content) {
    const std::optional<PresentationIntent> intent = uniformPresentationIntent(content);
    return intent ? indentationLevel(*intent) : 0;
}

int firstRunIndentationLevel(const AttributedSubstring& content) {
    const AttributedString::Runs runs = content.runs();
    if (runs.empty()) {
        return 0;
    }
    const PresentationIntent* const intent = runs[0].get<IntentAttribute>();
    return intent != nullptr ? indentationLevel(*intent) : 0;
}

bool isLoneMath(const AttributedSubstring& content) {
    const std::unordered_set<AnyAttachment> attachments =
        collectValues<VellumAttributes::AttachmentAttribute>(content.runs());
    if (attachments.size() != 1) {
        return false;
    }
    const auto* math = attachments.begin()->as<MathAttachment>();
    if (math == nullptr || math->displayStyle() != MathAttachment::DisplayStyle::block) {
        return false;
    }
    return platform::unicode::trimmingWhitespaceAndNewlines(content.characters()) ==
           "\xEF\xBF\xBC"; // U+FFFC, the formula's placeholder
}

AnyView inlineLabel(AttributedString text) {
    return StyledTextFragment(std::move(text));
}

} // namespace vellum::structured
