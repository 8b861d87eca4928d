#pragma once

// The writers rewrite a few characters (newlines, markup's own) and copy the rest; most of any
// text is the rest, so it goes over a stretch at a time.

#include <cstddef>
#include <string>
#include <string_view>

namespace vellum::detail {

// Appends `text` from `at` up to the first character `stops` is true for (or the end) and returns
// where it stopped.
template <class Stops>
std::size_t appendPlainStretch(std::string& out, std::string_view text, std::size_t at,
                               Stops stops) {
    std::size_t end = at;
    while (end < text.size() && !stops(text[end])) {
        ++end;
    }
    out.append(text.substr(at, end - at));
    return end;
}

} // namespace vellum::detail
