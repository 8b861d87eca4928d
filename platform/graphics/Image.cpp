#include "platform/graphics/Image.hpp"

#include <algorithm>
#include <stdexcept>

namespace platform {

Image::Image(int width, int height, std::vector<std::uint32_t> premultipliedARGB) {
    if (width <= 0 || height <= 0) {
        if (!premultipliedARGB.empty())
            throw std::invalid_argument("Image: pixels given for an empty size");
        return;
    }
    if (premultipliedARGB.size() !=
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        throw std::invalid_argument("Image: pixel count does not match the size");
    width_ = width;
    height_ = height;
    pixels_ = std::make_shared<const std::vector<std::uint32_t>>(std::move(premultipliedARGB));
}

Image Image::fromRGBA(int width, int height, std::span<const std::uint8_t> rgba) {
    if (width <= 0 || height <= 0)
        return {};
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (rgba.size() != count * 4)
        throw std::invalid_argument("Image: RGBA byte count does not match the size");
    std::vector<std::uint32_t> px(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t r = rgba[i * 4], g = rgba[i * 4 + 1], b = rgba[i * 4 + 2],
                            a = rgba[i * 4 + 3];
        // Rounded premultiplication: (c·a + 127) / 255.
        auto pm = [a](std::uint32_t c) { return (c * a + 127) / 255; };
        px[i] = (a << 24) | (pm(r) << 16) | (pm(g) << 8) | pm(b);
    }
    return Image(width, height, std::move(px));
}

std::span<const std::uint32_t> Image::pixels() const {
    if (!pixels_)
        return {};
    return {pixels_->data(), pixels_->size()};
}

Image::Pixel Image::pixel(int x, int y) const {
    if (!pixels_ || x < 0 || y < 0 || x >= width_ || y >= height_)
        return {};
    const std::uint32_t v =
        (*pixels_)[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                   static_cast<std::size_t>(x)];
    const std::uint32_t a = v >> 24;
    if (a == 0)
        return {};
    auto un = [a](std::uint32_t c) {
        return static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (c * 255 + a / 2) / a));
    };
    return {un((v >> 16) & 0xff), un((v >> 8) & 0xff), un(v & 0xff), static_cast<std::uint8_t>(a)};
}

std::vector<std::uint8_t> Image::rgba() const {
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            const Pixel p = pixel(x, y);
            out.insert(out.end(), {p.red, p.green, p.blue, p.alpha});
        }
    return out;
}

} // namespace platform
