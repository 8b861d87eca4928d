#pragma once

// The process-wide store of loaded math fonts. Each font is two resources in the "mathFonts"
// sub-bundle of the library's resource bundle: "<name>.otf" and its table "<name>.plist". A font
// loads on first use, once, with its table; a font whose file or table is missing or unreadable
// resolves to nothing and is looked for again on the next request.
//
// The resource bundle "math-typeset_MathTypeset.bundle" is looked for, once per process, in the
// resource directory of the running program: "resources/" beside the executable or in one of its
// three parent directories (the build tree keeps one such directory for all its programs), then
// "../share/mossbarrow/" from the executable's directory (the install tree).

#include "Math/FontMetrics.hpp"
#include "Math/FontTable.hpp"
#include "Math/MathFont.hpp"
#include "Math/ReadWriteLockIsolated.hpp"
#include "platform/text/GlyphFace.hpp"
#include "platform/text/GlyphFont.hpp"

#include <filesystem>
#include <memory>
#include <optional>
#include <unordered_map>

namespace Math {

class FontRegistry {
public:
    /// The registry over the located resource bundle; without one, no font resolves.
    static FontRegistry& shared();
    /// The library's resource bundle directory; nothing when there is none.
    static const std::optional<std::filesystem::path>& locateModuleBundle();

    /// A registry over the fonts of one "mathFonts" directory.
    explicit FontRegistry(std::optional<std::filesystem::path> mathFontsDirectory);
    FontRegistry(const FontRegistry&) = delete;
    FontRegistry& operator=(const FontRegistry&) = delete;

    std::shared_ptr<const platform::GlyphFace> graphicsFont(const Font::Name& name);
    std::shared_ptr<const FontTable> fontTable(const Font::Name& name);
    /// The face at the font's size; nothing when the font does not load.
    std::optional<platform::GlyphFont> glyphFont(const Font& font);
    /// The font's table indexed against its face, for building metrics.
    std::shared_ptr<const FontMetrics::Tables> metricsTables(const Font::Name& name);

private:
    struct Entry {
        std::shared_ptr<const platform::GlyphFace> face;
        std::shared_ptr<const FontTable> table;
        std::shared_ptr<const FontMetrics::Tables> tables;
    };
    struct Cache {
        std::unordered_map<Font::Name, Entry> fonts;
    };

    /// The loaded font of that name, loading it if needed. Called under the lock.
    const Entry* entry(Cache& cache, const Font::Name& name) const;

    std::optional<std::filesystem::path> directory_;
    ReadWriteLockIsolated<Cache> cache_{Cache{}};
};

} // namespace Math
