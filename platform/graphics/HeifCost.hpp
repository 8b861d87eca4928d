#pragma once

// Internal: what decoding a HEIF file's primary image will make, read from the file's own boxes
// before the decoder is given it.
//
// The size a file declares for its primary image bounds nothing the decoder does: a grid makes a
// canvas of the size its own record gives, and decodes every tile it names, each as large as its
// coded picture says, however often the same tile is named. A file of a few hundred bytes can
// thus make the decoder allocate gigabytes, or decode the same tile for minutes. So the records
// the decoder will act on are read here first, and the file is refused when they exceed the
// budget: each picture made (canvas or tile) within the pixel limit, all of them together within
// a few times it, and a grid's tiles sized as its record says.

#include "platform/graphics/ImageCodecs.hpp"

#include <cstdint>
#include <span>

namespace platform::codecs {

// Throws ImageDecodeError (tooLarge, or malformed for records that contradict each other) when
// decoding the primary image of `data`, with its alpha plane, would go past `budget`. Files this
// reader cannot follow are left to the decoder, which reports them itself.
void checkHeifDecodeCost(std::span<const std::uint8_t> data, const Budget& budget);

} // namespace platform::codecs
