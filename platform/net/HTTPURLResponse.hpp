#pragma once

#include "platform/net/URLResponse.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

class HTTPURLResponse final : public URLResponse {
public:
    using HeaderFields = std::vector<std::pair<std::string, std::string>>;

    // The media type and text encoding are read from the Content-Type field.
    HTTPURLResponse(URL url, int statusCode, HeaderFields headerFields,
                    std::int64_t expectedContentLength = -1);

    [[nodiscard]] int statusCode() const { return statusCode_; }
    // One entry per field name, in the order the fields first arrived; a field sent more than
    // once has its values joined by ", ".
    [[nodiscard]] const HeaderFields& allHeaderFields() const { return headerFields_; }
    // The field's value, the name compared without regard to case.
    [[nodiscard]] std::optional<std::string> value(std::string_view headerField) const;

private:
    int statusCode_;
    HeaderFields headerFields_;
};

} // namespace platform
