#pragma once

#include "platform/observation/ObservationRegistrar.hpp"

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace platform {

namespace detail {
struct TrackingState;
struct RegistrarState;

// Collects the properties read while it is the innermost scope of the calling thread.
class AccessScope {
public:
    AccessScope();
    AccessScope(const AccessScope&) = delete;
    AccessScope& operator=(const AccessScope&) = delete;
    // Hands what was read to the enclosing scope too, so outer tracking sees nested reads.
    ~AccessScope();

    // Whether anything observable was read in the scope so far.
    [[nodiscard]] bool readAny() const { return first_.first != nullptr; }
    // Starts observing what was read; `onChange` runs once, before the first change. Null when
    // nothing was read: nothing can ever call the handler.
    [[nodiscard]] std::shared_ptr<TrackingState> observe(std::function<void()> onChange);

private:
    friend class platform::ObservationRegistrar;
    using Access = std::pair<std::shared_ptr<RegistrarState>, PropertyID>;
    static void record(const std::shared_ptr<RegistrarState>& registrar, PropertyID property);
    void add(const std::shared_ptr<RegistrarState>& registrar, PropertyID property);
    // Kept in the scope itself: most scopes (a view's body that reads no model) read nothing,
    // and most of the others one property of one object (perhaps several times): such a scope
    // allocates nothing.
    Access first_;
    // The reads after the first that differ from it.
    std::vector<Access> more_;
    AccessScope* previous_;
};
} // namespace detail

// A running observation started by trackObservation. Destroying it (or calling cancel) means
// its change handler will not run.
class ObservationTracking {
public:
    ObservationTracking() = default;
    explicit ObservationTracking(std::shared_ptr<detail::TrackingState> state)
        : state_(std::move(state)) {}
    ObservationTracking(ObservationTracking&& other) noexcept = default;
    ObservationTracking& operator=(ObservationTracking&& other) noexcept {
        if (this != &other) {
            cancel();
            state_ = std::move(other.state_);
        }
        return *this;
    }
    ObservationTracking(const ObservationTracking&) = delete;
    ObservationTracking& operator=(const ObservationTracking&) = delete;
    ~ObservationTracking() { cancel(); }

    void cancel() const;
    // Whether the change handler already ran or the tracking was cancelled.
    [[nodiscard]] bool isFinished() const;

private:
    std::shared_ptr<detail::TrackingState> state_;
};

// Runs `apply`, recording every observed property it reads; `onChange` runs once, when the
// first of those properties is about to change (on the changing thread, before the new value
// is stored). Returns what `apply` returns.
template <class Apply>
auto withObservationTracking(Apply&& apply, std::function<void()> onChange) {
    detail::AccessScope scope;
    using Result = std::invoke_result_t<Apply&&>;
    if constexpr (std::is_void_v<Result>) {
        std::forward<Apply>(apply)();
        (void)scope.observe(std::move(onChange));
    } else {
        Result result = std::forward<Apply>(apply)();
        (void)scope.observe(std::move(onChange));
        return result;
    }
}

// As withObservationTracking, but returns a handle that cancels the pending notification when
// it goes away: for observers (such as widgets) that may be destroyed before anything changes.
template <class Apply>
[[nodiscard]] ObservationTracking trackObservation(Apply&& apply, std::function<void()> onChange) {
    detail::AccessScope scope;
    std::forward<Apply>(apply)();
    return ObservationTracking(scope.observe(std::move(onChange)));
}

// As trackObservation, for callers whose handler costs something to make: `makeOnChange()` is
// called for it only when `apply` read an observed property. A scope that reads nothing
// allocates nothing.
template <class Apply, class MakeOnChange>
[[nodiscard]] ObservationTracking trackObservationLazily(Apply&& apply,
                                                         MakeOnChange&& makeOnChange) {
    detail::AccessScope scope;
    std::forward<Apply>(apply)();
    if (!scope.readAny()) {
        return ObservationTracking();
    }
    return ObservationTracking(
        scope.observe(std::function<void()>(std::forward<MakeOnChange>(makeOnChange)())));
}

} // namespace platform
