#include "Vellum/text/FontProviderCache.hpp"

#include <cmath>
#include <type_traits>
#include <variant>

namespace vellum {

using platform::Font;

namespace {

// Fonts are built one modifier at a time by code; no real font nests this deep, and the walk must
// not run the stack out on one that does.
constexpr int maximumDepth = 256;

bool readableLength(double value) {
    return std::isfinite(value) && value >= 0;
}

template <StaticFontModifier Modifier>
AnyFontProvider wrapStatic(AnyFontProvider base) {
    return AnyFontProvider(StaticFontModifierProvider<AnyFontProvider, Modifier>{std::move(base)});
}

template <FontModifier Modifier>
AnyFontProvider wrap(AnyFontProvider base, Modifier modifier) {
    return AnyFontProvider(
        FontModifierProvider<AnyFontProvider, Modifier>{std::move(base), std::move(modifier)});
}

std::optional<AnyFontProvider> decodeModifier(const Font::Modifier& modifier,
                                              AnyFontProvider base) {
    return std::visit(
        [&base](const auto& m) -> std::optional<AnyFontProvider> {
            using M = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<M, Font::BoldModifier>) {
                return wrapStatic<BoldFontModifier>(std::move(base));
            } else if constexpr (std::is_same_v<M, Font::ItalicModifier>) {
                return wrapStatic<ItalicFontModifier>(std::move(base));
            } else if constexpr (std::is_same_v<M, Font::MonospacedModifier>) {
                return wrapStatic<MonospacedFontModifier>(std::move(base));
            } else if constexpr (std::is_same_v<M, Font::MonospacedDigitModifier>) {
                return wrapStatic<MonospacedDigitFontModifier>(std::move(base));
            } else if constexpr (std::is_same_v<M, Font::FeatureSettingModifier>) {
                if (m.type == 38 && m.selector == 1) {
                    return wrapStatic<UppercaseSmallCapsFontModifier>(std::move(base));
                }
                if (m.type == 37 && m.selector == 1) {
                    return wrapStatic<LowercaseSmallCapsFontModifier>(std::move(base));
                }
                // Other features have no effect on the face; the setting is dropped.
                return base;
            } else if constexpr (std::is_same_v<M, Font::WeightModifier>) {
                if (!std::isfinite(m.weight.value)) {
                    return std::nullopt;
                }
                return wrap(std::move(base), WeightFontModifier{m.weight});
            } else if constexpr (std::is_same_v<M, Font::WidthModifier>) {
                if (!std::isfinite(m.width)) {
                    return std::nullopt;
                }
                return wrap(std::move(base), WidthFontModifier{Font::Width{m.width}});
            } else if constexpr (std::is_same_v<M, Font::LeadingModifier>) {
                return wrap(std::move(base), LeadingFontModifier{m.leading});
            } else {
                static_assert(std::is_same_v<M, Font::ScaleModifier>);
                if (!readableLength(m.scaleFactor)) {
                    return std::nullopt;
                }
                return wrap(std::move(base), ScaleFontModifier{m.scaleFactor});
            }
        },
        modifier);
}

std::optional<AnyFontProvider> decode(const Font::Provider& node, int depth) {
    if (depth > maximumDepth) {
        return std::nullopt;
    }
    return std::visit(
        [depth](const auto& p) -> std::optional<AnyFontProvider> {
            using P = std::decay_t<decltype(p)>;
            if constexpr (std::is_same_v<P, Font::TextStyleProvider>) {
                return AnyFontProvider(TextStyleFontProvider{p.style, p.design, p.weight, 1.0});
            } else if constexpr (std::is_same_v<P, Font::SystemProvider>) {
                if (!readableLength(p.size)) {
                    return std::nullopt;
                }
                return AnyFontProvider(SystemFontProvider{p.size, p.weight, p.design, 1.0});
            } else if constexpr (std::is_same_v<P, Font::NamedProvider>) {
                if (!readableLength(p.size)) {
                    return std::nullopt;
                }
                return AnyFontProvider(NamedFontProvider{p.name, p.size, p.textStyle, 1.0});
            } else if constexpr (std::is_same_v<P, Font::PlatformFontProvider>) {
                if (!readableLength(p.font.size)) {
                    return std::nullopt;
                }
                return AnyFontProvider(PlatformFontProvider{p.font, 1.0});
            } else {
                static_assert(std::is_same_v<P, Font::ModifierProvider>);
                // An unreadable base makes the modified font unreadable too.
                std::optional<AnyFontProvider> base = decode(p.base.provider(), depth + 1);
                if (!base) {
                    return std::nullopt;
                }
                return decodeModifier(p.modifier, std::move(*base));
            }
        },
        node);
}

} // namespace

std::optional<AnyFontProvider> decodeFontProvider(const Font::Provider& node) {
    return decode(node, 0);
}

std::optional<AnyFontProvider> reflectFontProvider(const Font& font) {
    return decodeFontProvider(font.provider());
}

FontProviderCache::FontProviderCache(std::size_t countLimit)
    : store_([countLimit] {
        auto store = std::make_shared<Store>();
        store->countLimit = countLimit;
        return store;
    }) {}

std::optional<AnyFontProvider> FontProviderCache::provider(const Font& font) {
    return store_.withLockedValue([&font](std::shared_ptr<Store>& store) {
        if (const auto found = store->index.find(font); found != store->index.end()) {
            store->entries.splice(store->entries.begin(), store->entries, found->second);
            return std::optional<AnyFontProvider>(found->second->second);
        }
        std::optional<AnyFontProvider> derived = reflectFontProvider(font);
        if (!derived || store->countLimit == 0) {
            return derived;
        }
        if (store->entries.size() >= store->countLimit) {
            store->index.erase(store->entries.back().first);
            store->entries.pop_back();
        }
        store->entries.emplace_front(font, *derived);
        store->index.emplace(font, store->entries.begin());
        return derived;
    });
}

std::size_t FontProviderCache::count() const {
    return store_.withLockedValue(
        [](std::shared_ptr<Store>& store) { return store->index.size(); });
}

bool FontProviderCache::contains(const Font& font) const {
    return store_.withLockedValue(
        [&font](std::shared_ptr<Store>& store) { return store->index.contains(font); });
}

FontProviderCache& FontProviderCache::shared() {
    static FontProviderCache cache(100);
    return cache;
}

std::optional<AnyFontProvider> cachedFontProvider(const Font& font) {
    return FontProviderCache::shared().provider(font);
}

} // namespace vellum
