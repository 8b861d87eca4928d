// WebP decoding through libwebp: the demuxer reads the container (canvas, loop count, per-frame
// durations) and is checked against the limits before the animation decoder allocates its
// canvas; the animation decoder then composes every frame, premultiplied, in Cairo's byte order.

#include "platform/graphics/ImageCodecs.hpp"

#include <cstring>
#include <memory>
#include <webp/decode.h>
#include <webp/demux.h>

namespace platform::codecs {

namespace {

using Kind = ImageDecodeError::Kind;

struct DeleteDemux {
    void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};
struct DeleteAnimDecoder {
    void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

} // namespace

ImageSource decodeWebP(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits) {
    Budget budget(limits);
    const WebPData bytes{data.data(), data.size()};

    WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
    std::unique_ptr<WebPDemuxer, DeleteDemux> demux(WebPDemuxPartial(&bytes, &state));
    if (!demux || state == WEBP_DEMUX_PARSE_ERROR)
        fail(Kind::malformed, "WebP container is invalid");
    if (state != WEBP_DEMUX_DONE)
        fail(Kind::truncated, "WebP file ends early");

    const int canvasW = static_cast<int>(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH));
    const int canvasH = static_cast<int>(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT));
    const std::uint32_t flags = WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS);
    const bool animated = (flags & ANIMATION_FLAG) != 0;
    const int frameCount = static_cast<int>(WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT));
    budget.checkCanvas(canvasW, canvasH);
    if (frameCount <= 0)
        fail(Kind::malformed, "WebP file has no frame");
    // Besides the frames, the animation decoder keeps a second canvas to undo a frame with.
    const std::int64_t canvasPixels = std::int64_t(canvasW) * canvasH;
    if (frameCount > limits.maxFrameCount ||
        (std::int64_t(frameCount) + 1) * canvasPixels > limits.maxTotalPixelCount)
        fail(Kind::tooLarge, "WebP animation decodes to too many pixels");
    budget.take(canvasPixels);

    std::vector<double> durations;
    WebPIterator it;
    if (WebPDemuxGetFrame(demux.get(), 1, &it)) {
        do {
            durations.push_back(it.duration / 1000.0);
        } while (WebPDemuxNextFrame(&it));
        WebPDemuxReleaseIterator(&it);
    }

    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        fail(Kind::malformed, "WebP decoder unavailable");
    options.color_mode = MODE_bgrA; // premultiplied B, G, R, A bytes: Cairo's layout
    options.use_threads = 0;
    std::unique_ptr<WebPAnimDecoder, DeleteAnimDecoder> decoder(
        WebPAnimDecoderNew(&bytes, &options));
    if (!decoder)
        fail(Kind::malformed, "WebP data is invalid");
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info))
        fail(Kind::malformed, "WebP data is invalid");

    std::vector<ImageSource::Frame> frames;
    const std::size_t pixelCount = std::size_t(canvasW) * std::size_t(canvasH);
    while (WebPAnimDecoderHasMoreFrames(decoder.get())) {
        std::uint8_t* buffer = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder.get(), &buffer, &timestamp))
            fail(Kind::malformed, "WebP frame data is invalid");
        budget.takeFrame(std::int64_t(pixelCount));
        std::vector<std::uint32_t> px(pixelCount);
        std::memcpy(px.data(), buffer, pixelCount * 4);
        std::optional<double> delay;
        if (animated && frames.size() < durations.size())
            delay = durations[frames.size()];
        frames.push_back({Image(canvasW, canvasH, std::move(px)), delay});
    }
    if (frames.empty())
        fail(Kind::malformed, "WebP file has no frame");
    std::optional<int> loops;
    if (animated)
        loops = static_cast<int>(info.loop_count);
    return ImageSource(ImageFormat::webp, canvasW, canvasH, animated, loops, std::move(frames));
}

} // namespace platform::codecs
