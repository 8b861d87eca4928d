#pragma once

// Internal: the per-format decoders behind ImageSource::decode and the helpers they share.

#include "platform/graphics/ImageSource.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform::codecs {

// The decoders hand Cairo-layout pixels around as bytes B, G, R, A, which is a native-endian
// ARGB word only on little-endian machines.
static_assert(std::endian::native == std::endian::little);

[[noreturn]] inline void fail(ImageDecodeError::Kind kind, const std::string& message) {
    throw ImageDecodeError(kind, message);
}

/// Enforces the decode limits as frames are produced.
class Budget {
public:
    explicit Budget(const ImageDecodeLimits& limits)
        : limits_(limits) {}
    const ImageDecodeLimits& limits() const { return limits_; }
    /// Checks a canvas before anything of its size is allocated.
    void checkCanvas(std::int64_t width, std::int64_t height) const {
        if (width <= 0 || height <= 0)
            fail(ImageDecodeError::Kind::malformed, "image has an empty size");
        if (width > limits_.maxPixelCount / height)
            fail(ImageDecodeError::Kind::tooLarge, "image has too many pixels");
    }
    /// Accounts for one more full frame of `pixels`.
    void takeFrame(std::int64_t pixels) {
        ++frames_;
        if (frames_ > limits_.maxFrameCount)
            fail(ImageDecodeError::Kind::tooLarge, "image has too many frames");
        take(pixels);
    }
    /// Accounts for pixels besides the frames: a canvas kept to undo a frame with, or decoded
    /// pixels that land outside the canvas.
    void take(std::int64_t pixels) {
        total_ += pixels;
        if (total_ > limits_.maxTotalPixelCount)
            fail(ImageDecodeError::Kind::tooLarge, "animation decodes to too many pixels");
    }

private:
    ImageDecodeLimits limits_;
    int frames_ = 0;
    std::int64_t total_ = 0;
};

/// Premultiplied ARGB from straight 8-bit components.
inline std::uint32_t premultiplied(std::uint32_t r, std::uint32_t g, std::uint32_t b,
                                   std::uint32_t a) {
    auto pm = [a](std::uint32_t c) { return (c * a + 127) / 255; };
    return (a << 24) | (pm(r) << 16) | (pm(g) << 8) | pm(b);
}

/// `src` over `dst`, both premultiplied ARGB.
inline std::uint32_t over(std::uint32_t src, std::uint32_t dst) {
    const std::uint32_t sa = src >> 24;
    if (sa == 255)
        return src;
    if (sa == 0)
        return dst;
    const std::uint32_t inv = 255 - sa;
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const std::uint32_t s = (src >> shift) & 0xff;
        const std::uint32_t d = (dst >> shift) & 0xff;
        const std::uint32_t v = s + (d * inv + 127) / 255;
        out |= std::min<std::uint32_t>(v, 255) << shift;
    }
    return out;
}

ImageSource decodePNG(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits);
ImageSource decodeJPEG(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits);
ImageSource decodeGIF(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits);
ImageSource decodeWebP(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits);
ImageSource decodeHEIF(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits);

/// The EXIF orientation (1...8, 1 = upright) a JPEG file records; 1 when it records none.
int jpegOrientation(std::span<const std::uint8_t> data);
/// `image` turned upright from the stored EXIF `orientation`.
Image applyOrientation(const Image& image, int orientation);

} // namespace platform::codecs
