#pragma once

#include "platform/runtime/Runtime.hpp"

#include <chrono>
#include <functional>

namespace platform::testing {

/// Pumps the main executor until `predicate` holds; bounded so a broken runtime fails instead
/// of hanging the suite.
inline bool pumpUntil(const std::function<bool()>& predicate,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    return MainExecutor::shared().runUntil(predicate, timeout);
}

} // namespace platform::testing
