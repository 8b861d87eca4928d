#pragma once

#include "concurrency/AsyncStreamAdapters.hpp"
#include "platform/runtime/Cancellation.hpp"
#include "platform/runtime/Task.hpp"

#include <exception>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace concurrency {

/// Suspends until the current task is cancelled, then throws platform::CancellationError.
/// (T is the type the caller would get if the wait ever produced a value; it never does.)
template <class T = void>
platform::Task<T> suspendUntilCancelled() {
    using Element = std::conditional_t<std::is_void_v<T>, std::monostate, T>;
    auto idle = idleStream<Element>();
    for (;;) {
        auto element = co_await idle.next();
        if (!element || std::is_void_v<T>) {
            throw platform::CancellationError();
        }
        if constexpr (!std::is_void_v<T>) {
            co_return std::move(*element);
        }
    }
}

/// Awaits `task`'s value (or error); cancelling the awaiting task cancels `task` too.
template <class T>
platform::Task<T> cancellableValue(platform::Task<T> task) {
    auto operation = [task]() -> platform::Task<T> { co_return co_await task.value(); };
    auto onCancel = [task] { task.cancel(); };
    co_return co_await platform::withTaskCancellationHandler(operation, onCancel);
}

/// A value or the error that prevented it.
template <class T>
class Result {
public:
    using Stored = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

    static Result success(Stored value) { return Result(std::move(value)); }
    static Result failure(std::exception_ptr error) { return Result(std::move(error)); }

    /// Runs `operation()` (returning a Task<T>) and captures its value or its error.
    template <class F>
    static platform::Task<Result> catchingAsync(F operation) {
        std::optional<Result> result;
        try {
            if constexpr (std::is_void_v<T>) {
                co_await std::invoke(operation);
                result.emplace(Result(std::monostate{}));
            } else {
                result.emplace(Result(co_await std::invoke(operation)));
            }
        } catch (...) {
            result.emplace(Result(std::current_exception()));
        }
        co_return std::move(*result);
    }

    [[nodiscard]] bool isSuccess() const noexcept { return outcome_.index() == 0; }
    [[nodiscard]] std::exception_ptr error() const {
        const auto* error = std::get_if<std::exception_ptr>(&outcome_);
        return error != nullptr ? *error : nullptr;
    }
    /// The value, or the error rethrown.
    decltype(auto) get() const {
        if (const auto* error = std::get_if<std::exception_ptr>(&outcome_)) {
            std::rethrow_exception(*error);
        }
        if constexpr (!std::is_void_v<T>) {
            return std::get<0>(outcome_);
        }
    }

private:
    explicit Result(Stored value)
        : outcome_(std::in_place_index<0>, std::move(value)) {}
    explicit Result(std::exception_ptr error)
        : outcome_(std::in_place_index<1>, std::move(error)) {}
    std::variant<Stored, std::exception_ptr> outcome_;
};

} // namespace concurrency
