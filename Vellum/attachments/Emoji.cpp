#include "Vellum/attachments/Emoji.hpp"

#include "platform/foundation/DecodingError.hpp"

namespace vellum {

Emoji Emoji::decode(const platform::JSONDecodingContainer& container) {
    std::string shortcode = container.decode<std::string>("shortcode");
    const std::string text = container.decode<std::string>("url");
    std::optional<platform::URL> url = platform::URL::fromString(text);
    if (!url) {
        platform::CodingPath path = container.codingPath();
        path.push_back(platform::CodingKey::member("url"));
        throw platform::DecodingError(platform::DecodingError::Kind::dataCorrupted, path,
                                      "Invalid URL string.");
    }
    return Emoji{std::move(shortcode), std::move(*url)};
}

void Emoji::encode(platform::JSONEncodingContainer& container) const {
    container.encode("shortcode", shortcode);
    container.encode("url", url.absoluteString());
}

} // namespace vellum
