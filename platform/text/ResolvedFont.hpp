#pragma once

// A concrete face at a size, as fontconfig chose it: the family that was really found, the file
// and face index it lives in, and the style and OpenType features the description asked for.
// This is what the paragraph layout and the glyph drawing hand to Pango and Cairo.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

/// How tightly the lines of a font are packed relative to the face's own line height.
enum class FontLeading : std::uint8_t { standard, tight, loose };

/// What to look for: a family name and the style wanted of it.
struct FontRequest {
    std::string family;
    double size = 13;
    /// OpenType weight class: 100 (thin) ... 400 (regular) ... 900 (black).
    double weight = 400;
    bool italic = false;
    /// Percent of the normal width (fontconfig's scale: 50 ultra-condensed ... 200 ultra-expanded).
    double width = 100;

    friend bool operator==(const FontRequest&, const FontRequest&) = default;
};

struct ResolvedFont {
    /// The family of the face that was found; differs from the requested one when fontconfig had
    /// to substitute.
    std::string family;
    std::string postScriptName;
    std::string file;
    int faceIndex = 0;
    /// Point size.
    double size = 13;
    /// The weight asked for (the face may be the nearest the family has).
    double weight = 400;
    bool italic = false;
    double width = 100;
    /// OpenType feature tags switched on for this font, e.g. "tnum" or "smcp", in a stable order.
    std::vector<std::string> features;
    FontLeading leading = FontLeading::standard;

    /// Finds the best face for `request` in the system's fonts. Nothing when fontconfig has no
    /// font at all. Results are cached for the process.
    static std::optional<ResolvedFont> match(const FontRequest& request);

    /// The face that should draw `character` when this one has no glyph for it: this font itself
    /// when it covers the character, Noto Color Emoji for emoji, otherwise the first face in
    /// fontconfig's fallback order that covers it. Nothing when no installed font covers it.
    std::optional<ResolvedFont> fallback(char32_t character) const;

    /// Whether the face has a glyph for `character`.
    bool covers(char32_t character) const;

    /// The same face at another point size.
    ResolvedFont withSize(double pointSize) const;

    /// Whether the feature tag is switched on.
    bool hasFeature(const std::string& tag) const;

    friend bool operator==(const ResolvedFont&, const ResolvedFont&) = default;
    std::size_t hash() const noexcept;
};

} // namespace platform

template <>
struct std::hash<platform::ResolvedFont> {
    std::size_t operator()(const platform::ResolvedFont& f) const noexcept { return f.hash(); }
};
