#pragma once

// Emoji pictures that stand in text in place of a shortcode: a downloaded picture
// (EmojiAttachment) and a named picture from a resource bundle (EmojiResourceAttachment). Both
// take their size and baseline from the text's font through the environment's emoji properties.
// Selected, they are selected like the letters around them: the highlight lies behind them and
// they keep their full colour (only pictures dim).

#include "Vellum/attachments/Attachment.hpp"
#include "Vellum/attachments/ImageAttachment.hpp"
#include "Vellum/images/Image.hpp"
#include "Vellum/text/ColorEnvironmentValues.hpp"
#include "platform/foundation/Bundle.hpp"

#include <optional>
#include <string>

namespace vellum {

class EmojiAttachment final : public Attachment {
public:
    EmojiAttachment(Image image, std::string text)
        : image_(std::move(image))
        , text_(std::move(text)) {}

    [[nodiscard]] const Image& image() const noexcept { return image_; }
    // The short name, without colons.
    [[nodiscard]] const std::string& text() const noexcept { return text_; }

    [[nodiscard]] bool isEqual(const Attachment& other) const override;
    [[nodiscard]] std::size_t hashValue() const override;
    [[nodiscard]] std::string description() const override { return ":" + text_ + ":"; }
    [[nodiscard]] std::optional<platform::Data> pngData() const override;
    [[nodiscard]] AttachmentSelectionStyle selectionStyle() const override {
        return AttachmentSelectionStyle::text;
    }
    [[nodiscard]] platform::ui::AnyView body() const override;
    [[nodiscard]] double baselineOffset(const TextEnvironmentValues& environment) const override;
    [[nodiscard]] platform::Size
    sizeThatFits(platform::ui::ProposedViewSize proposal,
                 const TextEnvironmentValues& environment) const override;

private:
    Image image_;
    std::string text_;
};

class EmojiResourceAttachment final : public Attachment {
public:
    // Looks `name` up in `bundle` (the main bundle when absent); a name the bundle lacks leaves an
    // empty picture, which draws nothing in the emoji's box.
    EmojiResourceAttachment(std::string name, std::optional<platform::Bundle> bundle,
                            std::string text, const ColorEnvironmentValues& environment);

    [[nodiscard]] const std::string& name() const noexcept { return picture_.name; }
    [[nodiscard]] const std::optional<platform::Bundle>& bundle() const noexcept {
        return picture_.bundle;
    }
    [[nodiscard]] const std::string& text() const noexcept { return picture_.text; }
    [[nodiscard]] const Image& image() const noexcept { return picture_.image; }

    // Equal by name, bundle, text and the file the picture came from.
    [[nodiscard]] bool isEqual(const Attachment& other) const override;
    [[nodiscard]] std::size_t hashValue() const override;
    [[nodiscard]] std::string description() const override { return ":" + picture_.text + ":"; }
    [[nodiscard]] AttachmentSelectionStyle selectionStyle() const override {
        return AttachmentSelectionStyle::text;
    }
    [[nodiscard]] platform::ui::AnyView body() const override;
    [[nodiscard]] double baselineOffset(const TextEnvironmentValues& environment) const override;
    [[nodiscard]] platform::Size
    sizeThatFits(platform::ui::ProposedViewSize proposal,
                 const TextEnvironmentValues& environment) const override;

private:
    NamedPicture picture_;
};

// The box of an emoji in `environment`: the emoji properties' size in ems of the text's font.
[[nodiscard]] platform::Size emojiSize(const TextEnvironmentValues& environment);
// The emoji's baseline offset in points, from the same font.
[[nodiscard]] double emojiBaselineOffset(const TextEnvironmentValues& environment);

} // namespace vellum
