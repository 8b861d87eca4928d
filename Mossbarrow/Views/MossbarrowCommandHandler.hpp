#pragma once

#include <functional>

namespace mossbarrow {

// What a window offers the menu: the three commands, acting on that window's section and
// selection. The menu calls the handler of the window that has the focus.
struct MossbarrowCommandHandler {
    std::function<void()> refresh;
    std::function<void()> toggleBookmark;
    std::function<void()> copy;
};

} // namespace mossbarrow
