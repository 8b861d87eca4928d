// GIF decoding through giflib's record-level reader, so every frame's size is checked against the
// limits before any of its pixels are allocated, and frames are composed onto the logical screen
// with their disposal methods.

#include "platform/graphics/ImageCodecs.hpp"

#include <algorithm>
#include <cstring>
#include <gif_lib.h>
#include <memory>

namespace platform::codecs {

namespace {

using Kind = ImageDecodeError::Kind;

struct Reader {
    std::span<const std::uint8_t> data;
    std::size_t at = 0;
    bool ranOut = false;
};

extern "C" int readBytes(GifFileType* gif, GifByteType* into, int count) {
    auto* r = static_cast<Reader*>(gif->UserData);
    const std::size_t want = count > 0 ? std::size_t(count) : 0;
    const std::size_t n = std::min(want, r->data.size() - r->at);
    std::memcpy(into, r->data.data() + r->at, n);
    r->at += n;
    if (n < want)
        r->ranOut = true;
    return static_cast<int>(n);
}

struct CloseGif {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

enum : int { disposeUnspecified = 0, disposeKeep = 1, disposeBackground = 2, disposePrevious = 3 };

constexpr int passStart[4] = {0, 4, 2, 1};
constexpr int passStep[4] = {8, 8, 4, 2};

/// How many rows of a frame `height` rows high must be decoded, in the order the file stores
/// them, for its first `visible` rows: the rest lie outside the canvas. An interlaced frame
/// stores every eighth row first, so its visible rows end later in the data.
int rowsToDecode(int visible, int height, bool interlaced) {
    if (visible <= 0)
        return 0;
    if (!interlaced)
        return std::min(visible, height);
    int before = 0; // rows of the earlier passes
    int needed = 0;
    for (int pass = 0; pass < 4; ++pass) {
        const int start = passStart[pass];
        const int step = passStep[pass];
        if (visible > start)
            needed = before + (visible - 1 - start) / step + 1;
        if (height > start)
            before += (height - 1 - start) / step + 1;
    }
    return needed;
}

struct Control {
    int disposal = disposeUnspecified;
    int transparent = -1;
    std::optional<double> delay;
};

} // namespace

ImageSource decodeGIF(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits) {
    Budget budget(limits);
    Reader reader{data};
    int error = 0;
    std::unique_ptr<GifFileType, CloseGif> gif(DGifOpen(&reader, readBytes, &error));
    if (!gif)
        fail(reader.ranOut ? Kind::truncated : Kind::malformed,
             std::string("GIF header: ") + (GifErrorString(error) ? GifErrorString(error) : "?"));
    auto failWith = [&](const char* what) {
        const char* detail = GifErrorString(gif->Error);
        fail(reader.ranOut ? Kind::truncated : Kind::malformed,
             std::string("GIF ") + what + ": " + (detail ? detail : "error"));
    };

    int canvasW = gif->SWidth;
    int canvasH = gif->SHeight;
    std::vector<std::uint32_t> canvas;
    std::vector<std::uint32_t> saved;
    bool savedTaken = false;
    std::vector<ImageSource::Frame> frames;
    std::optional<int> loopCount;
    Control control;
    std::vector<GifPixelType> line;

    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) {
            // A file that stops cleanly between records after at least one frame has only lost
            // its trailer; keep what was decoded.
            if (reader.ranOut && !frames.empty())
                break;
            failWith("record");
        }
        if (type == TERMINATE_RECORD_TYPE)
            break;
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* ext = nullptr;
            if (DGifGetExtension(gif.get(), &code, &ext) == GIF_ERROR)
                failWith("extension");
            bool netscape = false;
            bool first = true;
            while (ext) {
                const int len = ext[0];
                if (code == GRAPHICS_EXT_FUNC_CODE && first && len >= 4) {
                    GraphicsControlBlock gcb;
                    DGifExtensionToGCB(static_cast<size_t>(len), ext + 1, &gcb);
                    control.disposal = gcb.DisposalMode;
                    control.transparent = gcb.TransparentColor;
                    control.delay = gcb.DelayTime / 100.0;
                } else if (code == APPLICATION_EXT_FUNC_CODE && first && len == 11) {
                    netscape = std::memcmp(ext + 1, "NETSCAPE2.0", 11) == 0 ||
                               std::memcmp(ext + 1, "ANIMEXTS1.0", 11) == 0;
                } else if (netscape && !first && len >= 3 && ext[1] == 1) {
                    loopCount = ext[2] | (ext[3] << 8);
                }
                first = false;
                if (DGifGetExtensionNext(gif.get(), &ext) == GIF_ERROR)
                    failWith("extension");
            }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE)
            failWith("record");

        if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
            failWith("image descriptor");
        const GifImageDesc& desc = gif->Image;
        if (desc.Width <= 0 || desc.Height <= 0)
            fail(Kind::malformed, "GIF frame has an empty size");
        if (frames.empty()) {
            // Some encoders write a zero logical screen; the first frame then defines it.
            if (canvasW <= 0 || canvasH <= 0) {
                canvasW = desc.Left + desc.Width;
                canvasH = desc.Top + desc.Height;
            }
            budget.checkCanvas(canvasW, canvasH);
            canvas.assign(std::size_t(canvasW) * std::size_t(canvasH), 0);
        }
        // The part of the frame on the canvas (offsets are unsigned in the file).
        const int left = std::min(desc.Left, canvasW);
        const int top = std::min(desc.Top, canvasH);
        const int right =
            int(std::min<std::int64_t>(std::int64_t{desc.Left} + desc.Width, canvasW));
        const int bottom =
            int(std::min<std::int64_t>(std::int64_t{desc.Top} + desc.Height, canvasH));
        const int visibleRows = right > left ? bottom - top : 0;
        const int decodedRows = rowsToDecode(visibleRows, desc.Height, desc.Interlace);
        budget.takeFrame(std::int64_t(canvasW) * canvasH);
        budget.take(std::int64_t(decodedRows) * desc.Width -
                    std::int64_t(visibleRows) * (right - left));

        const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        if (!map)
            fail(Kind::malformed, "GIF frame without colour table");
        if (control.disposal == disposePrevious) {
            if (!savedTaken) {
                budget.take(std::int64_t(canvasW) * canvasH);
                savedTaken = true;
            }
            saved = canvas;
        }

        line.resize(std::size_t(desc.Width));
        int decoded = 0;
        for (int pass = 0; pass < (desc.Interlace ? 4 : 1) && decoded < decodedRows; ++pass) {
            const int start = desc.Interlace ? passStart[pass] : 0;
            const int step = desc.Interlace ? passStep[pass] : 1;
            for (int row = start; row < desc.Height && decoded < decodedRows; row += step) {
                if (DGifGetLine(gif.get(), line.data(), desc.Width) == GIF_ERROR)
                    failWith("image data");
                ++decoded;
                if (row >= visibleRows)
                    continue;
                std::uint32_t* out = &canvas[std::size_t(desc.Top + row) * std::size_t(canvasW)];
                for (int x = left; x < right; ++x) {
                    const int index = line[std::size_t(x - desc.Left)];
                    if (index == control.transparent || index >= map->ColorCount)
                        continue;
                    const GifColorType& c = map->Colors[index];
                    out[x] = premultiplied(c.Red, c.Green, c.Blue, 255);
                }
            }
        }
        if (decodedRows < desc.Height) {
            // The rest of the frame's data is skipped block by block, undecoded.
            GifByteType* block = nullptr;
            int codeSize = 0;
            if ((decodedRows == 0 ? DGifGetCode(gif.get(), &codeSize, &block)
                                  : DGifGetCodeNext(gif.get(), &block)) == GIF_ERROR)
                failWith("image data");
            while (block)
                if (DGifGetCodeNext(gif.get(), &block) == GIF_ERROR)
                    failWith("image data");
        }
        frames.push_back({Image(canvasW, canvasH, canvas), control.delay});

        if (control.disposal == disposeBackground) {
            // Restoring to the background means clearing to transparency: the canvas has no
            // other background once it is composited over a page.
            for (int y = top; y < bottom; ++y)
                std::fill(&canvas[std::size_t(y) * std::size_t(canvasW) + std::size_t(left)],
                          &canvas[std::size_t(y) * std::size_t(canvasW) + std::size_t(right)], 0u);
        } else if (control.disposal == disposePrevious) {
            canvas = std::move(saved);
        }
        control = Control{};
    }
    if (frames.empty())
        fail(reader.ranOut ? Kind::truncated : Kind::malformed, "GIF file has no image");
    return ImageSource(ImageFormat::gif, canvasW, canvasH, true, loopCount, std::move(frames));
}

} // namespace platform::codecs
