#pragma once

// Turns the image links and emoji shortcodes of a parsed text into attachments. The content shows
// at once with the text as parsed; the runs that carry an image or emoji address load in the
// background through the environment's two loaders, and the content shows again with a copy of
// the text whose loaded runs carry their attachments. A run whose load fails stays text.

#include "Vellum/attachments/AttachmentLoader.hpp"
#include "Vellum/text/ColorEnvironmentValues.hpp"
#include "platform/foundation/AttributedString.hpp"
#include "platform/observation/ObservationRegistrar.hpp"
#include "platform/runtime/Task.hpp"
#include "platform/ui/UI.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace vellum {

// `input` with the `attachment` attribute set over every run with an image address (loaded by
// `imageLoader`) or, failing that, an emoji address (loaded by `emojiLoader`), the runs loading
// concurrently; runs whose load throws keep no attachment. nullopt, without copying anything,
// when no run carries an address.
[[nodiscard]] platform::Task<std::optional<platform::AttributedString>>
resolveAttachments(platform::AttributedString input, SharedAttachmentLoader imageLoader,
                   SharedAttachmentLoader emojiLoader, ColorEnvironmentValues environment);

class WithAttachments {
public:
    using Content = std::function<platform::ui::AnyView(const platform::AttributedString&)>;

    // What the view shows once loading ends: the resolved copy, with the input it was made from,
    // so that a resolution never shows over a text it was not made for.
    struct Resolution {
        platform::AttributedString input;
        platform::AttributedString resolved;
        friend bool operator==(const Resolution&, const Resolution&) = default;
    };

    // Lives as long as the view's identity; views that read it are invalidated only when the
    // resolution really changes.
    class Model {
    public:
        [[nodiscard]] const std::optional<Resolution>& resolution() const {
            return resolution_.get();
        }
        void setResolution(std::optional<Resolution> resolution) {
            resolution_.set(std::move(resolution));
        }
        // The text to show for `input`: its resolution when there is one, else `input` itself.
        [[nodiscard]] const platform::AttributedString&
        shownString(const platform::AttributedString& input) const;

    private:
        enum class Property : std::uint8_t { resolution };
        platform::ObservationRegistrar registrar_;
        platform::Observed<std::optional<Resolution>> resolution_{registrar_, Property::resolution};
    };

    WithAttachments(platform::AttributedString attributedString, Content content)
        : attributedString_(std::move(attributedString))
        , content_(std::move(content)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;

private:
    platform::AttributedString attributedString_;
    Content content_;
};

} // namespace vellum
