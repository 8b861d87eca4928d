#include "platform/graphics/ImageSource.hpp"

#include "platform/graphics/ImageCodecs.hpp"

#include <algorithm>
#include <cstring>
#include <png.h>

namespace platform {

std::optional<ImageFormat> detectImageFormat(std::span<const std::uint8_t> data) {
    auto startsWith = [&](std::initializer_list<std::uint8_t> sig, std::size_t at = 0) {
        return data.size() >= at + sig.size() &&
               std::equal(sig.begin(), sig.end(), data.begin() + static_cast<std::ptrdiff_t>(at));
    };
    if (startsWith({0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}))
        return ImageFormat::png;
    if (startsWith({0xff, 0xd8, 0xff}))
        return ImageFormat::jpeg;
    if (startsWith({'G', 'I', 'F', '8', '7', 'a'}) || startsWith({'G', 'I', 'F', '8', '9', 'a'}))
        return ImageFormat::gif;
    if (startsWith({'R', 'I', 'F', 'F'}) && startsWith({'W', 'E', 'B', 'P'}, 8))
        return ImageFormat::webp;
    return std::nullopt;
}

ImageSource ImageSource::decode(std::span<const std::uint8_t> data,
                                const ImageDecodeLimits& limits) {
    const auto format = detectImageFormat(data);
    if (!format)
        codecs::fail(ImageDecodeError::Kind::unknownFormat, "unrecognised image format");
    switch (*format) {
    case ImageFormat::png:
        return codecs::decodePNG(data, limits);
    case ImageFormat::jpeg:
        return codecs::decodeJPEG(data, limits);
    case ImageFormat::gif:
        return codecs::decodeGIF(data, limits);
    case ImageFormat::webp:
        return codecs::decodeWebP(data, limits);
    }
    codecs::fail(ImageDecodeError::Kind::unknownFormat, "unrecognised image format");
}

std::optional<std::vector<std::uint8_t>> encodePNG(const Image& image) {
    if (image.isNull())
        return std::nullopt;
    const std::vector<std::uint8_t> rgba = image.rgba();
    png_image desc;
    std::memset(&desc, 0, sizeof desc);
    desc.version = PNG_IMAGE_VERSION;
    desc.width = static_cast<png_uint_32>(image.width());
    desc.height = static_cast<png_uint_32>(image.height());
    desc.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    // First pass measures, second writes.
    if (!png_image_write_to_memory(&desc, nullptr, &size, 0, rgba.data(), 0, nullptr)) {
        png_image_free(&desc);
        return std::nullopt;
    }
    std::vector<std::uint8_t> out(size);
    if (!png_image_write_to_memory(&desc, out.data(), &size, 0, rgba.data(), 0, nullptr)) {
        png_image_free(&desc);
        return std::nullopt;
    }
    out.resize(size);
    return out;
}

} // namespace platform
