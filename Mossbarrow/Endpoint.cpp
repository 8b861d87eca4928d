#include "Mossbarrow/Endpoint.hpp"

#include "Mossbarrow/APIClientError.hpp"
#include "platform/foundation/URLComponents.hpp"

namespace mossbarrow {

platform::URLRequest Endpoint::makeRequest() const {
    platform::URLComponents components(baseURL());
    // The path is already encoded (segments taken from data were encoded by the family), so it
    // goes in as it is rather than being encoded a second time; text the family could not encode
    // is encoded here as plain text.
    const std::string requestPath = path();
    if (!components.setPercentEncodedPath(requestPath)) {
        components.setPath(requestPath);
    }
    const auto items = queryItems();
    if (!items.empty()) {
        components.setQueryItems(items); // an empty list would leave a bare "?"
    }
    auto url = components.url();
    if (!url) {
        throw APIClientError::invalidURL();
    }
    platform::URLRequest request(*url, platform::URLRequest::CachePolicy::useProtocolCachePolicy,
                                 60.0);
    request.setHTTPMethod(std::string(httpMethodText(method())));
    for (const auto& [field, value] : headers()) {
        request.setValue(value, field);
    }
    request.setHTTPBody(body());
    return request;
}

} // namespace mossbarrow
