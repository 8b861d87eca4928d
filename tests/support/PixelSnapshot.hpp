#pragma once

#include "platform/graphics/Image.hpp"
#include "platform/graphics/ImageSource.hpp"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace moss_test {

// Compares `image` with the PNG snapshot at `path`: no channel of any pixel further off than
// `tolerance`, and at most `maxOffFraction` of the pixels off by more than a rounding step
// (antialiasing may move slightly between library versions). MOSS_UPDATE_SNAPSHOTS=1 rewrites
// the snapshot instead.
inline void expectSnapshot(const platform::Image& image, const std::string& path, int tolerance,
                           double maxOffFraction) {
    if (const char* update = std::getenv("MOSS_UPDATE_SNAPSHOTS"); update && *update == '1') {
        const auto png = platform::encodePNG(image);
        ASSERT_TRUE(png.has_value());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(png->data()), std::streamsize(png->size()));
        return;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "missing snapshot " << path;
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    const platform::Image expected = platform::ImageSource::decode(bytes).frames().at(0).image;
    ASSERT_EQ(expected.width(), image.width());
    ASSERT_EQ(expected.height(), image.height());
    const auto a = image.rgba();
    const auto b = expected.rgba();
    std::size_t differing = 0;
    int worst = 0;
    for (std::size_t i = 0; i < a.size(); i += 4) {
        int d = 0;
        for (std::size_t c = 0; c < 4; ++c) {
            d = std::max(d, std::abs(int(a[i + c]) - int(b[i + c])));
        }
        worst = std::max(worst, d);
        differing += d > 2 ? 1 : 0;
    }
    EXPECT_LE(worst, tolerance) << path;
    EXPECT_LE(double(differing), double(a.size() / 4) * maxOffFraction) << path;
}

} // namespace moss_test
