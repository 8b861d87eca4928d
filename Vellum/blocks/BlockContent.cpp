#include "Vellum/blocks/BlockContent.hpp"

#include "Vellum/attachments/MathAttachment.hpp"
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

ui::AnyView BlockContent::body() const {
    const BlockRuns runs(content_, parent_);
    std::vector<BlockRuns::BlockRun> blocks = runs.elements();
    // A block's identity is its position among its siblings.
    return BlockVStack(ui::ForEach::range(
        static_cast<int>(blocks.size()), [content = content_, &blocks](int index) {
            const BlockRuns::BlockRun& block = blocks[static_cast<std::size_t>(index)];
            return AnyView(Block(block.intent, content[block.range]));
        }));
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
        return CodeBlock(content_, hint);
    }
    case Kind::table:
        return Table(intent_, content_, intent_->columns());
    case Kind::paragraph:
        if (isLoneMath(content_)) {
            return MathBlock(content_);
        }
        return Paragraph(content_).body(context);
    case Kind::orderedList:
        return OrderedList(intent_, content_);
    case Kind::unorderedList:
        return UnorderedList(intent_, content_);
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
    return WithInlineStyle(std::move(text), [](const AttributedString& styled) {
        return AnyView(TextFragment(styled));
    });
}

} // namespace vellum::structured
