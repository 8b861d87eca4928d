#pragma once

// Small reference and value wrappers that let values live in caches and be watched together.

#include <cstddef>
#include <functional>
#include <memory>
#include <tuple>
#include <typeinfo>

namespace vellum {

// A value held by reference, for caches whose entries are objects.
template <class Value>
class Box final {
public:
    explicit Box(Value value)
        : wrappedValue(std::move(value)) {}
    const Value wrappedValue;
};

// A hashable value usable as a cache key object: equal and hashing as the value it wraps. Boxes
// of different value types are never equal.
class AnyKeyBox {
public:
    virtual ~AnyKeyBox() = default;
    [[nodiscard]] virtual std::size_t hash() const = 0;
    [[nodiscard]] virtual bool isEqual(const AnyKeyBox* other) const = 0;
};

template <class Value>
class KeyBox final : public AnyKeyBox {
public:
    explicit KeyBox(Value value)
        : wrappedValue(std::move(value)) {}

    [[nodiscard]] std::size_t hash() const override { return std::hash<Value>()(wrappedValue); }
    [[nodiscard]] bool isEqual(const AnyKeyBox* other) const override {
        const auto* same = dynamic_cast<const KeyBox<Value>*>(other);
        return same != nullptr && same->wrappedValue == wrappedValue;
    }

    const Value wrappedValue;
};

// A weak reference that reads as empty once the object is gone.
template <class Object>
struct WeakBox {
    std::weak_ptr<Object> wrapped;

    explicit WeakBox(const std::shared_ptr<Object>& object)
        : wrapped(object) {}
    [[nodiscard]] std::shared_ptr<Object> get() const { return wrapped.lock(); }
};

// Several values watched as one: equal when all are equal, compared in order.
template <class... Values>
struct Tuple {
    std::tuple<Values...> values;

    explicit Tuple(Values... v)
        : values(std::move(v)...) {}
    friend bool operator==(const Tuple&, const Tuple&) = default;
};

} // namespace vellum
