#include "tests/platform/graphics/ImageFixtures.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <gif_lib.h>
#include <jpeglib.h>
#include <memory>
#include <optional>
#include <png.h>
#include <stdexcept>
#include <webp/encode.h>
#include <webp/mux.h>
#include <zlib.h>

namespace fixtures {

RGBAFrame solid(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b,
                std::uint8_t a) {
    RGBAFrame f{width, height, {}};
    for (int i = 0; i < width * height; ++i)
        f.rgba.insert(f.rgba.end(), {r, g, b, a});
    return f;
}

namespace {

extern "C" int writeGif(GifFileType* gif, const GifByteType* bytes, int count) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), bytes, bytes + count);
    return count;
}

void check(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(what);
}

void putBE32(Bytes& out, std::uint32_t v) {
    out.insert(out.end(), {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8),
                           std::uint8_t(v)});
}

void chunk(Bytes& out, const char* type, const Bytes& data) {
    putBE32(out, std::uint32_t(data.size()));
    const std::size_t at = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBE32(out, std::uint32_t(crc32(0, out.data() + at, uInt(4 + data.size()))));
}

} // namespace

Bytes makeGIF(int screenWidth, int screenHeight, const std::vector<std::uint8_t>& palette,
              const std::vector<GifFrame>& frames, int loopCount) {
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, writeGif, &error);
    check(gif != nullptr, "EGifOpen");
    const int colors = int(palette.size() / 3);
    int size = 2;
    while (size < colors)
        size *= 2;
    std::vector<GifColorType> entries(std::size_t(size), GifColorType{0, 0, 0});
    for (int i = 0; i < colors; ++i)
        entries[std::size_t(i)] = {palette[std::size_t(i * 3)], palette[std::size_t(i * 3 + 1)],
                                   palette[std::size_t(i * 3 + 2)]};
    ColorMapObject* map = GifMakeMapObject(size, entries.data());
    EGifSetGifVersion(gif, true);
    check(EGifPutScreenDesc(gif, screenWidth, screenHeight, 8, 0, map) == GIF_OK, "screen");
    if (loopCount >= 0) {
        const GifByteType app[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
        const GifByteType loop[] = {1, GifByteType(loopCount & 0xff), GifByteType(loopCount >> 8)};
        EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
        EGifPutExtensionBlock(gif, sizeof app, app);
        EGifPutExtensionBlock(gif, sizeof loop, loop);
        EGifPutExtensionTrailer(gif);
    }
    for (const GifFrame& f : frames) {
        if (f.delayCentiseconds >= 0) {
            GraphicsControlBlock gcb{f.disposal, false, f.delayCentiseconds, f.transparentIndex};
            GifByteType ext[4];
            EGifGCBToExtension(&gcb, ext);
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
        }
        check(EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlaced, nullptr) ==
                  GIF_OK,
              "image desc");
        // giflib writes interlaced images in pass order; callers give rows top to bottom.
        std::vector<int> order;
        if (f.interlaced) {
            const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
            for (int p = 0; p < 4; ++p)
                for (int y = start[p]; y < f.height; y += step[p])
                    order.push_back(y);
        } else {
            for (int y = 0; y < f.height; ++y)
                order.push_back(y);
        }
        for (int y : order) {
            std::vector<GifPixelType> row(f.indices.begin() + y * f.width,
                                          f.indices.begin() + (y + 1) * f.width);
            check(EGifPutLine(gif, row.data(), f.width) == GIF_OK, "line");
        }
    }
    check(EGifCloseFile(gif, &error) == GIF_OK, "close");
    GifFreeMapObject(map);
    return out;
}

Bytes makePNG(const RGBAFrame& frame) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(frame.width);
    image.height = png_uint_32(frame.height);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    check(png_image_write_to_memory(&image, nullptr, &size, 0, frame.rgba.data(), 0, nullptr),
          "png size");
    Bytes out(size);
    check(png_image_write_to_memory(&image, out.data(), &size, 0, frame.rgba.data(), 0, nullptr),
          "png write");
    out.resize(size);
    return out;
}

Bytes makeAPNG(int width, int height, const std::vector<ApngFrame>& frames, int plays) {
    // Encode each frame as its own PNG with libpng and move its IDAT data into the animation.
    auto idatOf = [](const Bytes& png) {
        Bytes data;
        std::size_t at = 8;
        while (at + 8 <= png.size()) {
            const std::uint32_t len = (std::uint32_t(png[at]) << 24) | (png[at + 1] << 16) |
                                      (png[at + 2] << 8) | png[at + 3];
            if (std::memcmp(&png[at + 4], "IDAT", 4) == 0)
                data.insert(data.end(), png.begin() + long(at + 8),
                            png.begin() + long(at + 8 + len));
            at += 12 + len;
        }
        return data;
    };
    Bytes out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    Bytes ihdr;
    putBE32(ihdr, std::uint32_t(width));
    putBE32(ihdr, std::uint32_t(height));
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0}); // 8-bit RGBA, matching the frames libpng wrote
    chunk(out, "IHDR", ihdr);
    Bytes actl;
    putBE32(actl, std::uint32_t(frames.size()));
    putBE32(actl, std::uint32_t(plays));
    chunk(out, "acTL", actl);
    std::uint32_t seq = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const ApngFrame& f = frames[i];
        Bytes fctl;
        putBE32(fctl, seq++);
        putBE32(fctl, std::uint32_t(f.pixels.width));
        putBE32(fctl, std::uint32_t(f.pixels.height));
        putBE32(fctl, std::uint32_t(f.x));
        putBE32(fctl, std::uint32_t(f.y));
        fctl.insert(fctl.end(), {std::uint8_t(f.delayNum >> 8), std::uint8_t(f.delayNum),
                                 std::uint8_t(f.delayDen >> 8), std::uint8_t(f.delayDen),
                                 std::uint8_t(f.dispose), std::uint8_t(f.blend)});
        chunk(out, "fcTL", fctl);
        const Bytes data = idatOf(makePNG(f.pixels));
        if (i == 0) {
            chunk(out, "IDAT", data);
        } else {
            Bytes fdat;
            putBE32(fdat, seq++);
            fdat.insert(fdat.end(), data.begin(), data.end());
            chunk(out, "fdAT", fdat);
        }
    }
    chunk(out, "IEND", {});
    return out;
}

namespace {

// Compresses `height` rows of `width` four-byte pixels in `space`, each row as `row(y)` gives it,
// at `quality` (libjpeg's default when there is none).
Bytes compressJPEG(int width, int height, J_COLOR_SPACE space, std::optional<int> quality,
                   const std::function<const std::uint8_t*(JDIMENSION)>& row) {
    jpeg_compress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 4;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    if (quality) {
        jpeg_set_quality(&info, *quality, TRUE);
    }
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW line = const_cast<std::uint8_t*>(row(info.next_scanline));
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

} // namespace

Bytes makeJPEG(const RGBAFrame& frame, int quality) {
    return compressJPEG(frame.width, frame.height, JCS_EXT_RGBA, quality, [&](JDIMENSION y) {
        return frame.rgba.data() + std::size_t(y) * std::size_t(frame.width) * 4;
    });
}

Bytes makeCMYKJPEG(int width, int height, const std::uint8_t (&cmyk)[4]) {
    std::vector<std::uint8_t> row;
    for (int x = 0; x < width; ++x)
        row.insert(row.end(), std::begin(cmyk), std::end(cmyk));
    return compressJPEG(width, height, JCS_CMYK, std::nullopt,
                        [&](JDIMENSION) { return row.data(); });
}

Bytes withExifOrientation(const Bytes& jpeg, int orientation) {
    // Big-endian TIFF with one IFD entry: tag 0x0112, type SHORT, count 1.
    const Bytes exif = {
        'E', 'x', 'i', 'f',  0,    0, 'M', 'M', 0, 42, 0, 0, 0,
        8,   0,   1,   0x01, 0x12, 0, 3,   0,   0, 0,  1, 0, std::uint8_t(orientation),
        0,   0,   0,   0,    0,    0};
    const std::size_t length = exif.size() + 2;
    // Appended in place: growing a two-byte vector by inserts trips g++ 12's bounds warning at -O3.
    Bytes out(jpeg.size() + 4 + exif.size());
    auto at = std::copy(jpeg.begin(), jpeg.begin() + 2, out.begin());
    for (const std::uint8_t byte : {std::uint8_t{0xff}, std::uint8_t{0xe1},
                                    std::uint8_t(length >> 8), std::uint8_t(length & 0xff)}) {
        *at++ = byte;
    }
    at = std::copy(exif.begin(), exif.end(), at);
    std::copy(jpeg.begin() + 2, jpeg.end(), at);
    return out;
}

Bytes makeWebP(const RGBAFrame& frame) {
    std::uint8_t* data = nullptr;
    const std::size_t size = WebPEncodeLosslessRGBA(frame.rgba.data(), frame.width, frame.height,
                                                    frame.width * 4, &data);
    check(size > 0, "webp encode");
    Bytes out(data, data + size);
    WebPFree(data);
    return out;
}

Bytes makeAnimatedWebP(const std::vector<RGBAFrame>& frames, const std::vector<int>& durationsMs,
                       int loopCount) {
    WebPAnimEncoderOptions options;
    check(WebPAnimEncoderOptionsInit(&options), "anim options");
    options.anim_params.loop_count = loopCount;
    options.allow_mixed = 0;
    options.kmin = 0;
    options.kmax = 1; // every frame a key frame keeps the encoder from merging frames
    WebPAnimEncoder* enc =
        WebPAnimEncoderNew(frames.front().width, frames.front().height, &options);
    check(enc != nullptr, "anim encoder");
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = 1;
    int timestamp = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        WebPPicture pic;
        WebPPictureInit(&pic);
        pic.use_argb = 1;
        pic.width = frames[i].width;
        pic.height = frames[i].height;
        WebPPictureImportRGBA(&pic, frames[i].rgba.data(), frames[i].width * 4);
        check(WebPAnimEncoderAdd(enc, &pic, timestamp, &config), "anim add");
        WebPPictureFree(&pic);
        timestamp += durationsMs[i];
    }
    WebPAnimEncoderAdd(enc, nullptr, timestamp, nullptr);
    WebPData webp;
    WebPDataInit(&webp);
    check(WebPAnimEncoderAssemble(enc, &webp), "anim assemble");
    Bytes out(webp.bytes, webp.bytes + webp.size);
    WebPDataClear(&webp);
    WebPAnimEncoderDelete(enc);
    return out;
}

} // namespace fixtures
