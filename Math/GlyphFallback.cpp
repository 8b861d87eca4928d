#include "Math/GlyphFallback.hpp"

#include "Math/TextCharacters.hpp"
#include "platform/foundation/Unicode.hpp"

#include <algorithm>
#include <unordered_map>

namespace Math {

namespace {

bool faceHas(const platform::GlyphFace& face, char32_t c) {
    return face.glyph(c).value_or(0) != 0;
}

} // namespace

std::span<const char32_t> equivalentCharacters(char32_t c) {
    // Only forms a reader takes for the same symbol: a symbol with no such form is taken from
    // another font rather than drawn as a different one.
    static const std::unordered_map<char32_t, std::vector<char32_t>> table{
        // The prime written as an apostrophe.
        {U'\u0027', {U'\u2032', U'\u2019'}},
        // The angle brackets: the mathematical ones and the older, canonically equal, ones.
        {U'\u2329', {U'\u27E8', U'\u3008'}},
        {U'\u232A', {U'\u27E9', U'\u3009'}},
        {U'\u27E8', {U'\u2329', U'\u3008'}},
        {U'\u27E9', {U'\u232A', U'\u3009'}},
        // Math-italic symbols without a letter of their own in an upright font: the plain form.
        {U'\U0001D6A4', {U'\u0131'}},
        {U'\U0001D6A5', {U'\u0237'}},
        {U'\U0001D715', {U'\u2202'}},
        {U'\U0001D716', {U'\u03F5'}},
        {U'\U0001D717', {U'\u03D1'}},
        {U'\U0001D718', {U'\u03F0'}},
        {U'\U0001D719', {U'\u03D5'}},
        {U'\U0001D71A', {U'\u03F1'}},
        {U'\U0001D71B', {U'\u03D6'}},
        // Symbols encoded twice.
        {U'\u22A5', {U'\u27C2'}},
        {U'\u27C2', {U'\u22A5'}},
        {U'\u2216', {U'\u29F5'}},
        {U'\u2236', {U'\u003A'}},
    };
    const auto found = table.find(c);
    if (found == table.end()) {
        return {};
    }
    return found->second;
}

bool fontDraws(const PlatformFont& font, std::string_view text) {
    if (platform::unicode::isValidUtf8(text)) {
        const platform::GlyphFace& face = font.face();
        bool mapped = true;
        for (std::size_t at = 0; at < text.size() && mapped;) {
            mapped = faceHas(face, decodeScalar(text, at));
        }
        if (mapped) {
            return true;
        }
    }
    // The shaper may still draw a character the font does not map, from its decomposition.
    const platform::ShapedRun run = font.glyphFont().shape(text);
    return std::none_of(run.glyphs.begin(), run.glyphs.end(),
                        [](const auto& glyph) { return glyph.glyph == 0; });
}

std::string inDrawableForm(std::string_view text, const PlatformFont& font) {
    if (!platform::unicode::isValidUtf8(text)) {
        return std::string(text);
    }
    const platform::GlyphFace& face = font.face();
    std::string result;
    result.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = at;
        const char32_t c = decodeScalar(text, at);
        const std::string_view character = text.substr(start, at - start);
        if (faceHas(face, c) || fontDraws(font, character)) {
            result += character;
            continue;
        }
        const auto equivalents = equivalentCharacters(c);
        const auto drawn = std::find_if(equivalents.begin(), equivalents.end(),
                                        [&face](char32_t e) { return faceHas(face, e); });
        result +=
            drawn == equivalents.end() ? std::string(character) : platform::unicode::utf8(*drawn);
    }
    return result;
}

std::vector<Font::Name> fallbackFontNames(const Font::Name& name) {
    using Name = Font::Name;
    // XITS has every symbol of the tables; the others fill in the gaps of their own kind.
    if (name == Name::kpMathSans) {
        return {Name::fira, Name::xits};
    }
    if (name == Name::fira || name == Name::notoSans || name == Name::leteSans) {
        return {Name::kpMathSans, Name::xits};
    }
    if (name == Name::kpMathLight || name == Name::euler) {
        return {Name::asana, Name::xits};
    }
    if (name == Name::xits) {
        return {Name::libertinus};
    }
    return {Name::xits};
}

DrawableText drawableText(std::string_view text, const PlatformFont& font) {
    if (fontDraws(font, text)) {
        return {nullptr, std::string(text)};
    }
    std::string own = inDrawableForm(text, font);
    if (own != text && fontDraws(font, own)) {
        return {nullptr, std::move(own)};
    }
    for (const Font::Name& name : fallbackFontNames(font.font().name)) {
        auto other = PlatformFont::make(Font(name, font.font().size));
        if (!other) {
            continue;
        }
        if (fontDraws(*other, text)) {
            return {std::move(other), std::string(text)};
        }
        std::string theirs = inDrawableForm(text, *other);
        if (fontDraws(*other, theirs)) {
            return {std::move(other), std::move(theirs)};
        }
    }
    return {nullptr, std::move(own)};
}

platform::GlyphID firstGlyph(const PlatformFont& font, std::string_view text) {
    if (text.empty() || !platform::unicode::isValidUtf8(text)) {
        return 0;
    }
    std::size_t at = 0;
    return font.face().glyph(decodeScalar(text, at)).value_or(0);
}

} // namespace Math
