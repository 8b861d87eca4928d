#include "Mossbarrow/APIClient.hpp"

#include "platform/net/HTTPURLResponse.hpp"

namespace mossbarrow {

namespace {

// An endpoint seen through another root address; everything else is the endpoint's own.
class RebasedEndpoint final : public Endpoint {
public:
    RebasedEndpoint(const Endpoint& endpoint, platform::URL base)
        : endpoint_(endpoint)
        , base_(std::move(base)) {}

    platform::URL baseURL() const override { return base_; }
    std::string path() const override { return endpoint_.path(); }
    HTTPMethod method() const override { return endpoint_.method(); }
    std::vector<platform::URLQueryItem> queryItems() const override {
        return endpoint_.queryItems();
    }
    std::map<std::string, std::string> headers() const override { return endpoint_.headers(); }
    std::optional<platform::Data> body() const override { return endpoint_.body(); }

private:
    const Endpoint& endpoint_;
    platform::URL base_;
};

} // namespace

platform::URLRequest APIClient::makeRequest(const Endpoint& endpoint) const {
    if (!baseURLOverride_) {
        return endpoint.makeRequest();
    }
    auto base = platform::URL::fromString(*baseURLOverride_);
    if (!base) {
        throw APIClientError::invalidURL();
    }
    return RebasedEndpoint(endpoint, *base).makeRequest();
}

void APIClient::checkResponse(const platform::URLResponse* response) {
    const auto* http = dynamic_cast<const platform::HTTPURLResponse*>(response);
    if (http == nullptr) {
        throw APIClientError::invalidResponse();
    }
    if (http->statusCode() < 200 || http->statusCode() > 299) {
        throw APIClientError::httpStatus(http->statusCode());
    }
}

} // namespace mossbarrow
