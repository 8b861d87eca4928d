#pragma once

// One piece of styled text drawn as one laid-out text. Every inline attachment becomes a blank box
// of the attachment's size at its baseline offset, marked with AttachmentAttribute so that the
// attachment overlay draws the attachment's body there; link runs carry LinkAttribute. The whole
// text carries TextFragmentAttribute.

#include "Vellum/attachments/Attachment.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"
#include "platform/foundation/AttributedString.hpp"
#include "platform/observation/ObservationRegistrar.hpp"
#include "platform/ui/UI.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace vellum {

class TextFragment {
public:
    // Builds the text of one content and keeps the last texts built, keyed by the attachment
    // sizes they were built for: the content never changes within one builder, so those sizes
    // alone tell its texts apart, and a new container width that leaves every size as it was
    // reuses the text already built.
    class TextBuilder {
    public:
        static constexpr std::size_t cacheLimit = 10;

        // The size of each attachment, for the font in force on its run (absent: none set), in
        // the order of first appearance; a later run with the same attachment and font shares
        // the first run's size.
        struct AttachmentSize {
            AnyAttachment attachment;
            std::optional<platform::Font> font;
            platform::Size size;
            friend bool operator==(const AttachmentSize&, const AttachmentSize&) = default;
        };
        using SizeMap = std::vector<AttachmentSize>;

        TextBuilder(platform::AttributedString content, const TextEnvironmentValues& environment);

        // Reading registers observation; the text changes only when a resolution gives another.
        // Every run of it carries TextFragmentAttribute with the content.
        [[nodiscard]] const platform::ui::Text& text() const { return text_.get(); }
        [[nodiscard]] const platform::AttributedString& content() const { return *content_; }
        // What the content holds, read once: whether a run links, or is an attachment.
        [[nodiscard]] bool hasLink() const { return hasLink_; }
        [[nodiscard]] bool hasAttachment() const { return hasAttachment_; }
        // Re-measures the attachments for a container of `size` and shows the text for them.
        void resolveText(platform::Size size, const TextEnvironmentValues& environment);
        // How many texts have been built (for tests and benchmarks of the cache).
        [[nodiscard]] std::size_t buildCount() const { return buildCount_; }

        [[nodiscard]] static SizeMap sizeMap(const platform::AttributedString& content,
                                             platform::ui::ProposedViewSize proposal,
                                             const TextEnvironmentValues& environment);
        [[nodiscard]] static platform::ui::Text build(const platform::AttributedString& content,
                                                      const SizeMap& sizes,
                                                      const TextEnvironmentValues& environment);

    private:
        enum class Property : std::uint8_t { text };
        struct Entry {
            SizeMap sizes;
            platform::ui::Text text;
        };
        const platform::ui::Text& cached(SizeMap sizes, const TextEnvironmentValues& environment);

        // Shared with the texts built, whose mark carries it (so that it names the builder's
        // content, and outlives the builder while a text is still shown).
        std::shared_ptr<const platform::AttributedString> content_;
        bool hasLink_ = false;
        bool hasAttachment_ = false;
        platform::ObservationRegistrar registrar_;
        platform::Observed<platform::ui::Text> text_{registrar_, Property::text};
        // Most recently used last; a handful of entries at most, and most builders only ever
        // hold one.
        std::vector<Entry> cache_;
        std::size_t buildCount_ = 0;
    };

    explicit TextFragment(platform::AttributedString content)
        : content_(std::move(content)) {}
    explicit TextFragment(const platform::AttributedSubstring& content)
        : content_(content) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;
    // The same, for a caller that has read the text environment of `context` already.
    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context,
                                             const TextEnvironmentValues& environment) const;
    friend bool operator==(const TextFragment&, const TextFragment&) = default;

private:
    platform::AttributedString content_;
};

// The name of the coordinate space in which text fragments measure the room they have.
inline constexpr const char* textContainerSpace = "textContainer";

} // namespace vellum
