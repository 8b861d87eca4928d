#pragma once

#include "platform/graphics/Geometry.hpp"
#include "platform/graphics/Image.hpp"

#include <cstdint>
#include <memory>

namespace platform {

/// An offscreen bitmap to draw into. `scale` maps points to pixels: a 100 × 50 point surface at
/// scale 2 has 200 × 100 pixels and contexts on it start with a 2× transform.
class ImageSurface {
public:
    /// Largest accepted pixel count; bigger requests throw `std::length_error`.
    static constexpr std::int64_t maxPixelCount = std::int64_t{1} << 28;

    /// A transparent surface of `pixelWidth × pixelHeight` pixels (each at least 1).
    ImageSurface(int pixelWidth, int pixelHeight, double scale = 1.0);
    /// A surface covering `size` points at `scale`, pixel sizes rounded up.
    static ImageSurface ofSize(Size size, double scale = 1.0);
    ~ImageSurface();
    ImageSurface(ImageSurface&&) noexcept;
    ImageSurface& operator=(ImageSurface&&) noexcept;
    ImageSurface(const ImageSurface&) = delete;
    ImageSurface& operator=(const ImageSurface&) = delete;

    int pixelWidth() const;
    int pixelHeight() const;
    double scale() const;

    /// A copy of the current pixels.
    Image makeImage() const;

    struct Internal;
    Internal& internal() { return *internal_; }

private:
    std::unique_ptr<Internal> internal_;
};

} // namespace platform
