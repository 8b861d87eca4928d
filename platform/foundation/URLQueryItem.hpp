#pragma once

#include <optional>
#include <string>

namespace platform {

// One name/value pair of a URL's query. A missing value ("?flag") differs from an empty one
// ("?flag=").
struct URLQueryItem {
    std::string name;
    std::optional<std::string> value;

    friend bool operator==(const URLQueryItem&, const URLQueryItem&) = default;
};

} // namespace platform
