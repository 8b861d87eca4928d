#include "Vellum/images/ImageLoader.hpp"
#include "platform/runtime/Runtime.hpp"
#include "tests/platform/net/LoopbackServer.hpp"

#include <atomic>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <string>

namespace {

using platform::URL;
using platform::URLError;
using vellum::Image;
using vellum::ImageLoader;
using namespace std::chrono_literals;

std::string fixturePath(const std::string& name) {
    return std::string(MOSS_VELLUM_FIXTURES) + "/../images/loader/" + name;
}

std::string fixture(const std::string& name) {
    std::ifstream in(fixturePath(name), std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

URL url(const std::string& text) {
    const auto parsed = URL::fromString(text);
    EXPECT_TRUE(parsed) << text;
    return parsed.value_or(*URL::fromString("http://invalid/"));
}

Image load(ImageLoader& loader, const std::string& address) {
    return platform::blockingWait(loader.image(url(address)));
}

// The code of the URLError a load ends with; the test fails if it ends otherwise.
int failureOf(ImageLoader& loader, const std::string& address) {
    try {
        (void)load(loader, address);
    } catch (const URLError& error) {
        return error.code();
    }
    ADD_FAILURE() << address << " loaded";
    return 0;
}

// Serves the fixture files under /files/<name>, counting requests per path and recording the
// Accept header they carried.
class ImageServer {
public:
    ImageServer()
        : server_([this](httplib::Server& s, moss_test::LoopbackServer& self) {
            s.Get(R"(/files/(.+))",
                  [this](const httplib::Request& request, httplib::Response& response) {
                      count(request);
                      response.set_content(fixture(request.matches[1]), "image/octet-stream");
                  });
            s.Get(R"(/slow/(.+))",
                  [this, &self](const httplib::Request& request, httplib::Response& response) {
                      count(request);
                      self.holdUntilReleased();
                      response.set_content(fixture(request.matches[1]), "image/gif");
                  });
            s.Get("/missing.png", [this](const httplib::Request& request, httplib::Response& r) {
                count(request);
                r.status = 404;
                r.set_content(fixture("still.png"), "image/png");
            });
            s.Get("/page.png", [this](const httplib::Request& request, httplib::Response& r) {
                count(request);
                r.set_content("<!doctype html><p>Moved</p>", "text/html");
            });
            s.Get("/broken.gif", [this](const httplib::Request& request, httplib::Response& r) {
                count(request);
                std::string bytes = fixture("anim.gif");
                r.set_content(bytes.substr(0, bytes.size() / 2), "image/gif");
            });
            s.Get("/flaky.png", [this](const httplib::Request& request, httplib::Response& r) {
                // Fails the first time, then serves the picture.
                if (count(request) == 1)
                    r.status = 503;
                else
                    r.set_content(fixture("still.png"), "image/png");
            });
        }) {}

    std::string url(const std::string& path) const { return server_.url(path); }
    int requests(const std::string& path) {
        const std::lock_guard lock(mutex_);
        return counts_[path];
    }
    std::string lastAccept() {
        const std::lock_guard lock(mutex_);
        return accept_;
    }
    void release() { server_.release(); }

private:
    int count(const httplib::Request& request) {
        const std::lock_guard lock(mutex_);
        accept_ = request.get_header_value("Accept");
        return ++counts_[request.path];
    }

    std::mutex mutex_;
    std::map<std::string, int> counts_;
    std::string accept_;
    moss_test::LoopbackServer server_;
};

} // namespace

TEST(ImageLoader, LoadsEveryFormatOverHTTPAskingForImages) {
    ImageServer server;
    const auto loader = ImageLoader::make();
    const Image gif = load(*loader, server.url("/files/anim.gif"));
    EXPECT_EQ(gif.frames.size(), 3u);
    EXPECT_EQ(gif.loopCount, 2);
    EXPECT_DOUBLE_EQ(gif.frames[1].delayTime, 0.2);
    EXPECT_EQ(server.lastAccept(), "image/*");
    EXPECT_EQ(load(*loader, server.url("/files/anim.webp")).frames.size(), 2u);
    EXPECT_EQ(load(*loader, server.url("/files/anim.png")).frames.size(), 2u);
    EXPECT_EQ(load(*loader, server.url("/files/still.png")).size, (platform::Size{6, 4}));
    EXPECT_EQ(load(*loader, server.url("/files/photo.jpg")).size, (platform::Size{16, 32}));
    EXPECT_EQ(load(*loader, server.url("/files/photo.heic")).size, (platform::Size{16, 32}));
}

TEST(ImageLoader, ManyRequestsOfOneURLShareOneDownload) {
    ImageServer server;
    const auto loader = ImageLoader::make();
    const URL address = url(server.url("/slow/anim.gif"));
    std::vector<platform::Task<Image>> waiting;
    for (int i = 0; i < 8; ++i) {
        auto request = [loader, address] { return loader->image(address); };
        waiting.push_back(platform::Task<Image>::detached(std::move(request)));
    }
    // Let every requester reach the loader while the reply is held back.
    for (int i = 0; i < 2000 && server.requests("/slow/anim.gif") == 0; ++i)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(100ms);
    server.release();
    const Image first = platform::blockingWait(waiting[0].value());
    for (const auto& task : waiting)
        EXPECT_EQ(platform::blockingWait(task.value()), first); // the very same bitmaps
    EXPECT_EQ(server.requests("/slow/anim.gif"), 1);

    // Later requests are answered from memory.
    EXPECT_EQ(platform::blockingWait(loader->image(address)), first);
    EXPECT_EQ(server.requests("/slow/anim.gif"), 1);
}

TEST(ImageLoader, BadRepliesThrowAndAreNotRemembered) {
    ImageServer server;
    const auto loader = ImageLoader::make();
    EXPECT_EQ(failureOf(*loader, server.url("/missing.png")), URLError::badServerResponse);
    EXPECT_EQ(failureOf(*loader, server.url("/missing.png")), URLError::badServerResponse);
    EXPECT_EQ(server.requests("/missing.png"), 2);
    EXPECT_EQ(failureOf(*loader, server.url("/page.png")), ImageLoader::cannotDecodeContentData);
    EXPECT_EQ(failureOf(*loader, server.url("/broken.gif")), ImageLoader::cannotDecodeContentData);
    EXPECT_EQ(platform::blockingWait(loader->cachedImageCount()), 0u);

    // A failure leaves no trace: the next request downloads afresh and succeeds.
    EXPECT_EQ(failureOf(*loader, server.url("/flaky.png")), URLError::badServerResponse);
    EXPECT_EQ(load(*loader, server.url("/flaky.png")).frames.size(), 1u);
    EXPECT_EQ(server.requests("/flaky.png"), 2);
}

TEST(ImageLoader, OnlyWebFileAndDataAddressesAreFetched) {
    const auto loader = ImageLoader::make();
    EXPECT_EQ(failureOf(*loader, "ftp://127.0.0.1/still.png"), URLError::unsupportedURL);
    // Three zero bytes are no picture.
    EXPECT_EQ(failureOf(*loader, "data:image/png;base64,AAAA"),
              ImageLoader::cannotDecodeContentData);
    // A file has no HTTP status to check.
    EXPECT_EQ(load(*loader, "file://" + fixturePath("anim.webp")).loopCount, 3);
    EXPECT_EQ(failureOf(*loader, "file://" + fixturePath("nothing-here.png")),
              URLError::fileDoesNotExist);
}

TEST(ImageLoader, HostileRepliesAreBounded) {
    ImageServer server;
    ImageLoader::Configuration small;
    // The GIF fixture is 129 bytes; 8 × 8 with three frames is 192 pixels.
    small.maximumResponseBytes = 100;
    EXPECT_EQ(failureOf(*ImageLoader::make(small), server.url("/files/anim.gif")),
              URLError::dataLengthExceedsMaximum);
    ImageLoader::Configuration fewPixels;
    fewPixels.decodeLimits.maxTotalPixelCount = 150;
    EXPECT_EQ(failureOf(*ImageLoader::make(fewPixels), server.url("/files/anim.gif")),
              ImageLoader::cannotDecodeContentData);

    // A reply that never comes times out rather than holding its waiters for ever.
    ImageLoader::Configuration impatient;
    impatient.timeoutInterval = 0.5;
    EXPECT_EQ(failureOf(*ImageLoader::make(impatient), server.url("/slow/anim.gif")),
              URLError::timedOut);
    server.release();
}

// `bytes` in base64, with padding.
std::string base64(const std::string& bytes) {
    static constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t chunk = std::uint32_t(std::uint8_t(bytes[i])) << 16U;
        if (i + 1 < bytes.size())
            chunk |= std::uint32_t(std::uint8_t(bytes[i + 1])) << 8U;
        if (i + 2 < bytes.size())
            chunk |= std::uint32_t(std::uint8_t(bytes[i + 2]));
        out += alphabet[(chunk >> 18U) & 63U];
        out += alphabet[(chunk >> 12U) & 63U];
        out += i + 1 < bytes.size() ? alphabet[(chunk >> 6U) & 63U] : '=';
        out += i + 2 < bytes.size() ? alphabet[chunk & 63U] : '=';
    }
    return out;
}

// Every byte of `bytes` as a "%XX" escape.
std::string percentEncoded(const std::string& bytes) {
    std::string out;
    for (const char byte : bytes) {
        static constexpr std::string_view digits = "0123456789ABCDEF";
        out += '%';
        out += digits[std::uint8_t(byte) >> 4U];
        out += digits[std::uint8_t(byte) & 15U];
    }
    return out;
}

TEST(ImageLoader, DataAddressesLoadUnderTheSameBounds) {
    const auto loader = ImageLoader::make();
    const Image still = load(*loader, "data:image/png;base64," + base64(fixture("still.png")));
    EXPECT_EQ(still.frames.size(), 1U);
    const Image animation = load(*loader, "data:image/gif," + percentEncoded(fixture("anim.gif")));
    EXPECT_EQ(animation.frames.size(), 3U);
    EXPECT_EQ(animation.size, platform::Size(8, 8));

    // Addresses that are not data as they claim fail, and say so.
    EXPECT_EQ(failureOf(*loader, "data:image/png;base64," + base64(fixture("still.png")) + "*"),
              URLError::badURL);
    EXPECT_EQ(failureOf(*loader, "data:image/png;base64"), URLError::badURL);

    // Held to the same bounds as a download.
    ImageLoader::Configuration small;
    small.maximumResponseBytes = 100;
    for (const std::string& address : {"data:image/gif;base64," + base64(fixture("anim.gif")),
                                       "data:image/gif," + percentEncoded(fixture("anim.gif"))}) {
        EXPECT_EQ(failureOf(*ImageLoader::make(small), address),
                  URLError::dataLengthExceedsMaximum);
    }
    ImageLoader::Configuration fewPixels;
    fewPixels.decodeLimits.maxTotalPixelCount = 150;
    EXPECT_EQ(failureOf(*ImageLoader::make(fewPixels),
                        "data:image/gif;base64," + base64(fixture("anim.gif"))),
              ImageLoader::cannotDecodeContentData);
}

TEST(ImageLoader, CacheKeepsTheMostRecentlyUsedWithinItsBound) {
    ImageServer server;
    ImageLoader::Configuration bounded;
    // Pixel bytes: the 6 × 4 PNG 96, the two-frame 8 × 8 WebP 512, the three-frame GIF 768.
    bounded.cacheCostLimit = 600;
    const auto loader = ImageLoader::make(bounded);
    (void)load(*loader, server.url("/files/still.png")); // 96 bytes
    (void)load(*loader, server.url("/files/anim.webp")); // 512 bytes: total 608, png goes
    EXPECT_EQ(platform::blockingWait(loader->cachedImageCount()), 1u);
    (void)load(*loader, server.url("/files/anim.webp"));
    EXPECT_EQ(server.requests("/files/anim.webp"), 1);
    (void)load(*loader, server.url("/files/still.png"));
    EXPECT_EQ(server.requests("/files/still.png"), 2);
    // Larger than the whole cache: returned, never kept.
    EXPECT_EQ(load(*loader, server.url("/files/anim.gif")).frames.size(), 3u);
    (void)load(*loader, server.url("/files/anim.gif"));
    EXPECT_EQ(server.requests("/files/anim.gif"), 2);
}
