// Feeds arbitrary bytes to the check of what decoding a HEIF file would make, alone: any input
// must end in a verdict or an ImageDecodeError, and at once. The check runs before the decoder on
// every HEIF file shown, so an input that makes it walk derivations over and over (a few hundred
// bytes can name 12^8 pictures) is a hang here, caught by the target's short per-input limit.

#include "platform/graphics/HeifCost.hpp"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    platform::ImageDecodeLimits limits;
    limits.maxPixelCount = std::int64_t{1} << 20;
    const platform::codecs::Budget budget(limits);
    try {
        platform::codecs::checkHeifDecodeCost({data, size}, budget);
    } catch (const platform::ImageDecodeError&) {
    }
    return 0;
}
