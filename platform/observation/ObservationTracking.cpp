#include "platform/observation/ObservationTracking.hpp"

#include "platform/observation/ObservationState.hpp"

#include <algorithm>

namespace platform {

namespace detail {

namespace {
// The innermost tracking scope of each thread.
thread_local AccessScope* currentScope = nullptr;
} // namespace

std::function<void()> TrackingState::finish() {
    std::function<void()> handler;
    Registration detachedFirst;
    std::vector<Registration> detached;
    {
        const std::lock_guard lock(mutex);
        if (finished) {
            return {};
        }
        finished = true;
        handler = std::move(onChange);
        detachedFirst = std::move(first);
        detached = std::move(more);
    }
    const auto detach = [this](const Registration& r) {
        const std::shared_ptr<RegistrarState> registrar = r.registrar.lock();
        if (!registrar) {
            return;
        }
        const std::lock_guard lock(registrar->mutex);
        std::erase_if(registrar->observers, [&](const auto& observer) {
            return observer.first == r.property && observer.second.get() == this;
        });
    };
    detach(detachedFirst);
    for (const Registration& r : detached) {
        detach(r);
    }
    return handler;
}

AccessScope::AccessScope()
    : previous_(currentScope) {
    currentScope = this;
}

AccessScope::~AccessScope() {
    currentScope = previous_;
    if (previous_ != nullptr && first_.first) {
        previous_->add(first_.first, first_.second);
        for (const auto& [registrar, property] : more_) {
            previous_->add(registrar, property);
        }
    }
}

void AccessScope::add(const std::shared_ptr<RegistrarState>& registrar, PropertyID property) {
    if (!first_.first) {
        first_ = {registrar, property};
    } else if (first_.first != registrar || first_.second != property) {
        more_.emplace_back(registrar, property);
    }
}

void AccessScope::record(const std::shared_ptr<RegistrarState>& registrar, PropertyID property) {
    if (currentScope != nullptr) {
        currentScope->add(registrar, property);
    }
}

std::shared_ptr<TrackingState> AccessScope::observe(std::function<void()> onChange) {
    if (!first_.first) {
        return nullptr;
    }
    auto tracking = std::make_shared<TrackingState>();
    // Each object and property once. Sorted in place: the enclosing scope takes the same reads,
    // in whatever order.
    if (!more_.empty()) {
        more_.push_back(std::move(first_));
        std::sort(more_.begin(), more_.end());
        more_.erase(std::unique(more_.begin(), more_.end()), more_.end());
        first_ = std::move(more_.front());
        more_.erase(more_.begin());
    }
    {
        const std::lock_guard lock(tracking->mutex);
        tracking->onChange = std::move(onChange);
        tracking->first = {first_.first, first_.second};
        tracking->more.reserve(more_.size());
        for (const auto& [registrar, property] : more_) {
            tracking->more.push_back({registrar, property});
        }
    }
    const auto enlist = [&tracking](RegistrarState& registrar, PropertyID property) {
        const std::lock_guard lock(registrar.mutex);
        registrar.observers.emplace_back(property, tracking);
    };
    enlist(*first_.first, first_.second);
    for (const auto& [registrar, property] : more_) {
        enlist(*registrar, property);
    }
    return tracking;
}

} // namespace detail

void ObservationTracking::cancel() const {
    if (state_) {
        (void)state_->finish();
    }
}

bool ObservationTracking::isFinished() const {
    if (!state_) {
        return true;
    }
    const std::lock_guard lock(state_->mutex);
    return state_->finished;
}

} // namespace platform
