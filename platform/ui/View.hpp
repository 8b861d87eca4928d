#pragma once

// View values. A view is a small immutable value: either a primitive the engine knows (text,
// shapes, stacks, ...) or a value with a `body`, which the engine evaluates into other views.
// `AnyView` erases the type; every modifier is a member of every view and returns an `AnyView`.
//
// A body is a const member `body(ViewContext&)` (or `body()` when it needs no context) returning
// anything convertible to AnyView. The context gives the environment and per-identity state.
// Values with `operator==` that compare equal to the previous value of the same identity, in an
// unchanged environment, are not evaluated again.

#include "platform/foundation/Error.hpp"
#include "platform/graphics/Path.hpp"
#include "platform/runtime/Task.hpp"
#include "platform/ui/Environment.hpp"
#include "platform/ui/Input.hpp"
#include "platform/ui/Layout.hpp"
#include "platform/ui/Preference.hpp"

#include <any>
#include <concepts>
#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

namespace platform::ui {

class AnyView;
class DisplayList;
class ViewContext;

namespace detail {
class Node;
class NodeToken;
class ViewImpl;
class ModifierImpl;
class ModifierContext;
template <class T>
inline const char typeTag = 0;
/// The shared empty view.
const std::shared_ptr<const ViewImpl>& emptyViewImpl();
} // namespace detail

/// A hashable identity of any type (`ForEach` ids, explicit `id(...)`). Integers, the ids of
/// positions and of most lists, are held in place (a document's thousands of rows allocate none).
class ViewID {
public:
    ViewID() = default;
    template <class T>
    requires(!std::same_as<std::decay_t<T>, ViewID>) ViewID(T value) { // NOLINT: implicit
        using V = std::decay_t<T>;
        if constexpr (std::is_same_v<V, int>) {
            smallTag_ = &detail::typeTag<int>;
            small_.i = value;
        } else if constexpr (std::is_same_v<V, std::int64_t>) {
            smallTag_ = &detail::typeTag<std::int64_t>;
            small_.l = value;
        } else {
            holder_ = std::make_shared<Holder<V>>(std::move(value));
        }
    }
    ViewID(const char* text)
        : ViewID(std::string(text)) {}
    /// An identity made of two, for nested identities.
    static ViewID pair(const ViewID& outer, const ViewID& inner);
    std::size_t hash() const {
        if (smallTag_ != nullptr) {
            return std::hash<std::int64_t>()(smallValue());
        }
        return holder_ ? holder_->hash() : 0;
    }
    /// The type of the value held (for telling attributes of one type apart).
    const void* valueType() const {
        if (smallTag_ != nullptr) {
            return smallTag_;
        }
        return holder_ ? holder_->tag() : nullptr;
    }
    friend bool operator==(const ViewID& a, const ViewID& b);
    /// The value if it holds a `T`.
    template <class T>
    const T* as() const {
        if constexpr (std::is_same_v<T, int>) {
            return smallTag_ == &detail::typeTag<int> ? &small_.i : nullptr;
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
            return smallTag_ == &detail::typeTag<std::int64_t> ? &small_.l : nullptr;
        } else if (holder_ && holder_->tag() == &detail::typeTag<T>) {
            return &static_cast<const Holder<T>*>(holder_.get())->value;
        }
        return nullptr;
    }

private:
    struct HolderBase {
        virtual ~HolderBase() = default;
        virtual const void* tag() const = 0;
        virtual std::size_t hash() const = 0;
        virtual bool equals(const HolderBase& other) const = 0;
    };
    template <class T>
    struct Holder final : HolderBase {
        explicit Holder(T v)
            : value(std::move(v)) {}
        T value;
        const void* tag() const override { return &detail::typeTag<T>; }
        std::size_t hash() const override { return std::hash<T>()(value); }
        bool equals(const HolderBase& other) const override {
            return value == static_cast<const Holder&>(other).value;
        }
    };
    std::int64_t smallValue() const {
        return smallTag_ == &detail::typeTag<int> ? std::int64_t(small_.i) : small_.l;
    }
    /// An integer held in place: its type's tag, else null.
    const void* smallTag_ = nullptr;
    union {
        int i;
        std::int64_t l = 0;
    } small_;
    std::shared_ptr<const HolderBase> holder_;
};

struct FlexibleFrame {
    std::optional<CGFloat> minWidth;
    std::optional<CGFloat> idealWidth;
    std::optional<CGFloat> maxWidth;
    std::optional<CGFloat> minHeight;
    std::optional<CGFloat> idealHeight;
    std::optional<CGFloat> maxHeight;
    Alignment alignment = Alignment::center();
};

/// Edges for `padding(edges, length)`.
struct Edges {
    bool top = true;
    bool leading = true;
    bool bottom = true;
    bool trailing = true;
    static Edges all() { return {}; }
    static Edges horizontal() { return {false, true, false, true}; }
    static Edges vertical() { return {true, false, true, false}; }
    static Edges onlyTop() { return {true, false, false, false}; }
    static Edges onlyBottom() { return {false, false, true, false}; }
    static Edges onlyLeading() { return {false, true, false, false}; }
    static Edges onlyTrailing() { return {false, false, false, true}; }
};

namespace detail {
// Non-template builders of the modifiers, defined with the nodes.
AnyView padding(AnyView content, EdgeInsets insets);
AnyView frame(AnyView content, std::optional<CGFloat> width, std::optional<CGFloat> height,
              Alignment alignment);
AnyView frame(AnyView content, const FlexibleFrame& frame);
AnyView fixedSize(AnyView content, bool horizontal, bool vertical);
AnyView offset(AnyView content, CGFloat x, CGFloat y);
AnyView overlay(AnyView content, AnyView overlay, Alignment alignment, bool behind);
AnyView clipShape(AnyView content, std::function<platform::Path(Rect)> shape);
AnyView opacity(AnyView content, double opacity);
AnyView coordinateSpace(AnyView content, std::string name);
/// `value` computes the guide; `closure` is the value it calls, of the type tagged `type`, and
/// `same` compares two such closures (none: never equal).
AnyView alignmentGuide(AnyView content, const AlignmentID& guide,
                       std::function<CGFloat(const ViewDimensions&)> value, const void* type,
                       std::shared_ptr<const void> closure, bool (*same)(const void*, const void*));
AnyView environmentValue(AnyView content, const void* key, std::shared_ptr<const void> value,
                         bool (*equal)(const void*, const void*));
AnyView withID(AnyView content, ViewID id);
AnyView onAppear(AnyView content, std::function<void()> action);
AnyView onDisappear(AnyView content, std::function<void()> action);
AnyView task(AnyView content, ViewID id, platform::TaskPriority priority,
             std::function<platform::Task<void>()> operation);
AnyView onTapGesture(AnyView content, int count, std::function<void(Point)> action);
AnyView onContinuousHover(AnyView content, std::function<void(HoverPhase)> action);
AnyView interaction(AnyView content, std::shared_ptr<InteractionObject> object);
AnyView cursor(AnyView content, CursorShape shape);
AnyView onGeometryChange(AnyView content, std::function<void(const GeometryProxy&)> observe);
AnyView onVisibleBoundsChange(AnyView content,
                              std::function<void(const Rect&, const Rect&)> action);
AnyView transformEnvironment(AnyView content, std::function<void(EnvironmentValues&)> transform);
/// `readsGeometry`: whether `fn` reads the proxy (the values then change when the view moves);
/// when not, it is handed an empty proxy.
AnyView transformPreferences(AnyView content,
                             std::function<void(PreferenceValues&, const GeometryProxy&)> fn,
                             bool readsGeometry = true);
AnyView
onPreferenceChange(AnyView content,
                   std::function<bool(const PreferenceValues&, const PreferenceValues&)> same,
                   std::function<void(const PreferenceValues&)> action);
AnyView preferenceOverlay(AnyView content,
                          std::function<AnyView(const PreferenceValues&)> makeOverlay,
                          Alignment alignment, bool behind);
AnyView onChange(AnyView content, std::shared_ptr<const void> value,
                 bool (*equal)(const void*, const void*), bool initial,
                 std::function<void(const void*, const void*)> action);
AnyView layoutValue(AnyView content, const void* tag, std::any value,
                    bool (*equal)(const std::any&, const std::any&));
/// How two layout values of type `V` compare (none: never equal).
template <class V>
constexpr bool (*layoutValueEquality())(const std::any&, const std::any&) {
    if constexpr (std::equality_comparable<V>) {
        return [](const std::any& a, const std::any& b) {
            const V* x = std::any_cast<V>(&a);
            const V* y = std::any_cast<V>(&b);
            return x != nullptr && y != nullptr && *x == *y;
        };
    } else {
        return nullptr;
    }
}
/// How two closures of type `F` compare: by `==` where they have it; by their bytes where they
/// are trivially copyable (the same code over the same captured values); else never equal.
template <class F>
constexpr bool (*closureEquality())(const void*, const void*) {
    if constexpr (std::equality_comparable<F>) {
        return [](const void* a, const void* b) {
            return *static_cast<const F*>(a) == *static_cast<const F*>(b);
        };
    } else if constexpr (std::is_trivially_copyable_v<F>) {
        return [](const void* a, const void* b) { return std::memcmp(a, b, sizeof(F)) == 0; };
    } else {
        return nullptr;
    }
}
} // namespace detail

/// The modifiers every view has. `D` is the view type; each modifier erases it into `R` (always
/// AnyView; a parameter only so that the members may be defined before AnyView is complete).
template <class D, class R = AnyView>
class ViewModifiers {
public:
    R erased() const;
    /// The mixin holds nothing, so views may default their `==`.
    friend constexpr bool operator==(const ViewModifiers&, const ViewModifiers&) { return true; }

    // Layout.
    R padding(CGFloat length = 16) const {
        return detail::padding(erased(), EdgeInsets::all(length));
    }
    R padding(EdgeInsets insets) const { return detail::padding(erased(), insets); }
    R padding(Edges edges, CGFloat length = 16) const {
        return detail::padding(erased(), {edges.top ? length : 0, edges.leading ? length : 0,
                                          edges.bottom ? length : 0, edges.trailing ? length : 0});
    }
    R frame(std::optional<CGFloat> width, std::optional<CGFloat> height = std::nullopt,
            Alignment alignment = Alignment::center()) const {
        return detail::frame(erased(), width, height, alignment);
    }
    R frame(const FlexibleFrame& limits) const { return detail::frame(erased(), limits); }
    R fixedSize(bool horizontal = true, bool vertical = true) const {
        return detail::fixedSize(erased(), horizontal, vertical);
    }
    R layoutPriority(double priority) const { return layoutValue<LayoutPriorityKey>(priority); }
    R gridColumnAlignment(HorizontalAlignment alignment) const {
        return layoutValue<GridColumnAlignmentKey>(alignment);
    }
    template <class K>
    R layoutValue(typename K::Value value) const {
        return detail::layoutValue(erased(), &detail::layoutValueTag<K>, std::any(std::move(value)),
                                   detail::layoutValueEquality<typename K::Value>());
    }
    R offset(CGFloat x, CGFloat y) const { return detail::offset(erased(), x, y); }
    /// Sets `guide` to `value(dimensions)`. Guides of equal closures (the same lambda over equal
    /// captured values) are the same guide, so a parent evaluated again changes no layout.
    template <class F>
    requires std::is_invocable_r_v<CGFloat, const F&, const ViewDimensions&>
        R alignmentGuide(HorizontalAlignment guide, F value)
    const { return guided(guide.id(), std::move(value)); }
    template <class F>
    requires std::is_invocable_r_v<CGFloat, const F&, const ViewDimensions&>
        R alignmentGuide(VerticalAlignment guide, F value)
    const { return guided(guide.id(), std::move(value)); }
    R overlay(R view, Alignment alignment = Alignment::center()) const;
    R background(R view, Alignment alignment = Alignment::center()) const;

    // Drawing.
    template <class S>
    R clipShape(S shape) const {
        return detail::clipShape(erased(),
                                 [shape = std::move(shape)](Rect r) { return shape.path(r); });
    }
    R clipped() const;
    R opacity(double value) const { return detail::opacity(erased(), value); }

    // Environment.
    /// Writes `value` under `K` for the subtree; equal values make the same modifier.
    template <class K>
    R environment(typename K::Value value) const {
        using V = typename K::Value;
        return detail::environmentValue(erased(), &detail::environmentKeyTag<K>,
                                        std::make_shared<const V>(std::move(value)),
                                        EnvironmentValues::equalityOf<V>());
    }
    template <class K>
    R transformEnvironment(std::function<void(typename K::Value&)> transform) const {
        return detail::transformEnvironment(
            erased(), [transform = std::move(transform)](EnvironmentValues& env) {
                auto v = env.template get<K>();
                transform(v);
                env.template set<K>(std::move(v));
            });
    }
    R font(std::optional<Font> font) const { return environment<FontKey>(std::move(font)); }
    R foregroundColor(Color color) const { return environment<ForegroundStyleKey>(color); }
    R foregroundStyle(Color color) const { return environment<ForegroundStyleKey>(color); }
    R lineLimit(std::optional<int> limit) const { return environment<LineLimitKey>(limit); }
    R lineSpacing(double spacing) const { return environment<LineSpacingKey>(spacing); }
    R multilineTextAlignment(TextAlignment alignment) const {
        return environment<MultilineTextAlignmentKey>(alignment);
    }

    // Preferences and geometry.
    template <class K>
    R preference(typename K::Value value) const {
        return detail::transformPreferences(
            erased(),
            [value = std::move(value)](PreferenceValues& p, const GeometryProxy&) {
                p.template set<K>(value);
            },
            false);
    }
    template <class K>
    R transformPreference(std::function<void(typename K::Value&)> transform) const {
        return detail::transformPreferences(
            erased(),
            [transform = std::move(transform)](PreferenceValues& p, const GeometryProxy&) {
                auto v = p.template get<K>();
                transform(v);
                p.template set<K>(std::move(v));
            },
            false);
    }
    /// Publishes `transform(anchor)` under `K`, the anchor taken from this view's bounds.
    template <class K, class T>
    R anchorPreference(AnchorSource source,
                       std::function<typename K::Value(Anchor<T>)> transform) const {
        return detail::transformPreferences(
            erased(), [source, transform = std::move(transform)](PreferenceValues& p,
                                                                 const GeometryProxy& g) {
                const Rect f = g.frame(CoordinateSpace::global());
                if constexpr (std::is_same_v<T, Rect>) {
                    Rect r = f;
                    if (source.kind == AnchorSource::Kind::rect) {
                        r = source.rect.offsetBy(f.origin.x, f.origin.y);
                    }
                    p.template set<K>(transform(Anchor<Rect>(r)));
                } else {
                    Point pt = f.origin;
                    if (source.kind == AnchorSource::Kind::point) {
                        pt = f.origin + source.point;
                    } else if (source.kind == AnchorSource::Kind::unitPoint) {
                        pt = {f.origin.x + f.size.width * source.unitPoint.x,
                              f.origin.y + f.size.height * source.unitPoint.y};
                    }
                    p.template set<K>(transform(Anchor<Point>(pt)));
                }
            });
    }
    /// Runs `action` with the subtree's value of `K` after layout, at first and whenever it
    /// changes.
    template <class K>
    R onPreferenceChange(std::function<void(const typename K::Value&)> action) const {
        return detail::onPreferenceChange(
            erased(),
            [](const PreferenceValues& a, const PreferenceValues& b) {
                return a.template sameValue<K>(b);
            },
            [action = std::move(action)](const PreferenceValues& p) {
                if (const auto* v = p.template value<K>()) {
                    action(*v);
                } else {
                    action(K::defaultValue());
                }
            });
    }
    template <class K>
    R overlayPreferenceValue(std::function<R(const typename K::Value&)> content,
                             Alignment alignment = Alignment::center()) const;
    template <class K>
    R backgroundPreferenceValue(std::function<R(const typename K::Value&)> content,
                                Alignment alignment = Alignment::center()) const;
    R coordinateSpace(std::string name) const {
        return detail::coordinateSpace(erased(), std::move(name));
    }
    /// After each layout, `transform(proxy)`; `action(old, new)` when it differs from the last
    /// value (and once at first, with old = new).
    /// After each layout in which what the host shows of the view changed (the visible
    /// rectangle, the view's place or size, the offset of a scroll view around it),
    /// `action(old, new)` with the part shown in the view's own coordinates (`Node`'s
    /// `visibleBounds`: null when none of it is, all of it when the host shows everything); once
    /// at first, with old = new, when the view is first placed.
    R onVisibleBoundsChange(std::function<void(const Rect&, const Rect&)> action) const {
        return detail::onVisibleBoundsChange(erased(), std::move(action));
    }
    template <class T>
    R onGeometryChange(std::function<T(const GeometryProxy&)> transform,
                       std::function<void(const T&, const T&)> action) const {
        auto last = std::make_shared<std::optional<T>>();
        return detail::onGeometryChange(erased(), [transform = std::move(transform),
                                                   action = std::move(action),
                                                   last](const GeometryProxy& proxy) {
            T value = transform(proxy);
            if (!last->has_value()) {
                *last = value;
                action(value, value);
            } else if (!(**last == value)) {
                T old = std::exchange(**last, value);
                action(old, value);
            }
        });
    }

    // Updates and lifecycle.
    /// `action(old, new)` after an update in which `value` changed; with `initial` also when the
    /// view first appears (old = new).
    template <class T>
    R onChange(T value, std::function<void(const T&, const T&)> action,
               bool initial = false) const {
        return detail::onChange(
            erased(), std::make_shared<const T>(std::move(value)),
            [](const void* a, const void* b) {
                return *static_cast<const T*>(a) == *static_cast<const T*>(b);
            },
            initial,
            [action = std::move(action)](const void* a, const void* b) {
                action(*static_cast<const T*>(a), *static_cast<const T*>(b));
            });
    }
    R onAppear(std::function<void()> action) const {
        return detail::onAppear(erased(), std::move(action));
    }
    R onDisappear(std::function<void()> action) const {
        return detail::onDisappear(erased(), std::move(action));
    }
    /// Starts `operation` when the view appears, on the main executor; cancels it when the view
    /// goes and restarts it (cancelling the old one) when `id` changes.
    R task(ViewID id, platform::TaskPriority priority,
           std::function<platform::Task<void>()> operation) const {
        return detail::task(erased(), std::move(id), priority, std::move(operation));
    }
    R task(std::function<platform::Task<void>()> operation,
           platform::TaskPriority priority = platform::TaskPriority::userInitiated) const {
        return detail::task(erased(), ViewID(), priority, std::move(operation));
    }
    /// Applies a view modifier: a value with `body(ViewContext&, AnyView content)` (or
    /// `body(AnyView content)`) returning a view, which gets this view as its content.
    template <class M>
    R modifier(M m) const;
    /// An explicit identity: a change of `id` makes a new view (state dropped).
    R id(ViewID id) const { return detail::withID(erased(), std::move(id)); }

    // Input.
    R onTapGesture(int count, std::function<void(Point)> action) const {
        return detail::onTapGesture(erased(), count, std::move(action));
    }
    R onTapGesture(std::function<void(Point)> action) const {
        return onTapGesture(1, std::move(action));
    }
    R onContinuousHover(std::function<void(HoverPhase)> action) const {
        return detail::onContinuousHover(erased(), std::move(action));
    }
    /// Lets `object` take the events over this view's rectangle.
    R interaction(std::shared_ptr<InteractionObject> object) const {
        return detail::interaction(erased(), std::move(object));
    }
    R cursor(CursorShape shape) const { return detail::cursor(erased(), shape); }

private:
    const D& self() const { return static_cast<const D&>(*this); }
    template <class F>
    R guided(const AlignmentID& guide, F value) const {
        auto closure = std::make_shared<const F>(std::move(value));
        return detail::alignmentGuide(
            erased(), guide, [closure](const ViewDimensions& d) { return CGFloat((*closure)(d)); },
            &detail::typeTag<F>, closure, detail::closureEquality<F>());
    }
};

/// A type-erased view. Default-constructed, it is the empty view.
class AnyView : public ViewModifiers<AnyView> {
public:
    AnyView() noexcept = default;
    explicit AnyView(std::shared_ptr<const detail::ViewImpl> impl) noexcept
        : impl_(std::move(impl)) {}
    /// Any view value: a primitive (with `makeImpl()`), a value with a body, a colour (which
    /// fills its frame) or an optional view (empty when absent).
    template <class V>
    requires(!std::same_as<std::decay_t<V>, AnyView> &&
             !std::is_convertible_v<V, std::shared_ptr<const detail::ViewImpl>>)
        AnyView(V view); // NOLINT: implicit

    /// Never null: the empty view has the shared empty implementation.
    const std::shared_ptr<const detail::ViewImpl>& impl() const {
        return impl_ ? impl_ : detail::emptyViewImpl();
    }
    bool isEmpty() const;

private:
    /// Null for the empty view: making, copying and dropping empty views (every node starts
    /// with one, every body evaluation too) changes no count that all of them share.
    std::shared_ptr<const detail::ViewImpl> impl_;
};

template <class D, class R>
R ViewModifiers<D, R>::erased() const {
    if constexpr (std::is_same_v<D, R>) {
        return self();
    } else {
        return R(self());
    }
}

namespace detail {

/// One child of a container after groups and for-each lists are expanded.
struct FlatChild {
    AnyView view;
    ViewID key;
};

class ViewImpl {
public:
    virtual ~ViewImpl();
    /// Views of different tags never share a node.
    virtual const void* typeTag() const = 0;
    /// Called only with a view of the same tag.
    virtual bool equals(const ViewImpl&) const { return false; }
    virtual std::unique_ptr<Node> makeNode() const = 0;
    /// Containers expand groups and lists: by default a view is one child with `key`.
    virtual void flatten(const AnyView& self, const ViewID& key, std::vector<FlatChild>& out) const;
};

/// Views with a body.
class BodyViewImpl : public ViewImpl {
public:
    virtual AnyView body(ViewContext& context) const = 0;
    std::unique_ptr<Node> makeNode() const override;
};

template <class V>
class BodyView final : public BodyViewImpl {
public:
    explicit BodyView(V value)
        : value_(std::move(value)) {}
    const void* typeTag() const override { return &detail::typeTag<V>; }
    bool equals(const ViewImpl& other) const override {
        if constexpr (std::equality_comparable<V>) {
            return value_ == static_cast<const BodyView&>(other).value_;
        } else {
            return false;
        }
    }
    AnyView body(ViewContext& context) const override;

private:
    V value_;
};

AnyView colorView(const Color& color);

} // namespace detail

/// Per-identity state of a view: the value lives as long as the view's identity, and setting a
/// different value re-evaluates the body that owns it.
template <class T>
class State {
public:
    State() = default;
    const T& get() const { return box_->value; }
    const T& operator*() const { return box_->value; }
    const T* operator->() const { return &box_->value; }
    void set(T value) const {
        if constexpr (std::equality_comparable<T>) {
            if (box_->value == value) {
                return;
            }
        }
        box_->value = std::move(value);
        invalidate(box_->owner);
    }

private:
    friend class ViewContext;
    struct Box {
        T value;
        std::weak_ptr<detail::NodeToken> owner;
    };
    static void invalidate(const std::weak_ptr<detail::NodeToken>& owner);
    explicit State(std::shared_ptr<Box> box)
        : box_(std::move(box)) {}
    std::shared_ptr<Box> box_;
};

namespace detail {
void invalidateToken(const std::weak_ptr<NodeToken>& token);
}

template <class T>
void State<T>::invalidate(const std::weak_ptr<detail::NodeToken>& owner) {
    detail::invalidateToken(owner);
}

/// A state read of another type than the slot at its position holds: the body asked for its
/// state in a different order (or of different types) than at its first evaluation.
class StateTypeMismatch : public platform::Error {
public:
    StateTypeMismatch(const std::type_info& held, const std::type_info& asked,
                      std::size_t position);
    std::string localizedDescription() const override;

private:
    std::string held_;
    std::string asked_;
    std::size_t position_;
};

/// What a body sees: the environment and its identity's state. State slots are matched by the
/// order of the calls, which must be the same at every evaluation; a slot keeps the type it was
/// made with, and a read of another type throws `StateTypeMismatch`.
class ViewContext {
public:
    virtual ~ViewContext() = default;
    virtual const EnvironmentValues& environment() const = 0;
    template <class K>
    typename K::Value environment() const {
        return environment().template get<K>();
    }
    template <class T>
    State<T> state(T initial) {
        using Box = typename State<T>::Box;
        StateSlot& slot = typedSlot(typeid(Box));
        if (!slot.value) {
            slot.value = std::make_shared<Box>(Box{std::move(initial), token()});
        }
        return State<T>(std::static_pointer_cast<Box>(slot.value));
    }
    /// An object made once per identity by `make()` (observable models).
    template <class T, class F>
    std::shared_ptr<T> stateObject(F make) {
        StateSlot& slot = typedSlot(typeid(T));
        if (!slot.value) {
            std::shared_ptr<T> object = make();
            slot.value = object;
        }
        return std::static_pointer_cast<T>(slot.value);
    }

protected:
    /// One state slot: the value and the type it was made for.
    struct StateSlot {
        std::shared_ptr<void> value;
        const std::type_info* type = nullptr;
        std::size_t position = 0;
    };
    virtual StateSlot& nextSlot() = 0;
    virtual std::weak_ptr<detail::NodeToken> token() const = 0;

private:
    /// The next slot, claimed for `type` when new; throws when it holds another type.
    StateSlot& typedSlot(const std::type_info& type);
};

template <class V>
AnyView detail::BodyView<V>::body(ViewContext& context) const {
    if constexpr (requires { value_.body(context); }) {
        return AnyView(value_.body(context));
    } else {
        return AnyView(value_.body());
    }
}

template <class V>
requires(
    !std::same_as<std::decay_t<V>, AnyView> &&
    !std::is_convertible_v<V, std::shared_ptr<const detail::ViewImpl>>) AnyView::AnyView(V view) {
    using T = std::decay_t<V>;
    if constexpr (requires { view.makeImpl(); }) {
        // The view is this constructor's own copy: a primitive that can take its parts over
        // (a text its runs) does so instead of copying them.
        impl_ = std::move(view).makeImpl();
    } else if constexpr (std::is_same_v<T, Color>) {
        *this = detail::colorView(view);
    } else if constexpr (requires {
                             view.has_value();
                             *view;
                         }) {
        if (view.has_value()) {
            *this = AnyView(std::move(*view));
        } else {
            *this = AnyView();
        }
    } else {
        static_assert(
            requires(const T& v, ViewContext& c) { v.body(c); } ||
                requires(const T& v) { v.body(); },
            "a view needs body(ViewContext&) or body()");
        impl_ = std::make_shared<detail::BodyView<T>>(std::move(view));
    }
}

template <class D, class R>
R ViewModifiers<D, R>::overlay(R view, Alignment alignment) const {
    return detail::overlay(erased(), std::move(view), alignment, false);
}
template <class D, class R>
R ViewModifiers<D, R>::background(R view, Alignment alignment) const {
    return detail::overlay(erased(), std::move(view), alignment, true);
}
template <class D, class R>
R ViewModifiers<D, R>::clipped() const {
    return detail::clipShape(erased(), [](Rect r) { return platform::Path::rect(r); });
}
template <class D, class R>
template <class K>
R ViewModifiers<D, R>::overlayPreferenceValue(std::function<R(const typename K::Value&)> content,
                                              Alignment alignment) const {
    return detail::preferenceOverlay(
        erased(),
        [content = std::move(content)](const PreferenceValues& p) {
            if (const auto* v = p.template value<K>()) {
                return content(*v);
            }
            return content(K::defaultValue());
        },
        alignment, false);
}
template <class D, class R>
template <class K>
R ViewModifiers<D, R>::backgroundPreferenceValue(std::function<R(const typename K::Value&)> content,
                                                 Alignment alignment) const {
    return detail::preferenceOverlay(
        erased(),
        [content = std::move(content)](const PreferenceValues& p) {
            if (const auto* v = p.template value<K>()) {
                return content(*v);
            }
            return content(K::defaultValue());
        },
        alignment, true);
}

/// A view modifier applied to a content view; equal when both parts are.
template <class M>
struct ModifiedContent {
    AnyView content;
    M modifier;
    AnyView body(ViewContext& context) const {
        if constexpr (requires { modifier.body(context, content); }) {
            return AnyView(modifier.body(context, content));
        } else {
            return AnyView(modifier.body(content));
        }
    }
    friend bool operator==(const ModifiedContent& a, const ModifiedContent& b) {
        if constexpr (std::equality_comparable<M>) {
            return a.content.impl() == b.content.impl() && a.modifier == b.modifier;
        } else {
            return false;
        }
    }
};

template <class D, class R>
template <class M>
R ViewModifiers<D, R>::modifier(M m) const {
    return R(ModifiedContent<M>{erased(), std::move(m)});
}

/// Several views side by side in the enclosing container (or in a ZStack where none).
class Group : public ViewModifiers<Group> {
public:
    Group(std::vector<AnyView> children)
        : children_(std::move(children)) {}
    std::shared_ptr<const detail::ViewImpl> makeImpl() const;

private:
    std::vector<AnyView> children_;
};

/// Views made from a collection, each identified by an id of its element (state follows the
/// id, not the position).
class ForEach : public ViewModifiers<ForEach> {
public:
    template <class Range, class IdOf, class Content>
    ForEach(const Range& data, IdOf idOf, Content content) {
        for (const auto& element : data) {
            items_.push_back({AnyView(content(element)), ViewID(idOf(element))});
        }
    }
    /// Indices 0..<count, each its own id.
    template <class Content>
    static ForEach range(int count, Content content) {
        std::vector<int> indices;
        for (int i = 0; i < count; ++i) {
            indices.push_back(i);
        }
        return ForEach(
            indices, [](int i) { return i; }, std::move(content));
    }
    /// Views that already carry their ids (see `subviewsOf`).
    explicit ForEach(const std::vector<std::pair<ViewID, AnyView>>& items) {
        for (const auto& [id, view] : items) {
            items_.push_back({view, id});
        }
    }
    std::shared_ptr<const detail::ViewImpl> makeImpl() const;

private:
    std::vector<detail::FlatChild> items_;
};

/// The subviews a container would make of `content` (groups and lists expanded), each with its
/// identity, so that a view can wrap each one and keep its state.
std::vector<std::pair<ViewID, AnyView>> subviewsOf(const AnyView& content);

/// The empty view: takes no space, draws nothing.
inline AnyView EmptyView() {
    return AnyView();
}

/// One of two views; each branch has its own identity, so switching drops the other's state.
AnyView ConditionalContent(bool condition, AnyView whenTrue, AnyView whenFalse = AnyView());

} // namespace platform::ui

template <>
struct std::hash<platform::ui::ViewID> {
    std::size_t operator()(const platform::ui::ViewID& id) const noexcept { return id.hash(); }
};
