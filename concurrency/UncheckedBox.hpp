#pragma once

#include <utility>

namespace concurrency {

/// A value held by reference with no synchronisation at all: whoever shares it guards it.
template <class Value>
class UncheckedBox {
public:
    explicit UncheckedBox(Value wrappedValue)
        : wrappedValue(std::move(wrappedValue)) {}
    UncheckedBox(const UncheckedBox&) = delete;
    UncheckedBox& operator=(const UncheckedBox&) = delete;

    Value wrappedValue;
};

} // namespace concurrency
