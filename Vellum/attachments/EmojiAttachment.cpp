#include "Vellum/attachments/EmojiAttachment.hpp"

#include "Vellum/attachments/ImageAttachment.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"
#include "platform/foundation/Hash.hpp"

#include <functional>
#include <typeinfo>

namespace vellum {

platform::Size emojiSize(const TextEnvironmentValues& environment) {
    return environment.emojiProperties.size.resolve(environment);
}

double emojiBaselineOffset(const TextEnvironmentValues& environment) {
    return environment.emojiProperties.baselineOffset.resolve(environment);
}

// MARK: EmojiAttachment

bool EmojiAttachment::isEqual(const Attachment& other) const {
    if (typeid(other) != typeid(EmojiAttachment)) {
        return false;
    }
    const auto& emoji = static_cast<const EmojiAttachment&>(other);
    return emoji.text_ == text_ && emoji.image_ == image_;
}

std::size_t EmojiAttachment::hashValue() const {
    std::size_t seed = std::hash<Image>()(image_);
    seed = platform::hashCombine(seed, std::hash<std::string>()(text_));
    return seed;
}

std::optional<platform::Data> EmojiAttachment::pngData() const {
    return firstFramePNG(image_);
}

platform::ui::AnyView EmojiAttachment::body() const {
    return pictureView(image_, true);
}

double EmojiAttachment::baselineOffset(const TextEnvironmentValues& environment) const {
    return emojiBaselineOffset(environment);
}

platform::Size EmojiAttachment::sizeThatFits(platform::ui::ProposedViewSize /*proposal*/,
                                             const TextEnvironmentValues& environment) const {
    // An emoji is as large as a letter of its text, whatever room the line offers.
    return emojiSize(environment);
}

// MARK: EmojiResourceAttachment

EmojiResourceAttachment::EmojiResourceAttachment(std::string name,
                                                 std::optional<platform::Bundle> bundle,
                                                 std::string text,
                                                 const ColorEnvironmentValues& environment)
    : picture_(std::move(name), std::move(bundle), std::move(text), environment) {}

bool EmojiResourceAttachment::isEqual(const Attachment& other) const {
    if (typeid(other) != typeid(EmojiResourceAttachment)) {
        return false;
    }
    const auto& resource = static_cast<const EmojiResourceAttachment&>(other);
    return resource.picture_.sameSource(picture_);
}

std::size_t EmojiResourceAttachment::hashValue() const {
    return picture_.sourceHash();
}

platform::ui::AnyView EmojiResourceAttachment::body() const {
    return pictureView(picture_.image, true);
}

double EmojiResourceAttachment::baselineOffset(const TextEnvironmentValues& environment) const {
    return emojiBaselineOffset(environment);
}

platform::Size
EmojiResourceAttachment::sizeThatFits(platform::ui::ProposedViewSize /*proposal*/,
                                      const TextEnvironmentValues& environment) const {
    return emojiSize(environment);
}

} // namespace vellum
