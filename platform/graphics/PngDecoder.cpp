// PNG decoding through libpng's simplified reader. Animated PNG is handled here, chunk by chunk:
// each frame's data is rewrapped as a standalone PNG stream (its own header, the shared palette and
// colour chunks, its data as IDAT) for libpng, then composed onto the canvas following the
// frame's dispose and blend operations.

#include "platform/graphics/ImageCodecs.hpp"

#include <algorithm>
#include <cstring>
#include <png.h>
#include <zlib.h>

namespace platform::codecs {

namespace {

using Kind = ImageDecodeError::Kind;

constexpr std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

constexpr std::uint32_t fourcc(const char (&s)[5]) {
    return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
           (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}

std::uint32_t be32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
}
std::uint16_t be16(const std::uint8_t* p) {
    return std::uint16_t((p[0] << 8) | p[1]);
}

void putBE32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.insert(out.end(), {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8),
                           std::uint8_t(v)});
}

struct Chunk {
    std::uint32_t type;
    std::span<const std::uint8_t> data;
};

/// Splits the file into chunks up to IEND, rejecting a file that ends early.
std::vector<Chunk> readChunks(std::span<const std::uint8_t> file) {
    std::vector<Chunk> chunks;
    std::size_t at = sizeof signature;
    for (;;) {
        if (file.size() - at < 8)
            fail(Kind::truncated, "PNG file ends inside a chunk header");
        const std::uint32_t length = be32(&file[at]);
        const std::uint32_t type = be32(&file[at + 4]);
        if (length > 0x7fffffffu)
            fail(Kind::malformed, "PNG chunk length out of range");
        if (file.size() - at - 8 < std::size_t{length} + 4)
            fail(Kind::truncated, "PNG file ends inside a chunk");
        chunks.push_back({type, file.subspan(at + 8, length)});
        at += 8 + std::size_t{length} + 4;
        if (type == fourcc("IEND"))
            return chunks;
    }
}

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb; // premultiplied
};

/// Decodes one complete PNG stream.
Pixels decodeStill(std::span<const std::uint8_t> stream, const Budget& budget) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, stream.data(), stream.size())) {
        const std::string message = image.message;
        png_image_free(&image);
        fail(Kind::malformed, "PNG header: " + message);
    }
    try {
        budget.checkCanvas(image.width, image.height);
    } catch (...) {
        png_image_free(&image);
        throw;
    }
    image.format = PNG_FORMAT_RGBA;
    Pixels out;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        const std::string message = image.message;
        png_image_free(&image);
        // libpng reports a stream that stops early as missing data; everything else is damage.
        const bool short_ = message.find("end") != std::string::npos ||
                            message.find("enough") != std::string::npos ||
                            message.find("truncated") != std::string::npos;
        fail(short_ ? Kind::truncated : Kind::malformed, "PNG data: " + message);
    }
    png_image_free(&image);
    out.argb.resize(rgba.size() / 4);
    for (std::size_t i = 0; i < out.argb.size(); ++i)
        out.argb[i] = premultiplied(rgba[i * 4], rgba[i * 4 + 1], rgba[i * 4 + 2], rgba[i * 4 + 3]);
    return out;
}

struct FrameControl {
    std::uint32_t width, height, x, y;
    double delay;
    std::uint8_t dispose, blend;
};

enum : std::uint8_t { disposeNone = 0, disposeBackground = 1, disposePrevious = 2 };
enum : std::uint8_t { blendSource = 0, blendOver = 1 };

struct FrameChunks {
    FrameControl control;
    std::vector<std::span<const std::uint8_t>> data;
};

/// The animation is not usable as such (inconsistent frame chunks); the still image stands in.
struct NotAnimated {};

void appendChunk(std::vector<std::uint8_t>& out, std::uint32_t type,
                 std::span<const std::uint8_t> data) {
    putBE32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    putBE32(out, type);
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0, out.data() + typeAt, 4);
    // zlib's length parameter is 32-bit; chunk sizes are below 2^31.
    crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
    putBE32(out, static_cast<std::uint32_t>(crc));
}

std::vector<std::uint8_t> frameStream(std::span<const std::uint8_t> ihdr,
                                      const std::vector<Chunk>& shared, const FrameChunks& frame) {
    std::vector<std::uint8_t> out(std::begin(signature), std::end(signature));
    std::vector<std::uint8_t> header(ihdr.begin(), ihdr.end());
    const std::uint32_t size[2] = {frame.control.width, frame.control.height};
    for (int i = 0; i < 2; ++i)
        for (int b = 0; b < 4; ++b)
            header[static_cast<std::size_t>(i * 4 + b)] = std::uint8_t(size[i] >> (24 - 8 * b));
    appendChunk(out, fourcc("IHDR"), header);
    for (const Chunk& c : shared)
        appendChunk(out, c.type, c.data);
    std::size_t total = 0;
    for (const auto& d : frame.data)
        total += d.size();
    if (total > 0x7fffffffu)
        fail(Kind::tooLarge, "PNG frame data too large");
    std::vector<std::uint8_t> idat;
    idat.reserve(total);
    for (const auto& d : frame.data)
        idat.insert(idat.end(), d.begin(), d.end());
    appendChunk(out, fourcc("IDAT"), idat);
    appendChunk(out, fourcc("IEND"), {});
    return out;
}

ImageSource decodeAnimation(std::span<const std::uint8_t> file, const std::vector<Chunk>& chunks,
                            Budget& budget) {
    const Chunk& ihdr = chunks.front();
    const std::uint32_t canvasW = be32(&ihdr.data[0]);
    const std::uint32_t canvasH = be32(&ihdr.data[4]);

    std::optional<std::uint32_t> plays;
    std::uint32_t declaredFrames = 0;
    std::vector<Chunk> shared; // chunks every frame stream needs (palette, transparency, colour)
    std::vector<FrameChunks> frames;
    bool seenIDAT = false;
    bool idatIsFrame = false;
    for (const Chunk& c : chunks) {
        if (c.type == fourcc("acTL")) {
            if (c.data.size() != 8 || seenIDAT)
                throw NotAnimated{};
            declaredFrames = be32(&c.data[0]);
            plays = be32(&c.data[4]);
        } else if (c.type == fourcc("fcTL")) {
            if (c.data.size() != 26)
                throw NotAnimated{};
            const std::uint8_t* p = c.data.data();
            FrameControl fc{be32(p + 4), be32(p + 8), be32(p + 12), be32(p + 16), 0, p[24], p[25]};
            const std::uint16_t num = be16(p + 20);
            const std::uint16_t den = be16(p + 22);
            fc.delay = double(num) / (den == 0 ? 100.0 : double(den));
            if (fc.width == 0 || fc.height == 0 || std::uint64_t{fc.x} + fc.width > canvasW ||
                std::uint64_t{fc.y} + fc.height > canvasH || fc.dispose > 2 || fc.blend > 1)
                throw NotAnimated{};
            if (frames.empty() && !seenIDAT &&
                (fc.x != 0 || fc.y != 0 || fc.width != canvasW || fc.height != canvasH))
                throw NotAnimated{};
            if (!seenIDAT)
                idatIsFrame = true;
            frames.push_back({fc, {}});
        } else if (c.type == fourcc("IDAT")) {
            seenIDAT = true;
            if (idatIsFrame && frames.size() == 1)
                frames.back().data.push_back(c.data);
        } else if (c.type == fourcc("fdAT")) {
            if (c.data.size() < 4 || frames.empty() || !seenIDAT)
                throw NotAnimated{};
            if (idatIsFrame && frames.size() == 1)
                throw NotAnimated{}; // the first frame's data is its IDAT
            frames.back().data.push_back(c.data.subspan(4));
        } else if (!seenIDAT && c.type != fourcc("IHDR") && c.type != fourcc("IEND")) {
            shared.push_back(c);
        }
    }
    if (!plays || frames.empty())
        throw NotAnimated{};
    if (declaredFrames != 0 && frames.size() > declaredFrames)
        frames.resize(declaredFrames);
    for (const FrameChunks& f : frames)
        if (f.data.empty())
            throw NotAnimated{};
    (void)file;

    const std::size_t cw = canvasW, ch = canvasH;
    std::vector<std::uint32_t> canvas(cw * ch, 0);
    std::vector<std::uint32_t> saved;
    bool savedTaken = false; // the budget has counted the canvas kept for undoing frames
    std::vector<ImageSource::Frame> out;
    out.reserve(frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        budget.takeFrame(std::int64_t(cw) * std::int64_t(ch));
        const FrameControl& fc = frames[i].control;
        std::uint8_t dispose = fc.dispose;
        if (i == 0 && dispose == disposePrevious)
            dispose = disposeBackground;
        if (dispose == disposePrevious && !savedTaken) {
            budget.take(std::int64_t(cw) * std::int64_t(ch));
            savedTaken = true;
        }
        const Pixels px = decodeStill(frameStream(ihdr.data, shared, frames[i]), budget);
        if (px.width != int(fc.width) || px.height != int(fc.height))
            fail(Kind::malformed, "PNG frame size mismatch");
        if (dispose == disposePrevious)
            saved = canvas;
        for (std::size_t y = 0; y < fc.height; ++y) {
            std::uint32_t* row = &canvas[(fc.y + y) * cw + fc.x];
            const std::uint32_t* src = &px.argb[y * fc.width];
            for (std::size_t x = 0; x < fc.width; ++x)
                row[x] = fc.blend == blendSource ? src[x] : over(src[x], row[x]);
        }
        out.push_back({Image(int(canvasW), int(canvasH), canvas), fc.delay});
        if (dispose == disposeBackground) {
            for (std::size_t y = 0; y < fc.height; ++y)
                std::fill_n(&canvas[(fc.y + y) * cw + fc.x], fc.width, 0u);
        } else if (dispose == disposePrevious) {
            canvas = std::move(saved);
        }
    }
    return ImageSource(ImageFormat::png, int(canvasW), int(canvasH), true,
                       static_cast<int>(std::min<std::uint32_t>(*plays, 0x7fffffff)),
                       std::move(out));
}

} // namespace

ImageSource decodePNG(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits) {
    Budget budget(limits);
    const std::vector<Chunk> chunks = readChunks(data);
    if (chunks.front().type != fourcc("IHDR") || chunks.front().data.size() != 13)
        fail(Kind::malformed, "PNG file does not start with a header chunk");
    budget.checkCanvas(be32(&chunks.front().data[0]), be32(&chunks.front().data[4]));

    const bool hasAnimation = std::any_of(chunks.begin(), chunks.end(),
                                          [](const Chunk& c) { return c.type == fourcc("acTL"); });
    if (hasAnimation) {
        try {
            return decodeAnimation(data, chunks, budget);
        } catch (const NotAnimated&) {
            // Fall through to the still image every PNG reader shows.
        }
    }
    budget.takeFrame(std::int64_t(be32(&chunks.front().data[0])) *
                     std::int64_t(be32(&chunks.front().data[4])));
    Pixels px = decodeStill(data, budget);
    std::vector<ImageSource::Frame> frames;
    frames.push_back({Image(px.width, px.height, std::move(px.argb)), std::nullopt});
    return ImageSource(ImageFormat::png, px.width, px.height, false, std::nullopt,
                       std::move(frames));
}

} // namespace platform::codecs
