#include "Mossbarrow/ServiceAddresses.hpp"

#include "Mossbarrow/ClawHubEndpoint.hpp"
#include "Mossbarrow/MCPEndpoint.hpp"
#include "Mossbarrow/OstrelEndpoint.hpp"
#include "platform/foundation/ASCII.hpp"
#include "platform/foundation/URL.hpp"

#include <cstdio>
#include <cstdlib>

namespace mossbarrow {

bool ServiceAddresses::isUsableAddress(std::string_view text) {
    const auto url = platform::URL::fromString(text);
    if (!url) {
        return false;
    }
    const std::string scheme = url->scheme();
    const bool web = platform::ascii::equalsIgnoringCase(scheme, "http") ||
                     platform::ascii::equalsIgnoringCase(scheme, "https");
    const auto host = url->host();
    const std::string path = url->percentEncodedPath();
    return web && host && !host->empty() && (path.empty() || path == "/") && !url->query() &&
           !url->fragment();
}

ServiceAddresses ServiceAddresses::resolve(const Lookup& lookup) {
    ServiceAddresses addresses;
    const auto choose = [&](std::string_view variable, const std::string& fallback,
                            std::string& chosen) {
        chosen = fallback;
        const std::optional<std::string> value = lookup(variable);
        if (!value || value->empty()) {
            return;
        }
        if (isUsableAddress(*value)) {
            chosen = *value;
            return;
        }
        addresses.problems_.push_back(
            std::string(variable) + ": \"" + *value +
            "\" is not an http or https address made of a host and an optional port; using " +
            fallback);
    };
    choose(clawHubVariable, ClawHubEndpoint::defaultBaseURL(), addresses.clawHub_);
    choose(mcpVariable, MCPEndpoint::defaultBaseURL(), addresses.mcp_);
    choose(ostrelVariable, OstrelEndpoint::defaultBaseURL(), addresses.ostrel_);
    return addresses;
}

const ServiceAddresses& ServiceAddresses::current() {
    static const ServiceAddresses addresses =
        resolve([](std::string_view name) -> std::optional<std::string> {
            const char* const value = std::getenv(std::string(name).c_str());
            if (value == nullptr) {
                return std::nullopt;
            }
            return std::string(value);
        });
    return addresses;
}

void reportInvalidServiceAddresses() {
    for (const std::string& problem : ServiceAddresses::current().problems()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
    }
}

} // namespace mossbarrow
