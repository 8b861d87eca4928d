#include "Mossbarrow/OstrelEndpoint.hpp"

#include "Mossbarrow/EndpointSupport.hpp"
#include "Mossbarrow/ServiceAddresses.hpp"

namespace mossbarrow {

const std::string& OstrelEndpoint::defaultBaseURL() {
    static const std::string text = MOSS_OSTREL_BASE_URL;
    return text;
}

platform::URL OstrelEndpoint::baseURL() const {
    return detail::baseURLFromConstant(ServiceAddresses::current().ostrel());
}

} // namespace mossbarrow
