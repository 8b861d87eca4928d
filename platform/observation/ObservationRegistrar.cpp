#include "platform/observation/ObservationRegistrar.hpp"

#include "platform/observation/ObservationState.hpp"
#include "platform/observation/ObservationTracking.hpp"

namespace platform {

ObservationRegistrar::ObservationRegistrar()
    : state_(std::make_shared<detail::RegistrarState>()) {}

ObservationRegistrar::~ObservationRegistrar() = default;

void ObservationRegistrar::access(PropertyID property) const {
    detail::AccessScope::record(state_, property);
}

void ObservationRegistrar::willSet(PropertyID property) const {
    std::vector<std::shared_ptr<detail::TrackingState>> observers;
    {
        const std::lock_guard lock(state_->mutex);
        for (const auto& [observed, tracking] : state_->observers) {
            if (observed == property) {
                observers.push_back(tracking);
            }
        }
    }
    // Handlers run without any lock held: they commonly read the object again or start a new
    // tracking of it.
    for (const auto& observer : observers) {
        if (const std::function<void()> onChange = observer->finish()) {
            onChange();
        }
    }
}

void ObservationRegistrar::didSet(PropertyID /*property*/) const {
    // Observers are told before a change only; nothing is pending after it.
}

} // namespace platform
