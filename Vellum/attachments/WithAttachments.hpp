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
#include <vector>

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
    // so that a resolution never shows over a text it was not made for, and the colour scheme it
    // was loaded in (bundled pictures have variants for each), so that none is carried into
    // another.
    struct Resolution {
        platform::AttributedString input;
        platform::AttributedString resolved;
        ColorEnvironmentValues environment{};
        friend bool operator==(const Resolution&, const Resolution&) = default;
    };

    // A text resolved as far as an earlier resolution tells: the earlier attachments (or failed
    // loads) on the runs with an address that stand unchanged before or after the change, and the
    // runs with an address still to load.
    struct Carried {
        platform::AttributedString resolved;
        std::vector<platform::AttributedString::Run> pending;
        // The runs of `resolved` that carry an attachment, in order.
        std::vector<platform::AttributedString::Range> attached;
    };
    // A run stands unchanged when the characters up to its end (or from its start to the end)
    // are the same and the earlier text had a run over exactly its place with the same addresses.
    // `attached`, when given, lists the runs of the earlier resolution that carry an attachment:
    // the runs both texts hold alike then take theirs without being looked at one by one.
    [[nodiscard]] static std::optional<Carried>
    carryResolution(const Resolution& previous, const platform::AttributedString& input,
                    const std::vector<platform::AttributedString::Range>* attached = nullptr);

    // Lives as long as the view's identity; views that read it are invalidated only when the
    // resolution really changes.
    class Model {
    public:
        [[nodiscard]] const std::optional<Resolution>& resolution() const {
            return resolution_.get();
        }
        void setResolution(std::optional<Resolution> resolution) {
            attached_.reset();
            resolution_.set(std::move(resolution));
        }
        // With the runs of the resolved text that carry an attachment, in order.
        void setResolution(Resolution resolution,
                           std::vector<platform::AttributedString::Range> attached) {
            attached_ = std::move(attached);
            resolution_.set(std::move(resolution));
        }
        // The text to show for `input` in `environment`: its resolution when there is one (also
        // one of another colour scheme, until this scheme's arrives), else the earlier resolution
        // carried over when nothing is left to load, else `input` itself.
        [[nodiscard]] const platform::AttributedString&
        shownString(const platform::AttributedString& input,
                    const ColorEnvironmentValues& environment = {}) const;
        // The current resolution carried over to `input`; nothing when it is `input`'s own, was
        // loaded in another colour scheme than `environment`, or there is none. Made once per
        // input.
        [[nodiscard]] const std::optional<Carried>&
        carried(const platform::AttributedString& input,
                const ColorEnvironmentValues& environment = {}) const;

    private:
        enum class Property : std::uint8_t { resolution };
        platform::ObservationRegistrar registrar_;
        platform::Observed<std::optional<Resolution>> resolution_{registrar_, Property::resolution};
        struct CarriedFor {
            platform::AttributedString input;
            ColorEnvironmentValues environment;
            std::optional<platform::AttributedString> from; // the resolution's input
            std::optional<Carried> carried;
        };
        mutable std::optional<CarriedFor> carriedFor_;
        std::optional<std::vector<platform::AttributedString::Range>> attached_;
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
