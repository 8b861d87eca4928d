// Arbitrary bytes, folded into ASCII and boxes' characters, must break where Pango's own analysis
// breaks them.

#include "platform/text/LineBreaks.hpp"
#include "tests/platform/text/PangoLineBreaks.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += data[i] == 0x80 ? std::string("\xEF\xBF\xBC") // U+FFFC, which stands for a box
                                : std::string(1, static_cast<char>(data[i] & 0x7F));
    }
    std::vector<std::size_t> breaks;
    if (!platform::text_internal::asciiLineBreaks(text, breaks)) {
        if (text.find('\0') == std::string::npos) {
            std::abort(); // only a null character is left to Pango
        }
        return 0;
    }
    if (breaks != moss_test::pangoLineBreaks(text)) {
        std::abort();
    }
    return 0;
}
