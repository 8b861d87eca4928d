#pragma once

// What the cells of a table and its style tell each other through preferences: the style asks for
// the spacing between cells, every cell reports where it lies. They live beside the styles, which
// write the one and read the other; the table view (blocks/Table) names them as
// TableCell::Identifier, TableCell::Spacing, TableCell::SpacingKey and TableCell::BoundsKey.

#include "platform/foundation/Hash.hpp"
#include "platform/ui/Preference.hpp"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <optional>
#include <vector>

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

// Where cells lie, as anchors of their bounds, in the order the cells reported them; of two
// entries for the same place the later one counts. A flat list, merged by appending: a table of a
// few hundred cells merges its cells' entries with a handful of allocations where a map per cell
// would make one node per cell at every level on the way up. A single entry, what every cell
// reports, is held in place.
class TableCellBounds {
public:
    struct Entry {
        TableCellIdentifier identifier;
        platform::ui::Anchor<platform::Rect> anchor;
        friend bool operator==(const Entry&, const Entry&) = default;
    };

    TableCellBounds() = default;
    TableCellBounds(std::initializer_list<Entry> entries) {
        for (const Entry& entry : entries) {
            push_back(entry);
        }
    }

    [[nodiscard]] const Entry* begin() const { return many_.empty() ? &single_ : many_.data(); }
    [[nodiscard]] const Entry* end() const { return begin() + size(); }
    [[nodiscard]] std::size_t size() const {
        return many_.empty() ? (hasSingle_ ? 1 : 0) : many_.size();
    }
    [[nodiscard]] bool empty() const { return size() == 0; }

    void push_back(const Entry& entry) {
        if (many_.empty() && !hasSingle_) {
            single_ = entry;
            hasSingle_ = true;
            return;
        }
        spill();
        many_.push_back(entry);
    }
    void append(const TableCellBounds& next) {
        if (next.empty()) {
            return;
        }
        if (empty() && next.many_.empty()) {
            single_ = next.single_;
            hasSingle_ = true;
            return;
        }
        spill();
        many_.insert(many_.end(), next.begin(), next.end());
    }
    void clear() {
        many_.clear();
        hasSingle_ = false;
    }

    friend bool operator==(const TableCellBounds& a, const TableCellBounds& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    // Moves the entry held in place into the list, so that the list holds everything.
    void spill() {
        if (many_.empty() && hasSingle_) {
            many_.reserve(8);
            many_.push_back(single_);
        }
        hasSingle_ = false;
    }

    Entry single_;
    bool hasSingle_ = false;
    std::vector<Entry> many_;
};

// Every cell of a table reports where it lies.
struct TableCellBoundsKey {
    using Value = TableCellBounds;
    static Value defaultValue() { return {}; }
    static void reduce(Value& value, const Value& next) { value.append(next); }
};

} // namespace vellum::structured
