#pragma once

// Block and inline presentation of attributed text parsed from markdown.
//
// A run's PresentationIntent lists every block that encloses it, innermost first: the text of a
// paragraph inside the second item of an ordered list carries
//   [paragraph #4, listItem(ordinal 2) #3, orderedList #1]
// Each component has a kind and an identity, a number unique within one parsed document and given
// in document order as blocks are entered (starting at 1). Two blocks of the same kind are told
// apart by their identity, so equality of components compares both.
//
// InlinePresentationIntent is a set of bits for inline markup; its raw values are fixed because
// code tests them as masks.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct InlinePresentationIntent {
    std::uint32_t rawValue = 0;

    static constexpr std::uint32_t emphasizedBit = 1U << 0;
    static constexpr std::uint32_t stronglyEmphasizedBit = 1U << 1;
    static constexpr std::uint32_t codeBit = 1U << 2;
    static constexpr std::uint32_t strikethroughBit = 1U << 5;
    static constexpr std::uint32_t softBreakBit = 1U << 6;
    static constexpr std::uint32_t lineBreakBit = 1U << 7;
    static constexpr std::uint32_t inlineHTMLBit = 1U << 8;
    static constexpr std::uint32_t blockHTMLBit = 1U << 9;

    static constexpr InlinePresentationIntent emphasized() { return {emphasizedBit}; }
    static constexpr InlinePresentationIntent stronglyEmphasized() {
        return {stronglyEmphasizedBit};
    }
    static constexpr InlinePresentationIntent code() { return {codeBit}; }
    static constexpr InlinePresentationIntent strikethrough() { return {strikethroughBit}; }
    static constexpr InlinePresentationIntent softBreak() { return {softBreakBit}; }
    static constexpr InlinePresentationIntent lineBreak() { return {lineBreakBit}; }
    static constexpr InlinePresentationIntent inlineHTML() { return {inlineHTMLBit}; }
    static constexpr InlinePresentationIntent blockHTML() { return {blockHTMLBit}; }

    [[nodiscard]] constexpr bool contains(InlinePresentationIntent other) const {
        return (rawValue & other.rawValue) == other.rawValue;
    }
    [[nodiscard]] constexpr bool intersects(std::uint32_t mask) const {
        return (rawValue & mask) != 0;
    }
    [[nodiscard]] constexpr bool empty() const { return rawValue == 0; }

    friend constexpr InlinePresentationIntent operator|(InlinePresentationIntent a,
                                                        InlinePresentationIntent b) {
        return {a.rawValue | b.rawValue};
    }
    friend constexpr bool operator==(InlinePresentationIntent, InlinePresentationIntent) = default;
};

// "emphasized|code" and the like; empty text for no bits.
std::string describe(InlinePresentationIntent intent);

class PresentationIntent {
public:
    enum class Kind : std::uint8_t {
        paragraph,
        header,
        orderedList,
        unorderedList,
        listItem,
        codeBlock,
        blockQuote,
        thematicBreak,
        table,
        tableHeaderRow,
        tableRow,
        tableCell,
    };

    enum class TableColumnAlignment : std::uint8_t { left, center, right };
    struct TableColumn {
        TableColumnAlignment alignment = TableColumnAlignment::left;
        friend bool operator==(const TableColumn&, const TableColumn&) = default;
    };

    // One enclosing block: its kind with the kind's values, and its identity.
    class IntentType {
    public:
        static IntentType paragraph(int identity) { return {Kind::paragraph, identity}; }
        static IntentType header(int level, int identity);
        static IntentType orderedList(int identity) { return {Kind::orderedList, identity}; }
        static IntentType unorderedList(int identity) { return {Kind::unorderedList, identity}; }
        static IntentType listItem(int ordinal, int identity);
        static IntentType codeBlock(std::optional<std::string> languageHint, int identity);
        static IntentType blockQuote(int identity) { return {Kind::blockQuote, identity}; }
        static IntentType thematicBreak(int identity) { return {Kind::thematicBreak, identity}; }
        static IntentType table(std::vector<TableColumn> columns, int identity);
        static IntentType tableHeaderRow(int identity) { return {Kind::tableHeaderRow, identity}; }
        // Body rows count from 1: the header row is row 0.
        static IntentType tableRow(int rowIndex, int identity);
        // Columns count from 0.
        static IntentType tableCell(int columnIndex, int identity);

        [[nodiscard]] Kind kind() const noexcept { return kind_; }
        [[nodiscard]] int identity() const noexcept { return identity_; }
        // The number the kind carries: header level, list item ordinal, row or column index;
        // 0 for kinds without one.
        [[nodiscard]] int headerLevel() const noexcept {
            return kind_ == Kind::header ? value_ : 0;
        }
        [[nodiscard]] int ordinal() const noexcept { return kind_ == Kind::listItem ? value_ : 0; }
        [[nodiscard]] int rowIndex() const noexcept { return kind_ == Kind::tableRow ? value_ : 0; }
        [[nodiscard]] int columnIndex() const noexcept {
            return kind_ == Kind::tableCell ? value_ : 0;
        }
        [[nodiscard]] const std::optional<std::string>& languageHint() const noexcept;
        [[nodiscard]] const std::vector<TableColumn>& columns() const noexcept;

        // Same kind, same values and same identity.
        friend bool operator==(const IntentType& a, const IntentType& b);
        [[nodiscard]] std::size_t hash() const noexcept;

        // "listItem(ordinal: 2) #3", for test failures and logs.
        [[nodiscard]] std::string description() const;

    private:
        IntentType(Kind kind, int identity)
            : kind_(kind)
            , identity_(identity) {}

        // The values few kinds have live apart and are shared by copies: every run of a table
        // cell carries the table's columns.
        struct Payload {
            std::optional<std::string> languageHint;
            std::vector<TableColumn> columns;
        };

        Kind kind_;
        int identity_;
        int value_ = 0;
        std::shared_ptr<const Payload> payload_;
    };

    PresentationIntent() = default;
    // `components` innermost first.
    explicit PresentationIntent(std::vector<IntentType> components)
        : components_(std::move(components)) {}
    // `type` nested inside `parent` (nullptr for a top-level block).
    PresentationIntent(IntentType type, const PresentationIntent* parent);

    [[nodiscard]] const std::vector<IntentType>& components() const noexcept { return components_; }

    friend bool operator==(const PresentationIntent&, const PresentationIntent&) = default;
    [[nodiscard]] std::size_t hash() const noexcept;
    // The components innermost first, separated by " < ".
    [[nodiscard]] std::string description() const;

private:
    std::vector<IntentType> components_;
};

[[nodiscard]] const char* describe(PresentationIntent::Kind kind);

} // namespace platform

template <>
struct std::hash<platform::PresentationIntent> {
    std::size_t operator()(const platform::PresentationIntent& intent) const noexcept {
        return intent.hash();
    }
};
template <>
struct std::hash<platform::PresentationIntent::IntentType> {
    std::size_t operator()(const platform::PresentationIntent::IntentType& type) const noexcept {
        return type.hash();
    }
};
template <>
struct std::hash<platform::InlinePresentationIntent> {
    std::size_t operator()(platform::InlinePresentationIntent intent) const noexcept {
        return std::hash<std::uint32_t>()(intent.rawValue);
    }
};
