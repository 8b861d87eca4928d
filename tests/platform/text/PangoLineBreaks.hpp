#pragma once

// Pango's own answer to where lines may break, listed as `asciiLineBreaks` lists its own: the
// reference the line-break finder is held to by its tests and its fuzz target.

#include <cstddef>
#include <pango/pango.h>
#include <string>
#include <vector>

namespace moss_test {

/// Every byte offset of the valid UTF-8 `text` before which Pango's analysis lets a line break,
/// then the size itself.
inline std::vector<std::size_t> pangoLineBreaks(const std::string& text) {
    std::vector<std::size_t> byteOf; // of each character, and of the end
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            byteOf.push_back(i);
        }
    }
    byteOf.push_back(text.size());
    std::vector<PangoLogAttr> attributes(byteOf.size());
    pango_default_break(text.data(), static_cast<int>(text.size()), nullptr, attributes.data(),
                        static_cast<int>(attributes.size()));
    std::vector<std::size_t> breaks;
    for (std::size_t c = 1; c < byteOf.size(); ++c) {
        if (c + 1 == byteOf.size() || attributes[c].is_line_break) {
            breaks.push_back(byteOf[c]);
        }
    }
    return breaks;
}

} // namespace moss_test
