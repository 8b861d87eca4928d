#pragma once

// Writes a PNG file whose rows come in strips from the top, so that a picture taller than one
// drawing surface may hold (Cairo's limit is 32,767 pixels a side) is drawn and written a strip at
// a time, never held whole.
//
// Encoding is set for speed: the pictures are looked at, not kept. zlib's fastest level without
// row filters encodes a page of text several times faster than the usual settings for files
// about a third larger, and an opaque picture is written as RGB, a quarter fewer bytes to
// compress than RGBA.

#include "platform/graphics/Image.hpp"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace vellum_render {

class PngStripWriter {
public:
    // Starts a picture of `width` × `height` pixels for the file at `path`; opaque pictures are
    // written without alpha. The file at `path` is replaced only by `finish`; a writer destroyed
    // before then leaves it as it was. Throws std::runtime_error when the file cannot be written.
    PngStripWriter(const std::filesystem::path& path, int width, int height, bool opaque);
    PngStripWriter(const PngStripWriter&) = delete;
    PngStripWriter& operator=(const PngStripWriter&) = delete;
    ~PngStripWriter();

    // Appends the first `rows` rows of `strip` (as wide as the picture). Throws std::runtime_error.
    void write(const platform::Image& strip, int rows);
    // Ends the file once every row is written. Throws std::runtime_error.
    void finish();

    struct State;

private:
    std::unique_ptr<State> state_;
};

} // namespace vellum_render
