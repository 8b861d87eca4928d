#pragma once

#include "platform/combine/Publisher.hpp"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace platform {

// A publisher whose values are whatever is sent into it, delivered at once, on the sending
// thread, to every subscription that exists at that moment.
template <class T>
class PassthroughSubject : public Publisher<T> {
public:
    PassthroughSubject()
        : PassthroughSubject(std::make_shared<State>()) {}

    void send(const T& value) const {
        std::vector<std::shared_ptr<Subscription>> subscriptions;
        {
            const std::lock_guard lock(state_->mutex);
            subscriptions = state_->subscriptions;
        }
        for (const auto& subscription : subscriptions) {
            // A receiver may cancel another subscription while this send is under way.
            if (subscription->active.load()) {
                subscription->receiver(value);
            }
        }
    }

    [[nodiscard]] std::size_t subscriptionCount() const {
        const std::lock_guard lock(state_->mutex);
        return state_->subscriptions.size();
    }

private:
    struct Subscription {
        std::atomic<bool> active{true};
        typename Publisher<T>::Receiver receiver;
    };
    struct State {
        std::mutex mutex;
        std::vector<std::shared_ptr<Subscription>> subscriptions;
    };

    explicit PassthroughSubject(std::shared_ptr<State> state)
        : Publisher<T>([weak = std::weak_ptr<State>(state)](typename Publisher<T>::Receiver r) {
            const std::shared_ptr<State> s = weak.lock();
            if (!s) {
                return AnyCancellable();
            }
            auto subscription = std::make_shared<Subscription>();
            subscription->receiver = std::move(r);
            {
                const std::lock_guard lock(s->mutex);
                s->subscriptions.push_back(subscription);
            }
            return AnyCancellable([weak, subscription] {
                subscription->active.store(false);
                if (const std::shared_ptr<State> s = weak.lock()) {
                    const std::lock_guard lock(s->mutex);
                    std::erase(s->subscriptions, subscription);
                }
            });
        })
        , state_(std::move(state)) {}

    std::shared_ptr<State> state_;
};

} // namespace platform
