#include "Vellum/highlighting/HighlighterTheme.hpp"

#include "Vellum/text/TextEnvironmentValuesHashing.hpp"

namespace vellum {

namespace {

using platform::Color;
using TokenType = HighlighterTheme::TokenType;

DynamicColor lightDark(Color light, Color dark) {
    return DynamicColor(light, dark);
}

const DynamicColor& foreground() {
    static const DynamicColor color = lightDark({0, 0, 0, 0.85}, {1, 1, 1, 0.85});
    return color;
}

const DynamicColor& background() {
    static const DynamicColor color =
        lightDark({0.960784, 0.960784, 0.968627}, {0.120543, 0.122844, 0.141312});
    return color;
}

HighlighterTheme makeDefaultTheme() {
    const auto colour = [](Color light, Color dark) {
        return AnyTextProperty(ForegroundColorProperty{lightDark(light, dark)});
    };
    const auto weighted = [](Color light, Color dark, platform::Font::Weight weight) {
        return AnyTextProperty(ForegroundColorProperty{lightDark(light, dark)},
                               FontWeightProperty{weight});
    };

    const AnyTextProperty keyword =
        weighted({0.607592, 0.137526, 0.576284}, {0.988394, 0.37355, 0.638329},
                 platform::Font::Weight::semibold());
    const AnyTextProperty builtin = colour({0.224543, 0, 0.628029}, {0.632318, 0.402193, 0.901151});
    const AnyTextProperty string = colour({0.77, 0.102, 0.086}, {0.989117, 0.41558, 0.365684});
    const AnyTextProperty character = colour({0.11, 0, 0.81}, {0.815686, 0.74902, 0.411765});
    const AnyTextProperty url = colour({0.055, 0.055, 1}, {0.330191, 0.511266, 0.998589});
    const AnyTextProperty number = colour({0.11, 0, 0.81}, {0.814983, 0.749393, 0.412334});
    const AnyTextProperty symbol(ForegroundColorProperty{foreground()});
    const AnyTextProperty className =
        colour({0.109812, 0.272761, 0.288691}, {0.619608, 0.945098, 0.866667});
    const AnyTextProperty function =
        colour({0.194184, 0.429349, 0.454553}, {0.403922, 0.717647, 0.643137});
    const AnyTextProperty variable =
        colour({0.194184, 0.429349, 0.454553}, {0.405383, 0.717051, 0.642088});
    const AnyTextProperty constant =
        colour({0.194184, 0.429349, 0.454553}, {0.405383, 0.717051, 0.642088});
    const AnyTextProperty comment =
        colour({0.36526, 0.421879, 0.475154}, {0.423943, 0.474618, 0.525183});
    const AnyTextProperty mark =
        weighted({0.290196, 0.333333, 0.376471}, {0.572549, 0.631373, 0.694118},
                 platform::Font::Weight::bold());
    const AnyTextProperty preprocessor =
        colour({0.391471, 0.220311, 0.124457}, {0.991311, 0.560764, 0.246107});
    const AnyTextProperty attribute =
        colour({0.505801, 0.371396, 0.012096}, {0.74902, 0.521569, 0.333333});
    const AnyTextProperty inserted =
        colour({0.203922, 0.780392, 0.34902}, {0.188235, 0.819608, 0.345098});
    const AnyTextProperty deleted = colour({1, 0.219608, 0.235294}, {1, 0.258824, 0.270588});

    HighlighterTheme theme{foreground(), background(), {}};
    const std::pair<const TokenType&, const AnyTextProperty&> entries[] = {
        {TokenType::keyword, keyword},
        {TokenType::builtin, builtin},
        {TokenType::literal, keyword},
        {TokenType::string, string},
        {TokenType::char_, character},
        {TokenType::regex, string},
        {TokenType::url, url},
        {TokenType::number, number},
        {TokenType::symbol, symbol},
        {TokenType::boolean, keyword},
        {TokenType::className, className},
        {TokenType::function, function},
        {TokenType::functionName, function},
        {TokenType::variable, variable},
        {TokenType::constant, constant},
        {TokenType::property, variable},
        {TokenType::comment, comment},
        {TokenType::blockComment, comment},
        {TokenType::docComment, comment},
        {TokenType::mark, mark},
        {TokenType::preprocessor, preprocessor},
        {TokenType::directive, preprocessor},
        {TokenType::attribute, attribute},
        {TokenType::tag, character},
        {TokenType::attrName, attribute},
        {TokenType::inserted, inserted},
        {TokenType::deleted, deleted},
    };
    for (const auto& [type, property] : entries) {
        theme.tokenProperties.emplace(type, property);
    }
    return theme;
}

} // namespace

const HighlighterTheme::TokenProperties::Map& HighlighterTheme::TokenProperties::map() const {
    static const Map none;
    return map_ ? *map_ : none;
}

HighlighterTheme::TokenProperties::Map& HighlighterTheme::TokenProperties::mutableMap() {
    if (!map_) {
        map_ = std::make_shared<Map>();
    } else if (map_.use_count() > 1) {
        map_ = std::make_shared<Map>(*map_);
    }
    return *map_;
}

const HighlighterTheme& HighlighterTheme::defaultTheme() {
    static const HighlighterTheme theme = makeDefaultTheme();
    return theme;
}

const HighlighterTheme& HighlighterTheme::colorOnly() {
    static const HighlighterTheme theme{foreground(), background(), {}};
    return theme;
}

std::size_t HighlighterTheme::hash() const noexcept {
    std::size_t seed = 0;
    detail::hashCombine(seed, foregroundColor.hash());
    detail::hashCombine(seed, backgroundColor.hash());
    // A sum does not depend on the order the entries are visited in.
    std::size_t entries = 0;
    for (const auto& [type, property] : tokenProperties) {
        std::size_t entry = TokenTypeHash{}(type);
        detail::hashCombine(entry, property.hash());
        entries += entry;
    }
    detail::hashCombine(seed, entries);
    return seed;
}

} // namespace vellum
