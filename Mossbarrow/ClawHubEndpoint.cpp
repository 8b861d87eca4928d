#include "Mossbarrow/ClawHubEndpoint.hpp"

#include "Mossbarrow/EndpointSupport.hpp"
#include "Mossbarrow/ServiceAddresses.hpp"

namespace mossbarrow {

const std::string& ClawHubEndpoint::defaultBaseURL() {
    static const std::string text = MOSS_CLAWHUB_BASE_URL;
    return text;
}

platform::URL ClawHubEndpoint::baseURL() const {
    return detail::baseURLFromConstant(ServiceAddresses::current().clawHub());
}

std::string ClawHubEndpoint::path() const {
    return std::visit(detail::Overloaded{
                          [](const Search&) -> std::string { return "/api/v1/search"; },
                          [](const List&) -> std::string { return "/api/v1/skills"; },
                          [](const Detail& detail) -> std::string {
                              return "/api/v1/skills/" + detail::encodedPathSegment(detail.slug);
                          },
                      },
                      kind_);
}

std::vector<platform::URLQueryItem> ClawHubEndpoint::queryItems() const {
    return std::visit(detail::Overloaded{
                          [](const Search& search) {
                              std::vector<platform::URLQueryItem> items{
                                  {"q", search.query}, {"limit", std::to_string(search.limit)}};
                              if (search.highlightedOnly) {
                                  items.push_back({"highlightedOnly",
                                                   *search.highlightedOnly ? "true" : "false"});
                              }
                              return items;
                          },
                          [](const List& list) {
                              std::vector<platform::URLQueryItem> items{
                                  {"sort", std::string(list.sort.rawValue())},
                                  {"limit", std::to_string(list.limit)}};
                              if (list.cursor) {
                                  items.push_back({"cursor", *list.cursor}); // even an empty one
                              }
                              return items;
                          },
                          [](const Detail&) { return std::vector<platform::URLQueryItem>{}; },
                      },
                      kind_);
}

} // namespace mossbarrow
