// libFuzzer entry: any bytes go through parse, typeset and draw. The first byte picks the font
// size (absurd ones included), the style and whether lines are broken; the rest is the formula.

#include "Math/AtomList.hpp"
#include "Math/DisplayDrawing.hpp"
#include "Math/Parser.hpp"
#include "Math/PlatformFont.hpp"
#include "Math/Typesetter.hpp"
#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    constexpr double kSizes[] = {20,  12,   0,   -4, std::numeric_limits<double>::quiet_NaN(),
                                 1e9, 4000, 0.01};
    const std::uint8_t options = data[0];
    const double points = kSizes[options & 7];
    const auto style = (options & 8) != 0 ? Math::Style::Level::text : Math::Style::Level::display;
    const double maxWidth = (options & 16) != 0 ? 120 : 0;
    const std::string_view latex(reinterpret_cast<const char*>(data + 1), size - 1);

    const auto list = Math::parseLatex(latex);
    if (!list) {
        return 0;
    }
    const auto font = Math::PlatformFont::make(Math::Font(Math::Font::Name::latinModern, points));
    const auto root =
        Math::Typesetter::createLine(*Math::finalizedAtomList(*list), font, style, false, maxWidth);
    if (!root) {
        return 0;
    }
    if (!std::isfinite(root->width()) || !std::isfinite(root->ascent()) ||
        !std::isfinite(root->descent())) {
        std::abort(); // a typeset formula always has a size
    }
    platform::ImageSurface surface(64, 32);
    platform::GraphicsContext context(surface);
    Math::drawInGraphicsContext(*root, context, {64, 32});
    return 0;
}
