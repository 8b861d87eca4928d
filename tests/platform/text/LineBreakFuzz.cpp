// Arbitrary bytes, folded into ASCII, must break where Pango's own analysis breaks them.

#include "platform/text/LineBreaks.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <pango/pango.h>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text;
    text.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        text += static_cast<char>(data[i] & 0x7F);
    }
    std::vector<std::size_t> breaks;
    if (!platform::text_internal::asciiLineBreaks(text, breaks)) {
        if (text.find('\0') == std::string::npos) {
            std::abort(); // only a null character is left to Pango
        }
        return 0;
    }
    std::vector<PangoLogAttr> attributes(text.size() + 1);
    pango_default_break(text.data(), static_cast<int>(text.size()), nullptr, attributes.data(),
                        static_cast<int>(attributes.size()));
    std::vector<std::size_t> expected;
    for (std::size_t c = 1; c <= text.size(); ++c) {
        if (c == text.size() || attributes[c].is_line_break) {
            expected.push_back(c);
        }
    }
    if (breaks != expected) {
        std::abort();
    }
    return 0;
}
