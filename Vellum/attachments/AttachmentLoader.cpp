#include "Vellum/attachments/AttachmentLoader.hpp"

#include "Vellum/attachments/URLAttachmentLoader.hpp"

namespace vellum {

ImageAttachmentLoaderKey::Value ImageAttachmentLoaderKey::defaultValue() {
    // Made once: equal environments then hold the very same loader, and views that compare their
    // environment see no change.
    static const Value loader = std::make_shared<const URLAttachmentLoader<ImageAttachment>>(
        std::optional<platform::URL>());
    return loader;
}

EmojiAttachmentLoaderKey::Value EmojiAttachmentLoaderKey::defaultValue() {
    static const Value loader = std::make_shared<const URLAttachmentLoader<EmojiAttachment>>(
        std::optional<platform::URL>());
    return loader;
}

} // namespace vellum
