#pragma once

// Downloads and decodes the pictures of image links and emoji. One shared loader serves the
// process: a URL is fetched once however many views ask for it at the same time, and decoded
// pictures stay in memory, up to a bound, for the next view that shows them.

#include "Vellum/images/Image.hpp"
#include "platform/foundation/URL.hpp"
#include "platform/net/URLError.hpp"
#include "platform/net/URLSession.hpp"
#include "platform/runtime/Actor.hpp"

#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <unordered_map>

namespace vellum {

class ImageLoader final : public platform::Actor, public std::enable_shared_from_this<ImageLoader> {
public:
    /// The error of a reply whose bytes are not a picture. (Same code as on other platforms.)
    static constexpr auto cannotDecodeContentData = platform::URLError::cannotDecodeContentData;

    struct Configuration {
        /// Longest a request may stay without a byte before it fails.
        platform::TimeInterval timeoutInterval = 30;
        /// Largest reply accepted; a larger one fails before it is held in full.
        std::size_t maximumResponseBytes = std::size_t{32} << 20u;
        /// Bounds on one decoded picture, so that a small file claiming a huge canvas (or
        /// thousands of frames) cannot exhaust memory.
        platform::ImageDecodeLimits decodeLimits{std::int64_t{1} << 24, std::int64_t{1} << 25,
                                                 4000};
        /// Pixel bytes of decoded pictures kept; the least recently used go first.
        std::size_t cacheCostLimit = std::size_t{256} << 20u;
    };

    /// Use `make`: the loader's tasks keep it alive while they run.
    explicit ImageLoader(Configuration configuration);
    static std::shared_ptr<ImageLoader> make();
    static std::shared_ptr<ImageLoader> make(Configuration configuration);

    /// The process-wide loader, created on first use and never destroyed.
    static const std::shared_ptr<ImageLoader>& shared();

    /// The picture at `url` (http, https, file, or data with the picture's bytes in it). Throws
    /// `URLError`: `unsupportedURL` for other schemes, `badURL` for a data address that is not
    /// what it claims, `badServerResponse` for an HTTP status outside 200...299,
    /// `cannotDecodeContentData` for bytes that are no picture, or the transfer's own error.
    /// Failures are not remembered: the next request tries again.
    platform::Task<Image> image(platform::URL url);

    /// Decoded pictures held.
    platform::Task<std::size_t> cachedImageCount();

private:
    platform::Task<Image> load(platform::URL url);
    platform::Task<Image> fetchAndDecode(platform::URL url);
    const Image* cached(const platform::URL& url);
    void store(const platform::URL& url, const Image& image);

    struct CacheEntry {
        platform::URL url;
        Image image;
        std::size_t cost;
    };

    Configuration configuration_;
    platform::URLSession session_;
    // Most recently used first.
    std::list<CacheEntry> cache_;
    std::unordered_map<platform::URL, std::list<CacheEntry>::iterator> cacheIndex_;
    std::size_t cacheCost_ = 0;
    std::unordered_map<platform::URL, platform::Task<Image>> ongoingTasks_;
};

} // namespace vellum
