#include "platform/ui/GridPlan.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace platform::ui {

namespace {

// Each column clamped between its minimum and its cap at one common width `level`, the one at
// which they fill `available` (the minimums fit). The total grows with the level, so walk its
// breakpoints up to the one that passes the available width and solve the linear piece before
// it.
std::vector<CGFloat> levelled(CGFloat available, const std::vector<CGFloat>& minimums,
                              const std::vector<CGFloat>& caps) {
    const auto clamped = [&](std::size_t c, CGFloat level) {
        return std::max(minimums[c], std::min(caps[c], level));
    };
    const auto total = [&](CGFloat level) {
        CGFloat sum = 0;
        for (std::size_t c = 0; c < caps.size(); ++c) {
            sum += clamped(c, level);
        }
        return sum;
    };
    std::vector<CGFloat> breakpoints = minimums;
    breakpoints.insert(breakpoints.end(), caps.begin(), caps.end());
    std::ranges::sort(breakpoints);
    CGFloat below = breakpoints.front();
    CGFloat level = breakpoints.back();
    for (const CGFloat b : breakpoints) {
        if (total(b) >= available) {
            std::size_t free = 0;
            for (std::size_t c = 0; c < caps.size(); ++c) {
                free += minimums[c] <= below && caps[c] >= b ? 1 : 0;
            }
            level = free == 0 ? b : below + (available - total(below)) / static_cast<CGFloat>(free);
            break;
        }
        below = b;
    }
    std::vector<CGFloat> widths(caps.size());
    for (std::size_t c = 0; c < caps.size(); ++c) {
        widths[c] = clamped(c, level);
    }
    return widths;
}

// Narrows `widths` (the columns' ideal widths) to fit `available`. Every column keeps at least its
// minimum, the width below which a cell would have to break a word; the widest columns give up
// the excess first, down to one common width. Where even the minimums do not fit, the grid is as
// wide as they are and its container deals with the overflow.
void shrinkColumns(CGFloat available, std::vector<CGFloat>& widths, LayoutSubviews subviews,
                   std::span<const GridPlace> places) {
    const CGFloat ideal = std::accumulate(widths.begin(), widths.end(), CGFloat(0));
    if (ideal <= available) {
        return;
    }
    const std::size_t count = std::min(subviews.size(), places.size());
    const std::vector<CGFloat> ideals = widths;
    std::vector<CGFloat> minimums(widths.size(), 0);
    for (std::size_t i = 0; i < count; ++i) {
        if (!places[i].spansRow) {
            const auto c = static_cast<std::size_t>(places[i].column);
            minimums[c] = std::max(minimums[c], subviews[i].sizeThatFits({0.0, {}}).width);
        }
    }
    for (std::size_t c = 0; c < widths.size(); ++c) {
        minimums[c] = std::min(minimums[c], ideals[c]);
    }
    if (std::accumulate(minimums.begin(), minimums.end(), CGFloat(0)) >= available) {
        widths = minimums;
        return;
    }
    // A narrowed column is as wide as its widest cell at that width: text that wraps comes back
    // narrower than the width it was offered, and the column must not keep the rest (a style that
    // fills a column up to the next one would show it as a gap). What it leaves goes to the
    // columns still narrower than their ideal: such a column is held at its measured width (its
    // lines break as they did) and the level is solved again, a few times at most, each pass
    // measuring the cells once more.
    std::vector<CGFloat> caps = ideals;
    std::vector<CGFloat> measured(widths.size(), 0);
    constexpr int passes = 3;
    for (int pass = 0; pass < passes; ++pass) {
        widths = levelled(available, minimums, caps);
        std::ranges::fill(measured, CGFloat(0));
        for (std::size_t i = 0; i < count; ++i) {
            const auto c = static_cast<std::size_t>(places[i].column);
            if (!places[i].spansRow && widths[c] < ideals[c]) {
                measured[c] =
                    std::max(measured[c], subviews[i].sizeThatFits({widths[c], {}}).width);
            }
        }
        bool freed = false;
        bool hungry = false;
        for (std::size_t c = 0; c < widths.size(); ++c) {
            if (widths[c] < ideals[c]) {
                const CGFloat used = std::min(measured[c], ideals[c]);
                if (used < widths[c] - 0.5) {
                    caps[c] = std::max(used, minimums[c]);
                    freed = true;
                } else {
                    hungry = true; // fills its width: it would take more
                }
                widths[c] = used;
            }
        }
        if (!freed || !hungry) {
            break;
        }
    }
}

std::vector<CGFloat> starts(const std::vector<CGFloat>& lengths, CGFloat from, CGFloat spacing) {
    std::vector<CGFloat> result(lengths.size());
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        result[i] = from;
        from += lengths[i] + spacing;
    }
    return result;
}

} // namespace

std::vector<CGFloat> GridPlan::columnStarts(CGFloat x, CGFloat spacing) const {
    return starts(columnWidths, x, spacing);
}

std::vector<CGFloat> GridPlan::rowStarts(CGFloat y, CGFloat spacing) const {
    return starts(rowHeights, y, spacing);
}

GridPlan planGrid(ProposedViewSize p, LayoutSubviews subviews, std::span<const GridPlace> places,
                  int rows, int columns, CGFloat horizontalSpacing, CGFloat verticalSpacing) {
    GridPlan plan;
    const std::size_t count = std::min(subviews.size(), places.size());
    plan.columnWidths.assign(static_cast<std::size_t>(std::max(columns, 0)), 0);
    plan.rowHeights.assign(static_cast<std::size_t>(std::max(rows, 0)), 0);
    for (std::size_t i = 0; i < count; ++i) {
        if (!places[i].spansRow) {
            const auto c = static_cast<std::size_t>(places[i].column);
            plan.columnWidths[c] =
                std::max(plan.columnWidths[c], subviews[i].sizeThatFits({}).width);
        }
    }
    const CGFloat spacingTotal = horizontalSpacing * std::max(columns - 1, 0);
    if (p.width && std::isfinite(*p.width)) {
        shrinkColumns(std::max(*p.width - spacingTotal, CGFloat(0)), plan.columnWidths, subviews,
                      places);
    }
    const CGFloat width =
        std::accumulate(plan.columnWidths.begin(), plan.columnWidths.end(), CGFloat(0)) +
        spacingTotal;
    for (std::size_t i = 0; i < count; ++i) {
        const GridPlace& place = places[i];
        const CGFloat w =
            place.spansRow ? width : plan.columnWidths[static_cast<std::size_t>(place.column)];
        const auto r = static_cast<std::size_t>(place.row);
        plan.rowHeights[r] =
            std::max(plan.rowHeights[r], subviews[i].sizeThatFits({w, std::nullopt}).height);
    }
    const CGFloat height =
        std::accumulate(plan.rowHeights.begin(), plan.rowHeights.end(), CGFloat(0)) +
        verticalSpacing * std::max(rows - 1, 0);
    plan.size = {width, height};
    return plan;
}

} // namespace platform::ui
