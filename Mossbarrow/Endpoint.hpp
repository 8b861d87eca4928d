#pragma once

#include "Mossbarrow/HTTPMethod.hpp"
#include "platform/foundation/Data.hpp"
#include "platform/foundation/URL.hpp"
#include "platform/foundation/URLQueryItem.hpp"
#include "platform/net/URLRequest.hpp"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace mossbarrow {

// Describes one request to a catalogue service. The families (ClawHubEndpoint, MCPEndpoint,
// OstrelEndpoint) fix the address, path and query; headers and body default to none.
class Endpoint {
public:
    Endpoint() = default;
    Endpoint(const Endpoint&) = default;
    Endpoint& operator=(const Endpoint&) = default;
    virtual ~Endpoint() = default;

    // The service's root address: scheme and host, no path.
    virtual platform::URL baseURL() const = 0;
    // The absolute path, beginning with "/" (already percent-encoded where taken from data).
    virtual std::string path() const = 0;
    virtual HTTPMethod method() const { return HTTPMethod::get; }
    // In order; empty means no query part at all (no "?").
    virtual std::vector<platform::URLQueryItem> queryItems() const = 0;
    virtual std::map<std::string, std::string> headers() const { return {}; }
    virtual std::optional<platform::Data> body() const { return std::nullopt; }

    // A GET request with the protocol's cache rules and a 60-second timeout. Throws
    // APIClientError::invalidURL when no URL can be formed.
    platform::URLRequest makeRequest() const;
};

} // namespace mossbarrow
