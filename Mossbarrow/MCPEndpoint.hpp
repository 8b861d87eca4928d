#pragma once

#include "Mossbarrow/Endpoint.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace mossbarrow {

// Requests to the MCP server registry.
class MCPEndpoint final : public Endpoint {
public:
    struct List {
        std::int64_t limit = 0;
        std::optional<std::string> cursor;
        std::optional<std::string> search;
    };
    struct Versions {
        std::string serverName;
    };

    static MCPEndpoint list(std::int64_t limit, std::optional<std::string> cursor = std::nullopt,
                            std::optional<std::string> search = std::nullopt) {
        return MCPEndpoint(List{limit, std::move(cursor), std::move(search)});
    }
    static MCPEndpoint versions(std::string serverName) {
        return MCPEndpoint(Versions{std::move(serverName)});
    }

    // The address the build was configured with; the environment may replace it (see
    // ServiceAddresses), and baseURL() answers with the address in effect.
    static const std::string& defaultBaseURL();

    const std::variant<List, Versions>& kind() const { return kind_; }

    platform::URL baseURL() const override;
    std::string path() const override;
    std::vector<platform::URLQueryItem> queryItems() const override;

private:
    explicit MCPEndpoint(std::variant<List, Versions> kind)
        : kind_(std::move(kind)) {}

    std::variant<List, Versions> kind_;
};

} // namespace mossbarrow
