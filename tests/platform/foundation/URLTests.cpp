#include "platform/foundation/PercentEncoding.hpp"
#include "platform/foundation/URL.hpp"
#include "platform/foundation/URLComponents.hpp"

#include <gtest/gtest.h>

using platform::URL;
using platform::URLCharacterSet;
using platform::URLComponents;
using platform::URLQueryItem;

namespace {

std::string build(std::string_view base, std::string_view path,
                  const std::vector<URLQueryItem>& items) {
    URLComponents components(*URL::fromString(base));
    components.setPath(path);
    if (!items.empty()) {
        components.setQueryItems(items);
    }
    return components.url().value().absoluteString();
}

} // namespace

TEST(URL, ParsesItsParts) {
    const auto url = URL::fromString("https://user:pw@Example.com:8443/a%20b/c;p?x=1&y#frag");
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->scheme(), "https");
    EXPECT_EQ(url->host(), "Example.com");
    EXPECT_EQ(url->port(), 8443);
    EXPECT_EQ(url->path(), "/a b/c;p");
    EXPECT_EQ(url->percentEncodedPath(), "/a%20b/c;p");
    EXPECT_EQ(url->query(), "x=1&y");
    EXPECT_EQ(url->fragment(), "frag");
    EXPECT_EQ(url->absoluteString(), "https://user:pw@Example.com:8443/a%20b/c;p?x=1&y#frag");

    const auto bare = URL::fromString("https://registry.example.io");
    ASSERT_TRUE(bare.has_value());
    EXPECT_EQ(bare->path(), "");
    EXPECT_FALSE(bare->query().has_value());
    EXPECT_FALSE(bare->port().has_value());
    EXPECT_EQ(URL::fromString("http://[::1]:8080/x")->host(), "::1");
    EXPECT_EQ(URL::fromString("file:///tmp/a")->host(), "");
    EXPECT_EQ(URL::fromString("relative/path")->path(), "relative/path");
}

TEST(URL, RejectsWhatNoURLHolds) {
    for (const char* bad :
         {"", "https://exa mple.com", "https://example.com/a b", "http://h:99999", "http://h:8x",
          "https://h/%zz", "https://h/%2", "1http://h", "https://h/\xc3\xa9", "https://h/<>",
          "https://h/a\nb", "http://[::1/"}) {
        EXPECT_FALSE(URL::fromString(bad).has_value()) << bad;
    }
}

TEST(PercentEncoding, PathAllowedSetKeepsSlashAndEncodesTheRest) {
    const auto encode = [](std::string_view s) {
        return platform::addingPercentEncoding(s, URLCharacterSet::urlPathAllowed).value();
    };
    EXPECT_EQ(encode("io.github/foo"), "io.github/foo");
    EXPECT_EQ(encode("-._~!$&'()*+,=:@/"), "-._~!$&'()*+,=:@/");
    EXPECT_EQ(encode("a b;c?d#e%f"), "a%20b%3Bc%3Fd%23e%25f");
    EXPECT_EQ(encode("caf\xc3\xa9"), "caf%C3%A9");
    EXPECT_EQ(encode("\"<>\\^`{|}[]"), "%22%3C%3E%5C%5E%60%7B%7C%7D%5B%5D");
    EXPECT_FALSE(platform::addingPercentEncoding("\xff", URLCharacterSet::urlPathAllowed));
    EXPECT_FALSE(platform::addingPercentEncoding("\xed\xa0\x80", URLCharacterSet::urlPathAllowed));
}

TEST(PercentEncoding, PathSegmentSetEncodesTheSlashToo) {
    EXPECT_EQ(platform::addingPercentEncoding("io.github.owner/name",
                                              URLCharacterSet::urlPathSegmentAllowed),
              "io.github.owner%2Fname");
    EXPECT_EQ(platform::addingPercentEncoding("-._~!$&'()*+,=:@ ;?#",
                                              URLCharacterSet::urlPathSegmentAllowed),
              "-._~!$&'()*+,=:@%20%3B%3F%23");
}

TEST(PercentEncoding, RemovingDecodesOrRefuses) {
    EXPECT_EQ(platform::removingPercentEncoding("a%20b%2Fc%c3%A9"), "a b/c\xc3\xa9");
    EXPECT_EQ(platform::removingPercentEncoding("a+b"), "a+b");
    EXPECT_FALSE(platform::removingPercentEncoding("%"));
    EXPECT_FALSE(platform::removingPercentEncoding("%4"));
    EXPECT_FALSE(platform::removingPercentEncoding("%zz"));
    EXPECT_FALSE(platform::removingPercentEncoding("%FF"));
}

TEST(URLComponents, BuildsRequestURLsWithQueryItemsInOrder) {
    EXPECT_EQ(build("https://registry.example.io", "/v0.1/servers", {{"limit", "100"}}),
              "https://registry.example.io/v0.1/servers?limit=100");
    EXPECT_EQ(build("https://registry.example.io", "/v0.1/servers",
                    {{"limit", "100"}, {"cursor", ""}, {"search", "  "}}),
              "https://registry.example.io/v0.1/servers?limit=100&cursor=&search=%20%20");
    EXPECT_EQ(build("https://h.example", "/api/skills", {}), "https://h.example/api/skills");
    // Values keep "/", "?", ":" and "@", but not what a server's form decoder would read
    // differently ("+" is a space to it; "&", ";" and "=" split), nor "#" or anything outside
    // the query set.
    EXPECT_EQ(build("https://h.example", "/s", {{"q", "a/c?d:e@f"}}),
              "https://h.example/s?q=a/c?d:e@f");
    EXPECT_EQ(build("https://h.example", "/s", {{"cursor", "x/y:1.0.0+20130313144700"}}),
              "https://h.example/s?cursor=x/y:1.0.0%2B20130313144700");
    EXPECT_EQ(build("https://h.example", "/s", {{"q", "a;b c+d"}}),
              "https://h.example/s?q=a%3Bb%20c%2Bd");
    EXPECT_EQ(build("https://h.example", "/s", {{"q", "a&b=c#d e%f"}, {"x=y", std::nullopt}}),
              "https://h.example/s?q=a%26b%3Dc%23d%20e%25f&x%3Dy");
    EXPECT_EQ(build("https://h.example", "/s", {{"q", "\xc3\xa9\"<>"}}),
              "https://h.example/s?q=%C3%A9%22%3C%3E");
    // The path replaces the base's path; plain text is encoded as a path.
    EXPECT_EQ(build("https://h.example/old?x=1", "/a b/io.github/foo;v", {}),
              "https://h.example/a%20b/io.github/foo%3Bv?x=1");
}

TEST(URLComponents, ReadsQueryItemsBack) {
    const auto components =
        URLComponents::fromString("https://h/p?limit=100&cursor=&flag&q=a%26b%3D+c");
    ASSERT_TRUE(components.has_value());
    const std::vector<URLQueryItem> expected = {
        {"limit", "100"}, {"cursor", ""}, {"flag", std::nullopt}, {"q", "a&b=+c"}};
    EXPECT_EQ(components->queryItems(), expected);
    EXPECT_FALSE(URLComponents::fromString("https://h/p")->queryItems().has_value());

    URLComponents roundTrip(*URL::fromString("https://h"));
    roundTrip.setQueryItems(expected);
    EXPECT_EQ(URLComponents(*roundTrip.url()).queryItems(), expected);
}

TEST(URLComponents, IPv6HostsLoseTheirBracketsOnlyWhenRead) {
    const auto components = URLComponents::fromString("http://[::1]:8080/x");
    ASSERT_TRUE(components.has_value());
    EXPECT_EQ(components->host(), "::1");
    EXPECT_EQ(components->port(), 8080);
    EXPECT_EQ(components->path(), "/x");
    EXPECT_EQ(components->string(), "http://[::1]:8080/x");

    URLComponents built(*URL::fromString("http://h"));
    built.setHost("::1");
    EXPECT_EQ(built.string(), "http://[::1]");
    EXPECT_EQ(built.host(), "::1");
}

TEST(URLComponents, NoURLWhenThePiecesCannotFormOne) {
    URLComponents relativeAfterHost(*URL::fromString("https://h.example"));
    relativeAfterHost.setPath("no-slash");
    EXPECT_FALSE(relativeAfterHost.url().has_value());

    URLComponents doubleSlashWithoutHost;
    doubleSlashWithoutHost.setPath("//x");
    EXPECT_FALSE(doubleSlashWithoutHost.url().has_value());

    URLComponents colonInFirstSegment;
    colonInFirstSegment.setPath("a:b");
    EXPECT_FALSE(colonInFirstSegment.url().has_value());

    URLComponents badScheme;
    badScheme.setScheme("1x");
    EXPECT_FALSE(badScheme.url().has_value());
}

TEST(URLComponents, EncodedPathIsTakenAsIsOrRefused) {
    URLComponents components(*URL::fromString("https://h.example"));
    const std::string segment =
        platform::addingPercentEncoding("team/we ather", URLCharacterSet::urlPathAllowed).value();
    ASSERT_TRUE(components.setPercentEncodedPath("/v0.1/servers/" + segment + "/versions"));
    EXPECT_EQ(components.url()->absoluteString(),
              "https://h.example/v0.1/servers/team/we%20ather/versions");
    EXPECT_EQ(components.path(), "/v0.1/servers/team/we ather/versions");
    EXPECT_FALSE(components.setPercentEncodedPath("/a b"));
    EXPECT_FALSE(components.setPercentEncodedPath("/a%2"));
    EXPECT_EQ(components.percentEncodedPath(), "/v0.1/servers/team/we%20ather/versions");

    // Plain text given to setPath is encoded once more, "%" included.
    components.setPath("/a%20b");
    EXPECT_EQ(components.url()->absoluteString(), "https://h.example/a%2520b");
}
