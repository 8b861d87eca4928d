#pragma once

#include "Mossbarrow/Endpoint.hpp"
#include "Mossbarrow/SkillSort.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace mossbarrow {

// Requests to the ClawHub skill registry.
class ClawHubEndpoint final : public Endpoint {
public:
    struct Search {
        std::string query;
        std::int64_t limit = 0;
        std::optional<bool> highlightedOnly;
    };
    struct List {
        SkillSort sort = SkillSort::trending;
        std::int64_t limit = 0;
        std::optional<std::string> cursor;
    };
    struct Detail {
        std::string slug;
    };

    static ClawHubEndpoint search(std::string query, std::int64_t limit,
                                  std::optional<bool> highlightedOnly = std::nullopt) {
        return ClawHubEndpoint(Search{std::move(query), limit, highlightedOnly});
    }
    static ClawHubEndpoint list(SkillSort sort, std::int64_t limit,
                                std::optional<std::string> cursor = std::nullopt) {
        return ClawHubEndpoint(List{sort, limit, std::move(cursor)});
    }
    static ClawHubEndpoint detail(std::string slug) {
        return ClawHubEndpoint(Detail{std::move(slug)});
    }

    // The registry's root address, fixed when the program is configured.
    // The address the build was configured with; the environment may replace it (see
    // ServiceAddresses), and baseURL() answers with the address in effect.
    static const std::string& defaultBaseURL();

    const std::variant<Search, List, Detail>& kind() const { return kind_; }

    platform::URL baseURL() const override;
    std::string path() const override;
    std::vector<platform::URLQueryItem> queryItems() const override;

private:
    explicit ClawHubEndpoint(std::variant<Search, List, Detail> kind)
        : kind_(std::move(kind)) {}

    std::variant<Search, List, Detail> kind_;
};

} // namespace mossbarrow
