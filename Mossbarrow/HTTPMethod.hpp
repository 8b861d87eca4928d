#pragma once

#include <string_view>

namespace mossbarrow {

// The catalogues are read-only: GET is the one method any request uses.
enum class HTTPMethod { get };

constexpr std::string_view httpMethodText(HTTPMethod method) {
    switch (method) {
    case HTTPMethod::get:
        return "GET";
    }
    return "GET";
}

} // namespace mossbarrow
