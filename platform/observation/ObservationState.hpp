#pragma once

// Shared between the registrar and the tracking scopes; not part of the public interface.

#include "platform/observation/ObservationRegistrar.hpp"

#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace platform::detail {

struct RegistrarState;

struct TrackingState {
    /// One property of one object read in the scope.
    struct Registration {
        std::weak_ptr<RegistrarState> registrar;
        PropertyID property = 0;
    };
    std::mutex mutex;
    std::function<void()> onChange;
    bool finished = false;
    /// What was read: most scopes read one property of one object, kept in place; the rest
    /// follow in `more`.
    Registration first;
    std::vector<Registration> more;

    // Ends the observation and detaches it from every registrar; returns the handler to run,
    // empty when it had already ended.
    std::function<void()> finish();
};

struct RegistrarState {
    std::mutex mutex;
    /// The observations of the object and the property each waits for, oldest first. An
    /// object has a few at a time: they are searched side by side in memory rather than
    /// kept by property in a table of their own.
    std::vector<std::pair<PropertyID, std::shared_ptr<TrackingState>>> observers;
};

} // namespace platform::detail
