#pragma once

#include "platform/runtime/ScopeExit.hpp"

#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

namespace platform {

// Names one observed property of an object; each observable class numbers its own properties
// (an enumeration converted with `observationKey`).
using PropertyID = std::uint64_t;

template <class E>
requires std::is_enum_v<E>
constexpr PropertyID observationKey(E property) {
    return static_cast<PropertyID>(property);
}

namespace detail {
struct RegistrarState;
}

// The per-object bookkeeping of an observable object: reads report `access`, writes run inside
// `withMutation` (or between `willSet` and `didSet`). Code that read a property inside
// withObservationTracking is told, once, before that property first changes.
//
// Observable objects live on the main thread; the registrar itself is safe to call from any
// thread, and change handlers run on the thread that makes the change.
class ObservationRegistrar {
public:
    ObservationRegistrar();
    ObservationRegistrar(const ObservationRegistrar&) = delete;
    ObservationRegistrar& operator=(const ObservationRegistrar&) = delete;
    // Pending observations of this object end silently.
    ~ObservationRegistrar();

    void access(PropertyID property) const;
    void willSet(PropertyID property) const;
    void didSet(PropertyID property) const;

    template <class F>
    decltype(auto) withMutation(PropertyID property, F&& mutation) const {
        willSet(property);
        const ScopeExit notify([this, property] { didSet(property); });
        return std::forward<F>(mutation)();
    }

    template <class E>
    requires std::is_enum_v<E>
    void access(E property) const { access(observationKey(property)); }
    template <class E, class F>
    requires std::is_enum_v<E>
    decltype(auto) withMutation(E property, F&& mutation) const {
        return withMutation(observationKey(property), std::forward<F>(mutation));
    }

private:
    std::shared_ptr<detail::RegistrarState> state_;
};

// A stored property of an observable object: `get()` reports the read, `set()` notifies only
// when the new value differs from the old one (an equal value is still stored, since equality
// may ignore some fields), and `setAlways()` notifies on every assignment.
template <class T>
class Observed {
public:
    template <class E>
    requires std::is_enum_v<E> Observed(const ObservationRegistrar& registrar, E property,
                                        T initial = T())
        : registrar_(registrar)
        , property_(observationKey(property))
        , value_(std::move(initial)) {}
    Observed(const Observed&) = delete;
    Observed& operator=(const Observed&) = delete;

    [[nodiscard]] const T& get() const {
        registrar_.access(property_);
        return value_;
    }
    // The value without reporting a read (for the owner's own bookkeeping).
    [[nodiscard]] const T& peek() const { return value_; }

    void set(T newValue) requires std::equality_comparable<T> {
        if (value_ == newValue) {
            value_ = std::move(newValue);
            return;
        }
        setAlways(std::move(newValue));
    }
    void setAlways(T newValue) {
        registrar_.withMutation(property_, [&] { value_ = std::move(newValue); });
    }
    // Changes the value in place, notifying as setAlways does.
    template <class F>
    void modify(F&& change) {
        registrar_.withMutation(property_, [&] { std::forward<F>(change)(value_); });
    }

private:
    const ObservationRegistrar& registrar_;
    PropertyID property_;
    T value_;
};

} // namespace platform
