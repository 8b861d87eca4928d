#pragma once

// The plain text of a formatter's tree: the characters of the content, blank lines between
// top-level blocks, list markers ("• " or "3. ") with two spaces of indentation per level of
// nesting, and tables as comma-separated rows. Markup leaves no trace: links give their text,
// attachments their text form, a hard line break one space.

#include "Vellum/export/Formatter.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace vellum {

// The text of `blocks` nested `level` deep; inside a list item blocks are separated by one line
// feed instead of an empty line.
[[nodiscard]] std::string formatterPlainText(const std::vector<Formatter::BlockNode>& blocks,
                                             int level, bool inListItem);

// One table cell as a comma-separated field: quoted when it holds a comma, a line feed, a carriage
// return or a double quote (inner ones doubled) or begins or ends with a space.
[[nodiscard]] std::string quoteTableCellText(std::string_view text);

} // namespace vellum
