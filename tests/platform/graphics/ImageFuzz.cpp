// Feeds arbitrary bytes to every image decoder (PNG and APNG, JPEG with its EXIF block, GIF,
// WebP, HEIC): any input must end in a decoded image or an ImageDecodeError, within the limits'
// memory.

#include "platform/graphics/ImageSource.hpp"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    platform::ImageDecodeLimits limits;
    limits.maxPixelCount = std::int64_t{1} << 20;
    limits.maxTotalPixelCount = std::int64_t{1} << 22;
    limits.maxFrameCount = 256;
    try {
        const auto source = platform::ImageSource::decode({data, size}, limits);
        for (const auto& frame : source.frames()) {
            // Touch the corners so a wrongly sized buffer shows up under the address sanitizer.
            const auto& image = frame.image;
            (void)image.pixel(0, 0);
            (void)image.pixel(image.width() - 1, image.height() - 1);
        }
    } catch (const platform::ImageDecodeError&) {
    }
    return 0;
}
