#include "Vellum/attachments/URLAttachmentLoader.hpp"

#include "platform/foundation/Markdown.hpp"

namespace vellum {

platform::URL attachmentAddress(const platform::URL& url,
                                const std::optional<platform::URL>& baseURL) {
    if (!baseURL) {
        return url;
    }
    const std::string resolved =
        platform::resolveURLReference(baseURL->absoluteString(), url.absoluteString());
    return platform::URL::fromString(resolved).value_or(url);
}

} // namespace vellum
