// Arbitrary bytes, folded into ASCII and boxes' characters, must break where Pango's own analysis
// breaks them.

#include "platform/text/LineBreaks.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <pango/pango.h>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text;
    std::vector<std::size_t> byteOf; // of each character, and of the end
    for (std::size_t i = 0; i < size; ++i) {
        byteOf.push_back(text.size());
        text += data[i] == 0x80 ? std::string("\xEF\xBF\xBC") // U+FFFC, which stands for a box
                                : std::string(1, static_cast<char>(data[i] & 0x7F));
    }
    byteOf.push_back(text.size());
    std::vector<std::size_t> breaks;
    if (!platform::text_internal::asciiLineBreaks(text, breaks)) {
        if (text.find('\0') == std::string::npos) {
            std::abort(); // only a null character is left to Pango
        }
        return 0;
    }
    std::vector<PangoLogAttr> attributes(byteOf.size());
    pango_default_break(text.data(), static_cast<int>(text.size()), nullptr, attributes.data(),
                        static_cast<int>(attributes.size()));
    std::vector<std::size_t> expected;
    for (std::size_t c = 1; c < byteOf.size(); ++c) {
        if (c + 1 == byteOf.size() || attributes[c].is_line_break) {
            expected.push_back(byteOf[c]);
        }
    }
    if (breaks != expected) {
        std::abort();
    }
    return 0;
}
