#include "Mossbarrow/MCPEndpoint.hpp"

#include "Mossbarrow/EndpointSupport.hpp"
#include "Mossbarrow/ServiceAddresses.hpp"

namespace mossbarrow {

const std::string& MCPEndpoint::defaultBaseURL() {
    static const std::string text = MOSS_MCP_BASE_URL;
    return text;
}

platform::URL MCPEndpoint::baseURL() const {
    return detail::baseURLFromConstant(ServiceAddresses::current().mcp());
}

std::string MCPEndpoint::path() const {
    return std::visit(detail::Overloaded{
                          [](const List&) -> std::string { return "/v0.1/servers"; },
                          [](const Versions& versions) -> std::string {
                              return "/v0.1/servers/" +
                                     detail::encodedPathSegment(versions.serverName) + "/versions";
                          },
                      },
                      kind_);
}

std::vector<platform::URLQueryItem> MCPEndpoint::queryItems() const {
    return std::visit(
        detail::Overloaded{
            [](const List& list) {
                std::vector<platform::URLQueryItem> items{{"limit", std::to_string(list.limit)}};
                if (list.cursor) {
                    items.push_back({"cursor", *list.cursor});
                }
                // Only the empty text is left out: spaces are sent as they are.
                if (list.search && !list.search->empty()) {
                    items.push_back({"search", *list.search});
                }
                return items;
            },
            [](const Versions&) { return std::vector<platform::URLQueryItem>{}; },
        },
        kind_);
}

} // namespace mossbarrow
