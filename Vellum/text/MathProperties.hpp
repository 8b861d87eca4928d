#pragma once

// How formulas are set inside text: the math font, their size relative to the surrounding text and
// the alignment of display formulas; kept in the view environment.

#include "Math/MathFont.hpp"
#include "Vellum/text/TextEnvironmentValuesHashing.hpp"
#include "platform/ui/Environment.hpp"

#include <cstddef>
#include <functional>
#include <string>
#include <utility>

namespace vellum {

struct MathProperties {
    // A math font by the name the math library knows it under; names compare exactly, letter case
    // included.
    class FontName {
    public:
        explicit FontName(std::string rawValue)
            : name_(std::move(rawValue)) {}
        FontName(const char* literal) // NOLINT: implicit, names are written as literals
            : name_(std::string(literal)) {}
        explicit FontName(const Math::Font::Name& name)
            : name_(name) {}

        [[nodiscard]] const std::string& rawValue() const { return name_.rawValue(); }
        // The math library's name shares the characters: no copy.
        [[nodiscard]] Math::Font::Name mathFontName() const { return name_; }
        friend bool operator==(const FontName&, const FontName&) = default;

        static const FontName& latinModern();
        static const FontName& kpMathLight();
        static const FontName& kpMathSans();
        static const FontName& xits();
        static const FontName& termes();
        static const FontName& asana();
        static const FontName& euler();
        static const FontName& fira();
        static const FontName& notoSans();
        static const FontName& libertinus();
        static const FontName& garamond();
        static const FontName& leteSans();

    private:
        Math::Font::Name name_;
    };

    FontName fontName;
    // Formulas are set at the environment font's point size times this.
    double fontScale = 1.2;
    platform::ui::TextAlignment textAlignment = platform::ui::TextAlignment::center;

    MathProperties(FontName fontName_, double fontScale_,
                   platform::ui::TextAlignment textAlignment_)
        : fontName(std::move(fontName_))
        , fontScale(fontScale_)
        , textAlignment(textAlignment_) {}

    // Latin Modern at 1.2 times the text size, display formulas centred.
    static MathProperties defaultValue() {
        return {FontName::latinModern(), 1.2, platform::ui::TextAlignment::center};
    }

    friend bool operator==(const MathProperties&, const MathProperties&) = default;
};

struct MathPropertiesKey {
    using Value = MathProperties;
    static Value defaultValue() { return MathProperties::defaultValue(); }
};

} // namespace vellum

template <>
struct std::hash<vellum::MathProperties::FontName> {
    std::size_t operator()(const vellum::MathProperties::FontName& name) const noexcept {
        return std::hash<std::string>{}(name.rawValue());
    }
};

template <>
struct std::hash<vellum::MathProperties> {
    std::size_t operator()(const vellum::MathProperties& properties) const noexcept {
        std::size_t seed = 0;
        vellum::detail::hashValue(seed, properties.fontName);
        vellum::detail::hashValue(seed, properties.fontScale);
        vellum::detail::hashCombine(seed, static_cast<std::size_t>(properties.textAlignment));
        return seed;
    }
};
