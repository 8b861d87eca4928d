// Arbitrary bytes as a font file: loading either fails cleanly or yields a face whose every
// glyph query, shaping and line-break call stays within bounds.

#include "platform/text/GlyphFont.hpp"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace platform;
    const auto face = GlyphFace::fromData({data, data + size});
    if (!face) {
        return 0;
    }
    const unsigned count = std::min(face->glyphCount() + 2, 64u);
    for (unsigned g = 0; g < count; ++g) {
        const auto glyph = static_cast<GlyphID>(g);
        if (const auto name = face->glyphName(glyph)) {
            (void)face->glyph(*name);
        }
        (void)face->advance(glyph);
        (void)face->boundingBox(glyph);
        (void)face->outline(glyph);
    }
    const GlyphFont font(face, 12);
    (void)font.shape("fi x+y=\xE2\x88\x91");
    (void)font.suggestLineBreak("abc def", 10);
    return 0;
}
