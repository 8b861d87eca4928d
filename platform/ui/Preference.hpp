#pragma once

// Preferences: values that flow up the view tree, combined in tree order by each key's reduce.
// Anchors, coordinate spaces and the geometry proxy through which views read positions.

#include "platform/ui/Layout.hpp"

#include <array>
#include <concepts>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
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
/// `reduce` must be associative: values are combined in tree order, but not necessarily grouped
/// as the tree groups them.
///
/// Combining is deferred: a container keeps the values of its children (shared, not copied) and
/// reduces them only when its value is read, once; an unchanged child's value is reused as it is,
/// so a change below recombines only the path above it, and a recomputed value equal to the one
/// before keeps the one before (readers above see it unchanged without comparing it again).
class PreferenceValues {
public:
    /// The value in the subtree, or null where no view set one. Valid as long as these values
    /// (or a copy of them) are.
    template <class K>
    const typename K::Value* value() const {
        if (const Entry* e = lookup(&detail::preferenceKeyTag<K>)) {
            return static_cast<const typename K::Value*>(read(*e));
        }
        return nullptr;
    }
    template <class K>
    std::optional<typename K::Value> find() const {
        if (const auto* v = value<K>()) {
            return *v;
        }
        return std::nullopt;
    }
    /// The value, or the key's default where no view in the subtree set one.
    template <class K>
    typename K::Value get() const {
        if (const auto* v = value<K>()) {
            return *v;
        }
        return K::defaultValue();
    }
    template <class K>
    void set(typename K::Value value) {
        store(&detail::preferenceKeyTag<K>,
              std::make_shared<const OwnSlot<typename K::Value>>(std::move(value)),
              &operationsOf<K>);
    }
    template <class K>
    void remove() {
        erase(&detail::preferenceKeyTag<K>);
    }
    /// Whether both hold the same keys with the very same values (not copies): nothing in the
    /// subtree was recomputed since, or what was came out equal.
    bool identical(const PreferenceValues& other) const;
    /// Combines `next` (a following sibling's values) into these, key by key.
    void merge(const PreferenceValues& next);
    bool empty() const { return count_ == 0 && (!entries_ || entries_->empty()); }
    /// Whether the value of key `K` is the same in both (values without `==` never are unless
    /// shared).
    template <class K>
    bool sameValue(const PreferenceValues& other) const {
        return equalEntry(lookup(&detail::preferenceKeyTag<K>),
                          other.lookup(&detail::preferenceKeyTag<K>));
    }
    /// Takes over from `before` (these values' previous computation) each value that did not
    /// change: the same children's values combined again, or an equal value set again.
    void keepUnchanged(const PreferenceValues& before);

private:
    /// What a key's values need, made once per key type.
    struct Operations {
        std::shared_ptr<void> (*copy)(const void*);
        void (*reduce)(void* value, const void* next);
        /// Null for values without `==`.
        bool (*equal)(const void*, const void*);
    };
    /// One view's value, or the values of several subtrees in tree order (reduced when read).
    struct Slot {
        /// A view's own value (held by the slot itself, see OwnSlot); null for a combination.
        const void* value = nullptr;
        std::vector<std::shared_ptr<const Slot>> parts;
        /// A combination's value, reduced the first time it is read.
        mutable std::shared_ptr<const void> reduced;
    };
    /// A view's own value and its slot, made in one allocation (a long document sets tens of
    /// thousands).
    template <class V>
    struct OwnSlot final : Slot {
        explicit OwnSlot(V v)
            : held(std::move(v)) {
            value = &held;
        }
        OwnSlot(const OwnSlot&) = delete;
        OwnSlot& operator=(const OwnSlot&) = delete;
        V held;
    };
    struct Entry {
        const void* key = nullptr;
        std::shared_ptr<const Slot> slot;
        const Operations* operations = nullptr;
    };
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
    template <class K>
    static constexpr Operations operationsOf{
        [](const void* v) -> std::shared_ptr<void> {
            return std::make_shared<typename K::Value>(*static_cast<const typename K::Value*>(v));
        },
        [](void* v, const void* next) {
            K::reduce(*static_cast<typename K::Value*>(v),
                      *static_cast<const typename K::Value*>(next));
        },
        equalityOf<typename K::Value>()};
    /// Combinations of at least this many parts keep their value once read (see reduceInto).
    static constexpr std::size_t kKeptParts = 8;
    static const void* read(const Entry& e);
    /// A combination's value, reduced from its parts the first time and kept.
    static const void* combine(const Slot& slot, const Operations& operations);
    static void reduceInto(std::shared_ptr<void>& value, const Slot& slot,
                           const Operations& operations);
    const Entry* lookup(const void* key) const {
        for (const Entry& e : entries()) {
            if (e.key == key) {
                return &e;
            }
        }
        return nullptr;
    }
    void store(const void* key, std::shared_ptr<const Slot> slot, const Operations* operations);
    void erase(const void* key);
    static bool equalEntry(const Entry* a, const Entry* b);
    using Entries = std::vector<Entry>;
    std::span<const Entry> entries() const {
        if (entries_) {
            return *entries_;
        }
        return {inline_.data(), count_};
    }
    /// The entries to change, the shared ones first copied if other values share them.
    std::span<Entry> ownEntries();
    /// Adds an entry for a key not held yet.
    void append(Entry entry);
    /// Most subtrees carry one or two keys: their entries are held in place, and copying the
    /// values (every node keeps its own, and passes them up) allocates nothing.
    static constexpr std::size_t kInline = 2;
    std::array<Entry, kInline> inline_{};
    std::uint8_t count_ = 0;
    /// More keys than fit in place: shared between copies and copied when written; then
    /// `count_` is zero.
    std::shared_ptr<Entries> entries_;
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
    /// The room the view was offered when it was placed (the view's size is its answer to it).
    ProposedViewSize proposal() const;
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
