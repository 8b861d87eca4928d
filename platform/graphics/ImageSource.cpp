#include "platform/graphics/ImageSource.hpp"

#include "platform/graphics/ImageCodecs.hpp"

#include <algorithm>
#include <array>
#include <csetjmp>
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
    // ISO media files: a "ftyp" box naming an HEVC image brand.
    if (startsWith({'f', 't', 'y', 'p'}, 4) && data.size() >= 12) {
        static constexpr std::array<std::array<char, 4>, 8> brands{{{'h', 'e', 'i', 'c'},
                                                                    {'h', 'e', 'i', 'x'},
                                                                    {'h', 'e', 'i', 'm'},
                                                                    {'h', 'e', 'i', 's'},
                                                                    {'h', 'e', 'v', 'c'},
                                                                    {'h', 'e', 'v', 'x'},
                                                                    {'m', 'i', 'f', '1'},
                                                                    {'m', 's', 'f', '1'}}};
        for (const auto& brand : brands) {
            if (std::equal(brand.begin(), brand.end(), data.begin() + 8))
                return ImageFormat::heic;
        }
    }
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
    case ImageFormat::heic:
        return codecs::decodeHEIF(data, limits);
    }
    codecs::fail(ImageDecodeError::Kind::unknownFormat, "unrecognised image format");
}

namespace {

extern "C" void appendToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

extern "C" void flushNothing(png_structp) {}

/// Writes the PNG; libpng reports errors by jumping back here, so this frame holds nothing with
/// a destructor.
bool writePNG(const std::vector<std::uint8_t>& rgba, int width, int height,
              std::vector<std::uint8_t>& out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, appendToVector, flushNothing);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGBA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // zlib's default level spends four to five times longer than level 3 on detailed pictures
    // for files only about 10 % smaller; encoding sits on interactive paths (copy, export).
    png_set_compression_level(png, 3);
    png_write_info(png, info);
    const std::size_t stride = std::size_t(width) * 4;
    for (int y = 0; y < height; ++y)
        png_write_row(png, rgba.data() + std::size_t(y) * stride);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

std::optional<std::vector<std::uint8_t>> encodePNG(const Image& image) {
    if (image.isNull())
        return std::nullopt;
    const std::vector<std::uint8_t> rgba = image.rgba();
    std::vector<std::uint8_t> out;
    out.reserve(rgba.size() / 4 + 1024);
    if (!writePNG(rgba, image.width(), image.height(), out))
        return std::nullopt;
    return out;
}

} // namespace platform
