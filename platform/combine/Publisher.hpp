#pragma once

#include "platform/combine/AnyCancellable.hpp"

#include <atomic>
#include <chrono>
#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace platform {

// Something that can be scheduled later and cancelled; the main executor is one:
//     TimerToken MainExecutor::enqueueAfter(std::chrono::nanoseconds, Job)
template <class S>
concept DelayScheduler = requires(S& scheduler, std::chrono::nanoseconds delay) {
    {scheduler.enqueueAfter(delay, [] {}).cancel()};
};

// A stream of values that never fails. Subscribing hands each later value to a receiver until
// the returned AnyCancellable is cancelled or destroyed. Operators make new publishers; every
// subscription gets its own operator state.
template <class T>
class Publisher {
public:
    using Receiver = std::function<void(const T&)>;
    using SubscribeFunction = std::function<AnyCancellable(Receiver)>;

    explicit Publisher(SubscribeFunction subscribe)
        : subscribe_(std::move(subscribe)) {}

    [[nodiscard]] AnyCancellable sink(Receiver receiver) const {
        return subscribe_(std::move(receiver));
    }

    // Drops a value equal to the one delivered just before it; the first always passes.
    [[nodiscard]] Publisher removeDuplicates() const requires std::equality_comparable<T> {
        return Publisher([upstream = *this](Receiver downstream) {
            struct State {
                std::mutex mutex;
                std::optional<T> last;
            };
            auto state = std::make_shared<State>();
            return upstream.sink([state, downstream = std::move(downstream)](const T& value) {
                {
                    const std::lock_guard lock(state->mutex);
                    if (state->last && *state->last == value) {
                        return;
                    }
                    state->last = value;
                }
                downstream(value);
            });
        });
    }

    // Delivers a value only once `delay` has passed without a newer one, on `scheduler` (which
    // must outlive the subscription; the main executor lives for the process).
    template <DelayScheduler S>
    [[nodiscard]] Publisher debounce(std::chrono::nanoseconds delay, S& scheduler) const {
        return Publisher([upstream = *this, delay, scheduler = &scheduler](Receiver downstream) {
            using Token = std::decay_t<decltype(scheduler->enqueueAfter(delay, [] {}))>;
            struct State {
                std::mutex mutex;
                std::optional<T> pending;
                std::optional<Token> timer;
                std::uint64_t generation = 0;
                bool cancelled = false;
                Receiver downstream;
            };
            auto state = std::make_shared<State>();
            state->downstream = std::move(downstream);
            const std::weak_ptr<State> weak = state;

            AnyCancellable upstreamSubscription =
                upstream.sink([weak, delay, scheduler](const T& value) {
                    const std::shared_ptr<State> s = weak.lock();
                    if (!s) {
                        return;
                    }
                    std::optional<Token> previous;
                    std::uint64_t generation = 0;
                    {
                        const std::lock_guard lock(s->mutex);
                        if (s->cancelled) {
                            return;
                        }
                        previous = std::exchange(s->timer, std::nullopt);
                        s->pending = value;
                        generation = ++s->generation;
                    }
                    if (previous) {
                        previous->cancel();
                    }
                    Token timer = scheduler->enqueueAfter(delay, [weak, generation] {
                        const std::shared_ptr<State> s = weak.lock();
                        if (!s) {
                            return;
                        }
                        std::optional<T> value;
                        {
                            const std::lock_guard lock(s->mutex);
                            // A newer value restarted the wait, or the subscription ended.
                            if (s->cancelled || generation != s->generation) {
                                return;
                            }
                            value = std::exchange(s->pending, std::nullopt);
                            s->timer.reset();
                        }
                        if (value) {
                            s->downstream(*value);
                        }
                    });
                    const std::lock_guard lock(s->mutex);
                    if (generation == s->generation && !s->cancelled) {
                        s->timer = std::move(timer);
                    }
                });
            auto upstreamHolder = std::make_shared<AnyCancellable>(std::move(upstreamSubscription));
            return AnyCancellable([state, upstreamHolder] {
                std::optional<Token> timer;
                {
                    const std::lock_guard lock(state->mutex);
                    state->cancelled = true;
                    state->pending.reset();
                    timer = std::exchange(state->timer, std::nullopt);
                }
                if (timer) {
                    timer->cancel();
                }
                upstreamHolder->cancel();
            });
        });
    }

private:
    SubscribeFunction subscribe_;
};

} // namespace platform
