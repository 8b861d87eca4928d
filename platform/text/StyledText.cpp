#include "platform/text/StyledText.hpp"

#include <algorithm>
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
    // Runs are appended one after another to one string: it grows as a string grows.
    if (out.capacity() < out.size() + text.size()) {
        out.reserve(std::max(out.size() + text.size(), 2 * out.capacity()));
    }
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

void StyledText::addAttributes(const TextAttributes& attributes) {
    // The last few distinct ones are looked at: runs alternate among a handful.
    const std::size_t count = attributes_.size();
    for (std::size_t back = 1; back <= std::min<std::size_t>(4, count); ++back) {
        if (attributes_[count - back] == attributes) {
            attributesOfRun_.push_back(static_cast<std::uint32_t>(count - back));
            return;
        }
    }
    attributes_.push_back(attributes);
    attributesOfRun_.push_back(static_cast<std::uint32_t>(count));
}

StyledText& StyledText::append(std::string_view text, const TextAttributes& attributes) {
    starts_.push_back(text_.size());
    appendValidUtf8(text_, text);
    addAttributes(attributes);
    if (!boxOfRun_.empty()) {
        boxOfRun_.push_back(noBox);
    }
    return *this;
}

StyledText& StyledText::appendBox(const InlineBox& box, const TextAttributes& attributes) {
    if (boxOfRun_.empty()) {
        boxOfRun_.reserve(starts_.capacity());
        boxOfRun_.assign(starts_.size(), noBox);
    }
    starts_.push_back(text_.size());
    text_ += "\xEF\xBF\xBC";
    addAttributes(attributes);
    boxOfRun_.push_back(static_cast<std::uint32_t>(boxes_.size()));
    boxes_.push_back(box);
    return *this;
}

void StyledText::reserve(std::size_t runs) {
    starts_.reserve(runs);
    attributesOfRun_.reserve(runs);
}

StyledText::Run StyledText::run(std::size_t index) const {
    const std::size_t start = starts_[index];
    const std::size_t end = index + 1 < starts_.size() ? starts_[index + 1] : text_.size();
    std::optional<InlineBox> box;
    if (!boxOfRun_.empty() && boxOfRun_[index] != noBox) {
        box = boxes_[boxOfRun_[index]];
    }
    return {std::string_view(text_).substr(start, end - start),
            attributes_[attributesOfRun_[index]], box};
}

} // namespace platform
