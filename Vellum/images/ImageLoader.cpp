#include "Vellum/images/ImageLoader.hpp"

#include "platform/net/HTTPURLResponse.hpp"
#include "platform/runtime/GlobalExecutor.hpp"
#include "platform/runtime/NoDestroy.hpp"

#include <exception>
#include <optional>

namespace vellum {

namespace {

std::size_t pixelBytes(const Image& image) {
    std::size_t bytes = 0;
    for (const auto& frame : image.frames)
        bytes += std::size_t(frame.cgImage.width()) * std::size_t(frame.cgImage.height()) * 4;
    return bytes;
}

// Decoding a large picture takes long enough to matter: done on the actor, it would hold up
// every other view's request, cache hits included, until it ends.
platform::Task<std::optional<Image>> decodeAway(const platform::Data& data,
                                                platform::ImageDecodeLimits limits) {
    co_await platform::hopTo(platform::GlobalExecutor::shared());
    co_return Image::fromData(data, limits);
}

platform::URLSessionConfiguration sessionConfiguration(const ImageLoader::Configuration& c) {
    platform::URLSessionConfiguration session;
    session.maximumResponseBytes = c.maximumResponseBytes;
    return session;
}

} // namespace

ImageLoader::ImageLoader(Configuration configuration)
    : configuration_(configuration)
    , session_(sessionConfiguration(configuration)) {}

std::shared_ptr<ImageLoader> ImageLoader::make() {
    return make(Configuration());
}

std::shared_ptr<ImageLoader> ImageLoader::make(Configuration configuration) {
    return std::make_shared<ImageLoader>(configuration);
}

const std::shared_ptr<ImageLoader>& ImageLoader::shared() {
    static platform::detail::NoDestroy<std::shared_ptr<ImageLoader>> instance(make());
    return instance.get();
}

platform::Task<Image> ImageLoader::image(platform::URL url) {
    co_await hop();
    if (const Image* hit = cached(url))
        co_return *hit;
    if (const auto ongoing = ongoingTasks_.find(url); ongoing != ongoingTasks_.end()) {
        const platform::Task<Image> task = ongoing->second;
        co_return co_await task.value();
    }
    // Unstructured, so a caller that goes away does not cancel the load the others wait for.
    auto self = shared_from_this();
    auto operation = [self, url] { return self->load(url); };
    const auto task = platform::Task<Image>::run(std::move(operation));
    ongoingTasks_.emplace(url, task);
    co_return co_await task.value();
}

platform::Task<std::size_t> ImageLoader::cachedImageCount() {
    co_await hop();
    co_return cache_.size();
}

platform::Task<Image> ImageLoader::load(platform::URL url) {
    co_await hop();
    std::optional<Image> image;
    std::exception_ptr error;
    try {
        image = co_await fetchAndDecode(url);
    } catch (...) {
        error = std::current_exception();
    }
    co_await hop();
    if (image)
        store(url, *image);
    ongoingTasks_.erase(url);
    if (error)
        std::rethrow_exception(error);
    co_return std::move(*image);
}

platform::Task<Image> ImageLoader::fetchAndDecode(platform::URL url) {
    // The session itself refuses schemes other than http, https, file and data (unsupportedURL),
    // and holds a data address's bytes to the same cap as a reply's.
    platform::URLRequest request(url, platform::URLRequest::CachePolicy::returnCacheDataElseLoad,
                                 configuration_.timeoutInterval);
    request.setValue("image/*", "Accept");
    const auto [data, response] = co_await session_.data(request);
    if (const auto* http = dynamic_cast<const platform::HTTPURLResponse*>(response.get())) {
        if (http->statusCode() < 200 || http->statusCode() > 299)
            throw platform::URLError(platform::URLError::badServerResponse, url);
    }
    const platform::ImageDecodeLimits limits = configuration_.decodeLimits;
    std::optional<Image> image = co_await decodeAway(data, limits);
    // A picture without a frame would show nothing and sit in the cache; it is no picture.
    if (!image || image->frames.empty())
        throw platform::URLError(cannotDecodeContentData, url);
    co_return std::move(*image);
}

const Image* ImageLoader::cached(const platform::URL& url) {
    const auto found = cacheIndex_.find(url);
    if (found == cacheIndex_.end())
        return nullptr;
    cache_.splice(cache_.begin(), cache_, found->second);
    return &found->second->image;
}

void ImageLoader::store(const platform::URL& url, const Image& image) {
    const std::size_t cost = pixelBytes(image);
    // Larger than the whole cache: keeping it would only push everything else out.
    if (cost > configuration_.cacheCostLimit)
        return;
    if (const auto old = cacheIndex_.find(url); old != cacheIndex_.end()) {
        cacheCost_ -= old->second->cost;
        cache_.erase(old->second);
        cacheIndex_.erase(old);
    }
    cache_.push_front({url, image, cost});
    cacheIndex_[url] = cache_.begin();
    cacheCost_ += cost;
    while (cacheCost_ > configuration_.cacheCostLimit && !cache_.empty()) {
        cacheCost_ -= cache_.back().cost;
        cacheIndex_.erase(cache_.back().url);
        cache_.pop_back();
    }
}

} // namespace vellum
