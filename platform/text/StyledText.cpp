#include "platform/text/StyledText.hpp"

#include <cstdint>
#include <cstring>

namespace platform {
namespace {

/// Whether the eight bytes at `bytes` are all ASCII and none is a null character.
bool isPlainAscii(const char* bytes) {
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t highs = 0x8080808080808080;
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    // A high bit set, or a byte that borrows when one is taken from it (a null).
    return ((word | ((word - ones) & ~word)) & highs) == 0;
}

/// Appends `text` to `out`, replacing every invalid or overlong UTF-8 sequence, surrogate and
/// out-of-range code point by U+FFFD, so that the layout engine only ever sees valid text.
void appendValidUtf8(std::string& out, std::string_view text) {
    constexpr std::string_view replacement = "\xEF\xBF\xBD";
    out.reserve(out.size() + text.size());
    // Valid text is copied in stretches, not a character at a time.
    std::size_t valid = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        // Eight bytes at a time while they are ASCII without a null character.
        while (i + 8 <= text.size() && isPlainAscii(text.data() + i)) {
            i += 8;
        }
        if (i == text.size()) {
            break;
        }
        const auto b0 = static_cast<std::uint8_t>(text[i]);
        if (b0 < 0x80 && b0 != 0) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t cp = 0;
        if ((b0 & 0xE0) == 0xC0) {
            length = 2;
            cp = b0 & 0x1F;
        } else if ((b0 & 0xF0) == 0xE0) {
            length = 3;
            cp = b0 & 0x0F;
        } else if ((b0 & 0xF8) == 0xF0) {
            length = 4;
            cp = b0 & 0x07;
        }
        bool ok = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; ok && k < length; ++k) {
            const auto b = static_cast<std::uint8_t>(text[i + k]);
            ok = (b & 0xC0) == 0x80;
            cp = (cp << 6) | (b & 0x3F);
        }
        if (ok) {
            static constexpr std::uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
            ok = cp >= minimum[length] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        }
        if (ok) {
            i += length;
        } else {
            out.append(text.substr(valid, i - valid));
            out.append(replacement);
            i += 1;
            valid = i;
        }
    }
    out.append(text.substr(valid));
}

} // namespace

StyledText& StyledText::append(std::string_view text, TextAttributes attributes) {
    Run& run = runs_.emplace_back();
    appendValidUtf8(run.text, text);
    run.attributes = std::move(attributes);
    return *this;
}

StyledText& StyledText::appendBox(const InlineBox& box, TextAttributes attributes) {
    Run& run = runs_.emplace_back();
    run.text = "\xEF\xBF\xBC";
    run.attributes = std::move(attributes);
    run.box = box;
    return *this;
}

std::string StyledText::string() const {
    std::string joined;
    for (const Run& run : runs_) {
        joined += run.text;
    }
    return joined;
}

} // namespace platform
