#pragma once

#include "Mossbarrow/Endpoint.hpp"

#include <string>

namespace mossbarrow {

// The Ostrel catalogue: one request for the whole catalogue.
class OstrelEndpoint final : public Endpoint {
public:
    static OstrelEndpoint skills() { return OstrelEndpoint(); }

    // The address the build was configured with; the environment may replace it (see
    // ServiceAddresses), and baseURL() answers with the address in effect.
    static const std::string& defaultBaseURL();

    platform::URL baseURL() const override;
    std::string path() const override { return "/api/skills"; }
    std::vector<platform::URLQueryItem> queryItems() const override { return {}; }

private:
    OstrelEndpoint() = default;
};

} // namespace mossbarrow
