// JPEG decoding through libjpeg(-turbo). libjpeg reports fatal errors through a callback that must
// not return; it jumps back to the decode call, whose frame holds no objects with destructors.

#include "platform/graphics/ImageCodecs.hpp"

#include <csetjmp>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

namespace platform::codecs {

namespace {

using Kind = ImageDecodeError::Kind;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool truncated;
};

extern "C" void onError(j_common_ptr info) {
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, err->message);
    std::longjmp(err->jump, 1);
}

extern "C" void onMessage(j_common_ptr info, int level) {
    // A file that stops early only earns a warning (libjpeg pads it with grey); reject it.
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) {
        reinterpret_cast<ErrorManager*>(info->err)->truncated = true;
        onError(info);
    }
}

// Progressive files may repeat scans without limit, each a full pass over the image; no
// ordinary encoder writes more than a few dozen.
constexpr int maxScans = 500;

extern "C" void onProgress(j_common_ptr info) {
    if (info->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > maxScans) {
        auto* err = reinterpret_cast<ErrorManager*>(info->err);
        std::snprintf(err->message, sizeof err->message, "too many progressive scans");
        std::longjmp(err->jump, 1);
    }
}

struct Decoded {
    int width = 0;
    int height = 0;
    bool cmyk = false;
    bool adobeInverted = false;
};

/// Runs libjpeg; returns false with `err.message` set on failure. Only trivially destructible
/// state lives in this frame, so the error jump skips no destructor. `allocate` is called with
/// the output size once the header is read and returns the row buffer (or null to stop).
template <class Allocate>
bool runDecoder(std::span<const std::uint8_t> data, ErrorManager& err, Decoded& out,
                Allocate&& allocate, const Budget& budget, bool& tooLarge) {
    jpeg_decompress_struct info;
    info.err = jpeg_std_error(&err.base);
    err.base.error_exit = onError;
    err.base.emit_message = onMessage;
    err.truncated = false;
    err.message[0] = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_progress_mgr progress{};
    progress.progress_monitor = onProgress;
    info.progress = &progress;
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    if (info.image_width == 0 || info.image_height == 0 ||
        std::int64_t{info.image_width} >
            std::int64_t{budget.limits().maxPixelCount} / std::int64_t{info.image_height}) {
        tooLarge = info.image_width != 0 && info.image_height != 0;
        jpeg_destroy_decompress(&info);
        return false;
    }
    out.cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    out.adobeInverted = out.cmyk && info.saw_Adobe_marker;
    info.out_color_space = out.cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_start_decompress(&info);
    out.width = static_cast<int>(info.output_width);
    out.height = static_cast<int>(info.output_height);
    std::uint8_t* pixels = allocate(out.width, out.height);
    const std::size_t stride = std::size_t(out.width) * 4;
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels + std::size_t(info.output_scanline) * stride;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

ImageSource decodeJPEG(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits) {
    Budget budget(limits);
    ErrorManager err{};
    Decoded decoded;
    std::vector<std::uint32_t> pixels;
    bool tooLarge = false;
    auto allocate = [&](int w, int h) {
        pixels.assign(std::size_t(w) * std::size_t(h), 0);
        return reinterpret_cast<std::uint8_t*>(pixels.data());
    };
    if (!runDecoder(data, err, decoded, allocate, budget, tooLarge)) {
        if (tooLarge)
            fail(Kind::tooLarge, "JPEG image has too many pixels");
        if (err.truncated)
            fail(Kind::truncated, "JPEG file ends early");
        fail(Kind::malformed, std::string("JPEG data: ") + err.message);
    }
    budget.takeFrame(std::int64_t(decoded.width) * decoded.height);
    if (decoded.cmyk) {
        for (std::uint32_t& px : pixels) {
            const auto* b = reinterpret_cast<const std::uint8_t*>(&px);
            std::uint32_t c = b[0], m = b[1], y = b[2], k = b[3];
            if (!decoded.adobeInverted) {
                c = 255 - c;
                m = 255 - m;
                y = 255 - y;
                k = 255 - k;
            }
            // Inverted CMYK: each channel is already "amount of light", scaled by the key.
            px = premultiplied(c * k / 255, m * k / 255, y * k / 255, 255);
        }
    } else {
        for (std::uint32_t& px : pixels)
            px |= 0xff000000u;
    }
    // Shown as stored, a camera's portrait photo would lie on its side.
    Image upright = applyOrientation(Image(decoded.width, decoded.height, std::move(pixels)),
                                     jpegOrientation(data));
    const int width = upright.width();
    const int height = upright.height();
    std::vector<ImageSource::Frame> frames;
    frames.push_back({std::move(upright), std::nullopt});
    return ImageSource(ImageFormat::jpeg, width, height, false, std::nullopt, std::move(frames));
}

} // namespace platform::codecs
