#pragma once

// Font providers derived from platform Font values, and the process-wide cache that keeps them.
//
// A Font is a description tree: a base font (text style, system size, named family, resolved face)
// under a chain of modifiers. Deriving a provider walks that tree and builds the matching leaf
// provider and wrappers, outermost modifier outermost. A part that cannot be read (a size, factor,
// weight or width that is not a finite number, a negative size or factor, or a tree deeper than any
// real font) makes the whole font unreadable; its users then keep sizes at their raw magnitude.

#include "Vellum/text/AnyFontProvider.hpp"
#include "concurrency/LockIsolated.hpp"
#include "platform/text/Font.hpp"

#include <cstddef>
#include <list>
#include <memory>
#include <optional>
#include <unordered_map>

namespace vellum {

// The provider for one node of a font's description tree; nothing when it cannot be read.
[[nodiscard]] std::optional<AnyFontProvider>
decodeFontProvider(const platform::Font::Provider& node);
// The provider for the whole font.
[[nodiscard]] std::optional<AnyFontProvider> reflectFontProvider(const platform::Font& font);

// Providers by font, bounded in count; the least recently used entry goes first. Fonts are keys by
// their own equality, so equal fonts built separately share an entry. Unreadable fonts are not
// stored. Safe from any thread: every lookup, a derivation on a miss included, runs under one
// recursive lock.
class FontProviderCache {
public:
    explicit FontProviderCache(std::size_t countLimit = 100);

    [[nodiscard]] std::optional<AnyFontProvider> provider(const platform::Font& font);
    [[nodiscard]] std::size_t count() const;
    [[nodiscard]] bool contains(const platform::Font& font) const;

    // The process's cache, made on first use.
    static FontProviderCache& shared();

private:
    struct Store {
        std::size_t countLimit = 100;
        // Most recently used first.
        std::list<std::pair<platform::Font, AnyFontProvider>> entries;
        std::unordered_map<platform::Font, decltype(entries)::iterator> index;
    };
    // The store is reached through a pointer so that a locked access does not copy the entries.
    mutable concurrency::LockIsolated<std::shared_ptr<Store>> store_;
};

// The provider of `font` from the shared cache.
[[nodiscard]] std::optional<AnyFontProvider> cachedFontProvider(const platform::Font& font);

} // namespace vellum
