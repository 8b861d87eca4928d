#pragma once

// Drawing symbols a math font lacks. No font has every character the symbol table, the
// delimiters and the alphabets ask for (Euler has no math italic, Fira no n-ary union, KpMath no
// ASCII apostrophe ...). A character the font lacks is drawn, in order of preference, as an
// equivalent character the font has (the lunate epsilon for the math-italic one, the prime for
// the apostrophe, the mathematical angle brackets for the older ones), else in another bundled
// font that has it, close to the font in design. A missing glyph is drawn only when no bundled
// font has the character in any form.

#include "Math/MathFont.hpp"
#include "Math/PlatformFont.hpp"

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Math {

// Characters that stand for the same symbol as `c`, most alike first; empty for most.
std::span<const char32_t> equivalentCharacters(char32_t c);

// Whether the font draws all of `text`: shaped, it holds no missing glyph (a letter with an accent
// the font has no precomposed form of may still be drawn from the letter and the mark).
bool fontDraws(const PlatformFont& font, std::string_view text);

// `text` with each character the font cannot draw replaced by its first equivalent the font has;
// characters without one are kept.
std::string inDrawableForm(std::string_view text, const PlatformFont& font);

// The bundled fonts a symbol is taken from when `name` has no form of it, in the order tried:
// fonts of a like design first (sans with sans, Palatino-like with Palatino-like), then the most
// complete one.
std::vector<Font::Name> fallbackFontNames(const Font::Name& name);

// What draws `text`: the font itself (`font` null) with the text or its equivalent form, or a
// fallback font at the same size that draws it. When none does, the font with the text in the most
// drawable form it has.
struct DrawableText {
    std::shared_ptr<const PlatformFont> font;
    std::string text;
};
DrawableText drawableText(std::string_view text, const PlatformFont& font);

// The font's glyph for the first character of `text`; 0 when it has none.
platform::GlyphID firstGlyph(const PlatformFont& font, std::string_view text);

} // namespace Math
