#pragma once

// Preferences: values that flow up the view tree, combined in tree order by each key's reduce.
// Anchors, coordinate spaces and the geometry proxy through which views read positions.

#include "platform/ui/Layout.hpp"

#include <concepts>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::ui {

namespace detail {
template <class K>
inline const char preferenceKeyTag = 0;
class Node;
} // namespace detail

/// A preference key is a type declaring `using Value = ...;`, `static Value defaultValue();` and
/// `static void reduce(Value& value, Value next);` (next is the value of the following sibling).
class PreferenceValues {
public:
    template <class K>
    std::optional<typename K::Value> find() const {
        if (const Entry* e = lookup(&detail::preferenceKeyTag<K>)) {
            return *static_cast<const typename K::Value*>(e->value.get());
        }
        return std::nullopt;
    }
    /// The value, or the key's default where no view in the subtree set one.
    template <class K>
    typename K::Value get() const {
        if (auto v = find<K>()) {
            return std::move(*v);
        }
        return K::defaultValue();
    }
    template <class K>
    void set(typename K::Value value) {
        store(makeEntry<K>(std::move(value)));
    }
    template <class K>
    void remove() {
        erase(&detail::preferenceKeyTag<K>);
    }
    /// Whether both hold the same keys with the very same values (not copies): nothing in the
    /// subtree was recomputed since.
    bool identical(const PreferenceValues& other) const;
    /// Combines `next` (a following sibling's values) into these, key by key.
    void merge(const PreferenceValues& next);
    bool empty() const { return entries_.empty(); }
    /// Whether the value of key `K` is the same in both (values without `==` never are unless
    /// shared).
    template <class K>
    bool sameValue(const PreferenceValues& other) const {
        return equalEntry(lookup(&detail::preferenceKeyTag<K>),
                          other.lookup(&detail::preferenceKeyTag<K>));
    }

private:
    struct Entry {
        const void* key = nullptr;
        std::shared_ptr<const void> value;
        std::shared_ptr<const void> (*reduce)(std::shared_ptr<const void>, const void*) = nullptr;
        bool (*equal)(const void*, const void*) = nullptr;
    };
    template <class K>
    static Entry makeEntry(typename K::Value value) {
        using V = typename K::Value;
        Entry e;
        e.key = &detail::preferenceKeyTag<K>;
        e.value = std::make_shared<V>(std::move(value));
        e.reduce = [](std::shared_ptr<const void> a, const void* b) -> std::shared_ptr<const void> {
            // Reduced in place when nothing else shares the value (values are made non-const),
            // so combining n siblings costs O(n), not O(n^2).
            if (a.use_count() == 1) {
                K::reduce(*const_cast<V*>(static_cast<const V*>(a.get())),
                          *static_cast<const V*>(b));
                return a;
            }
            auto combined = std::make_shared<V>(*static_cast<const V*>(a.get()));
            K::reduce(*combined, *static_cast<const V*>(b));
            return combined;
        };
        if constexpr (std::equality_comparable<V>) {
            e.equal = [](const void* a, const void* b) {
                return *static_cast<const V*>(a) == *static_cast<const V*>(b);
            };
        }
        return e;
    }
    const Entry* lookup(const void* key) const;
    void store(Entry entry);
    void erase(const void* key);
    static bool equalEntry(const Entry* a, const Entry* b);
    std::vector<Entry> entries_;
};

/// A position or rectangle of some view, resolved into any other view's coordinates through a
/// `GeometryProxy`. Anchors are taken after layout and hold the value in root coordinates.
template <class T>
class Anchor {
public:
    Anchor() = default;
    explicit Anchor(T rootValue)
        : value_(rootValue) {}
    /// The value in the root view's coordinates.
    const T& rootValue() const { return value_; }
    friend bool operator==(const Anchor&, const Anchor&) = default;

private:
    T value_{};
};

/// Where an anchor is taken from a view's bounds.
struct AnchorSource {
    enum class Kind : std::uint8_t { bounds, point, unitPoint, rect };
    Kind kind = Kind::bounds;
    Point point;
    UnitPoint unitPoint;
    Rect rect;
    static AnchorSource bounds() { return {}; }
    static AnchorSource topLeading() { return unit(UnitPoint::topLeading()); }
    static AnchorSource unit(UnitPoint p) { return {Kind::unitPoint, {}, p, {}}; }
    /// A point in the view's own coordinates.
    static AnchorSource at(Point p) { return {Kind::point, p, {}, {}}; }
    /// A rectangle in the view's own coordinates.
    static AnchorSource of(Rect r) { return {Kind::rect, {}, {}, r}; }
};

class CoordinateSpace {
public:
    enum class Kind : std::uint8_t { global, local, named };
    static CoordinateSpace global() { return CoordinateSpace(Kind::global, {}); }
    static CoordinateSpace local() { return CoordinateSpace(Kind::local, {}); }
    static CoordinateSpace named(std::string name) {
        return CoordinateSpace(Kind::named, std::move(name));
    }
    Kind kind() const { return kind_; }
    const std::string& name() const { return name_; }

private:
    CoordinateSpace(Kind kind, std::string name)
        : kind_(kind)
        , name_(std::move(name)) {}
    Kind kind_;
    std::string name_;
};

/// The geometry of one placed view: its size, its frame in other coordinate spaces, and anchors
/// resolved into its coordinates. Valid during the layout pass that made it and the body or
/// action it was handed to.
class GeometryProxy {
public:
    GeometryProxy() = default;
    GeometryProxy(Rect rootFrame, const detail::Node* node)
        : frame_(rootFrame)
        , node_(node) {}
    Size size() const { return frame_.size; }
    /// The frame in `space`; a named space that no ancestor declares counts as global.
    Rect frame(const CoordinateSpace& space) const;
    /// The bounds in a named space, or nothing when no ancestor declares it.
    std::optional<Rect> bounds(const std::string& coordinateSpaceName) const;
    Point operator[](const Anchor<Point>& anchor) const {
        return anchor.rootValue() - frame_.origin;
    }
    Rect operator[](const Anchor<Rect>& anchor) const {
        return anchor.rootValue().offsetBy(-frame_.origin.x, -frame_.origin.y);
    }

private:
    Rect frame_;
    const detail::Node* node_ = nullptr;
};

} // namespace platform::ui
