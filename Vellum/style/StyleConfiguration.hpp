#pragma once

// What the block views hand to a component style: the block's rendered content as type-erased
// views, its indentation level and the fields of its kind. Built per block on each evaluation and
// never kept.

#include "Vellum/highlighting/HighlighterTheme.hpp"
#include "Vellum/style/TableLayout.hpp"
#include "platform/foundation/AttributedString.hpp"
#include "platform/ui/View.hpp"

#include <optional>
#include <string>
#include <utility>

namespace vellum::structured {

// A view travelling inside a configuration; shown as the view it wraps.
struct ConfigurationContent {
    platform::ui::AnyView content;

    ConfigurationContent() = default;
    explicit ConfigurationContent(platform::ui::AnyView view)
        : content(std::move(view)) {}

    [[nodiscard]] platform::ui::AnyView body() const { return content; }
};

// A handle on one code block, for the copy button of code block styles.
struct CodeBlockProxy {
    // The code block's text with its attributes.
    platform::AttributedSubstring content;

    // The code as it is copied: a block of its own, without the lists and quotes around it
    // (their markers and indentation are not part of the code).
    [[nodiscard]] platform::AttributedString code() const;
    // Puts the code on the clipboard as plain text and as HTML, replacing what it held.
    void copyToPasteboard() const;
};

// Paragraphs, block quotes and thematic breaks.
struct BlockStyleConfiguration {
    using Label = ConfigurationContent;
    Label label;
    int indentationLevel = 0;
};

struct HeadingStyleConfiguration {
    using Label = ConfigurationContent;
    Label label;
    int indentationLevel = 0;
    // As written in the markdown; styles clamp it to the levels they know.
    int headingLevel = 1;
};

struct ListItemStyleConfiguration {
    using Marker = ConfigurationContent;
    using Block = ConfigurationContent;
    Marker marker;
    Block block;
    int indentationLevel = 0;
};

struct CodeBlockStyleConfiguration {
    using Label = ConfigurationContent;
    Label label;
    int indentationLevel = 0;
    // The fence's info string, if any.
    std::optional<std::string> languageHint;
    CodeBlockProxy codeBlock;
    HighlighterTheme highlighterTheme;
};

struct TableStyleConfiguration {
    using Label = ConfigurationContent;
    Label label;
    int indentationLevel = 0;

    // Always the layout of no cells: a configuration is made before the table is laid out. Styles
    // get the measured geometry from vellum(view).tableBackground or .tableOverlay.
    [[nodiscard]] TableLayout layout() const { return {}; }
};

struct TableCellStyleConfiguration {
    using Label = ConfigurationContent;
    Label label;
    int indentationLevel = 0;
    // 0-based; row 0 is the header row.
    int row = 0;
    int column = 0;
    // Whether the cell's table put what its cells share (TableCellStyle::makeCells) around all of
    // them, so that the cell adds only what differs from cell to cell.
    bool sharedByTable = false;
};

struct OrderedListMarkerConfiguration {
    int indentationLevel = 0;
    // The item's number in its list.
    int ordinal = 1;
};

struct UnorderedListMarkerConfiguration {
    int indentationLevel = 0;
};

} // namespace vellum::structured
