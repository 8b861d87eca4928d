#pragma once

#include "platform/foundation/Data.hpp"
#include "platform/foundation/URL.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// Seconds, fractional.
using TimeInterval = double;

// A request for one resource. A value: copy it, change it, hand it to URLSession::data.
class URLRequest {
public:
    enum class CachePolicy {
        useProtocolCachePolicy,
        reloadIgnoringLocalCacheData,
        returnCacheDataElseLoad,
        returnCacheDataDontLoad,
    };

    explicit URLRequest(URL url, CachePolicy cachePolicy = CachePolicy::useProtocolCachePolicy,
                        TimeInterval timeoutInterval = 60.0);

    [[nodiscard]] const URL& url() const { return url_; }
    void setURL(URL url) { url_ = std::move(url); }

    // "GET" unless set otherwise.
    [[nodiscard]] const std::string& httpMethod() const { return httpMethod_; }
    void setHTTPMethod(std::string method);

    // The header fields in the order they were first set. Names compare without regard to case.
    [[nodiscard]] const std::vector<std::pair<std::string, std::string>>&
    allHTTPHeaderFields() const {
        return headers_;
    }
    [[nodiscard]] std::optional<std::string> value(std::string_view headerField) const;
    // Replaces the field's value; an absent value removes the field.
    void setValue(std::optional<std::string> value, std::string_view headerField);

    [[nodiscard]] const std::optional<Data>& httpBody() const { return httpBody_; }
    void setHTTPBody(std::optional<Data> body) { httpBody_ = std::move(body); }

    // How long the transfer may stay idle (no byte sent or received) before it fails with
    // URLError::timedOut.
    [[nodiscard]] TimeInterval timeoutInterval() const { return timeoutInterval_; }
    void setTimeoutInterval(TimeInterval seconds) { timeoutInterval_ = seconds; }

    // Recorded for callers that set it; this session keeps no cache, so every policy loads.
    [[nodiscard]] CachePolicy cachePolicy() const { return cachePolicy_; }
    void setCachePolicy(CachePolicy policy) { cachePolicy_ = policy; }

    friend bool operator==(const URLRequest&, const URLRequest&) = default;

private:
    URL url_;
    std::string httpMethod_ = "GET";
    std::vector<std::pair<std::string, std::string>> headers_;
    std::optional<Data> httpBody_;
    TimeInterval timeoutInterval_;
    CachePolicy cachePolicy_;
};

} // namespace platform
