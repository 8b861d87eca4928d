#pragma once

// Turns the address a markdown run carries (an image link's URL, an emoji's picture URL) into an
// attachment. Resolution takes one loader for images and one for emoji from the view environment
// and calls them from child tasks, several at once, so loaders hold only immutable values.

#include "Vellum/attachments/Attachment.hpp"
#include "Vellum/text/ColorEnvironmentValues.hpp"
#include "platform/foundation/URL.hpp"
#include "platform/runtime/Task.hpp"

#include <memory>
#include <string>

namespace vellum {

class AttachmentLoader {
public:
    virtual ~AttachmentLoader() = default;

    // The attachment for `url`; `text` is the run's characters (alternative text or emoji short
    // name) and `environment` the colour scheme of the view that asks. Throws when it cannot be
    // made; the run then stays text.
    [[nodiscard]] virtual platform::Task<AnyAttachment>
    attachment(platform::URL url, std::string text, ColorEnvironmentValues environment) const = 0;
};

// Environment values hold loaders shared: a view tree passes one loader to every text below.
using SharedAttachmentLoader = std::shared_ptr<const AttachmentLoader>;

// The loader of image links; by default it downloads through the shared image loader and makes
// ImageAttachment.
struct ImageAttachmentLoaderKey {
    using Value = SharedAttachmentLoader;
    static Value defaultValue();
};

// The loader of emoji shortcodes; by default it downloads through the shared image loader and
// makes EmojiAttachment.
struct EmojiAttachmentLoaderKey {
    using Value = SharedAttachmentLoader;
    static Value defaultValue();
};

} // namespace vellum
