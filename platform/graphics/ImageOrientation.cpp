// Orientation of still images: cameras store pixels as the sensor read them and record how the
// picture must be turned in an EXIF tag. Shown without it, portrait photos lie on their side.

#include "platform/graphics/ImageCodecs.hpp"

#include <cstring>

namespace platform::codecs {

namespace {

/// Reads a TIFF header and IFD0 of an EXIF block for tag 0x0112. Every offset is checked
/// against the block, so a hostile block can only fail to yield a value.
int orientationFromTIFF(std::span<const std::uint8_t> tiff) {
    if (tiff.size() < 8)
        return 1;
    bool little = false;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        little = true;
    else if (!(tiff[0] == 'M' && tiff[1] == 'M'))
        return 1;
    auto u16 = [&](std::size_t at) -> std::uint32_t {
        return little ? std::uint32_t(tiff[at] | (tiff[at + 1] << 8))
                      : std::uint32_t((tiff[at] << 8) | tiff[at + 1]);
    };
    auto u32 = [&](std::size_t at) -> std::uint32_t {
        return little ? (u16(at) | (u16(at + 2) << 16)) : ((u16(at) << 16) | u16(at + 2));
    };
    if (u16(2) != 42)
        return 1;
    const std::size_t ifd = u32(4);
    if (ifd > tiff.size() - 2)
        return 1;
    const std::size_t entries = u16(ifd);
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t entry = ifd + 2 + i * 12;
        // Added, not subtracted: a block shorter than one entry must not wrap the bound around.
        if (entry + 12 > tiff.size())
            return 1;
        // A SHORT value sits in the first two bytes of the value field.
        if (u16(entry) == 0x0112 && u16(entry + 2) == 3) {
            const std::uint32_t value = u16(entry + 8);
            return value >= 1 && value <= 8 ? int(value) : 1;
        }
    }
    return 1;
}

} // namespace

int jpegOrientation(std::span<const std::uint8_t> data) {
    // Markers before the first scan; APP1 "Exif\0\0" carries the tag.
    std::size_t at = 2;
    while (at + 4 <= data.size()) {
        if (data[at] != 0xff)
            return 1;
        const std::uint8_t marker = data[at + 1];
        if (marker == 0xff) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xda || marker == 0xd9)
            return 1;
        const std::size_t length = std::size_t(data[at + 2] << 8) | data[at + 3];
        if (length < 2 || at + 2 + length > data.size())
            return 1;
        const auto segment = data.subspan(at + 4, length - 2);
        if (marker == 0xe1 && segment.size() >= 6 &&
            std::memcmp(segment.data(), "Exif\0\0", 6) == 0)
            return orientationFromTIFF(segment.subspan(6));
        at += 2 + length;
    }
    return 1;
}

Image applyOrientation(const Image& image, int orientation) {
    if (orientation <= 1 || orientation > 8 || image.isNull())
        return image;
    const int w = image.width();
    const int h = image.height();
    const bool transposed = orientation >= 5;
    const int outW = transposed ? h : w;
    const int outH = transposed ? w : h;
    const auto src = image.pixels();
    std::vector<std::uint32_t> out(src.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            // Where the stored pixel (x, y) lands in the upright picture.
            int ox = x, oy = y;
            switch (orientation) {
            case 2:
                ox = w - 1 - x;
                break;
            case 3:
                ox = w - 1 - x;
                oy = h - 1 - y;
                break;
            case 4:
                oy = h - 1 - y;
                break;
            case 5:
                ox = y;
                oy = x;
                break;
            case 6:
                ox = h - 1 - y;
                oy = x;
                break;
            case 7:
                ox = h - 1 - y;
                oy = w - 1 - x;
                break;
            case 8:
                ox = y;
                oy = w - 1 - x;
                break;
            default:
                break;
            }
            out[std::size_t(oy) * std::size_t(outW) + std::size_t(ox)] =
                src[std::size_t(y) * std::size_t(w) + std::size_t(x)];
        }
    }
    return Image(outW, outH, std::move(out));
}

} // namespace platform::codecs
