#include "platform/net/URLResponse.hpp"

#include <utility>

namespace platform {

URLResponse::URLResponse(URL url, std::optional<std::string> mimeType,
                         std::int64_t expectedContentLength,
                         std::optional<std::string> textEncodingName)
    : url_(std::move(url))
    , mimeType_(std::move(mimeType))
    , expectedContentLength_(expectedContentLength)
    , textEncodingName_(std::move(textEncodingName)) {}

} // namespace platform
