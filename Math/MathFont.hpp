#pragma once

// A math font by name and point size. The name is also the base name of the font's two resources
// (the font file and its table file) in the library's resource bundle.

#include "platform/foundation/Hash.hpp"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace Math {

class Font {
public:
    class Name {
    public:
        explicit Name(std::string rawValue)
            : rawValue_(std::make_shared<const std::string>(std::move(rawValue))) {}
        // Copied, never moved from: a name is never left empty.
        Name(const Name&) = default;
        Name& operator=(const Name&) = default;
        ~Name() = default;

        const std::string& rawValue() const { return *rawValue_; }
        friend bool operator==(const Name& a, const Name& b) {
            return a.rawValue_ == b.rawValue_ || *a.rawValue_ == *b.rawValue_;
        }

        static const Name latinModern;
        static const Name kpMathLight;
        static const Name kpMathSans;
        static const Name xits;
        static const Name termes;
        static const Name asana;
        static const Name euler;
        static const Name fira;
        static const Name notoSans;
        static const Name libertinus;
        static const Name garamond;
        static const Name leteSans;

    private:
        // Shared: a font rides in every typesetting step, display cache key and view of a
        // formula, and most names are longer than a string holds in place.
        std::shared_ptr<const std::string> rawValue_;
    };

    Font(Name name, double size)
        : name(std::move(name))
        , size(size) {}

    Name name;
    /// Point size.
    double size;

    friend bool operator==(const Font& a, const Font& b) {
        return a.name == b.name && a.size == b.size;
    }
};

inline const Font::Name Font::Name::latinModern{"latinmodern-math"};
inline const Font::Name Font::Name::kpMathLight{"KpMath-Light"};
inline const Font::Name Font::Name::kpMathSans{"KpMath-Sans"};
inline const Font::Name Font::Name::xits{"xits-math"};
inline const Font::Name Font::Name::termes{"texgyretermes-math"};
inline const Font::Name Font::Name::asana{"Asana-Math"};
inline const Font::Name Font::Name::euler{"Euler-Math"};
inline const Font::Name Font::Name::fira{"FiraMath-Regular"};
inline const Font::Name Font::Name::notoSans{"NotoSansMath-Regular"};
inline const Font::Name Font::Name::libertinus{"LibertinusMath-Regular"};
inline const Font::Name Font::Name::garamond{"Garamond-Math"};
inline const Font::Name Font::Name::leteSans{"LeteSansMath"};

} // namespace Math

template <>
struct std::hash<Math::Font::Name> {
    std::size_t operator()(const Math::Font::Name& name) const noexcept {
        return std::hash<std::string>{}(name.rawValue());
    }
};

template <>
struct std::hash<Math::Font> {
    std::size_t operator()(const Math::Font& font) const noexcept {
        // +0.0 and -0.0 are equal sizes, so they must hash alike.
        const double size = font.size == 0 ? 0.0 : font.size;
        const std::size_t h = std::hash<Math::Font::Name>{}(font.name);
        return platform::hashCombine(h, std::hash<double>{}(size));
    }
};
