#pragma once

// What the cells of a table and its style tell each other through preferences: the style asks for
// the spacing between cells, every cell reports where it lies. They live beside the styles, which
// write the one and read the other; the table view (blocks/Table) names them as
// TableCell::Identifier, TableCell::Spacing, TableCell::SpacingKey and TableCell::BoundsKey.

#include "platform/foundation/Hash.hpp"
#include "platform/ui/Preference.hpp"

#include <cstddef>
#include <functional>
#include <optional>
#include <unordered_map>

namespace vellum::structured {

// A cell's place in its table, both 0-based; row 0 is the header row.
struct TableCellIdentifier {
    int row = 0;
    int column = 0;
    friend bool operator==(const TableCellIdentifier&, const TableCellIdentifier&) = default;
};

// The space between the cells of a table; an absent side keeps the grid's own spacing.
struct TableCellSpacing {
    std::optional<double> horizontal;
    std::optional<double> vertical;
    friend bool operator==(const TableCellSpacing&, const TableCellSpacing&) = default;
};

// The spacing a table style asks for; the last one published wins.
struct TableCellSpacingKey {
    using Value = TableCellSpacing;
    static Value defaultValue() { return {}; }
    static void reduce(Value& value, Value next) { value = next; }
};

} // namespace vellum::structured

template <>
struct std::hash<vellum::structured::TableCellIdentifier> {
    std::size_t operator()(const vellum::structured::TableCellIdentifier& id) const noexcept {
        return platform::hashCombine(std::hash<int>()(id.row), std::hash<int>()(id.column));
    }
};

template <>
struct std::hash<vellum::structured::TableCellSpacing> {
    std::size_t operator()(const vellum::structured::TableCellSpacing& spacing) const noexcept {
        // A presence flag per side, then its value with negative zero folded into zero, so that
        // equal spacings hash alike.
        const auto side = [](std::size_t seed, std::optional<double> value) {
            seed = platform::hashCombine(seed, value ? 1U : 0U);
            return value ? platform::hashCombine(seed, std::hash<double>()(*value + 0.0)) : seed;
        };
        return side(side(0, spacing.horizontal), spacing.vertical);
    }
};

namespace vellum::structured {

// Where every cell of a table lies, each as an anchor of its bounds; the entries of the cells
// merge, a later cell replacing an earlier one of the same place.
struct TableCellBoundsKey {
    using Value = std::unordered_map<TableCellIdentifier, platform::ui::Anchor<platform::Rect>>;
    static Value defaultValue() {
        static const Value empty;
        return empty;
    }
    static void reduce(Value& value, Value next) {
        for (auto& [identifier, anchor] : next) {
            value.insert_or_assign(identifier, anchor);
        }
    }
};

} // namespace vellum::structured
