#pragma once

#include "Mossbarrow/ServerResponse.hpp"

#include <string>

namespace mossbarrow {

// The whole server record as pretty-printed JSON with sorted keys ("_meta" before "server",
// nested members sorted too, "/" written "\/"); "{}" when it cannot be encoded.
std::string serverJSONText(const ServerResponse& server);

} // namespace mossbarrow
