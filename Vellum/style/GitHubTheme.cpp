#include "Vellum/style/GitHubTheme.hpp"

namespace vellum {

namespace {

platform::Color rgb(int red, int green, int blue) {
    return {red / 255.0, green / 255.0, blue / 255.0};
}

} // namespace

const DynamicColor& gitHubQuoteText() {
    static const DynamicColor color(rgb(107, 110, 123), rgb(146, 148, 160));
    return color;
}

const DynamicColor& gitHubMutedHeading() {
    static const DynamicColor color(rgb(107, 110, 123), rgb(109, 112, 125));
    return color;
}

const DynamicColor& gitHubSecondaryBackground() {
    static const DynamicColor color(rgb(247, 247, 249), rgb(37, 38, 42));
    return color;
}

const DynamicColor& gitHubBorder() {
    static const DynamicColor color(rgb(228, 228, 232), rgb(66, 68, 78));
    return color;
}

const DynamicColor& gitHubHeadingDivider() {
    static const DynamicColor color(rgb(208, 208, 211), rgb(51, 52, 56));
    return color;
}

} // namespace vellum
