#include "Vellum/style/DefaultTheme.hpp"

namespace vellum {

namespace {

// Components as bytes, the way designers hand them over.
platform::Color rgb(int red, int green, int blue) {
    return {red / 255.0, green / 255.0, blue / 255.0};
}

} // namespace

const DynamicColor& defaultSeparator() {
    static const DynamicColor color(rgb(210, 210, 215), rgb(66, 66, 69));
    return color;
}

const DynamicColor& defaultQuoteBackground() {
    static const DynamicColor color(rgb(245, 245, 245), rgb(34, 34, 34));
    return color;
}

const DynamicColor& defaultQuoteBorder() {
    static const DynamicColor color(rgb(102, 102, 102), rgb(176, 176, 176));
    return color;
}

const DynamicColor& defaultTableBorder() {
    static const DynamicColor color(rgb(240, 240, 240), rgb(66, 66, 66));
    return color;
}

} // namespace vellum
