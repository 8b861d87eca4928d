#pragma once

// The HTML fragment of a formatter's tree: the content's elements only (no document, head, body
// or style), every byte fixed so that the same text always copies the same way.
//
// Blocks are joined by one line feed; containers put their children on lines of their own
// ("<ul>\n...\n</ul>"), inline content is written as it comes. A tight list item (one paragraph
// and nothing else, or one paragraph beside other blocks) writes the paragraph's content without
// a p element, first in the item. Text and attribute values are escaped so that nothing in them
// can open markup: <, > and & always, " in attributes, and every character outside printable
// ASCII as a decimal character reference. Code blocks escape only <, > and &. Every link is
// written as a link (web and mail addresses, relative references, fragments, files) except those
// whose scheme runs script or carries a document of its own (javascript:, vbscript:, data:):
// they keep their text and lose the link.

#include "Vellum/export/Formatter.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace vellum {

[[nodiscard]] std::string formatterHTML(const std::vector<Formatter::BlockNode>& blocks);
[[nodiscard]] std::string formatBlockHTML(const Formatter::BlockNode& block);
[[nodiscard]] std::string formatInlineHTML(const Formatter::InlineNode& node);
[[nodiscard]] std::string formatListItemHTML(const Formatter::ListItem& item);
// One table row with `cellTag` ("th" or "td") cells; cells pair with columns by position and
// those beyond the last column are not written.
[[nodiscard]] std::string
formatTableRowHTML(std::string_view cellTag,
                   const std::vector<platform::PresentationIntent::TableColumn>& columns,
                   const std::vector<std::vector<Formatter::InlineNode>>& cells);
[[nodiscard]] std::string
formatTableCellHTML(platform::PresentationIntent::TableColumnAlignment alignment,
                    const std::vector<Formatter::InlineNode>& cell, std::string_view cellTag);

[[nodiscard]] std::string escapeHTMLText(std::string_view text);
[[nodiscard]] std::string escapeHTMLAttribute(std::string_view text);

// Whether a link to `url` is written as a link: all but javascript:, vbscript: and data: (in any
// letter case, whatever blanks or control characters come first).
[[nodiscard]] bool isExportableLink(const platform::URL& url);

} // namespace vellum
