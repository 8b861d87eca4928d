#include "platform/net/HTTPURLResponse.hpp"
#include "platform/net/URLError.hpp"
#include "platform/net/URLRequest.hpp"

#include <gtest/gtest.h>

namespace moss_test {
namespace {

using platform::URL;
using platform::URLRequest;

TEST(URLRequestTest, DefaultsAndHeaderFields) {
    URLRequest request(*URL::fromString("https://example.org/a"));
    EXPECT_EQ(request.httpMethod(), "GET");
    EXPECT_EQ(request.timeoutInterval(), 60.0);
    EXPECT_EQ(request.cachePolicy(), URLRequest::CachePolicy::useProtocolCachePolicy);
    EXPECT_FALSE(request.httpBody().has_value());
    EXPECT_TRUE(request.allHTTPHeaderFields().empty());

    request.setValue("application/json", "Accept");
    request.setValue("text/plain", "accept"); // same field, another spelling
    ASSERT_EQ(request.allHTTPHeaderFields().size(), 1u);
    EXPECT_EQ(request.value("ACCEPT"), "text/plain");
    request.setValue(std::nullopt, "Accept");
    EXPECT_FALSE(request.value("Accept").has_value());
}

TEST(HTTPURLResponseTest, ContentTypeParameters) {
    using platform::HTTPURLResponse;
    const auto url = *URL::fromString("https://example.org/");
    const HTTPURLResponse quoted(url, 200,
                                 {{"content-type", "Text/HTML; q=1; Charset=\"ISO-8859-1\""}});
    EXPECT_EQ(quoted.mimeType(), "text/html");
    EXPECT_EQ(quoted.textEncodingName(), "ISO-8859-1");
    const HTTPURLResponse none(url, 204, {});
    EXPECT_FALSE(none.mimeType().has_value());
    EXPECT_FALSE(none.textEncodingName().has_value());
    EXPECT_EQ(none.expectedContentLength(), -1);
}

TEST(URLErrorTest, TextsAndBase) {
    const platform::URLError error(platform::URLError::notConnectedToInternet);
    const platform::Error& base = error;
    EXPECT_EQ(base.localizedDescription(), "The Internet connection appears to be offline.");
    EXPECT_STREQ(base.what(), "The Internet connection appears to be offline.");
    EXPECT_EQ(platform::URLError(platform::URLError::networkConnectionLost).localizedDescription(),
              "The network connection was lost.");
    // Bytes that are no picture: a code of its own, not "An unknown error occurred."
    EXPECT_EQ(
        platform::URLError(platform::URLError::cannotDecodeContentData).localizedDescription(),
        "cannot decode raw data");
}

} // namespace
} // namespace moss_test
