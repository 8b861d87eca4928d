#pragma once

// An immutable bitmap. Pixels are 32-bit premultiplied ARGB in native byte order (the layout the
// drawing context composites directly); copies share the pixel buffer.

#include "platform/graphics/Color.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace platform {

class Image {
public:
    /// A null image (zero by zero pixels).
    Image() = default;
    /// Takes ownership of `width × height` premultiplied ARGB pixels, row by row without padding.
    Image(int width, int height, std::vector<std::uint32_t> premultipliedARGB);
    /// Builds an image from straight (not premultiplied) RGBA bytes, 4 per pixel, row by row.
    static Image fromRGBA(int width, int height, std::span<const std::uint8_t> rgba);

    bool isNull() const { return !pixels_; }
    int width() const { return width_; }
    int height() const { return height_; }
    /// Premultiplied ARGB pixels, `width()` per row.
    std::span<const std::uint32_t> pixels() const;
    /// The straight-alpha colour of one pixel, 0...255 per channel; transparent black outside.
    struct Pixel {
        std::uint8_t red = 0, green = 0, blue = 0, alpha = 0;
        friend constexpr bool operator==(const Pixel&, const Pixel&) = default;
    };
    Pixel pixel(int x, int y) const;
    /// Straight RGBA bytes of the whole image.
    std::vector<std::uint8_t> rgba() const;

    /// Identity: two images are equal when they share their pixel buffer.
    friend bool operator==(const Image& a, const Image& b) { return a.pixels_ == b.pixels_; }

private:
    int width_ = 0;
    int height_ = 0;
    std::shared_ptr<const std::vector<std::uint32_t>> pixels_;
};

} // namespace platform
