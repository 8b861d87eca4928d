#include "Vellum/text/MathProperties.hpp"

namespace vellum {

// Each name is made once, on first use; function-local statics are safe when first uses race.
#define VELLUM_MATH_FONT_NAME(member)                                                              \
    const MathProperties::FontName& MathProperties::FontName::member() {                           \
        static const FontName name(Math::Font::Name::member);                                      \
        return name;                                                                               \
    }

VELLUM_MATH_FONT_NAME(latinModern)
VELLUM_MATH_FONT_NAME(kpMathLight)
VELLUM_MATH_FONT_NAME(kpMathSans)
VELLUM_MATH_FONT_NAME(xits)
VELLUM_MATH_FONT_NAME(termes)
VELLUM_MATH_FONT_NAME(asana)
VELLUM_MATH_FONT_NAME(euler)
VELLUM_MATH_FONT_NAME(fira)
VELLUM_MATH_FONT_NAME(notoSans)
VELLUM_MATH_FONT_NAME(libertinus)
VELLUM_MATH_FONT_NAME(garamond)
VELLUM_MATH_FONT_NAME(leteSans)

#undef VELLUM_MATH_FONT_NAME

} // namespace vellum
