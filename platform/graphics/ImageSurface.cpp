#include "platform/graphics/ImageSurface.hpp"

#include "platform/graphics/CairoAccess.hpp"

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace platform {

ImageSurface::Internal::~Internal() {
    if (surface)
        cairo_surface_destroy(surface);
}

ImageSurface::ImageSurface(int pixelWidth, int pixelHeight, double scale)
    : internal_(std::make_unique<Internal>()) {
    if (pixelWidth < 1 || pixelHeight < 1)
        throw std::invalid_argument("ImageSurface: size must be at least one pixel");
    if (std::int64_t{pixelWidth} * pixelHeight > maxPixelCount)
        throw std::length_error("ImageSurface: too many pixels");
    if (!(scale > 0) || !std::isfinite(scale))
        throw std::invalid_argument("ImageSurface: scale must be positive");
    internal_->surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth, pixelHeight);
    if (cairo_surface_status(internal_->surface) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("ImageSurface: cannot create surface");
    internal_->scale = scale;
}

ImageSurface ImageSurface::ofSize(Size size, double scale) {
    const double w = std::ceil(size.width * scale);
    const double h = std::ceil(size.height * scale);
    if (!(w >= 1 && h >= 1 && w * h <= static_cast<double>(maxPixelCount)))
        throw std::length_error("ImageSurface: size out of range");
    return ImageSurface(static_cast<int>(w), static_cast<int>(h), scale);
}

ImageSurface::~ImageSurface() = default;
ImageSurface::ImageSurface(ImageSurface&&) noexcept = default;
ImageSurface& ImageSurface::operator=(ImageSurface&&) noexcept = default;

int ImageSurface::pixelWidth() const {
    return cairo_image_surface_get_width(internal_->surface);
}
int ImageSurface::pixelHeight() const {
    return cairo_image_surface_get_height(internal_->surface);
}
double ImageSurface::scale() const {
    return internal_->scale;
}

Image ImageSurface::makeImage() const {
    cairo_surface_flush(internal_->surface);
    const int w = pixelWidth();
    const int h = pixelHeight();
    const int stride = cairo_image_surface_get_stride(internal_->surface);
    const unsigned char* data = cairo_image_surface_get_data(internal_->surface);
    std::vector<std::uint32_t> px(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y)
        std::memcpy(px.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w),
                    data + static_cast<std::ptrdiff_t>(y) * stride,
                    static_cast<std::size_t>(w) * 4);
    return Image(w, h, std::move(px));
}

} // namespace platform
