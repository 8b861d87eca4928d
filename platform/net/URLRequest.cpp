#include "platform/net/URLRequest.hpp"

#include "platform/net/HeaderName.hpp"

#include <algorithm>

namespace platform {

URLRequest::URLRequest(URL url, CachePolicy cachePolicy, TimeInterval timeoutInterval)
    : url_(std::move(url))
    , timeoutInterval_(timeoutInterval)
    , cachePolicy_(cachePolicy) {}

void URLRequest::setHTTPMethod(std::string method) {
    // An empty method means the default, as a request that never set one.
    httpMethod_ = method.empty() ? std::string("GET") : std::move(method);
}

std::optional<std::string> URLRequest::value(std::string_view headerField) const {
    const auto it = std::find_if(headers_.begin(), headers_.end(), [&](const auto& field) {
        return net_detail::headerNamesEqual(field.first, headerField);
    });
    if (it == headers_.end()) {
        return std::nullopt;
    }
    return it->second;
}

void URLRequest::setValue(std::optional<std::string> value, std::string_view headerField) {
    const auto it = std::find_if(headers_.begin(), headers_.end(), [&](const auto& field) {
        return net_detail::headerNamesEqual(field.first, headerField);
    });
    if (!value) {
        if (it != headers_.end()) {
            headers_.erase(it);
        }
        return;
    }
    if (it != headers_.end()) {
        it->second = std::move(*value);
    } else {
        headers_.emplace_back(std::string(headerField), std::move(*value));
    }
}

} // namespace platform
