#pragma once

// Environment values: settings that flow down the view tree. Each key is a type declaring
// `using Value = ...;` and `static Value defaultValue();`; a writer applies to the subtree it
// modifies, and the writer closest to a reader wins.

#include "platform/foundation/URL.hpp"
#include "platform/graphics/Color.hpp"
#include "platform/text/Font.hpp"
#include "platform/text/TextLayout.hpp"

#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform::ui {

using platform::Color;
using platform::ColorScheme;
using platform::ColorSchemeContrast;
using platform::Font;
using platform::LayoutDirection;

namespace detail {
template <class K>
inline const char environmentKeyTag = 0;

/// The keys a body read while it was evaluated, so that only a change of one of them evaluates
/// it again. A copy of a whole environment counts as reading every key.
struct EnvironmentReads {
    std::vector<const void*> keys;
    bool all = false;
    /// One bit per key recorded (keys share bits): a key read for the first time, as most are,
    /// is told from one recorded already without searching the list.
    std::uint64_t recorded = 0;
    void add(const void* key);
    void clear() {
        keys.clear();
        all = false;
        recorded = 0;
    }
};
/// The bit of an environment key in masks of keys.
inline std::uint64_t environmentKeyBit(const void* key) {
    const auto p = reinterpret_cast<std::uintptr_t>(key);
    return std::uint64_t(1) << ((p ^ (p >> 6) ^ (p >> 12)) & 63U);
}
/// The reads being recorded on this thread, if any.
inline constinit thread_local EnvironmentReads* environmentReadsOfThread = nullptr;
inline EnvironmentReads*& currentEnvironmentReads() {
    return environmentReadsOfThread;
}
} // namespace detail

class EnvironmentValues {
public:
    EnvironmentValues() = default;
    EnvironmentValues(const EnvironmentValues& other);
    EnvironmentValues& operator=(const EnvironmentValues& other);
    EnvironmentValues(EnvironmentValues&&) noexcept = default;
    EnvironmentValues& operator=(EnvironmentValues&&) noexcept = default;
    ~EnvironmentValues() = default;

    template <class K>
    typename K::Value get() const {
        if (const Entry* e = find(&detail::environmentKeyTag<K>)) {
            return *static_cast<const typename K::Value*>(e->value.get());
        }
        return K::defaultValue();
    }
    template <class K>
    void set(typename K::Value value) {
        setShared(&detail::environmentKeyTag<K>,
                  std::make_shared<const typename K::Value>(std::move(value)),
                  equalityOf<typename K::Value>());
    }
    /// Writes a value already shared (by a modifier that writes it on every evaluation): no copy.
    void setShared(const void* key, std::shared_ptr<const void> value,
                   bool (*equal)(const void*, const void*));
    /// How values of `V` compare (none: by identity).
    template <class V>
    static constexpr bool (*equalityOf())(const void*, const void*) {
        if constexpr (std::equality_comparable<V>) {
            return [](const void* a, const void* b) {
                return *static_cast<const V*>(a) == *static_cast<const V*>(b);
            };
        } else {
            return nullptr;
        }
    }
    /// Whether the key was written somewhere above.
    template <class K>
    bool contains() const {
        return find(&detail::environmentKeyTag<K>) != nullptr;
    }

    // The values the engine itself reads or that views commonly read.
    std::optional<Font> font() const;
    void setFont(std::optional<Font> font);
    ColorScheme colorScheme() const;
    ColorSchemeContrast colorSchemeContrast() const;
    double displayScale() const;
    LayoutDirection layoutDirection() const;

    /// Equal when every written value compares equal (values without `==` compare by identity).
    friend bool operator==(const EnvironmentValues& a, const EnvironmentValues& b);
    /// The very same values (the same writes, not equal copies): nothing to compare.
    bool identical(const EnvironmentValues& other) const { return top_ == other.top_; }
    /// Whether the value under the key tag `key` is the same in both (both unwritten, or equal).
    /// Records no read.
    bool sameValue(const void* key, const EnvironmentValues& other) const;

private:
    // Writes form a chain, newest first, shared between copies: a write adds one link and a
    // read walks to the nearest write of its key. Long chains are folded into one link per key.
    struct Entry {
        const void* key = nullptr;
        std::shared_ptr<const void> value;
        bool (*equal)(const void*, const void*) = nullptr;
        std::shared_ptr<const Entry> next;
        std::uint32_t length = 1;
        /// One bit per key written in this link or below it (keys share bits): a read of a key
        /// no link wrote, the most common read, is answered without walking the chain.
        std::uint64_t keysBelow = 0;
    };
    static std::uint64_t keyBit(const void* key) { return detail::environmentKeyBit(key); }
    const Entry* find(const void* key) const;
    const Entry* findUnrecorded(const void* key) const;
    static bool sameEntry(const Entry* a, const Entry* b);
    std::shared_ptr<const Entry> top_;
};

// ---- Keys of the values the engine and its users read ----

struct FontKey {
    using Value = std::optional<Font>;
    static Value defaultValue() { return std::nullopt; }
};
struct ColorSchemeKey {
    using Value = ColorScheme;
    static Value defaultValue() { return ColorScheme::light; }
};
struct ColorSchemeContrastKey {
    using Value = ColorSchemeContrast;
    static Value defaultValue() { return ColorSchemeContrast::standard; }
};
struct DisplayScaleKey {
    using Value = double;
    static Value defaultValue() { return 1.0; }
};
struct LayoutDirectionKey {
    using Value = LayoutDirection;
    static Value defaultValue() { return LayoutDirection::leftToRight; }
};

enum class LegibilityWeight : std::uint8_t { regular, bold };
struct LegibilityWeightKey {
    using Value = std::optional<LegibilityWeight>;
    static Value defaultValue() { return std::nullopt; }
};

/// The user's preferred text size, from extra small to the accessibility sizes.
enum class DynamicTypeSize : std::uint8_t {
    xSmall,
    small,
    medium,
    large,
    xLarge,
    xxLarge,
    xxxLarge,
    accessibility1,
    accessibility2,
    accessibility3,
    accessibility4,
    accessibility5,
};
struct DynamicTypeSizeKey {
    using Value = DynamicTypeSize;
    static Value defaultValue() { return DynamicTypeSize::large; }
};

/// How the lines of a multi-line text align with each other.
enum class TextAlignment : std::uint8_t { leading, center, trailing };
struct MultilineTextAlignmentKey {
    using Value = TextAlignment;
    static Value defaultValue() { return TextAlignment::leading; }
};
struct LineLimitKey {
    using Value = std::optional<int>;
    static Value defaultValue() { return std::nullopt; }
};
struct LineSpacingKey {
    using Value = double;
    static Value defaultValue() { return 0; }
};
/// The colour text and shapes are drawn with when they name none.
struct ForegroundStyleKey {
    using Value = Color;
    static Value defaultValue() { return Color::primary(); }
};

/// Opens a URL. The host installs the system opener; replace it with `environment<OpenURLKey>`
/// to handle links in the subtree.
class OpenURLAction {
public:
    enum class Result : std::uint8_t { handled, discarded, systemAction };
    using Handler = std::function<Result(const platform::URL&)>;
    /// An action that handles nothing.
    OpenURLAction();
    explicit OpenURLAction(Handler handler);
    Result operator()(const platform::URL& url) const;
    /// Identity: copies of one action are equal.
    friend bool operator==(const OpenURLAction& a, const OpenURLAction& b) {
        return a.handler_ == b.handler_;
    }

private:
    std::shared_ptr<const Handler> handler_;
};
struct OpenURLKey {
    using Value = OpenURLAction;
    static Value defaultValue() { return OpenURLAction(); }
};

} // namespace platform::ui
