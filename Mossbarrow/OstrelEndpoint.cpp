#include "Mossbarrow/OstrelEndpoint.hpp"

#include "Mossbarrow/EndpointSupport.hpp"

namespace mossbarrow {

const std::string& OstrelEndpoint::defaultBaseURL() {
    static const std::string text = MOSS_OSTREL_BASE_URL;
    return text;
}

platform::URL OstrelEndpoint::baseURL() const {
    return detail::baseURLFromConstant(defaultBaseURL());
}

} // namespace mossbarrow
