#pragma once

#include "platform/foundation/URL.hpp"
#include "platform/foundation/URLQueryItem.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A URL taken apart into editable pieces. Setters taking plain text percent-encode what the
// piece may not hold; the percent-encoded setters take text that is already encoded and reject
// anything that is not.
class URLComponents {
public:
    URLComponents() = default;

    // The pieces of `url` as they stand (no resolution against a base URL).
    explicit URLComponents(const URL& url);
    // Parses `text` as a URL; nullopt when it is not one.
    [[nodiscard]] static std::optional<URLComponents> fromString(std::string_view text);

    [[nodiscard]] const std::optional<std::string>& scheme() const { return scheme_; }
    void setScheme(std::optional<std::string> scheme) { scheme_ = std::move(scheme); }

    // The decoded host; nullopt when there is no authority.
    [[nodiscard]] std::optional<std::string> host() const;
    void setHost(std::optional<std::string> host);

    [[nodiscard]] const std::optional<int>& port() const { return port_; }
    void setPort(std::optional<int> port) { port_ = port; }

    // The decoded path.
    [[nodiscard]] std::string path() const;
    // Sets the path from plain text: every character outside the path-allowed set is encoded,
    // "%" included, so an already encoded text would be encoded a second time.
    void setPath(std::string_view path);
    [[nodiscard]] const std::string& percentEncodedPath() const { return path_; }
    // Sets an already encoded path. Returns false (and changes nothing) when it holds a
    // character that no path may hold or a malformed escape.
    bool setPercentEncodedPath(std::string_view path);

    // The query items in order, decoded; nullopt when there is no query at all.
    [[nodiscard]] std::optional<std::vector<URLQueryItem>> queryItems() const;
    // Replaces the query with these items, in order; each name and value is percent-encoded
    // (characters outside the query set, and "&", ";", "=" and "+", which a server's form
    // decoder would split on or read as a space).
    // nullopt removes the query; an empty list leaves an empty query ("?").
    void setQueryItems(const std::optional<std::vector<URLQueryItem>>& items);
    [[nodiscard]] const std::optional<std::string>& percentEncodedQuery() const { return query_; }
    bool setPercentEncodedQuery(std::optional<std::string_view> query);

    [[nodiscard]] std::optional<std::string> fragment() const;
    void setFragment(std::optional<std::string_view> fragment);

    // The URL text of these pieces, or nullopt when they cannot form a URL: a path that does
    // not start with "/" after a host, or a path starting with "//" without one.
    [[nodiscard]] std::optional<std::string> string() const;
    [[nodiscard]] std::optional<URL> url() const;

private:
    std::optional<std::string> scheme_;
    std::optional<std::string> user_;     // percent-encoded
    std::optional<std::string> password_; // percent-encoded
    std::optional<std::string> host_;     // percent-encoded
    std::optional<int> port_;
    std::string path_;                    // percent-encoded
    std::optional<std::string> query_;    // percent-encoded
    std::optional<std::string> fragment_; // percent-encoded
};

} // namespace platform
