// Arbitrary bytes become runs of text, inline boxes and attributes; laying them out and asking the
// layout every question must neither crash nor leave the UTF-16 bounds of the text.

#include "platform/text/TextLayout.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

double number(const std::uint8_t* p) {
    double value = 0;
    std::memcpy(&value, p, sizeof value);
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace platform;
    if (size < 16) {
        return 0;
    }
    ParagraphStyle style;
    style.width = number(data);
    style.lineLimit = static_cast<int>(data[8] % 5) - 1;
    style.alignment = static_cast<TextAlignment>(data[9] % 4);
    style.baseDirection = static_cast<WritingDirection>(data[10] % 3);
    style.lineSpacing = data[11] % 8;
    StyledText text;
    std::size_t i = 16;
    while (i < size) {
        const std::uint8_t control = data[i++];
        const std::size_t length = std::min<std::size_t>(control & 0x1F, size - i);
        TextAttributes attributes;
        if (control & 0x20) {
            attributes.font = Font::body().bold().scaled((control & 0x7) + 0.5);
        }
        if (control & 0x40) {
            attributes.baselineOffset = static_cast<std::int8_t>(control);
            attributes.tracking = control % 3;
        }
        if ((control & 0x80) && i + 8 <= size) {
            text.appendBox(InlineBox{{number(data + i), static_cast<double>(control % 40)},
                                     static_cast<double>(static_cast<std::int8_t>(data[i]))},
                           attributes);
            i += 8;
            continue;
        }
        text.append(std::string_view(reinterpret_cast<const char*>(data + i), length), attributes);
        i += length;
    }
    const TextLayout layout(text, style);
    const std::size_t length = layout.length();
    for (const auto& line : layout.lines()) {
        for (const auto& run : line.runs) {
            for (const auto& slice : run.slices) {
                if (slice.characterRange.upperBound > length ||
                    slice.characterRange.lowerBound > slice.characterRange.upperBound) {
                    __builtin_trap();
                }
            }
        }
    }
    for (std::size_t k = 0; k <= length + 1; k += 1 + length / 16) {
        (void)layout.wordRange(k);
        (void)layout.nextWordBoundary(k, true);
        (void)layout.nextWordBoundary(k, false);
        (void)layout.caretRect(k);
        (void)layout.lineIndex(k);
        (void)layout.substring({k, k + 3});
        (void)layout.slice({static_cast<double>(k), static_cast<double>(k)});
    }
    return 0;
}
