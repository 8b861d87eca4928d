#include "platform/text/Font.hpp"

#include "platform/foundation/Hash.hpp"
#include "platform/foundation/RecentlyMade.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <iterator>
#include <optional>
#include <set>
#include <utility>

namespace platform {
namespace {

template <class T>
void combineOptional(std::size_t& seed, const std::optional<T>& value,
                     std::size_t (*hashValue)(const T&)) {
    seed = hashCombine(seed, value ? 1 : 0);
    if (value) {
        seed = hashCombine(seed, hashValue(*value));
    }
}

std::size_t hashWeight(const Font::Weight& w) {
    return hashDouble(w.value);
}
std::size_t hashDesign(const Font::Design& d) {
    return static_cast<std::size_t>(d) + 1;
}
std::size_t hashStyle(const Font::TextStyle& s) {
    return static_cast<std::size_t>(s) + 1;
}

std::size_t hashModifier(const Font::Modifier& modifier) {
    std::size_t seed = modifier.index();
    std::visit(
        [&seed](const auto& m) {
            using M = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<M, Font::FeatureSettingModifier>) {
                seed = hashCombine(seed, static_cast<std::size_t>(m.type));
                seed = hashCombine(seed, static_cast<std::size_t>(m.selector));
            } else if constexpr (std::is_same_v<M, Font::WeightModifier>) {
                seed = hashCombine(seed, hashDouble(m.weight.value));
            } else if constexpr (std::is_same_v<M, Font::WidthModifier>) {
                seed = hashCombine(seed, hashDouble(m.width));
            } else if constexpr (std::is_same_v<M, Font::LeadingModifier>) {
                seed = hashCombine(seed, static_cast<std::size_t>(m.leading));
            } else if constexpr (std::is_same_v<M, Font::ScaleModifier>) {
                seed = hashCombine(seed, hashDouble(m.scaleFactor));
            }
        },
        modifier);
    return seed;
}

std::size_t hashProvider(const Font::Provider& provider) {
    std::size_t seed = provider.index() * 31 + 7;
    std::visit(
        [&seed](const auto& p) {
            using P = std::decay_t<decltype(p)>;
            if constexpr (std::is_same_v<P, Font::TextStyleProvider>) {
                seed = hashCombine(seed, hashStyle(p.style));
                combineOptional(seed, p.design, hashDesign);
                combineOptional(seed, p.weight, hashWeight);
            } else if constexpr (std::is_same_v<P, Font::SystemProvider>) {
                seed = hashCombine(seed, hashDouble(p.size));
                combineOptional(seed, p.weight, hashWeight);
                combineOptional(seed, p.design, hashDesign);
            } else if constexpr (std::is_same_v<P, Font::NamedProvider>) {
                seed = hashCombine(seed, std::hash<std::string>{}(p.name));
                seed = hashCombine(seed, hashDouble(p.size));
                combineOptional(seed, p.textStyle, hashStyle);
            } else if constexpr (std::is_same_v<P, Font::PlatformFontProvider>) {
                seed = hashCombine(seed, p.font.hash());
            } else {
                seed = hashCombine(seed, hashModifier(p.modifier));
                seed = hashCombine(seed, p.base.hash());
            }
        },
        provider);
    return seed;
}

struct TextStyleMetrics {
    double size;
    Font::Weight weight;
};

TextStyleMetrics textStyleMetrics(Font::TextStyle style) {
    switch (style) {
    case Font::TextStyle::largeTitle:
        return {26, Font::Weight::regular()};
    case Font::TextStyle::title:
        return {22, Font::Weight::regular()};
    case Font::TextStyle::title2:
        return {17, Font::Weight::regular()};
    case Font::TextStyle::title3:
        return {15, Font::Weight::regular()};
    case Font::TextStyle::headline:
        return {13, Font::Weight::semibold()};
    case Font::TextStyle::subheadline:
        return {11, Font::Weight::regular()};
    case Font::TextStyle::body:
        return {13, Font::Weight::regular()};
    case Font::TextStyle::callout:
        return {12, Font::Weight::regular()};
    case Font::TextStyle::footnote:
    case Font::TextStyle::caption:
    case Font::TextStyle::caption2:
        return {10, Font::Weight::regular()};
    }
    return {13, Font::Weight::regular()};
}

constexpr const char* kSystemFamily = "Inter";
constexpr const char* kSerifFamily = "Noto Serif";
constexpr const char* kMonospacedFamily = "DejaVu Sans Mono";

const char* familyForDesign(Font::Design design) {
    switch (design) {
    case Font::Design::serif:
        return kSerifFamily;
    case Font::Design::monospaced:
        return kMonospacedFamily;
    case Font::Design::standard:
    case Font::Design::rounded:
        // No rounded system face is installed; the standard design stands in for it.
        break;
    }
    return kSystemFamily;
}

/// Everything a walk of the tree collects before fontconfig is asked.
struct ResolutionState {
    FontRequest request;
    std::optional<ResolvedFont> platformFont;
    /// Whether something changed that needs a new fontconfig match of a wrapped platform font.
    bool needsMatch = false;
    std::set<std::string> features;
    FontLeading leading = FontLeading::standard;
};

void collect(const Font::Provider& provider, ResolutionState& state) {
    std::visit(
        [&state](const auto& p) {
            using P = std::decay_t<decltype(p)>;
            if constexpr (std::is_same_v<P, Font::TextStyleProvider>) {
                const TextStyleMetrics metrics = textStyleMetrics(p.style);
                state.request.family = familyForDesign(p.design.value_or(Font::Design::standard));
                state.request.size = metrics.size;
                state.request.weight = p.weight.value_or(metrics.weight).openTypeWeight();
                state.needsMatch = true;
            } else if constexpr (std::is_same_v<P, Font::SystemProvider>) {
                state.request.family = familyForDesign(p.design.value_or(Font::Design::standard));
                state.request.size = p.size;
                state.request.weight = p.weight.value_or(Font::Weight::regular()).openTypeWeight();
                state.needsMatch = true;
            } else if constexpr (std::is_same_v<P, Font::NamedProvider>) {
                state.request.family = p.name;
                state.request.size = p.size;
                state.needsMatch = true;
            } else if constexpr (std::is_same_v<P, Font::PlatformFontProvider>) {
                state.platformFont = p.font;
                state.request.family = p.font.family;
                state.request.size = p.font.size;
                state.request.weight = p.font.weight;
                state.request.italic = p.font.italic;
                state.request.width = p.font.width;
                state.features.insert(p.font.features.begin(), p.font.features.end());
                state.leading = p.font.leading;
            } else {
                collect(p.base.provider(), state);
                std::visit(
                    [&state](const auto& m) {
                        using M = std::decay_t<decltype(m)>;
                        if constexpr (std::is_same_v<M, Font::BoldModifier>) {
                            state.request.weight = Font::Weight::bold().openTypeWeight();
                            state.needsMatch = true;
                        } else if constexpr (std::is_same_v<M, Font::ItalicModifier>) {
                            state.request.italic = true;
                            state.needsMatch = true;
                        } else if constexpr (std::is_same_v<M, Font::MonospacedModifier>) {
                            state.request.family = kMonospacedFamily;
                            state.needsMatch = true;
                        } else if constexpr (std::is_same_v<M, Font::MonospacedDigitModifier>) {
                            state.features.insert("tnum");
                        } else if constexpr (std::is_same_v<M, Font::FeatureSettingModifier>) {
                            if (m.selector == 1 && m.type == 37) {
                                state.features.insert("smcp");
                            } else if (m.selector == 1 && m.type == 38) {
                                state.features.insert("c2sc");
                            }
                        } else if constexpr (std::is_same_v<M, Font::WeightModifier>) {
                            state.request.weight = m.weight.openTypeWeight();
                            state.needsMatch = true;
                        } else if constexpr (std::is_same_v<M, Font::WidthModifier>) {
                            state.request.width = Font::Width{m.width}.percent();
                            state.needsMatch = true;
                        } else if constexpr (std::is_same_v<M, Font::LeadingModifier>) {
                            state.leading = m.leading;
                        } else if constexpr (std::is_same_v<M, Font::ScaleModifier>) {
                            state.request.size *= m.scaleFactor;
                        }
                    },
                    p.modifier);
            }
        },
        provider);
}

} // namespace

double Font::Weight::openTypeWeight() const {
    // The named weights sit on the OpenType classes 100 ... 900; values between them are
    // interpolated, values beyond the ends clamped.
    static constexpr std::array<std::pair<double, double>, 9> anchors{{
        {-0.8, 100},
        {-0.6, 200},
        {-0.4, 300},
        {0.0, 400},
        {0.23, 500},
        {0.3, 600},
        {0.4, 700},
        {0.56, 800},
        {0.62, 900},
    }};
    if (!(value > anchors.front().first)) {
        return anchors.front().second;
    }
    for (std::size_t i = 1; i < anchors.size(); ++i) {
        if (value <= anchors[i].first) {
            const auto [x0, y0] = anchors[i - 1];
            const auto [x1, y1] = anchors[i];
            return y0 + (value - x0) / (x1 - x0) * (y1 - y0);
        }
    }
    return anchors.back().second;
}

double Font::Width::percent() const {
    // 0 is normal (100); compressed (-0.3) lands near fontconfig's extra-condensed (62.5) and
    // expanded (0.2) on expanded (125).
    return std::clamp(100 + value * 125, 50.0, 200.0);
}

Font::Font()
    : Font(system(TextStyle::body)) {}

Font::Font(const ResolvedFont& platformFont)
    : Font(Provider{PlatformFontProvider{platformFont}}) {}

Font::Font(Provider provider)
    : provider_(std::make_shared<const Provider>(std::move(provider)))
    , hash_(hashProvider(*provider_)) {}

Font Font::system(TextStyle style, std::optional<Design> design, std::optional<Weight> weight) {
    if (!design && !weight) {
        // The plain text styles are what text asks for when nothing else is said, tens of
        // thousands of times in a long document: each is made once and then shared (a font is
        // immutable, its description shared between copies anyway).
        static const Font plain[]{
            Font(Provider{TextStyleProvider{TextStyle::largeTitle}}),
            Font(Provider{TextStyleProvider{TextStyle::title}}),
            Font(Provider{TextStyleProvider{TextStyle::title2}}),
            Font(Provider{TextStyleProvider{TextStyle::title3}}),
            Font(Provider{TextStyleProvider{TextStyle::headline}}),
            Font(Provider{TextStyleProvider{TextStyle::subheadline}}),
            Font(Provider{TextStyleProvider{TextStyle::body}}),
            Font(Provider{TextStyleProvider{TextStyle::callout}}),
            Font(Provider{TextStyleProvider{TextStyle::footnote}}),
            Font(Provider{TextStyleProvider{TextStyle::caption}}),
            Font(Provider{TextStyleProvider{TextStyle::caption2}}),
        };
        const auto index = static_cast<std::size_t>(style);
        if (index < std::size(plain)) {
            return plain[index];
        }
    }
    return Font(Provider{TextStyleProvider{style, design, weight}});
}

Font Font::system(double size, std::optional<Weight> weight, std::optional<Design> design) {
    return Font(Provider{SystemProvider{size, weight, design}});
}

Font Font::custom(std::string name, double size, std::optional<TextStyle> relativeTo) {
    return Font(Provider{NamedProvider{std::move(name), size, relativeTo}});
}

double Font::pointSize(TextStyle style) {
    return textStyleMetrics(style).size;
}

Font::Weight Font::defaultWeight(TextStyle style) {
    return textStyleMetrics(style).weight;
}

Font Font::modified(Modifier modifier) const {
    // Styles ask for the same few variants of the same few fonts over and over (every cell of a
    // table its weight, every code span its monospaced font): the last ones made on this thread
    // are handed out again. An entry keeps its base alive through the font it made, so the
    // address of the base's description names that base as long as the entry lives.
    thread_local RecentlyMade<std::pair<const Provider*, Modifier>, Font> recent;
    std::pair<const Provider*, Modifier> key(provider_.get(), std::move(modifier));
    if (const Font* made = recent.find(key)) {
        return *made;
    }
    Font font(Provider{ModifierProvider{key.second, *this}});
    return recent.remember(std::move(key), std::move(font));
}

Font Font::bold() const {
    return modified(BoldModifier{});
}
Font Font::italic() const {
    return modified(ItalicModifier{});
}
Font Font::monospaced() const {
    return modified(MonospacedModifier{});
}
Font Font::monospacedDigit() const {
    return modified(MonospacedDigitModifier{});
}
Font Font::lowercaseSmallCaps() const {
    return modified(FeatureSettingModifier{37, 1});
}
Font Font::uppercaseSmallCaps() const {
    return modified(FeatureSettingModifier{38, 1});
}
Font Font::smallCaps() const {
    return lowercaseSmallCaps().uppercaseSmallCaps();
}
Font Font::weight(Weight w) const {
    return modified(WeightModifier{w});
}
Font Font::width(Width w) const {
    return modified(WidthModifier{w.value});
}
Font Font::leading(Leading l) const {
    return modified(LeadingModifier{l});
}
Font Font::scaled(double factor) const {
    return modified(ScaleModifier{factor});
}

const Font::Provider& Font::provider() const {
    return *provider_;
}

double Font::pointSize() const {
    ResolutionState state;
    collect(*provider_, state);
    return state.request.size;
}

std::optional<ResolvedFont> Font::resolve() const {
    ResolutionState state;
    collect(*provider_, state);
    std::optional<ResolvedFont> font;
    if (state.platformFont && !state.needsMatch) {
        font = state.platformFont->withSize(state.request.size);
    } else {
        font = ResolvedFont::match(state.request);
    }
    if (font) {
        font->features.assign(state.features.begin(), state.features.end());
        font->leading = state.leading;
    }
    return font;
}

bool operator==(const Font& a, const Font& b) {
    if (a.provider_ == b.provider_) {
        return true;
    }
    return a.hash_ == b.hash_ && *a.provider_ == *b.provider_;
}

} // namespace platform
