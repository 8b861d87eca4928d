#include "Vellum/images/Image.hpp"

#include "platform/foundation/Hash.hpp"

#include <algorithm>

namespace vellum {

namespace {

// Browsers and the platform image views play frames marked as shorter than this at 0.1 s:
// many GIFs say 0 or 1 centisecond and were made expecting exactly that.
constexpr double shortestDelay = 0.01;
constexpr double replacementDelay = 0.1;

double displayDelay(std::optional<double> stored) {
    const double delay = stored.value_or(0);
    return delay > shortestDelay ? delay : replacementDelay;
}

} // namespace

std::optional<Image> Image::fromData(std::span<const std::uint8_t> data,
                                     const platform::ImageDecodeLimits& limits) {
    try {
        return fromSource(platform::ImageSource::decode(data, limits));
    } catch (const platform::ImageDecodeError&) {
        return std::nullopt;
    }
}

std::optional<Image> Image::fromSource(const platform::ImageSource& source) {
    const auto& frames = source.frames();
    if (frames.empty() || frames.front().image.isNull())
        return std::nullopt;
    Image image;
    if (frames.size() == 1) {
        // A one-frame animation is a still: it has nothing to time or to repeat.
        const platform::Image& bitmap = frames.front().image;
        image.frames.push_back({bitmap, 0});
        image.size = {double(bitmap.width()), double(bitmap.height())};
        return image;
    }
    // Each frame keeps its own delay: a frame the decoder could not produce is never in the
    // list, so delays cannot slide onto the wrong frames.
    image.frames.reserve(frames.size());
    for (const auto& frame : frames) {
        if (!frame.image.isNull())
            image.frames.push_back({frame.image, displayDelay(frame.delayTime)});
    }
    image.loopCount = std::max(source.loopCount().value_or(0), 0);
    image.size = {double(source.canvasWidth()), double(source.canvasHeight())};
    if (image.size.width <= 0 || image.size.height <= 0) {
        const platform::Image& first = image.frames.front().cgImage;
        image.size = {double(first.width()), double(first.height())};
    }
    return image;
}

} // namespace vellum

std::size_t
std::hash<vellum::Image::Frame>::operator()(const vellum::Image::Frame& frame) const noexcept {
    // Frames are equal when they share pixels, so the pixel buffer's address identifies them.
    const auto pixels = frame.cgImage.pixels();
    const std::size_t a = std::hash<const void*>()(pixels.data());
    return platform::hashCombine(a, std::hash<double>()(frame.delayTime));
}

std::size_t std::hash<vellum::Image>::operator()(const vellum::Image& image) const noexcept {
    std::size_t h = std::hash<int>()(image.loopCount);
    auto mix = [&h](std::size_t v) { h = platform::hashCombine(h, v); };
    mix(std::hash<double>()(image.size.width));
    mix(std::hash<double>()(image.size.height));
    for (const auto& frame : image.frames)
        mix(std::hash<vellum::Image::Frame>()(frame));
    return h;
}
