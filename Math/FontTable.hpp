#pragma once

// The math data of one font as its table file carries it: the MATH constants, italic corrections,
// top-accent attachments, size variants and vertical assemblies, keyed by glyph name, all in
// design units (three constants are percentages). The font file itself supplies the outlines.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {
class PropertyListValue;
}

namespace Math {

struct FontTable {
    struct Assembly {
        struct Part {
            /// Full advance along the stacking direction.
            std::int64_t advance = 0;
            std::int64_t endConnector = 0;
            /// The part may be repeated to stretch the assembly.
            bool extender = false;
            std::string glyph;
            std::int64_t startConnector = 0;
            friend bool operator==(const Part&, const Part&) = default;
        };
        std::int64_t italic = 0;
        /// Bottom to top.
        std::vector<Part> parts;
        friend bool operator==(const Assembly&, const Assembly&) = default;
    };

    std::string version;
    std::map<std::string, std::int64_t, std::less<>> accents;
    std::map<std::string, std::int64_t, std::less<>> constants;
    std::map<std::string, std::int64_t, std::less<>> italic;
    /// Smallest first; a list may begin with the glyph itself.
    std::map<std::string, std::vector<std::string>, std::less<>> hVariants;
    std::map<std::string, std::vector<std::string>, std::less<>> vVariants;
    std::map<std::string, Assembly, std::less<>> vAssembly;

    friend bool operator==(const FontTable&, const FontTable&) = default;

    /// A table file's contents (XML or binary property list). Every key is required and every
    /// value must have its exact type; anything else, at any depth, fails the whole table.
    static std::optional<FontTable> decode(std::span<const std::uint8_t> bytes);
    /// The same for a file in the plain form the table files are written in (see FontTable.cpp),
    /// read without the general property-list reader; nothing for any other file, even one that
    /// `decode` reads.
    static std::optional<FontTable> readPlain(std::span<const std::uint8_t> bytes);
    static std::optional<FontTable> fromPropertyList(const platform::PropertyListValue& root);
    /// The table as the root dictionary of its file.
    platform::PropertyListValue encode() const;
};

} // namespace Math
