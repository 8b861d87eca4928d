#pragma once

#include "platform/runtime/Actor.hpp"
#include "platform/runtime/ScopeExit.hpp"

#include <functional>
#include <type_traits>
#include <utility>

namespace concurrency {

/// A value guarded by an actor: every access runs on the actor's serial executor, so callers
/// outside it await. Each operation runs to completion without suspending once on the actor.
template <class Value>
class ActorIsolated : public platform::Actor {
public:
    /// Evaluates `makeValue()`; if it throws, the error propagates and no instance results.
    template <class F>
    requires std::is_convertible_v<std::invoke_result_t<F&>, Value>
    explicit ActorIsolated(F&& makeValue)
        : value_(std::invoke(makeValue)) {}

    /// A copy of the value.
    platform::Task<Value> value() {
        co_await hop();
        co_return value_;
    }

    /// Runs `operation(value&)` on a copy that is written back afterwards, also when the
    /// operation throws; returns its result or rethrows.
    template <class F>
    auto withIsolatedValue(F operation) -> platform::Task<std::invoke_result_t<F&, Value&>> {
        co_await hop();
        Value copy = value_;
        const platform::ScopeExit writeBack([this, &copy] { value_ = std::move(copy); });
        co_return std::invoke(operation, copy);
    }

    /// Stores `makeValue()`; if it throws, the value stays as it was.
    template <class F>
    requires std::is_convertible_v<std::invoke_result_t<F&>, Value> platform::Task<void>
    setValue(F makeValue) {
        co_await hop();
        Value next = std::invoke(makeValue);
        value_ = std::move(next);
    }

private:
    Value value_;
};

} // namespace concurrency
