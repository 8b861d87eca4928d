#pragma once

// The loader that downloads a run's address through the shared image loader (so a picture shown
// in several places is fetched and decoded once) and makes an attachment of the decoded picture.

#include "Vellum/attachments/AttachmentLoader.hpp"
#include "Vellum/attachments/EmojiAttachment.hpp"
#include "Vellum/attachments/ImageAttachment.hpp"
#include "Vellum/images/Image.hpp"
#include "Vellum/images/ImageLoader.hpp"

#include <concepts>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace vellum {

// The address a run's URL is fetched at: resolved against `baseURL` when there is one, so a
// relative link names a file beside the document; an absolute URL stays as it is.
[[nodiscard]] platform::URL attachmentAddress(const platform::URL& url,
                                              const std::optional<platform::URL>& baseURL);

template <class A>
requires std::derived_from<A, Attachment>
class URLAttachmentLoader final : public AttachmentLoader {
public:
    using Content = std::function<A(const Image&, const std::string&)>;

    URLAttachmentLoader(std::optional<platform::URL> baseURL, Content content)
        : baseURL_(std::move(baseURL))
        , content_(std::move(content)) {}
    explicit URLAttachmentLoader(std::optional<platform::URL> baseURL) requires(
        std::same_as<A, ImageAttachment> || std::same_as<A, EmojiAttachment>)
        : URLAttachmentLoader(std::move(baseURL), [](const Image& image, const std::string& text) {
            return A(image, text);
        }) {}

    [[nodiscard]] const std::optional<platform::URL>& baseURL() const noexcept { return baseURL_; }

    // Throws the image loader's URLError when the download or the decoding fails.
    [[nodiscard]] platform::Task<AnyAttachment>
    attachment(platform::URL url, std::string text,
               ColorEnvironmentValues /*environment*/) const override {
        // Copied into the frame: the loader may be gone once the download ends.
        const Content content = content_;
        platform::Task<Image> download =
            ImageLoader::shared()->image(attachmentAddress(url, baseURL_));
        const Image image = co_await std::move(download);
        co_return AnyAttachment(content(image, text));
    }

private:
    std::optional<platform::URL> baseURL_;
    Content content_;
};

} // namespace vellum
