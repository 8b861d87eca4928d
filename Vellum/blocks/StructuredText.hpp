#pragma once

// A whole markdown document: parsed whenever its markdown changes (a failed parse shows nothing),
// images and emoji loaded as attachments, then split into blocks, each drawn in the look the
// environment's styles give it.
//
//     vellum::StructuredText(markdown)
//     vellum(vellum::StructuredText(markdown)).structuredTextStyle(StructuredText::GitHubStyle())
//
// The class is also where the library's structured-text names live: StructuredText::HeadingStyle,
// StructuredText::GitHubStyle, StructuredText::BlockVStack and so on. They are defined one per
// header in the namespace vellum::structured (where the library's own code names them
// unqualified) and reached by users through the class.

#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "Vellum/markdown/MarkupParser.hpp"
#include "platform/foundation/URL.hpp"
#include "platform/ui/UI.hpp"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellum {

struct HighlighterTheme;
struct InlineStyle;

namespace structured {
// Styles and what the block views hand them.
class HeadingStyle;
class ParagraphStyle;
class BlockQuoteStyle;
class CodeBlockStyle;
class ListItemStyle;
class UnorderedListMarker;
class OrderedListMarker;
class TableStyle;
class TableCellStyle;
class ThematicBreakStyle;
struct BlockStyleConfiguration;
struct HeadingStyleConfiguration;
struct ListItemStyleConfiguration;
struct CodeBlockStyleConfiguration;
struct TableStyleConfiguration;
struct TableCellStyleConfiguration;
struct OrderedListMarkerConfiguration;
struct UnorderedListMarkerConfiguration;
struct CodeBlockProxy;
struct BlockSpacing;
struct BlockSpacingKey;
struct ResolvedHeadingStyle;
struct ResolvedParagraphStyle;
struct ResolvedBlockQuoteStyle;
struct ResolvedCodeBlockStyle;
struct ResolvedListItemStyle;
struct ResolvedUnorderedListMarker;
struct ResolvedOrderedListMarker;
struct ResolvedTableStyle;
struct ResolvedTableCellStyle;
struct ResolvedThematicBreakStyle;
// The two complete looks and their parts.
struct DefaultStyle;
struct GitHubStyle;
class DefaultHeadingStyle;
class DefaultParagraphStyle;
class DefaultBlockQuoteStyle;
class DefaultCodeBlockStyle;
class DefaultListItemStyle;
class DefaultTableStyle;
class OverflowTableStyle;
class DefaultTableCellStyle;
class DividerThematicBreakStyle;
class GitHubHeadingStyle;
class GitHubParagraphStyle;
class GitHubBlockQuoteStyle;
class GitHubCodeBlockStyle;
class GitHubTableStyle;
class GitHubTableCellStyle;
class GitHubThematicBreakStyle;
class SymbolListMarker;
class HierarchicalSymbolListMarker;
class DashListMarker;
class DecimalListMarker;
class MapOrdinalListMarker;
// The block views.
class BlockContent;
class Block;
class BlockVStack;
struct BlockAlignmentKey;
class Paragraph;
class Heading;
class BlockQuote;
class ThematicBreak;
class CodeBlock;
class MathBlock;
class MathCodeBlock;
class OrderedList;
class UnorderedList;
class Table;
class TableCell;
class TableLayout;
} // namespace structured

class StructuredText {
public:
    // Parses with the platform's markdown (full syntax, failures thrown), relative links and
    // images resolved against `baseURL`, and the given syntax extensions in order.
    explicit StructuredText(std::string markdown,
                            std::optional<platform::URL> baseURL = std::nullopt,
                            std::vector<AttributedStringMarkdownParser::SyntaxExtension>
                                syntaxExtensions = AttributedStringMarkdownParser::syntaxExtensions(
                                    AttributedStringMarkdownParser::defaultPatternOptions()));
    // Every re-parse calls `parser`.
    StructuredText(std::string markdown, std::shared_ptr<const MarkupParser> parser)
        : markup_(std::move(markdown))
        , parser_(std::move(parser)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;

    // What the document shows for `markup`: the parser's result, or nothing when it throws.
    [[nodiscard]] static platform::AttributedString parse(const MarkupParser& parser,
                                                          std::string_view markup);

    using HeadingStyle = structured::HeadingStyle;
    using ParagraphStyle = structured::ParagraphStyle;
    using BlockQuoteStyle = structured::BlockQuoteStyle;
    using CodeBlockStyle = structured::CodeBlockStyle;
    using ListItemStyle = structured::ListItemStyle;
    using UnorderedListMarker = structured::UnorderedListMarker;
    using OrderedListMarker = structured::OrderedListMarker;
    using TableStyle = structured::TableStyle;
    using TableCellStyle = structured::TableCellStyle;
    using ThematicBreakStyle = structured::ThematicBreakStyle;
    using BlockStyleConfiguration = structured::BlockStyleConfiguration;
    using HeadingStyleConfiguration = structured::HeadingStyleConfiguration;
    using ListItemStyleConfiguration = structured::ListItemStyleConfiguration;
    using CodeBlockStyleConfiguration = structured::CodeBlockStyleConfiguration;
    using TableStyleConfiguration = structured::TableStyleConfiguration;
    using TableCellStyleConfiguration = structured::TableCellStyleConfiguration;
    using OrderedListMarkerConfiguration = structured::OrderedListMarkerConfiguration;
    using UnorderedListMarkerConfiguration = structured::UnorderedListMarkerConfiguration;
    using CodeBlockProxy = structured::CodeBlockProxy;
    using BlockSpacing = structured::BlockSpacing;
    using BlockSpacingKey = structured::BlockSpacingKey;
    using ResolvedHeadingStyle = structured::ResolvedHeadingStyle;
    using ResolvedParagraphStyle = structured::ResolvedParagraphStyle;
    using ResolvedBlockQuoteStyle = structured::ResolvedBlockQuoteStyle;
    using ResolvedCodeBlockStyle = structured::ResolvedCodeBlockStyle;
    using ResolvedListItemStyle = structured::ResolvedListItemStyle;
    using ResolvedUnorderedListMarker = structured::ResolvedUnorderedListMarker;
    using ResolvedOrderedListMarker = structured::ResolvedOrderedListMarker;
    using ResolvedTableStyle = structured::ResolvedTableStyle;
    using ResolvedTableCellStyle = structured::ResolvedTableCellStyle;
    using ResolvedThematicBreakStyle = structured::ResolvedThematicBreakStyle;
    using DefaultStyle = structured::DefaultStyle;
    using GitHubStyle = structured::GitHubStyle;
    using DefaultHeadingStyle = structured::DefaultHeadingStyle;
    using DefaultParagraphStyle = structured::DefaultParagraphStyle;
    using DefaultBlockQuoteStyle = structured::DefaultBlockQuoteStyle;
    using DefaultCodeBlockStyle = structured::DefaultCodeBlockStyle;
    using DefaultListItemStyle = structured::DefaultListItemStyle;
    using DefaultTableStyle = structured::DefaultTableStyle;
    using OverflowTableStyle = structured::OverflowTableStyle;
    using DefaultTableCellStyle = structured::DefaultTableCellStyle;
    using DividerThematicBreakStyle = structured::DividerThematicBreakStyle;
    using GitHubHeadingStyle = structured::GitHubHeadingStyle;
    using GitHubParagraphStyle = structured::GitHubParagraphStyle;
    using GitHubBlockQuoteStyle = structured::GitHubBlockQuoteStyle;
    using GitHubCodeBlockStyle = structured::GitHubCodeBlockStyle;
    using GitHubTableStyle = structured::GitHubTableStyle;
    using GitHubTableCellStyle = structured::GitHubTableCellStyle;
    using GitHubThematicBreakStyle = structured::GitHubThematicBreakStyle;
    using SymbolListMarker = structured::SymbolListMarker;
    using HierarchicalSymbolListMarker = structured::HierarchicalSymbolListMarker;
    using DashListMarker = structured::DashListMarker;
    using DecimalListMarker = structured::DecimalListMarker;
    using MapOrdinalListMarker = structured::MapOrdinalListMarker;
    using HighlighterTheme = vellum::HighlighterTheme;
    using BlockContent = structured::BlockContent;
    using Block = structured::Block;
    using BlockVStack = structured::BlockVStack;
    using BlockAlignmentKey = structured::BlockAlignmentKey;
    using Paragraph = structured::Paragraph;
    using Heading = structured::Heading;
    using BlockQuote = structured::BlockQuote;
    using ThematicBreak = structured::ThematicBreak;
    using CodeBlock = structured::CodeBlock;
    using MathBlock = structured::MathBlock;
    using MathCodeBlock = structured::MathCodeBlock;
    using OrderedList = structured::OrderedList;
    using UnorderedList = structured::UnorderedList;
    using Table = structured::Table;
    using TableCell = structured::TableCell;
    using TableLayout = structured::TableLayout;

private:
    std::string markup_;
    std::shared_ptr<const MarkupParser> parser_;
};

} // namespace vellum
