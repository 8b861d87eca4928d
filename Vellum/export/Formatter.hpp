#pragma once

// Export of rendered markdown. A Formatter is given attributed text as the parser leaves it
// (presentation intents for blocks, inline intents, links, attachments) and turns it once into a
// small document tree that the HTML writer (FormatterHTML.hpp) and the plain-text writer
// (FormatterPlainText.hpp) both walk.
//
// The tree follows the runs' presentation intents: consecutive runs that share their outermost
// enclosing block are grouped under it, level by level inwards, until the block that holds the
// characters is reached. Structure that makes no sense as a document (a paragraph holding blocks,
// a list item outside a list, a row outside a table) is left out together with its text. Inline
// content is one node per run, never merged with its neighbours, wrapped innermost first in
// strong, emphasized, strikethrough and link.

#include "Vellum/attachments/Attachment.hpp"
#include "Vellum/markdown/NestingLimit.hpp"
#include "platform/foundation/AttributedString.hpp"
#include "platform/foundation/PresentationIntent.hpp"
#include "platform/foundation/URL.hpp"

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vellum {

class Formatter {
public:
    class InlineNode;
    class BlockNode;

    // One piece of inline content.
    class InlineNode {
    public:
        // A node's characters are a stretch of a buffer it shares: the text a tree is built from
        // is one buffer for all its nodes, rather than a string of its own for each of thousands
        // of runs. `storage` keeps `string` alive; it is null for characters in static storage.
        struct Text {
            std::string_view string;
            std::shared_ptr<const std::string> storage;
            friend bool operator==(const Text& a, const Text& b) { return a.string == b.string; }
        };
        struct Code {
            std::string_view string;
            std::shared_ptr<const std::string> storage;
            friend bool operator==(const Code& a, const Code& b) { return a.string == b.string; }
        };
        struct Strong {
            std::vector<InlineNode> children;
            friend bool operator==(const Strong&, const Strong&) = default;
        };
        struct Emphasized {
            std::vector<InlineNode> children;
            friend bool operator==(const Emphasized&, const Emphasized&) = default;
        };
        struct Strikethrough {
            std::vector<InlineNode> children;
            friend bool operator==(const Strikethrough&, const Strikethrough&) = default;
        };
        struct Link {
            // Shared, not held: a URL is several times the size of any other node, and every
            // node of a tree would be as large as the largest.
            std::shared_ptr<const platform::URL> target;
            std::vector<InlineNode> children;
            [[nodiscard]] const platform::URL& url() const noexcept { return *target; }
            friend bool operator==(const Link& a, const Link& b) {
                return *a.target == *b.target && a.children == b.children;
            }
        };
        struct Attachment {
            AnyAttachment attachment;
            friend bool operator==(const Attachment&, const Attachment&) = default;
        };
        struct LineBreak {
            friend bool operator==(const LineBreak&, const LineBreak&) = default;
        };
        using Value = std::variant<Text, Code, Strong, Emphasized, Strikethrough, Link, Attachment,
                                   LineBreak>;

        static InlineNode text(std::string string) {
            auto storage = std::make_shared<const std::string>(std::move(string));
            return InlineNode(Text{*storage, std::move(storage)});
        }
        static InlineNode code(std::string string) {
            auto storage = std::make_shared<const std::string>(std::move(string));
            return InlineNode(Code{*storage, std::move(storage)});
        }
        // Characters that `storage` holds (or static ones, with no storage), shared.
        static InlineNode text(std::string_view string,
                               std::shared_ptr<const std::string> storage) {
            return InlineNode(Text{string, std::move(storage)});
        }
        static InlineNode code(std::string_view string,
                               std::shared_ptr<const std::string> storage) {
            return InlineNode(Code{string, std::move(storage)});
        }
        static InlineNode strong(std::vector<InlineNode> children) {
            return InlineNode(Strong{std::move(children)});
        }
        static InlineNode emphasized(std::vector<InlineNode> children) {
            return InlineNode(Emphasized{std::move(children)});
        }
        static InlineNode strikethrough(std::vector<InlineNode> children) {
            return InlineNode(Strikethrough{std::move(children)});
        }
        static InlineNode link(platform::URL url, std::vector<InlineNode> children) {
            return InlineNode(
                Link{std::make_shared<const platform::URL>(std::move(url)), std::move(children)});
        }
        static InlineNode attachment(AnyAttachment attachment) {
            return InlineNode(Attachment{std::move(attachment)});
        }
        static InlineNode lineBreak() { return InlineNode(LineBreak{}); }

        [[nodiscard]] const Value& value() const noexcept { return value_; }
        template <class T>
        [[nodiscard]] const T* as() const noexcept {
            return std::get_if<T>(&value_);
        }

        friend bool operator==(const InlineNode&, const InlineNode&) = default;
        [[nodiscard]] std::size_t hash() const;
        // "strong[text(\"a\")]" and the like, for test failures.
        [[nodiscard]] std::string description() const;

    private:
        explicit InlineNode(Value value)
            : value_(std::move(value)) {}
        Value value_;
    };

    // One item of a list: its ordinal and its content.
    struct ListItem {
        int ordinal = 0;
        std::vector<BlockNode> blocks;
        friend bool operator==(const ListItem&, const ListItem&) = default;
    };

    // One row of a table, one inline sequence per cell. Whether it is the header row is the
    // table's to say (Table::hasHeadRow).
    struct TableRow {
        std::vector<std::vector<InlineNode>> cells;
        friend bool operator==(const TableRow&, const TableRow&) = default;
    };

    // One block of the document.
    class BlockNode {
    public:
        struct Paragraph {
            std::vector<InlineNode> children;
            friend bool operator==(const Paragraph&, const Paragraph&) = default;
        };
        struct Header {
            int level = 1; // as parsed, not clamped
            std::vector<InlineNode> children;
            friend bool operator==(const Header&, const Header&) = default;
        };
        struct OrderedList {
            std::vector<ListItem> children;
            friend bool operator==(const OrderedList&, const OrderedList&) = default;
        };
        struct UnorderedList {
            std::vector<ListItem> children;
            friend bool operator==(const UnorderedList&, const UnorderedList&) = default;
        };
        struct CodeBlock {
            std::optional<std::string> languageHint;
            std::string code;
            friend bool operator==(const CodeBlock&, const CodeBlock&) = default;
        };
        struct BlockQuote {
            std::vector<BlockNode> children;
            friend bool operator==(const BlockQuote&, const BlockQuote&) = default;
        };
        struct Table {
            std::vector<platform::PresentationIntent::TableColumn> columns;
            std::vector<TableRow> children;
            // Whether the first row is the table's head: a copy of body rows alone has none.
            bool hasHeadRow = true;
            friend bool operator==(const Table&, const Table&) = default;
        };
        struct ThematicBreak {
            friend bool operator==(const ThematicBreak&, const ThematicBreak&) = default;
        };
        using Value = std::variant<Paragraph, Header, OrderedList, UnorderedList, CodeBlock,
                                   BlockQuote, Table, ThematicBreak>;

        static BlockNode paragraph(std::vector<InlineNode> children) {
            return BlockNode(Paragraph{std::move(children)});
        }
        static BlockNode header(int level, std::vector<InlineNode> children) {
            return BlockNode(Header{level, std::move(children)});
        }
        static BlockNode orderedList(std::vector<ListItem> children) {
            return BlockNode(OrderedList{std::move(children)});
        }
        static BlockNode unorderedList(std::vector<ListItem> children) {
            return BlockNode(UnorderedList{std::move(children)});
        }
        static BlockNode codeBlock(std::optional<std::string> languageHint, std::string code) {
            return BlockNode(CodeBlock{std::move(languageHint), std::move(code)});
        }
        static BlockNode blockQuote(std::vector<BlockNode> children) {
            return BlockNode(BlockQuote{std::move(children)});
        }
        static BlockNode table(std::vector<platform::PresentationIntent::TableColumn> columns,
                               std::vector<TableRow> children, bool hasHeadRow = true) {
            return BlockNode(Table{std::move(columns), std::move(children), hasHeadRow});
        }
        static BlockNode thematicBreak() { return BlockNode(ThematicBreak{}); }

        [[nodiscard]] const Value& value() const noexcept { return value_; }
        template <class T>
        [[nodiscard]] const T* as() const noexcept {
            return std::get_if<T>(&value_);
        }

        friend bool operator==(const BlockNode&, const BlockNode&) = default;
        [[nodiscard]] std::size_t hash() const;
        // An indented outline of the block and its content, for test failures.
        [[nodiscard]] std::string description() const;

    private:
        explicit BlockNode(Value value)
            : value_(std::move(value)) {}
        Value value_;
    };

    // Text nested deeper than this (a quote inside a quote ... a thousand times) keeps its
    // innermost block and the outermost ones, up to this many in all; the levels between are
    // dropped, so that building and writing the tree never recurse deeper, whatever the text.
    // The parser cuts its documents so already; text built otherwise is cut here.
    static constexpr std::size_t maximumNestingDepth = vellum::maximumNestingDepth;

    // Only keeps the text; the tree is built on the first read of blockNodes().
    explicit Formatter(platform::AttributedString attributedString)
        : attributedString_(std::move(attributedString)) {}
    Formatter(const Formatter&) = delete;
    Formatter& operator=(const Formatter&) = delete;

    [[nodiscard]] const platform::AttributedString& attributedString() const noexcept {
        return attributedString_;
    }
    // The top-level blocks, built once (also when several threads ask at once) and kept.
    [[nodiscard]] const std::vector<BlockNode>& blockNodes() const;

    // The top-level blocks of the text that `pieces` make joined one after another, as
    // AttributedString::append joins them (equal runs either side of a join become one), read
    // where the pieces lie: a copy of thousands of texts exports them without building the joined
    // text and reading it again. The pieces are a selection, which may begin and end inside a
    // table: a table begun below its head has none, and a part of one row keeps only the cells
    // it holds. A selection that begins where the document does (`fromDocumentStart`) holds the
    // top of a table it begins in, its head too when that is empty.
    [[nodiscard]] static std::vector<BlockNode>
    joinedBlockNodes(std::span<const platform::AttributedSubstring> pieces,
                     bool fromDocumentStart = false);

    // The two exports of the text, from the one tree.
    [[nodiscard]] std::string html() const;
    [[nodiscard]] std::string plainText() const;

    // How many times the tree has been built: one at most.
    [[nodiscard]] int buildCount() const noexcept { return buildCount_; }

private:
    const platform::AttributedString attributedString_;
    mutable std::once_flag built_;
    mutable std::vector<BlockNode> blockNodes_;
    mutable int buildCount_ = 0;
};

} // namespace vellum
