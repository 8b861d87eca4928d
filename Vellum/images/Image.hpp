#pragma once

// A decoded picture: one still frame, or the frames of an animation with how long each shows and
// how often the animation plays.

#include "platform/foundation/Data.hpp"
#include "platform/graphics/Geometry.hpp"
#include "platform/graphics/Image.hpp"
#include "platform/graphics/ImageSource.hpp"

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace vellum {

class Image {
public:
    struct Frame {
        /// The whole canvas while this frame shows. Compares by identity of its pixels.
        platform::Image cgImage;
        /// Seconds on screen; 0 for a still image.
        double delayTime = 0;
        friend bool operator==(const Frame&, const Frame&) = default;
    };

    /// Frames in file order; one for a still image.
    std::vector<Frame> frames;
    /// How many times the animation plays; 0 plays it without end, and a still has 0.
    int loopCount = 0;
    /// The canvas in pixels.
    platform::Size size;

    /// Decodes a whole file; nothing when the bytes are not a picture this platform can read or
    /// would exceed `limits`.
    static std::optional<Image> fromData(std::span<const std::uint8_t> data,
                                         const platform::ImageDecodeLimits& limits = {});
    /// The picture a decoded source holds; nothing when it holds no frame.
    static std::optional<Image> fromSource(const platform::ImageSource& source);

    friend bool operator==(const Image&, const Image&) = default;
};

} // namespace vellum

template <>
struct std::hash<vellum::Image::Frame> {
    std::size_t operator()(const vellum::Image::Frame& frame) const noexcept;
};

template <>
struct std::hash<vellum::Image> {
    std::size_t operator()(const vellum::Image& image) const noexcept;
};
