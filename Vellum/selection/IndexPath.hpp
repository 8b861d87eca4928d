#pragma once

// The address of one glyph slice in a collection of laid-out texts: layout, line, run and slice.
// Paths compare element by element from the layout down, which is document order. A walk from one
// slice to another takes its step function from its user, so the same walk serves forward and
// backward moves and any notion of "next".

#include <array>
#include <compare>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace vellum {

struct IndexPath {
    std::size_t layout = 0;
    std::size_t line = 0;
    std::size_t run = 0;
    std::size_t slice = 0;

    friend constexpr auto operator<=>(const IndexPath&, const IndexPath&) = default;
    /// "0, 2, 1, 5".
    std::string description() const {
        std::string out = std::to_string(layout);
        for (const std::size_t v : {line, run, slice}) {
            out.append(", ");
            out.append(std::to_string(v));
        }
        return out;
    }
};

/// Hands out `first`, then each step's result, up to and including `last`. The walk never compares
/// paths by order: a step function that passes over `last` goes on until it answers nothing.
class IndexPathSequence {
public:
    using Step = std::function<std::optional<IndexPath>(const IndexPath&)>;

    IndexPathSequence(std::optional<IndexPath> first, std::optional<IndexPath> last, Step step)
        : current_(first)
        , end_(last)
        , next_(std::move(step)) {}

    std::optional<IndexPath> next() {
        if (!current_ || !end_) {
            return std::nullopt;
        }
        const IndexPath answer = *current_;
        if (answer == *end_) {
            current_.reset();
        } else {
            current_ = next_(answer);
        }
        return answer;
    }

private:
    std::optional<IndexPath> current_;
    std::optional<IndexPath> end_;
    Step next_;
};

} // namespace vellum

template <>
struct std::hash<vellum::IndexPath> {
    std::size_t operator()(const vellum::IndexPath& p) const noexcept {
        std::size_t h = p.layout;
        for (const std::size_t v : {p.line, p.run, p.slice}) {
            h = h * 1000003u ^ v;
        }
        return h;
    }
};
