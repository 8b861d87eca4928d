#include "platform/data/LiveQuery.hpp"

#include "platform/data/StoreCore.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/runtime/MainExecutor.hpp"
#include "platform/runtime/TaskContext.hpp"

namespace platform {

namespace data_detail {

std::vector<std::shared_ptr<PersistentModel>> LiveQueryState::models() {
    const std::lock_guard lock(mutex_);
    if (stale_) {
        try {
            // A record that cannot be read is reported; it never hides the others.
            results_ = context_->fetchReadable(request_, problems_, lastError_);
            stale_ = false;
            ++fetchCount_;
        } catch (const Error& error) {
            lastError_ = error.localizedDescription();
            problems_.unreadableRecords = std::nullopt;
            problems_.failure = lastError_;
        }
    }
    return results_;
}

std::optional<std::string> LiveQueryState::lastErrorDescription() {
    const std::lock_guard lock(mutex_);
    return lastError_;
}

ReadProblems LiveQueryState::readProblems() {
    const std::lock_guard lock(mutex_);
    return problems_;
}

std::uint64_t LiveQueryState::fetchCount() {
    const std::lock_guard lock(mutex_);
    return fetchCount_;
}

std::uint64_t LiveQueryState::addObserver(std::function<void()> observer) {
    const std::lock_guard lock(mutex_);
    const auto token = nextToken_++;
    observers_.emplace(token, std::make_shared<const std::function<void()>>(std::move(observer)));
    return token;
}

void LiveQueryState::removeObserver(std::uint64_t token) {
    const std::lock_guard lock(mutex_);
    observers_.erase(token);
}

void LiveQueryState::storeDidChange() {
    bool observed = false;
    {
        const std::lock_guard lock(mutex_);
        stale_ = true;
        observed = !observers_.empty();
    }
    if (!observed) {
        return;
    }
    // Observers read the results through the context, which belongs to its executor's thread:
    // a write made elsewhere reaches them there, later.
    const ExecutorPtr& executor = context_->executor();
    const bool onContextThread =
        executor->isCurrent() || (executor == detail::mainExecutorPtr() && isMainThread());
    if (onContextThread) {
        notifyObservers();
        return;
    }
    executor->enqueue([weak = weak_from_this()] {
        if (const auto state = weak.lock()) {
            state->notifyObservers();
        }
    });
}

void LiveQueryState::notifyObservers() {
    std::vector<std::uint64_t> tokens;
    {
        const std::lock_guard lock(mutex_);
        for (const auto& [token, observer] : observers_) {
            tokens.push_back(token);
        }
    }
    // Observers run without the lock: they read the results, and may add or remove observers.
    for (const auto token : tokens) {
        std::shared_ptr<const std::function<void()>> observer;
        {
            const std::lock_guard lock(mutex_);
            const auto it = observers_.find(token);
            if (it == observers_.end()) {
                continue; // removed by an earlier observer
            }
            observer = it->second;
        }
        (*observer)();
    }
}

} // namespace data_detail

AnyLiveQuery::AnyLiveQuery(std::shared_ptr<data_detail::LiveQueryState> state)
    : state_(std::move(state)) {}

std::vector<std::shared_ptr<PersistentModel>> AnyLiveQuery::models() const {
    return state_->models();
}

std::optional<std::string> AnyLiveQuery::lastErrorDescription() const {
    return state_->lastErrorDescription();
}

ReadProblems AnyLiveQuery::readProblems() const {
    return state_->readProblems();
}

std::uint64_t AnyLiveQuery::fetchCount() const {
    return state_->fetchCount();
}

QueryObservation AnyLiveQuery::observe(std::function<void()> observer) const {
    const auto token = state_->addObserver(std::move(observer));
    return QueryObservation([weak = std::weak_ptr(state_), token] {
        if (const auto state = weak.lock()) {
            state->removeObserver(token);
        }
    });
}

} // namespace platform
