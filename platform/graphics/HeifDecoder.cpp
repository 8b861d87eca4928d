// HEIC decoding through libheif (HEVC by libde265). The primary image is decoded with the file's
// rotation, mirroring and cropping applied, so it shows upright. A file holding several images
// (a burst, a thumbnail set) shows its primary one.

#include "platform/graphics/HeifCost.hpp"
#include "platform/graphics/ImageCodecs.hpp"

#include <algorithm>
#include <libheif/heif.h>
#include <memory>

namespace platform::codecs {

namespace {

using Kind = ImageDecodeError::Kind;

struct FreeContext {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct ReleaseHandle {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ReleaseImage {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct FreeOptions {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

void check(const heif_error& error, Kind kind, const char* what) {
    if (error.code != heif_error_Ok)
        fail(kind, std::string(what) + ": " + (error.message ? error.message : "unknown error"));
}

Kind kindOf(const heif_error& error) {
    if (error.code == heif_error_Invalid_input && error.subcode == heif_suberror_End_of_data)
        return Kind::truncated;
    if (error.code == heif_error_Memory_allocation_error)
        return Kind::tooLarge;
    return Kind::malformed;
}

} // namespace

ImageSource decodeHEIF(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits) {
    Budget budget(limits);
    std::unique_ptr<heif_context, FreeContext> context(heif_context_alloc());
    if (!context)
        fail(Kind::tooLarge, "HEIF decoder could not be created");
    const heif_error read = heif_context_read_from_memory_without_copy(context.get(), data.data(),
                                                                       data.size(), nullptr);
    check(read, kindOf(read), "HEIF container");

    heif_image_handle* rawHandle = nullptr;
    const heif_error primary = heif_context_get_primary_image_handle(context.get(), &rawHandle);
    std::unique_ptr<heif_image_handle, ReleaseHandle> handle(rawHandle);
    check(primary, kindOf(primary), "HEIF primary image");
    // The stored size bounds the decoder's allocations; check it before any pixel is decoded.
    const int declaredWidth = heif_image_handle_get_width(handle.get());
    const int declaredHeight = heif_image_handle_get_height(handle.get());
    budget.checkCanvas(declaredWidth, declaredHeight);
    // What the decoder will make is what the file's records of grids, overlays and tiles say,
    // not the size declared above: those records are checked against the budget first.
    checkHeifDecodeCost(data, budget);
    // A grid's own record of its size need not agree with the size declared for it (a file of a
    // kilobyte can describe a grid of 18,000 pixels square, which the decoder would make and fill
    // before finding its tiles missing). No image of the file may be larger on a side than the
    // declared size, with room for the coded picture's padding.
    heif_context_set_maximum_image_size_limit(context.get(),
                                              std::max(declaredWidth, declaredHeight) + 64);

    std::unique_ptr<heif_decoding_options, FreeOptions> options(heif_decoding_options_alloc());
    if (!options)
        fail(Kind::tooLarge, "HEIF decoder could not be created");
    options->ignore_transformations = 0;
    options->convert_hdr_to_8bit = 1;
    heif_image* rawImage = nullptr;
    const heif_error decoded = heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                                                 heif_chroma_interleaved_RGBA, options.get());
    std::unique_ptr<heif_image, ReleaseImage> image(rawImage);
    check(decoded, kindOf(decoded), "HEIF image data");

    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    budget.checkCanvas(width, height);
    int stride = 0;
    const std::uint8_t* plane =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (plane == nullptr || stride < width * 4)
        fail(Kind::malformed, "HEIF image has no pixels");
    budget.takeFrame(std::int64_t(width) * height);

    std::vector<std::uint32_t> pixels(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = plane + std::size_t(y) * std::size_t(stride);
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = row + std::size_t(x) * 4;
            pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] =
                premultiplied(p[0], p[1], p[2], p[3]);
        }
    }
    std::vector<ImageSource::Frame> frames;
    frames.push_back({Image(width, height, std::move(pixels)), std::nullopt});
    return ImageSource(ImageFormat::heic, width, height, false, std::nullopt, std::move(frames));
}

} // namespace platform::codecs
