// Decoding speed of the two inputs the image views meet most, a large still PNG and a long GIF
// animation, and of a hostile GIF whose frames reach far past its canvas. Inputs are generated up
// front with the real encoders.

#include "platform/graphics/ImageSource.hpp"
#include "tests/platform/graphics/ImageFixtures.hpp"

#include <benchmark/benchmark.h>

namespace {

using namespace fixtures;

// A 1000 × 1000 RGBA picture with gradients and noise, so the compressed size is realistic
// rather than a run of identical bytes.
RGBAFrame photoLike(int w, int h) {
    RGBAFrame f{w, h, std::vector<std::uint8_t>(std::size_t(w) * std::size_t(h) * 4)};
    std::uint32_t seed = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const std::size_t i = (std::size_t(y) * std::size_t(w) + std::size_t(x)) * 4;
            f.rgba[i] = std::uint8_t(x * 255 / w);
            f.rgba[i + 1] = std::uint8_t(y * 255 / h);
            f.rgba[i + 2] = std::uint8_t((seed >> 24) & 0x3f);
            f.rgba[i + 3] = 255;
        }
    return f;
}

void decodePNG1000(benchmark::State& state) {
    const Bytes png = makePNG(photoLike(1000, 1000));
    for (auto _ : state) {
        auto source = platform::ImageSource::decode(png);
        benchmark::DoNotOptimize(source.frames().data());
    }
    state.counters["file_KiB"] = double(png.size()) / 1024;
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(png.size()));
}
BENCHMARK(decodePNG1000)->Unit(benchmark::kMillisecond);

void decodeGIF50Frames(benchmark::State& state) {
    // 50 frames of 200 × 200: a moving block over a striped background, each frame a partial
    // update with a delay, as animation tools write them.
    const int w = 200, h = 200;
    std::vector<std::uint8_t> palette;
    for (int i = 0; i < 256; ++i)
        palette.insert(palette.end(),
                       {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i / 2)});
    std::vector<GifFrame> frames;
    GifFrame background;
    background.width = w;
    background.height = h;
    background.delayCentiseconds = 4;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            background.indices.push_back(std::uint8_t((x / 8 + y / 8) % 16));
    frames.push_back(background);
    for (int i = 1; i < 50; ++i) {
        GifFrame f;
        f.left = (i * 3) % (w - 60);
        f.top = (i * 2) % (h - 60);
        f.width = 60;
        f.height = 60;
        f.delayCentiseconds = 4;
        f.disposal = 1;
        for (int p = 0; p < 60 * 60; ++p)
            f.indices.push_back(std::uint8_t(128 + (p + i) % 64));
        frames.push_back(f);
    }
    const Bytes gif = makeGIF(w, h, palette, frames, 0);
    for (auto _ : state) {
        auto source = platform::ImageSource::decode(gif);
        benchmark::DoNotOptimize(source.frames().data());
    }
    state.counters["file_KiB"] = double(gif.size()) / 1024;
    state.counters["frames"] = 50;
}
BENCHMARK(decodeGIF50Frames)->Unit(benchmark::kMillisecond);

void decodeGIFFramesBesideTinyCanvas(benchmark::State& state) {
    // A one-pixel canvas with 100 frames of 4096 × 4096, each a single colour: a file of under a
    // megabyte whose frames hang far past the canvas. Only the row of each frame that meets the
    // canvas is decoded; the rest of its data is skipped.
    const int side = 4096;
    const std::vector<std::uint8_t> palette = {255, 0, 0, 0, 255, 0};
    GifFrame frame;
    frame.width = side;
    frame.height = side;
    frame.delayCentiseconds = 4;
    frame.indices.assign(std::size_t(side) * std::size_t(side), 1);
    const Bytes one = makeGIF(1, 1, palette, {frame}, -1);
    // Header, screen descriptor and the two-colour table come first, the trailer byte last.
    const std::size_t frameStart = 6 + 7 + 6;
    if (one.size() < frameStart + 2 || one[frameStart] != 0x21 || one.back() != 0x3b) {
        state.SkipWithError("unexpected GIF layout");
        return;
    }
    Bytes gif(one.begin(), one.begin() + long(frameStart));
    for (int i = 0; i < 100; ++i)
        gif.insert(gif.end(), one.begin() + long(frameStart), one.end() - 1);
    gif.push_back(0x3b);
    for (auto _ : state) {
        auto source = platform::ImageSource::decode(gif);
        benchmark::DoNotOptimize(source.frames().data());
    }
    state.counters["file_KiB"] = double(gif.size()) / 1024;
}
BENCHMARK(decodeGIFFramesBesideTinyCanvas)->Unit(benchmark::kMillisecond);

void encodePNG1000(benchmark::State& state) {
    const auto source = platform::ImageSource::decode(makePNG(photoLike(1000, 1000)));
    const platform::Image& image = source.frames()[0].image;
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::encodePNG(image));
}
BENCHMARK(encodePNG1000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
