#pragma once

#include "concurrency/UncheckedBox.hpp"
#include "concurrency/UncheckedSendable.hpp"
#include "platform/runtime/AsyncStream.hpp"

#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>

namespace concurrency {

/// An asynchronous sequence: `sequence.makeAsyncIterator()` gives an iterator whose `next()`
/// is awaitable and yields std::optional<Element> (nullopt at the end; it may throw).
template <class S>
concept AsyncSequence = requires(const S& sequence) {
    sequence.makeAsyncIterator();
    sequence.makeAsyncIterator().next();
};

template <AsyncSequence S>
using AsyncIteratorOf = std::decay_t<decltype(std::declval<const S&>().makeAsyncIterator())>;

namespace detail {

template <class Iterator>
using NextResult = decltype(std::declval<Iterator&>().next());

/// The element type behind `co_await iterator.next()`: next() returns a Task<std::optional<E>>.
template <class Iterator>
using ElementOfIterator = typename NextResult<Iterator>::value_type::value_type;

/// What a stream made from a sequence keeps between pulls: the sequence, and the one iterator
/// it makes at the first pull. The stream serialises pulls, so the iterator is never used by
/// two pulls at once; the lock covers its lazy creation.
template <class S>
struct SequencePuller {
    explicit SequencePuller(S sequence)
        : sequence(std::move(sequence)) {}
    std::mutex lock;
    S sequence;
    UncheckedBox<std::optional<AsyncIteratorOf<S>>> iterator{std::nullopt};

    AsyncIteratorOf<S>& current() {
        const std::scoped_lock guard(lock);
        if (!iterator.wrappedValue) {
            iterator.wrappedValue.emplace(sequence.makeAsyncIterator());
        }
        return *iterator.wrappedValue;
    }
};

template <class Stream, class S>
Stream streamFrom(S sequence) {
    using Element = ElementOfIterator<AsyncIteratorOf<S>>;
    auto puller = std::make_shared<SequencePuller<S>>(std::move(sequence));
    return Stream([puller]() -> platform::Task<std::optional<Element>> {
        // An error of the sequence ends a plain stream quietly and a throwing stream with it.
        co_return co_await puller->current().next();
    });
}

} // namespace detail

/// A stream of the sequence's elements; an error of the sequence ends it quietly. The sequence's
/// iterator is made at the first pull, not before.
template <AsyncSequence S>
auto makeStreamFromSequence(S sequence) {
    using Element = detail::ElementOfIterator<AsyncIteratorOf<S>>;
    return detail::streamFrom<platform::AsyncStream<Element>>(std::move(sequence));
}
template <AsyncSequence S>
auto makeStreamFromSequence(UncheckedSendable<S> sequence) {
    return makeStreamFromSequence(std::move(sequence.value));
}

/// A throwing stream of the sequence's elements; an error of the sequence ends it with that error.
template <AsyncSequence S>
auto makeThrowingStreamFromSequence(S sequence) {
    using Element = detail::ElementOfIterator<AsyncIteratorOf<S>>;
    return detail::streamFrom<platform::AsyncThrowingStream<Element>>(std::move(sequence));
}
template <AsyncSequence S>
auto makeThrowingStreamFromSequence(UncheckedSendable<S> sequence) {
    return makeThrowingStreamFromSequence(std::move(sequence.value));
}

/// `asStream(sequence)`: the same as makeStreamFromSequence.
template <class S>
auto asStream(S sequence) {
    return makeStreamFromSequence(std::move(sequence));
}
template <class S>
auto asThrowingStream(S sequence) {
    return makeThrowingStreamFromSequence(std::move(sequence));
}

/// A stream that never yields and never ends; only a cancelled consumer leaves it.
template <class T>
platform::AsyncStream<T> idleStream() {
    return platform::AsyncStream<T>(
        [](typename platform::AsyncStream<T>::Continuation& continuation) {
            // The stream keeps its own producer alive (until it terminates), so it never finishes.
            continuation.onTermination([keep = continuation](platform::StreamTermination) {});
        });
}
template <class T>
platform::AsyncThrowingStream<T> idleThrowingStream() {
    return platform::AsyncThrowingStream<T>(
        [](typename platform::AsyncThrowingStream<T>::Continuation& continuation) {
            continuation.onTermination([keep = continuation](platform::StreamTermination) {});
        });
}

/// A stream that is over at once, empty.
template <class T>
platform::AsyncStream<T> endedStream() {
    return platform::AsyncStream<T>(
        [](typename platform::AsyncStream<T>::Continuation& continuation) {
            continuation.finish();
        });
}
/// A throwing stream that is over at once: with `error` if one is given, else normally.
template <class T>
platform::AsyncThrowingStream<T> endedThrowingStream(std::exception_ptr error = nullptr) {
    return platform::AsyncThrowingStream<T>(
        [error](typename platform::AsyncThrowingStream<T>::Continuation& continuation) {
            if (error) {
                continuation.finish(error);
            } else {
                continuation.finish();
            }
        });
}

} // namespace concurrency
