#pragma once

// How content wider than the text column is fitted: wrapped to the column, or scrolled
// horizontally. Code block styles and the overflow table style read it; the overflow container
// hands its content the state it settled on.

#include "platform/ui/Environment.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vellum {

enum class OverflowMode : std::uint8_t { wrap, scroll };

// What an overflow container tells its content: wrapping, or scrolling in a visible area of
// `containerWidth` (absent until the scroll view has been laid out once).
class OverflowState {
public:
    [[nodiscard]] static OverflowState wrap() { return OverflowState(false, std::nullopt); }
    [[nodiscard]] static OverflowState scroll(std::optional<double> containerWidth) {
        return OverflowState(true, containerWidth);
    }

    [[nodiscard]] bool isScroll() const { return scroll_; }
    // The visible width when scrolling and known.
    [[nodiscard]] std::optional<double> containerWidth() const { return containerWidth_; }

    friend bool operator==(const OverflowState&, const OverflowState&) = default;

private:
    OverflowState(bool scroll, std::optional<double> containerWidth)
        : scroll_(scroll)
        , containerWidth_(scroll ? containerWidth : std::nullopt) {}

    bool scroll_ = false;
    std::optional<double> containerWidth_;
};

struct OverflowModeKey {
    using Value = OverflowMode;
    static Value defaultValue() { return OverflowMode::scroll; }
};

[[nodiscard]] inline OverflowMode overflowMode(const platform::ui::EnvironmentValues& environment) {
    return environment.get<OverflowModeKey>();
}

} // namespace vellum

template <>
struct std::hash<vellum::OverflowState> {
    std::size_t operator()(const vellum::OverflowState& state) const noexcept {
        if (!state.isScroll()) {
            return 0;
        }
        const std::optional<double> width = state.containerWidth();
        // Negative zero folds into zero, so that equal states hash alike.
        return width ? std::hash<double>()(*width == 0 ? 0.0 : *width) * 31 + 2 : 1;
    }
};
