#pragma once

// Font: an immutable description of a font, kept as a small tree. The leaves name a base font (a
// text style, the system font at a size, a named family, or a face that was already resolved);
// every modifier (bold, italic, a weight, a scale factor, ...) wraps the font it modifies. The tree
// stays inspectable so that code above can read a font's kind, size and modifiers back, and it
// resolves through fontconfig to a concrete face.

#include "platform/text/ResolvedFont.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace platform {

class Font {
public:
    enum class TextStyle : std::uint8_t {
        largeTitle,
        title,
        title2,
        title3,
        headline,
        subheadline,
        body,
        callout,
        footnote,
        caption,
        caption2,
    };

    /// `standard` is the plain system design.
    enum class Design : std::uint8_t { standard, serif, rounded, monospaced };

    /// A weight on the platform's scale: -1 (lightest) ... 0 (regular) ... 1 (heaviest).
    struct Weight {
        double value = 0;

        static constexpr Weight ultraLight() { return {-0.8}; }
        static constexpr Weight thin() { return {-0.6}; }
        static constexpr Weight light() { return {-0.4}; }
        static constexpr Weight regular() { return {0}; }
        static constexpr Weight medium() { return {0.23}; }
        static constexpr Weight semibold() { return {0.3}; }
        static constexpr Weight bold() { return {0.4}; }
        static constexpr Weight heavy() { return {0.56}; }
        static constexpr Weight black() { return {0.62}; }

        /// The OpenType weight class (100 ... 900) this weight stands for.
        double openTypeWeight() const;
        friend constexpr bool operator==(const Weight&, const Weight&) = default;
    };

    /// A width on the platform's scale: negative is narrower, 0 standard, positive wider.
    struct Width {
        double value = 0;

        static constexpr Width compressed() { return {-0.3}; }
        static constexpr Width condensed() { return {-0.2}; }
        static constexpr Width standard() { return {0}; }
        static constexpr Width expanded() { return {0.2}; }

        /// Percent of the normal width, fontconfig's scale.
        double percent() const;
        friend constexpr bool operator==(const Width&, const Width&) = default;
    };

    using Leading = FontLeading;

    // Leaves of the tree.
    struct TextStyleProvider {
        TextStyle style = TextStyle::body;
        std::optional<Design> design;
        std::optional<Weight> weight;
        friend bool operator==(const TextStyleProvider&, const TextStyleProvider&) = default;
    };
    struct SystemProvider {
        double size = 13;
        std::optional<Weight> weight;
        std::optional<Design> design;
        friend bool operator==(const SystemProvider&, const SystemProvider&) = default;
    };
    /// A family by name; with a text style it is meant to follow that style's size changes.
    struct NamedProvider {
        std::string name;
        double size = 13;
        std::optional<TextStyle> textStyle;
        friend bool operator==(const NamedProvider&, const NamedProvider&) = default;
    };
    /// A face that was resolved before, wrapped as a font.
    struct PlatformFontProvider {
        ResolvedFont font;
        friend bool operator==(const PlatformFontProvider&, const PlatformFontProvider&) = default;
    };

    // Modifiers.
    struct BoldModifier {
        friend constexpr bool operator==(BoldModifier, BoldModifier) = default;
    };
    struct ItalicModifier {
        friend constexpr bool operator==(ItalicModifier, ItalicModifier) = default;
    };
    struct MonospacedModifier {
        friend constexpr bool operator==(MonospacedModifier, MonospacedModifier) = default;
    };
    struct MonospacedDigitModifier {
        friend constexpr bool operator==(MonospacedDigitModifier,
                                         MonospacedDigitModifier) = default;
    };
    /// A typographic feature by its type and selector numbers. Small capitals are type 37
    /// (lower case) or 38 (upper case) with selector 1; other pairs are kept but have no effect.
    struct FeatureSettingModifier {
        int type = 0;
        int selector = 0;
        friend constexpr bool operator==(FeatureSettingModifier, FeatureSettingModifier) = default;
    };
    struct WeightModifier {
        Weight weight;
        friend constexpr bool operator==(WeightModifier, WeightModifier) = default;
    };
    struct WidthModifier {
        double width = 0;
        friend constexpr bool operator==(WidthModifier, WidthModifier) = default;
    };
    struct LeadingModifier {
        Leading leading = Leading::standard;
        friend constexpr bool operator==(LeadingModifier, LeadingModifier) = default;
    };
    struct ScaleModifier {
        double scaleFactor = 1;
        friend constexpr bool operator==(ScaleModifier, ScaleModifier) = default;
    };
    using Modifier = std::variant<BoldModifier, ItalicModifier, MonospacedModifier,
                                  MonospacedDigitModifier, FeatureSettingModifier, WeightModifier,
                                  WidthModifier, LeadingModifier, ScaleModifier>;

    /// A modifier over the font it modifies (defined below, after Font is complete).
    struct ModifierProvider;
    using Provider = std::variant<TextStyleProvider, SystemProvider, NamedProvider,
                                  PlatformFontProvider, ModifierProvider>;

    /// The body text style.
    Font();
    explicit Font(const ResolvedFont& platformFont);

    /// A text style of the system font, optionally in another design or weight.
    static Font system(TextStyle style, std::optional<Design> design = std::nullopt,
                       std::optional<Weight> weight = std::nullopt);
    /// The system font at a fixed size.
    static Font system(double size, std::optional<Weight> weight = std::nullopt,
                       std::optional<Design> design = std::nullopt);
    /// A family by name at a size, fixed or relative to a text style.
    static Font custom(std::string name, double size,
                       std::optional<TextStyle> relativeTo = std::nullopt);

    static Font largeTitle() { return system(TextStyle::largeTitle); }
    static Font title() { return system(TextStyle::title); }
    static Font title2() { return system(TextStyle::title2); }
    static Font title3() { return system(TextStyle::title3); }
    static Font headline() { return system(TextStyle::headline); }
    static Font subheadline() { return system(TextStyle::subheadline); }
    static Font body() { return system(TextStyle::body); }
    static Font callout() { return system(TextStyle::callout); }
    static Font footnote() { return system(TextStyle::footnote); }
    static Font caption() { return system(TextStyle::caption); }
    static Font caption2() { return system(TextStyle::caption2); }

    /// The point size of a text style.
    static double pointSize(TextStyle style);
    /// The weight a text style has when none is given (semibold for headline, else regular).
    static Weight defaultWeight(TextStyle style);

    Font bold() const;
    Font italic() const;
    Font monospaced() const;
    Font monospacedDigit() const;
    /// Small capitals for both lower- and upper-case letters.
    Font smallCaps() const;
    Font lowercaseSmallCaps() const;
    Font uppercaseSmallCaps() const;
    Font weight(Weight w) const;
    Font width(Width w) const;
    Font leading(Leading l) const;
    Font scaled(double factor) const;
    /// Any modifier, for code that rebuilds a font from a tree it read.
    Font modified(Modifier modifier) const;

    /// The root of the description tree.
    const Provider& provider() const;

    /// The point size the font resolves to (text-style size or given size, times every scale).
    double pointSize() const;

    /// The concrete face: the system family is Inter, the monospaced design and the monospaced
    /// modifier use DejaVu Sans Mono, the serif design Noto Serif. Nothing only when fontconfig
    /// finds no font at all.
    std::optional<ResolvedFont> resolve() const;

    friend bool operator==(const Font& a, const Font& b);
    std::size_t hash() const noexcept { return hash_; }

private:
    explicit Font(Provider provider);

    std::shared_ptr<const Provider> provider_;
    std::size_t hash_ = 0;
};

struct Font::ModifierProvider {
    Modifier modifier;
    Font base;
    friend bool operator==(const ModifierProvider&, const ModifierProvider&) = default;
};

} // namespace platform

template <>
struct std::hash<platform::Font> {
    std::size_t operator()(const platform::Font& f) const noexcept { return f.hash(); }
};
