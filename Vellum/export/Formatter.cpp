#include "Vellum/export/Formatter.hpp"

#include "Vellum/attachments/VellumAttributes.hpp"
#include "Vellum/export/FormatterHTML.hpp"
#include "Vellum/export/FormatterPlainText.hpp"
#include "Vellum/markdown/NestingLimit.hpp"
#include "platform/foundation/Hash.hpp"

#include <algorithm>
#include <span>

namespace vellum {

namespace {

using platform::AttributedString;
using platform::AttributedSubstring;
using platform::InlinePresentationIntent;
using platform::PresentationIntent;
using IntentType = PresentationIntent::IntentType;
using Kind = PresentationIntent::Kind;
using Foundation = platform::AttributeScopes::FoundationAttributes;
using BlockNode = Formatter::BlockNode;
using InlineNode = Formatter::InlineNode;

// What the tree reads of one run, read once: every lookup in a run's attributes is a scan of
// its entries, and a long text has thousands of runs. The pointers point into the storage of the
// text (or of the pieces), which outlives the tree's building.
struct RunInfo {
    AttributedString::Range range;
    const PresentationIntent* intent = nullptr;
    InlinePresentationIntent inlineIntent;
    const AnyAttachment* attachment = nullptr;
    const platform::URL* link = nullptr;
};

// A stretch of runs with one presentation intent. Its runs are `runs[firstRun, lastRun)` of the
// text.
struct Source {
    const PresentationIntent* intent;
    // The intent's components cut to the nesting limit; empty when they fit as they are, which
    // spares a copy of every block's chain.
    std::vector<IntentType> cut;
    AttributedString::Range range;
    std::size_t firstRun = 0;
    std::size_t lastRun = 0;

    // Innermost first, within the nesting limit.
    [[nodiscard]] const std::vector<IntentType>& components() const {
        return cut.empty() ? intent->components() : cut;
    }
};

// A block of the intermediate tree: a leaf holds characters, a container holds blocks.
struct Block {
    // The component of the sources' intents the block stands for, which they keep.
    const IntentType* intentType = nullptr;
    std::vector<Block> children;
    const Source* leaf = nullptr;
};

RunInfo readRun(AttributedString::Range range, const platform::AttributeContainer& attributes) {
    const auto [intent, inlineIntent, attachment, link] =
        attributes.getAll<Foundation::PresentationIntentAttribute,
                          Foundation::InlinePresentationIntentAttribute,
                          VellumAttributes::AttachmentAttribute, Foundation::LinkAttribute>();
    return {range, intent, inlineIntent ? *inlineIntent : InlinePresentationIntent{}, attachment,
            link};
}

std::vector<RunInfo> readRuns(const AttributedString& text) {
    const AttributedString::Runs runs = text.runs();
    std::vector<RunInfo> infos;
    infos.reserve(runs.size());
    for (std::size_t r = 0; r < runs.size(); ++r) {
        infos.push_back(readRun(runs.range(r), runs.attributes(r)));
    }
    return infos;
}

// The runs of the pieces joined, and their characters appended to `characters`: each piece's
// runs as they are, but for the first, which extends the run before it when AttributedString's
// append would (equal attributes, neither of them an attachment's U+FFFC, which stands alone).
std::vector<RunInfo> readJoinedRuns(std::span<const AttributedSubstring> pieces,
                                    std::string& characters) {
    constexpr std::string_view objectReplacement = "\xEF\xBF\xBC";
    std::size_t length = 0;
    for (const AttributedSubstring& piece : pieces) {
        length += piece.characters().size();
    }
    characters.reserve(characters.size() + length);
    // A text holds a few runs.
    std::vector<RunInfo> infos;
    infos.reserve(pieces.size() * 3);
    const platform::AttributeContainer* lastAttributes = nullptr;
    for (const AttributedSubstring& piece : pieces) {
        if (piece.empty()) {
            continue;
        }
        const std::string_view text = piece.characters();
        const std::size_t shift = characters.size() - piece.startIndex().offset;
        const AttributedString::Runs runs = piece.runs();
        for (std::size_t r = 0; r < runs.size(); ++r) {
            AttributedString::Range range = runs.range(r);
            range.lowerBound.offset += shift;
            range.upperBound.offset += shift;
            const platform::AttributeContainer& attributes = runs.attributes(r);
            if (r == 0 && lastAttributes != nullptr && !text.starts_with(objectReplacement) &&
                characters.compare(infos.back().range.lowerBound.offset, objectReplacement.size(),
                                   objectReplacement) != 0 &&
                *lastAttributes == attributes) {
                infos.back().range.upperBound = range.upperBound;
                continue;
            }
            infos.push_back(readRun(range, attributes));
            lastAttributes = &attributes;
        }
        characters.append(text);
    }
    return infos;
}

std::vector<Source> splitRunsIntoSegments(std::size_t length, const std::vector<RunInfo>& runs,
                                          const PresentationIntent& paragraph) {
    std::vector<Source> sources;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const RunInfo& run = runs[r];
        if (run.intent == nullptr) {
            continue;
        }
        // Runs of one block usually share one intent value: its address settles most
        // comparisons.
        if (!sources.empty() &&
            (sources.back().intent == run.intent || *sources.back().intent == *run.intent)) {
            // Runs without an intent in between are covered by the widened range.
            sources.back().range.upperBound = run.range.upperBound;
            sources.back().lastRun = r + 1;
            continue;
        }
        sources.push_back({run.intent, limitedComponents(*run.intent), run.range, r, r + 1});
    }
    if (sources.empty()) {
        // Text parsed as inline markdown has no blocks: it is one paragraph.
        sources.push_back({&paragraph, {}, {{0}, {length}}, 0, runs.size()});
    }
    return sources;
}

// The component of `source`'s intent `depth` levels in from the outermost; nullptr when the
// intent has no more levels.
const IntentType* componentAtDepth(const Source& source, std::size_t depth) {
    const std::vector<IntentType>& components = source.components();
    return depth < components.size() ? &components[components.size() - 1 - depth] : nullptr;
}

// The blocks of `sources` at `depth`, their outer `depth` components being the levels that
// enclose them. Neighbours with one component at this depth form a block; a source with no
// component left there is passed over without parting its neighbours. The levels further in are
// grouped over the same stretch of `sources`, one level deeper, so that no level copies them.
std::vector<Block> groupSources(std::span<const Source> sources, std::size_t depth) {
    std::vector<Block> blocks;
    std::size_t s = 0;
    while (s < sources.size()) {
        const IntentType* const component = componentAtDepth(sources[s], depth);
        if (component == nullptr) {
            ++s;
            continue;
        }
        // The group runs up to its last member; sources between without a component at this
        // depth stay inside it and are passed over again one level in.
        std::size_t end = s + 1;
        for (std::size_t next = s + 1; next < sources.size(); ++next) {
            const IntentType* const other = componentAtDepth(sources[next], depth);
            if (other == nullptr) {
                continue;
            }
            if (other != component && !(*other == *component)) {
                break;
            }
            end = next + 1;
        }
        Block block{component, {}, nullptr};
        if (componentAtDepth(sources[s], depth + 1) == nullptr) {
            block.leaf = &sources[s];
        } else {
            block.children = groupSources(sources.subspan(s, end - s), depth + 1);
        }
        blocks.push_back(std::move(block));
        s = end;
    }
    return blocks;
}

// The text and the runs the tree is built from. The inline nodes share `storage`, which holds
// `characters`.
struct Text {
    std::string_view characters;
    const std::shared_ptr<const std::string>& storage;
    const std::vector<RunInfo>& runs;
    // The text is a selection's pieces, not a whole document: its tables may be cut.
    bool selected = false;
    // The selection begins where the document does: nothing above a table it begins in was left
    // out.
    bool fromDocumentStart = false;
};

std::vector<InlineNode> inlineNodes(const Text& text, const Source& leaf) {
    std::vector<InlineNode> nodes;
    nodes.reserve(leaf.lastRun - leaf.firstRun);
    for (std::size_t r = leaf.firstRun; r < leaf.lastRun; ++r) {
        const RunInfo& run = text.runs[r];
        const InlinePresentationIntent intent = run.inlineIntent;
        const auto runText = [&] {
            return text.characters.substr(run.range.lowerBound.offset, run.range.length());
        };

        InlineNode node = [&] {
            if (run.attachment != nullptr) {
                return InlineNode::attachment(*run.attachment);
            }
            if (intent.contains(InlinePresentationIntent::lineBreak())) {
                return InlineNode::lineBreak();
            }
            if (intent.contains(InlinePresentationIntent::softBreak())) {
                return InlineNode::text(" ", nullptr);
            }
            if (intent.contains(InlinePresentationIntent::code())) {
                return InlineNode::code(runText(), text.storage);
            }
            return InlineNode::text(runText(), text.storage);
        }();
        // The node moves into its wrapper; a braced list would copy it.
        const auto alone = [&node] {
            std::vector<InlineNode> children;
            children.push_back(std::move(node));
            return children;
        };
        if (intent.contains(InlinePresentationIntent::stronglyEmphasized())) {
            node = InlineNode::strong(alone());
        }
        if (intent.contains(InlinePresentationIntent::emphasized())) {
            node = InlineNode::emphasized(alone());
        }
        if (intent.contains(InlinePresentationIntent::strikethrough())) {
            node = InlineNode::strikethrough(alone());
        }
        if (run.link != nullptr) {
            node = InlineNode::link(*run.link, alone());
        }
        nodes.push_back(std::move(node));
    }
    return nodes;
}

std::optional<BlockNode> convert(const Text& text, const Block& block);

std::vector<BlockNode> convertAll(const Text& text, const std::vector<Block>& blocks) {
    std::vector<BlockNode> nodes;
    nodes.reserve(blocks.size());
    for (const Block& block : blocks) {
        if (std::optional<BlockNode> node = convert(text, block)) {
            nodes.push_back(std::move(*node));
        }
    }
    return nodes;
}

std::vector<Formatter::ListItem> listItems(const Text& text, const Block& list) {
    std::vector<Formatter::ListItem> items;
    for (const Block& child : list.children) {
        if (child.intentType->kind() == Kind::listItem && !child.leaf) {
            items.push_back({child.intentType->ordinal(), convertAll(text, child.children)});
        }
    }
    return items;
}

BlockNode tableNode(const Text& text, const Block& table) {
    std::vector<PresentationIntent::TableColumn> columns = table.intentType->columns();
    const std::size_t columnCount = columns.size();
    std::vector<Formatter::TableRow> rows;
    bool hasHeadRow = true;
    // The columns the cells of the last row came from, [first, last).
    std::size_t first = 0;
    std::size_t last = 0;
    // A selection may begin inside the table, below its head; one that begins above the table,
    // or at the start of the document, holds all of the table's top.
    bool begunInside = false;
    if (text.selected && !text.fromDocumentStart) {
        for (const Block& row : table.children) {
            const auto cell = std::find_if(row.children.begin(), row.children.end(),
                                           [](const Block& c) { return c.leaf != nullptr; });
            if (cell != row.children.end()) {
                begunInside = text.runs[cell->leaf->firstRun].range.lowerBound.offset == 0;
                break;
            }
        }
    }
    for (const Block& child : table.children) {
        const Kind kind = child.intentType->kind();
        if ((kind != Kind::tableRow && kind != Kind::tableHeaderRow) || child.leaf) {
            continue;
        }
        if (rows.empty()) {
            if (begunInside) {
                // A selection begun below the head copies body rows only.
                hasHeadRow = kind == Kind::tableHeaderRow;
            } else if (kind == Kind::tableRow && child.intentType->rowIndex() == 1) {
                // A header row of empty cells has no characters and so no run: when a whole
                // table starts with its first body row, the header was there, empty, and stays
                // the head.
                rows.push_back(
                    Formatter::TableRow{std::vector<std::vector<InlineNode>>(columnCount)});
            }
        }
        Formatter::TableRow row;
        std::optional<std::size_t> firstCell;
        for (const Block& cell : child.children) {
            if (!cell.leaf) {
                continue;
            }
            // An empty cell has no characters and so no run: fill the gap it leaves, so that
            // the cells after it stay under their own columns.
            if (cell.intentType->kind() == Kind::tableCell) {
                const auto column = static_cast<std::size_t>(cell.intentType->columnIndex());
                while (row.cells.size() < column && row.cells.size() < columnCount) {
                    row.cells.emplace_back();
                }
            }
            firstCell = firstCell.value_or(row.cells.size());
            row.cells.push_back(inlineNodes(text, *cell.leaf));
        }
        first = firstCell.value_or(0);
        last = row.cells.size();
        while (row.cells.size() < columnCount) {
            row.cells.emplace_back();
        }
        rows.push_back(std::move(row));
    }
    // A selection within one row (a cell, a few cells side by side) copies the cells it holds
    // and their columns, not empty ones around them.
    if (text.selected && rows.size() == 1 && first < last) {
        auto& cells = rows.front().cells;
        cells.erase(cells.begin() + static_cast<std::ptrdiff_t>(last), cells.end());
        cells.erase(cells.begin(), cells.begin() + static_cast<std::ptrdiff_t>(first));
        const std::size_t kept = std::min(last, columns.size());
        columns.erase(columns.begin() + static_cast<std::ptrdiff_t>(kept), columns.end());
        columns.erase(columns.begin(),
                      columns.begin() + static_cast<std::ptrdiff_t>(std::min(first, kept)));
    }
    return BlockNode::table(std::move(columns), std::move(rows), hasHeadRow);
}

std::optional<BlockNode> convert(const Text& text, const Block& block) {
    const IntentType& type = *block.intentType;
    switch (type.kind()) {
    case Kind::paragraph:
        if (block.leaf) {
            return BlockNode::paragraph(inlineNodes(text, *block.leaf));
        }
        return std::nullopt;
    case Kind::header:
        if (block.leaf) {
            return BlockNode::header(type.headerLevel(), inlineNodes(text, *block.leaf));
        }
        return std::nullopt;
    case Kind::codeBlock:
        if (block.leaf) {
            return BlockNode::codeBlock(
                type.languageHint(),
                std::string(text.characters.substr(block.leaf->range.lowerBound.offset,
                                                   block.leaf->range.length())));
        }
        return std::nullopt;
    case Kind::orderedList:
        if (!block.leaf) {
            return BlockNode::orderedList(listItems(text, block));
        }
        return std::nullopt;
    case Kind::unorderedList:
        if (!block.leaf) {
            return BlockNode::unorderedList(listItems(text, block));
        }
        return std::nullopt;
    case Kind::blockQuote:
        if (!block.leaf) {
            return BlockNode::blockQuote(convertAll(text, block.children));
        }
        return std::nullopt;
    case Kind::table:
        if (!block.leaf) {
            return tableNode(text, block);
        }
        return std::nullopt;
    case Kind::thematicBreak:
        return BlockNode::thematicBreak();
    case Kind::listItem:
    case Kind::tableHeaderRow:
    case Kind::tableRow:
    case Kind::tableCell:
        return std::nullopt;
    }
    return std::nullopt;
}

std::vector<BlockNode> buildBlockNodes(const std::shared_ptr<const std::string>& characters,
                                       const std::vector<RunInfo>& runs, bool selected,
                                       bool fromDocumentStart) {
    const PresentationIntent paragraph(IntentType::paragraph(1), nullptr);
    const std::vector<Source> sources = splitRunsIntoSegments(characters->size(), runs, paragraph);
    return convertAll(Text{*characters, characters, runs, selected, fromDocumentStart},
                      groupSources(sources, 0));
}

std::size_t hashInlines(const std::vector<InlineNode>& nodes) {
    std::size_t seed = nodes.size();
    for (const InlineNode& node : nodes) {
        seed = platform::hashCombine(seed, node.hash());
    }
    return seed;
}

std::size_t hashBlocks(const std::vector<BlockNode>& nodes) {
    std::size_t seed = nodes.size();
    for (const BlockNode& node : nodes) {
        seed = platform::hashCombine(seed, node.hash());
    }
    return seed;
}

std::size_t hashItems(const std::vector<Formatter::ListItem>& items) {
    std::size_t seed = items.size();
    for (const Formatter::ListItem& item : items) {
        seed = platform::hashCombine(seed, std::hash<int>()(item.ordinal));
        seed = platform::hashCombine(seed, hashBlocks(item.blocks));
    }
    return seed;
}

std::string describeInlines(const std::vector<InlineNode>& nodes) {
    std::string out = "[";
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        out += (i > 0 ? ", " : "") + nodes[i].description();
    }
    return out + "]";
}

void describeBlocks(const std::vector<BlockNode>& nodes, int depth, std::string& out);

void describeBlock(const BlockNode& node, int depth, std::string& out) {
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    std::visit(
        [&](const auto& value) {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, BlockNode::Paragraph>) {
                out += "paragraph" + describeInlines(value.children) + "\n";
            } else if constexpr (std::is_same_v<T, BlockNode::Header>) {
                out += "header(" + std::to_string(value.level) + ")" +
                       describeInlines(value.children) + "\n";
            } else if constexpr (std::is_same_v<T, BlockNode::CodeBlock>) {
                out += "codeBlock(" + value.languageHint.value_or("nil") + ", \"" + value.code +
                       "\")\n";
            } else if constexpr (std::is_same_v<T, BlockNode::BlockQuote>) {
                out += "blockQuote\n";
                describeBlocks(value.children, depth + 1, out);
            } else if constexpr (std::is_same_v<T, BlockNode::OrderedList> ||
                                 std::is_same_v<T, BlockNode::UnorderedList>) {
                out +=
                    std::is_same_v<T, BlockNode::OrderedList> ? "orderedList\n" : "unorderedList\n";
                for (const Formatter::ListItem& item : value.children) {
                    out.append(static_cast<std::size_t>(depth + 1) * 2, ' ');
                    out += "item(" + std::to_string(item.ordinal) + ")\n";
                    describeBlocks(item.blocks, depth + 2, out);
                }
            } else if constexpr (std::is_same_v<T, BlockNode::Table>) {
                out += "table(" + std::to_string(value.columns.size()) + " columns" +
                       (value.hasHeadRow ? ")\n" : ", no head)\n");
                for (const Formatter::TableRow& row : value.children) {
                    out.append(static_cast<std::size_t>(depth + 1) * 2, ' ');
                    out += "row";
                    for (const auto& cell : row.cells) {
                        out += describeInlines(cell);
                    }
                    out += "\n";
                }
            } else {
                out += "thematicBreak\n";
            }
        },
        node.value());
}

void describeBlocks(const std::vector<BlockNode>& nodes, int depth, std::string& out) {
    for (const BlockNode& node : nodes) {
        describeBlock(node, depth, out);
    }
}

} // namespace

std::size_t Formatter::InlineNode::hash() const {
    std::size_t seed = value_.index();
    std::visit(
        [&](const auto& value) {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, Text> || std::is_same_v<T, Code>) {
                seed = platform::hashCombine(seed, std::hash<std::string_view>()(value.string));
            } else if constexpr (std::is_same_v<T, Link>) {
                seed = platform::hashCombine(seed, std::hash<platform::URL>()(value.url()));
                seed = platform::hashCombine(seed, hashInlines(value.children));
            } else if constexpr (std::is_same_v<T, Attachment>) {
                seed = platform::hashCombine(seed, value.attachment.hash());
            } else if constexpr (!std::is_same_v<T, LineBreak>) {
                seed = platform::hashCombine(seed, hashInlines(value.children));
            }
        },
        value_);
    return seed;
}

std::string Formatter::InlineNode::description() const {
    return std::visit(
        [](const auto& value) -> std::string {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, Text>) {
                return "text(\"" + std::string(value.string) + "\")";
            } else if constexpr (std::is_same_v<T, Code>) {
                return "code(\"" + std::string(value.string) + "\")";
            } else if constexpr (std::is_same_v<T, Strong>) {
                return "strong" + describeInlines(value.children);
            } else if constexpr (std::is_same_v<T, Emphasized>) {
                return "emphasized" + describeInlines(value.children);
            } else if constexpr (std::is_same_v<T, Strikethrough>) {
                return "strikethrough" + describeInlines(value.children);
            } else if constexpr (std::is_same_v<T, Link>) {
                return "link(" + value.url().absoluteString() + ")" +
                       describeInlines(value.children);
            } else if constexpr (std::is_same_v<T, Attachment>) {
                return "attachment(" + value.attachment.base().description() + ")";
            } else {
                return "lineBreak";
            }
        },
        value_);
}

std::size_t Formatter::BlockNode::hash() const {
    std::size_t seed = value_.index();
    std::visit(
        [&](const auto& value) {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, Paragraph>) {
                seed = platform::hashCombine(seed, hashInlines(value.children));
            } else if constexpr (std::is_same_v<T, Header>) {
                seed = platform::hashCombine(seed, std::hash<int>()(value.level));
                seed = platform::hashCombine(seed, hashInlines(value.children));
            } else if constexpr (std::is_same_v<T, OrderedList> ||
                                 std::is_same_v<T, UnorderedList>) {
                seed = platform::hashCombine(seed, hashItems(value.children));
            } else if constexpr (std::is_same_v<T, CodeBlock>) {
                seed = platform::hashCombine(
                    seed, std::hash<std::optional<std::string>>()(value.languageHint));
                seed = platform::hashCombine(seed, std::hash<std::string>()(value.code));
            } else if constexpr (std::is_same_v<T, BlockQuote>) {
                seed = platform::hashCombine(seed, hashBlocks(value.children));
            } else if constexpr (std::is_same_v<T, Table>) {
                seed = platform::hashCombine(seed, std::hash<bool>()(value.hasHeadRow));
                for (const auto& column : value.columns) {
                    seed = platform::hashCombine(seed, static_cast<std::size_t>(column.alignment));
                }
                for (const TableRow& row : value.children) {
                    for (const auto& cell : row.cells) {
                        seed = platform::hashCombine(seed, hashInlines(cell));
                    }
                }
            }
        },
        value_);
    return seed;
}

std::string Formatter::BlockNode::description() const {
    std::string out;
    describeBlock(*this, 0, out);
    return out;
}

const std::vector<Formatter::BlockNode>& Formatter::blockNodes() const {
    std::call_once(built_, [this] {
        // The nodes share one copy of the characters, which they keep however long they live.
        blockNodes_ =
            buildBlockNodes(std::make_shared<const std::string>(attributedString_.characters()),
                            readRuns(attributedString_), false, true);
        ++buildCount_;
    });
    return blockNodes_;
}

std::vector<Formatter::BlockNode>
Formatter::joinedBlockNodes(std::span<const platform::AttributedSubstring> pieces,
                            bool fromDocumentStart) {
    auto characters = std::make_shared<std::string>();
    const std::vector<RunInfo> runs = readJoinedRuns(pieces, *characters);
    return buildBlockNodes(std::move(characters), runs, true, fromDocumentStart);
}

std::string Formatter::html() const {
    return formatterHTML(blockNodes());
}

std::string Formatter::plainText() const {
    return formatterPlainText(blockNodes(), 0, false);
}

} // namespace vellum
