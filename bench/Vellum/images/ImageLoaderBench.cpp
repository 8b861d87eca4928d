// The image loader's cache hit path: a view asking again for a picture already decoded, with
// one picture cached and with a thousand (the lookup and the recency bookkeeping).

#include "Vellum/images/ImageLoader.hpp"
#include "platform/graphics/ImageSource.hpp"
#include "platform/runtime/Runtime.hpp"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using vellum::ImageLoader;

// A small PNG written once to a temporary file, loaded through a file: URL so that filling the
// cache needs no server.
const std::string& pictureFile() {
    static const std::string path = [] {
        const std::vector<std::uint32_t> pixels(16 * 16, 0xff3366ccu);
        const auto png = platform::encodePNG(platform::Image(16, 16, pixels));
        const auto file = std::filesystem::temp_directory_path() / "image-loader-bench.png";
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(png->data()), std::streamsize(png->size()));
        return file.string();
    }();
    return path;
}

platform::URL pictureURL(int variant) {
    // The query makes distinct cache keys for the same file.
    return *platform::URL::fromString("file://" + pictureFile() + "?v=" + std::to_string(variant));
}

void cacheHit(benchmark::State& state) {
    const auto loader = ImageLoader::make();
    const int cached = int(state.range(0));
    for (int i = 0; i < cached; ++i)
        (void)platform::blockingWait(loader->image(pictureURL(i)));
    const platform::URL url = pictureURL(cached / 2);
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::blockingWait(loader->image(url)));
}
BENCHMARK(cacheHit)->Arg(1)->Arg(1000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
