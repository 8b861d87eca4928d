#pragma once

#include "platform/foundation/URL.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// What came back for a request that did not fail: its final URL and what is known of its body.
// Replies over HTTP are HTTPURLResponse objects; other schemes (file:) give a plain URLResponse.
class URLResponse {
public:
    URLResponse(URL url, std::optional<std::string> mimeType, std::int64_t expectedContentLength,
                std::optional<std::string> textEncodingName);
    URLResponse(const URLResponse&) = delete;
    URLResponse& operator=(const URLResponse&) = delete;
    virtual ~URLResponse() = default;

    [[nodiscard]] const URL& url() const { return url_; }
    // The media type in lower case ("application/json"), without parameters.
    [[nodiscard]] const std::optional<std::string>& mimeType() const { return mimeType_; }
    // The length the reply announced, or -1 when it is unknown.
    [[nodiscard]] std::int64_t expectedContentLength() const { return expectedContentLength_; }
    // The charset parameter of the media type, as sent.
    [[nodiscard]] const std::optional<std::string>& textEncodingName() const {
        return textEncodingName_;
    }

private:
    URL url_;
    std::optional<std::string> mimeType_;
    std::int64_t expectedContentLength_;
    std::optional<std::string> textEncodingName_;
};

} // namespace platform
