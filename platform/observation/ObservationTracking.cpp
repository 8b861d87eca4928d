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
    std::vector<std::pair<std::weak_ptr<RegistrarState>, PropertyID>> detached;
    {
        const std::lock_guard lock(mutex);
        if (finished) {
            return {};
        }
        finished = true;
        handler = std::move(onChange);
        detached = std::move(registrations);
    }
    for (const auto& [weakRegistrar, property] : detached) {
        const std::shared_ptr<RegistrarState> registrar = weakRegistrar.lock();
        if (!registrar) {
            continue;
        }
        const std::lock_guard lock(registrar->mutex);
        const auto found = registrar->observers.find(property);
        if (found == registrar->observers.end()) {
            continue;
        }
        std::erase_if(found->second,
                      [this](const auto& observer) { return observer.get() == this; });
        if (found->second.empty()) {
            registrar->observers.erase(found);
        }
    }
    return handler;
}

AccessScope::AccessScope()
    : previous_(currentScope) {
    currentScope = this;
}

AccessScope::~AccessScope() {
    currentScope = previous_;
    if (previous_ != nullptr && !accesses_.empty()) {
        auto& outer = previous_->accesses_;
        outer.insert(outer.end(), accesses_.begin(), accesses_.end());
    }
}

void AccessScope::record(const std::shared_ptr<RegistrarState>& registrar, PropertyID property) {
    if (currentScope != nullptr) {
        currentScope->accesses_.emplace_back(registrar, property);
    }
}

std::shared_ptr<TrackingState> AccessScope::observe(std::function<void()> onChange) {
    if (accesses_.empty()) {
        return nullptr;
    }
    auto tracking = std::make_shared<TrackingState>();
    // Sorted in place: the enclosing scope takes the same reads, in whatever order.
    auto& accesses = accesses_;
    std::sort(accesses.begin(), accesses.end());
    accesses.erase(std::unique(accesses.begin(), accesses.end()), accesses.end());
    {
        const std::lock_guard lock(tracking->mutex);
        tracking->onChange = std::move(onChange);
        tracking->registrations.reserve(accesses.size());
        for (const auto& [registrar, property] : accesses) {
            tracking->registrations.emplace_back(registrar, property);
        }
    }
    for (const auto& [registrar, property] : accesses) {
        const std::lock_guard lock(registrar->mutex);
        registrar->observers[property].push_back(tracking);
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
