#pragma once

// Decoding of image files (PNG and animated PNG, JPEG, GIF, WebP and animated WebP, HEIC) into
// full-canvas frames, and PNG encoding. Stills are turned upright when the file records an
// orientation. Animated formats are composed frame by frame (disposal and blending applied), so
// every frame is a complete picture of the canvas.

#include "platform/graphics/Image.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform {

enum class ImageFormat : std::uint8_t { png, jpeg, gif, webp, heic };

/// Why bytes could not be decoded.
class ImageDecodeError : public std::runtime_error {
public:
    enum class Kind : std::uint8_t {
        unknownFormat, ///< the bytes start like none of the supported formats
        truncated,     ///< the file ends before its image data does
        malformed,     ///< structurally invalid data
        tooLarge,      ///< more pixels or frames than the limits allow
    };
    ImageDecodeError(Kind kind, const std::string& message)
        : std::runtime_error(message)
        , kind_(kind) {}
    Kind kind() const { return kind_; }
    std::string localizedDescription() const { return what(); }

private:
    Kind kind_;
};

/// Bounds on what one decode may allocate. The defaults accept any ordinary photo or animation
/// (a 4096 × 4096 still, a two-second screen-sized animation) and hold a decode to a few hundred
/// megabytes, whatever a small file claims.
struct ImageDecodeLimits {
    /// Largest canvas (width × height) accepted.
    std::int64_t maxPixelCount = std::int64_t{1} << 24;
    /// Largest sum of pixels one decode holds or decodes: every frame (each a full canvas), the
    /// canvases kept aside to undo a frame, and the decoded pixels of a frame that fall outside
    /// the canvas.
    std::int64_t maxTotalPixelCount = std::int64_t{1} << 25;
    /// Most frames decoded from one file.
    int maxFrameCount = 4000;
};

class ImageSource {
public:
    struct Frame {
        /// The whole canvas as it looks while this frame shows.
        Image image;
        /// Seconds the frame stays on screen, exactly as the file gives it; absent when the file
        /// carries no timing for the frame (a still image, or a GIF frame without control block).
        std::optional<double> delayTime;

        friend bool operator==(const Frame&, const Frame&) = default;
    };

    /// Decodes `data`, detecting the format from its first bytes. Throws `ImageDecodeError`.
    static ImageSource decode(std::span<const std::uint8_t> data,
                              const ImageDecodeLimits& limits = {});

    ImageFormat format() const { return format_; }
    /// The canvas size in pixels (the logical screen of an animation).
    int canvasWidth() const { return canvasWidth_; }
    int canvasHeight() const { return canvasHeight_; }
    /// True when the file is an animation container (animated PNG, animated WebP, or a GIF),
    /// whether or not it has more than one frame.
    bool isAnimationContainer() const { return animated_; }
    /// The loop count as stored: 0 means forever; absent when the file states none.
    std::optional<int> loopCount() const { return loopCount_; }
    const std::vector<Frame>& frames() const { return frames_; }
    std::size_t count() const { return frames_.size(); }

    /// Assembles a result; decoders use it.
    ImageSource(ImageFormat format, int canvasWidth, int canvasHeight, bool animated,
                std::optional<int> loopCount, std::vector<Frame> frames)
        : format_(format)
        , canvasWidth_(canvasWidth)
        , canvasHeight_(canvasHeight)
        , animated_(animated)
        , loopCount_(loopCount)
        , frames_(std::move(frames)) {}

private:
    ImageFormat format_;
    int canvasWidth_;
    int canvasHeight_;
    bool animated_;
    std::optional<int> loopCount_;
    std::vector<Frame> frames_;
};

/// The format the bytes announce, or nothing.
std::optional<ImageFormat> detectImageFormat(std::span<const std::uint8_t> data);

/// Encodes `image` as an 8-bit RGBA PNG; nothing for a null image or when encoding fails.
std::optional<std::vector<std::uint8_t>> encodePNG(const Image& image);

} // namespace platform
