#include "platform/data/StoreError.hpp"

#include <utility>

namespace platform {

StoreError::StoreError(Code code, std::string message)
    : code_(code)
    , message_(std::move(message)) {}

} // namespace platform
