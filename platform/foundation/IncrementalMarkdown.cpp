#include "platform/foundation/IncrementalMarkdown.hpp"

#include "platform/foundation/AttributeScope.hpp"
#include "platform/foundation/CommonAffixes.hpp"
#include "platform/foundation/PresentationIntent.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace platform {

namespace {

using IntentAttribute = AttributeScopes::FoundationAttributes::PresentationIntentAttribute;
using IntentType = PresentationIntent::IntentType;
using Kind = PresentationIntent::Kind;

// A label holds at most 999 characters between its brackets.
constexpr std::size_t longestLabel = 1000;

bool isContainerMarker(char c) {
    return c == ' ' || c == '\t' || c == '>' || c == '-' || c == '+' || c == '*' || c == '.' ||
           c == ')' || (c >= '0' && c <= '9');
}

// Whether the line before the one starting at `lineStart` holds nothing but blanks.
bool followsBlankLine(std::string_view text, std::size_t lineStart) {
    if (lineStart == 0 || lineStart > text.size() || text[lineStart - 1] != '\n') {
        return false;
    }
    std::size_t at = lineStart - 1;
    while (at > 0 && text[at - 1] != '\n') {
        --at;
        if (text[at] != ' ' && text[at] != '\t') {
            return false;
        }
    }
    return true;
}

// Where each line of `text` starts.
std::vector<std::size_t> lineStarts(std::string_view text) {
    std::vector<std::size_t> starts{0};
    for (std::size_t at = text.find('\n'); at != std::string_view::npos;
         at = text.find('\n', at + 1)) {
        starts.push_back(at + 1);
    }
    return starts;
}

IntentType renumbered(const IntentType& type, int shift) {
    const int identity = type.identity() + shift;
    switch (type.kind()) {
    case Kind::paragraph:
        return IntentType::paragraph(identity);
    case Kind::header:
        return IntentType::header(type.headerLevel(), identity);
    case Kind::orderedList:
        return IntentType::orderedList(identity);
    case Kind::unorderedList:
        return IntentType::unorderedList(identity);
    case Kind::listItem:
        return IntentType::listItem(type.ordinal(), identity);
    case Kind::codeBlock:
        return IntentType::codeBlock(type.languageHint(), identity);
    case Kind::blockQuote:
        return IntentType::blockQuote(identity);
    case Kind::thematicBreak:
        return IntentType::thematicBreak(identity);
    case Kind::table:
        return IntentType::table(type.columns(), identity);
    case Kind::tableHeaderRow:
        return IntentType::tableHeaderRow(identity);
    case Kind::tableRow:
        return IntentType::tableRow(type.rowIndex(), identity);
    case Kind::tableCell:
        return IntentType::tableCell(type.columnIndex(), identity);
    }
    return type;
}

// Appends `from` to `to` with every block identity moved by `shift`; runs that shared an intent
// share the renumbered one.
void appendRenumbered(AttributedString& to, const AttributedSubstring& from, int shift) {
    if (shift == 0) {
        to.append(from);
        return;
    }
    std::unordered_map<const PresentationIntent*,
                       std::shared_ptr<const TypedAttributeValue<PresentationIntent>>>
        done;
    const std::string_view characters = from.characters();
    const std::size_t base = from.startIndex().offset;
    for (const AttributedString::Run& run : from.runs()) {
        AttributeContainer attributes = run.attributes;
        if (const PresentationIntent* const intent = attributes.get<IntentAttribute>()) {
            auto& value = done[intent];
            if (!value) {
                std::vector<IntentType> components;
                components.reserve(intent->components().size());
                for (const IntentType& component : intent->components()) {
                    components.push_back(renumbered(component, shift));
                }
                value = std::make_shared<const TypedAttributeValue<PresentationIntent>>(
                    PresentationIntent(std::move(components)));
            }
            attributes.setShared<IntentAttribute>(value);
        }
        to.append(characters.substr(run.range.lowerBound.offset - base, run.range.length()),
                  attributes);
    }
}

} // namespace

bool mayDefineLinkReferences(std::string_view markdown) {
    for (std::size_t close = markdown.find("]:"); close != std::string_view::npos;
         close = markdown.find("]:", close + 1)) {
        std::size_t open = close;
        bool opened = false;
        for (std::size_t steps = 0; open > 0 && steps <= longestLabel; ++steps) {
            --open;
            if (markdown[open] == '[') {
                opened = true;
                break;
            }
            if (markdown[open] == ']') {
                // An escaped bracket may stand inside a label: not worth telling apart.
                return true;
            }
        }
        if (!opened) {
            continue;
        }
        std::size_t lineStart = open;
        while (lineStart > 0 && markdown[lineStart - 1] != '\n' &&
               markdown[lineStart - 1] != '\r' && isContainerMarker(markdown[lineStart - 1])) {
            --lineStart;
        }
        if (lineStart == 0 || markdown[lineStart - 1] == '\n' || markdown[lineStart - 1] == '\r') {
            return true;
        }
    }
    return false;
}

void IncrementalMarkdown::reset() {
    kept_ = false;
    source_.clear();
    text_ = AttributedString();
    blocks_.clear();
}

AttributedString IncrementalMarkdown::parse(std::string_view markdown,
                                            const MarkdownParsingOptions& options,
                                            const std::optional<URL>& baseURL,
                                            std::span<const Regex> verbatim, const Finish& finish) {
    try {
        const bool reusable =
            kept_ && options.interpretedSyntax == MarkdownParsingOptions::InterpretedSyntax::full &&
            markdown.find('\r') == std::string_view::npos && !mayDefineLinkReferences(markdown);
        if (reusable) {
            if (std::optional<AttributedString> spliced =
                    parseChange(markdown, options, baseURL, verbatim, finish)) {
                return *spliced;
            }
        }
        return parseWhole(markdown, options, baseURL, verbatim, finish);
    } catch (...) {
        reset();
        throw;
    }
}

// Where each block's text starts: at its first run, found by the identity of the outermost block
// the run stands in; a block without text starts where the next one does.
void IncrementalMarkdown::findTextOffsets(const AttributedString& text, std::size_t base,
                                          std::vector<Block>::iterator first,
                                          std::vector<Block>::iterator last) {
    for (const AttributedString::Run& run : text.runs()) {
        if (first == last) {
            return;
        }
        const PresentationIntent* const intent = run.get<IntentAttribute>();
        if (intent == nullptr || intent->components().empty()) {
            continue;
        }
        const int outermost = intent->components().back().identity();
        while (first != last && first->identitiesBefore < outermost) {
            (first++)->textOffset = base + run.range.lowerBound.offset;
        }
    }
    for (; first != last; ++first) {
        first->textOffset = base + text.characters().size();
    }
}

AttributedString IncrementalMarkdown::parseWhole(std::string_view markdown,
                                                 const MarkdownParsingOptions& options,
                                                 const std::optional<URL>& baseURL,
                                                 std::span<const Regex> verbatim,
                                                 const Finish& finish) {
    reset();
    statistics_ = Statistics{false, markdown.size()};
    std::optional<MarkdownBlocksParse> parsed;
    if (options.interpretedSyntax == MarkdownParsingOptions::InterpretedSyntax::full &&
        markdown.find('\r') == std::string_view::npos && !mayDefineLinkReferences(markdown)) {
        parsed = parseMarkdownBlocks(markdown, options, baseURL, verbatim, 0, false);
    }
    if (!parsed) {
        // Nothing kept: the next parse is whole as well.
        return finish(parseMarkdown(markdown, options, baseURL, verbatim));
    }
    AttributedString text = finish(std::move(parsed->text));
    const std::vector<std::size_t> lines = lineStarts(markdown);
    std::vector<Block> blocks;
    blocks.reserve(parsed->blocks.size());
    int identities = 0;
    for (const MarkdownTopLevelBlock& block : parsed->blocks) {
        const auto line = static_cast<std::size_t>(block.line);
        blocks.push_back(Block{line < lines.size() ? lines[line] : markdown.size(), 0, identities,
                               block.identities, block.continuesPastBlankLine, block.table});
        identities += block.identities;
    }
    source_ = std::string(markdown);
    text_ = text;
    blocks_ = std::move(blocks);
    // Where each block's text starts is found when an edit first needs it: a document shown once
    // and never edited does not pay for it.
    textOffsetsKnown_ = false;
    kept_ = true;
    return text;
}

std::optional<AttributedString>
IncrementalMarkdown::parseChange(std::string_view markdown, const MarkdownParsingOptions& options,
                                 const std::optional<URL>& baseURL, std::span<const Regex> verbatim,
                                 const Finish& finish) {
    const std::string_view old = source_;
    if (markdown == old) {
        statistics_ = Statistics{true, 0};
        return text_;
    }
    if (blocks_.empty()) {
        return std::nullopt;
    }
    if (!textOffsetsKnown_) {
        findTextOffsets(text_, 0, blocks_.begin(), blocks_.end());
        textOffsetsKnown_ = true;
    }
    const std::size_t prefix = commonPrefix(old, markdown);
    const std::size_t suffix = commonSuffix(old.substr(prefix), markdown.substr(prefix));
    const std::size_t oldEnd = old.size() - suffix;
    const auto delta =
        static_cast<std::ptrdiff_t>(markdown.size()) - static_cast<std::ptrdiff_t>(old.size());
    const std::size_t count = blocks_.size();

    // Where a block may be parted from the one before it: after a blank line that closes that
    // one. A table that takes the last line of a paragraph as its header row shares the
    // paragraph's lines, and the source positions of both are unsure: neither is ever parted
    // from its neighbours.
    const auto parted = [&](std::size_t block) {
        return !blocks_[block - 1].continuesPastBlankLine && !blocks_[block - 1].table &&
               !blocks_[block].table && (block + 1 == count || !blocks_[block + 1].table) &&
               blocks_[block - 1].sourceOffset < blocks_[block].sourceOffset &&
               followsBlankLine(old, blocks_[block].sourceOffset);
    };
    // The first block parsed again: the last one that can be parted from the blocks before it
    // and starts at or before the change.
    std::size_t first = count - 1;
    while (first > 0 && !(blocks_[first].sourceOffset <= prefix && parted(first))) {
        --first;
    }
    const std::size_t start = first == 0 ? 0 : blocks_[first].sourceOffset;

    // The first block kept after the change: one that can be parted from the blocks before it in
    // the old markdown, still after a blank line in the new one.
    std::size_t last = first + 1;
    for (; last < count; ++last) {
        const std::size_t oldStart = blocks_[last].sourceOffset;
        const auto newStart =
            static_cast<std::size_t>(static_cast<std::ptrdiff_t>(oldStart) + delta);
        if (oldStart >= oldEnd && parted(last) && newStart >= start &&
            followsBlankLine(markdown, newStart)) {
            break;
        }
    }
    const bool closedEnd = last < count;
    const std::size_t oldStop = closedEnd ? blocks_[last].sourceOffset : old.size();
    const std::size_t newStop =
        static_cast<std::size_t>(static_cast<std::ptrdiff_t>(oldStop) + delta);
    const std::string_view slice = markdown.substr(start, newStop - start);

    const int identitiesBefore = blocks_[first].identitiesBefore;
    std::optional<MarkdownBlocksParse> parsed =
        parseMarkdownBlocks(slice, options, baseURL, verbatim, identitiesBefore, closedEnd);
    statistics_ = Statistics{true, slice.size()};
    if (!parsed ||
        (closedEnd && !parsed->blocks.empty() && parsed->blocks.back().continuesPastBlankLine)) {
        return std::nullopt;
    }
    const AttributedString finished = finish(std::move(parsed->text));

    const std::size_t textStart = blocks_[first].textOffset;
    const std::size_t textStop = closedEnd ? blocks_[last].textOffset : text_.characters().size();
    const int oldIdentities =
        (closedEnd ? blocks_[last].identitiesBefore
                   : blocks_.back().identitiesBefore + blocks_.back().identities) -
        identitiesBefore;

    // The new blocks of the stretch.
    const std::vector<std::size_t> lines = lineStarts(slice);
    std::vector<Block> fresh;
    fresh.reserve(parsed->blocks.size());
    int identities = identitiesBefore;
    for (const MarkdownTopLevelBlock& block : parsed->blocks) {
        const auto line = static_cast<std::size_t>(block.line);
        fresh.push_back(Block{start + (line < lines.size() ? lines[line] : slice.size()), 0,
                              identities, block.identities, block.continuesPastBlankLine,
                              block.table});
        identities += block.identities;
    }
    const int shift = (identities - identitiesBefore) - oldIdentities;
    findTextOffsets(finished, textStart, fresh.begin(), fresh.end());

    AttributedString text;
    const std::size_t oldLength = text_.characters().size();
    text.reserve(textStart + finished.characters().size() + (oldLength - textStop),
                 text_.runs().size() + finished.runs().size());
    if (textStart > 0) {
        text.append(text_[{{0}, {textStart}}]);
    }
    text.append(finished);
    if (textStop < oldLength) {
        appendRenumbered(text, text_[{{textStop}, {oldLength}}], shift);
    }

    const auto textShift = static_cast<std::ptrdiff_t>(text.characters().size()) -
                           static_cast<std::ptrdiff_t>(oldLength);
    std::vector<Block> blocks;
    blocks.reserve(first + fresh.size() + (count - last));
    blocks.insert(blocks.end(), blocks_.begin(),
                  blocks_.begin() + static_cast<std::ptrdiff_t>(first));
    blocks.insert(blocks.end(), fresh.begin(), fresh.end());
    for (std::size_t k = last; k < count; ++k) {
        Block block = blocks_[k];
        block.sourceOffset =
            static_cast<std::size_t>(static_cast<std::ptrdiff_t>(block.sourceOffset) + delta);
        block.textOffset =
            static_cast<std::size_t>(static_cast<std::ptrdiff_t>(block.textOffset) + textShift);
        block.identitiesBefore += shift;
        blocks.push_back(block);
    }
    source_ = std::string(markdown);
    text_ = text;
    blocks_ = std::move(blocks);
    return text;
}

} // namespace platform
