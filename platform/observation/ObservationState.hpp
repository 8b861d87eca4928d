#pragma once

// Shared between the registrar and the tracking scopes; not part of the public interface.

#include "platform/observation/ObservationRegistrar.hpp"

#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform::detail {

struct RegistrarState;

struct TrackingState {
    std::mutex mutex;
    std::function<void()> onChange;
    bool finished = false;
    std::vector<std::pair<std::weak_ptr<RegistrarState>, PropertyID>> registrations;

    // Ends the observation and detaches it from every registrar; returns the handler to run,
    // empty when it had already ended.
    std::function<void()> finish();
};

struct RegistrarState {
    std::mutex mutex;
    std::unordered_map<PropertyID, std::vector<std::shared_ptr<TrackingState>>> observers;
};

} // namespace platform::detail
