#pragma once

// A markdown table: its rows and cells laid out in a grid, handed to the environment's table style.
// The style decides the spacing between the cells (it publishes it, the grid follows on the next
// pass) and may draw from the cells' measured bounds.
//
// Rows count from 0 with the header row as row 0; a table whose header row is empty (no text, so
// no runs) still gets an empty row 0, so that its first body row is not taken for the header.
// Cells count from 0 in their row, placed at the column their text was written in, so that an
// empty cell, which has no text, leaves its column empty rather than pulling the next cells one
// column to the left; every row is filled up to the table's columns with empty cells.

#include "platform/foundation/AttributedString.hpp"
#include "platform/foundation/PresentationIntent.hpp"
#include "platform/ui/View.hpp"

#include <cstddef>
#include <optional>
#include <vector>

namespace vellum::structured {

class Table {
public:
    using IntentType = platform::PresentationIntent::IntentType;
    using TableColumn = platform::PresentationIntent::TableColumn;

    Table(std::optional<IntentType> intent, platform::AttributedSubstring content,
          std::vector<TableColumn> columns)
        : intent_(std::move(intent))
        , content_(std::move(content))
        , columns_(std::move(columns)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;
    friend bool operator==(const Table&, const Table&) = default;

    // The cells of `content` by row and column, as the grid shows them: rows[r][c] is the text of
    // row r, column c (empty for an empty or missing cell).
    using Rows = std::vector<std::vector<platform::AttributedSubstring>>;
    [[nodiscard]] static Rows rows(const platform::AttributedSubstring& content,
                                   const std::optional<IntentType>& intent,
                                   std::size_t columnCount);

private:
    std::optional<IntentType> intent_;
    platform::AttributedSubstring content_;
    std::vector<TableColumn> columns_;
};

} // namespace vellum::structured
