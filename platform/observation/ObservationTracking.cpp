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

struct AccessScope::Impl {
    std::vector<std::pair<std::shared_ptr<RegistrarState>, PropertyID>> accesses;
};

AccessScope::AccessScope()
    : impl_(std::make_unique<Impl>())
    , previous_(currentScope) {
    currentScope = this;
}

AccessScope::~AccessScope() {
    currentScope = previous_;
    if (previous_ != nullptr) {
        auto& outer = previous_->impl_->accesses;
        outer.insert(outer.end(), impl_->accesses.begin(), impl_->accesses.end());
    }
}

void AccessScope::record(const std::shared_ptr<RegistrarState>& registrar, PropertyID property) {
    if (currentScope != nullptr) {
        currentScope->impl_->accesses.emplace_back(registrar, property);
    }
}

std::shared_ptr<TrackingState> AccessScope::observe(std::function<void()> onChange) {
    auto tracking = std::make_shared<TrackingState>();
    auto accesses = impl_->accesses;
    std::sort(accesses.begin(), accesses.end());
    accesses.erase(std::unique(accesses.begin(), accesses.end()), accesses.end());
    {
        const std::lock_guard lock(tracking->mutex);
        tracking->onChange = std::move(onChange);
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
