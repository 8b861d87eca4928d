#pragma once

// Encoders for test images, written with the real format libraries so the decoders are checked
// against what ordinary encoders produce.

#include <cstdint>
#include <vector>

namespace fixtures {

using Bytes = std::vector<std::uint8_t>;

/// Straight RGBA pixels of a whole frame.
struct RGBAFrame {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};
RGBAFrame solid(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b,
                std::uint8_t a = 255);

/// A palette GIF frame: indices into `palette` (RGB triples), placed at (left, top).
struct GifFrame {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<std::uint8_t> indices;
    int delayCentiseconds = -1; ///< -1: no graphics control block
    int disposal = 0;
    int transparentIndex = -1;
    bool interlaced = false;
};
Bytes makeGIF(int screenWidth, int screenHeight, const std::vector<std::uint8_t>& palette,
              const std::vector<GifFrame>& frames, int loopCount /* -1: no loop extension */);

Bytes makePNG(const RGBAFrame& frame);

/// An animated PNG. Each frame is a sub-rectangle with its own delay and operations.
struct ApngFrame {
    RGBAFrame pixels;
    int x = 0, y = 0;
    int delayNum = 1, delayDen = 10;
    int dispose = 0, blend = 0;
};
Bytes makeAPNG(int width, int height, const std::vector<ApngFrame>& frames, int plays);

Bytes makeJPEG(const RGBAFrame& frame, int quality = 90);

/// A CMYK JPEG (with the Adobe marker libjpeg writes for it) of one colour, components as stored.
Bytes makeCMYKJPEG(int width, int height, const std::uint8_t (&cmyk)[4]);

/// `jpeg` with an EXIF block recording `orientation` (1...8) right after its start marker.
Bytes withExifOrientation(const Bytes& jpeg, int orientation);

Bytes makeWebP(const RGBAFrame& frame);
/// An animated WebP, lossless, with per-frame durations in milliseconds.
Bytes makeAnimatedWebP(const std::vector<RGBAFrame>& frames, const std::vector<int>& durationsMs,
                       int loopCount);

} // namespace fixtures
