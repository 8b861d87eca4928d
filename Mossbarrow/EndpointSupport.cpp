#include "Mossbarrow/EndpointSupport.hpp"

#include "platform/foundation/PercentEncoding.hpp"

#include <cstdio>
#include <cstdlib>

namespace mossbarrow::detail {

platform::URL baseURLFromConstant(std::string_view text) {
    auto url = platform::URL::fromString(text);
    if (!url) {
        std::fprintf(stderr, "Invalid service address constant: %.*s\n",
                     static_cast<int>(text.size()), text.data());
        std::abort();
    }
    return *url;
}

std::string encodedPathSegment(std::string_view text) {
    auto encoded =
        platform::addingPercentEncoding(text, platform::URLCharacterSet::urlPathSegmentAllowed);
    return encoded ? *encoded : std::string(text);
}

} // namespace mossbarrow::detail
