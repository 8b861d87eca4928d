#pragma once

// A container for block content that may be wider than the text column, such as a wide table.
// With the environment's overflow mode `wrap`, the content is handed `OverflowState::wrap()` and
// laid out across the available width, at its leading edge. With `scroll` (the default) it sits in
// a horizontal scroll view and is handed the visible width (absent on the very first pass, until
// the scroll view has been laid out), so that it can size itself relative to it; the scroll view
// keeps the height the content last had, the content's texts take part in the enclosing text's
// selection like any other, and the region's frame is published under OverflowFrameKey.

#include "Vellum/style/OverflowContainer.hpp"
#include "platform/ui/View.hpp"

#include <functional>
#include <utility>

namespace vellum {

class Overflow {
public:
    using Content = std::function<platform::ui::AnyView(const OverflowState&)>;

    explicit Overflow(Content content)
        : content_(std::move(content)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;

private:
    Content content_;
};

} // namespace vellum
