#pragma once

#include <cstddef>
#include <functional>
#include <utility>

namespace concurrency {

/// A value declared safe to share across tasks and threads without checking. It adds no
/// synchronisation; whoever shares it must guard it.
template <class Value>
struct UncheckedSendable {
    explicit UncheckedSendable(Value value)
        : value(std::move(value)) {}

    Value value;

    Value& wrappedValue() noexcept { return value; }
    const Value& wrappedValue() const noexcept { return value; }

    /// Member access on the wrapped value (read and write).
    Value* operator->() noexcept { return &value; }
    const Value* operator->() const noexcept { return &value; }

    /// As an asynchronous sequence: the wrapped sequence's own iterator.
    auto makeAsyncIterator() const requires requires(const Value& sequence) {
        sequence.makeAsyncIterator();
    }
    { return value.makeAsyncIterator(); }

    friend bool operator==(const UncheckedSendable& lhs, const UncheckedSendable& rhs) requires
        requires(const Value& a) {
        a == a;
    }
    { return lhs.value == rhs.value; }
};

} // namespace concurrency

template <class Value>
requires requires(const Value& value) {
    std::hash<Value>{}(value);
}
struct std::hash<concurrency::UncheckedSendable<Value>> {
    std::size_t operator()(const concurrency::UncheckedSendable<Value>& wrapped) const {
        return std::hash<Value>{}(wrapped.value);
    }
};
