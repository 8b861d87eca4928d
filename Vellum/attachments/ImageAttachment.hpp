#pragma once

// Pictures that stand in text: a downloaded image (ImageAttachment) and a named image from a
// resource bundle (ImageResourceAttachment). Both keep their own size, shrunk to the width offered
// and never enlarged, and are selected as objects.

#include "Vellum/attachments/Attachment.hpp"
#include "Vellum/images/Image.hpp"
#include "Vellum/text/ColorEnvironmentValues.hpp"
#include "platform/foundation/Bundle.hpp"

#include <optional>
#include <string>
#include <vector>

namespace vellum {

class ImageAttachment final : public Attachment {
public:
    ImageAttachment(Image image, std::string text)
        : image_(std::move(image))
        , text_(std::move(text)) {}

    [[nodiscard]] const Image& image() const noexcept { return image_; }
    // The alternative text of the image link.
    [[nodiscard]] const std::string& text() const noexcept { return text_; }

    [[nodiscard]] bool isEqual(const Attachment& other) const override;
    [[nodiscard]] std::size_t hashValue() const override;
    [[nodiscard]] std::string description() const override { return text_; }
    [[nodiscard]] std::optional<platform::Data> pngData() const override;
    [[nodiscard]] AttachmentSelectionStyle selectionStyle() const override {
        return AttachmentSelectionStyle::object;
    }
    [[nodiscard]] platform::ui::AnyView body() const override;
    [[nodiscard]] platform::Size
    sizeThatFits(platform::ui::ProposedViewSize proposal,
                 const TextEnvironmentValues& environment) const override;

private:
    Image image_;
    std::string text_;
};

// A picture looked up by name in a bundle, with the text it stands for: what the image and emoji
// resource attachments hold. Two are the same source when name, bundle and text agree and the
// lookup chose the same file: a picture looked up again is a new decoding, so the pictures
// themselves are not compared, but a picture with a variant for the dark scheme differs from its
// light one, and a text shown again in the other scheme is drawn again.
struct NamedPicture {
    NamedPicture(std::string name, std::optional<platform::Bundle> bundle, std::string text,
                 const ColorEnvironmentValues& environment);

    [[nodiscard]] bool sameSource(const NamedPicture& other) const;
    [[nodiscard]] std::size_t sourceHash() const;

    std::string name;
    std::optional<platform::Bundle> bundle;
    std::string text;
    Image image;
    // The file of the bundle the picture came from, with its appearance suffix and extension;
    // empty when none was found.
    std::string file;
};

class ImageResourceAttachment final : public Attachment {
public:
    // Looks `name` up in `bundle` (the main bundle when absent); a name the bundle lacks leaves an
    // empty picture of size zero.
    ImageResourceAttachment(std::string name, std::optional<platform::Bundle> bundle,
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
    [[nodiscard]] std::string description() const override {
        return picture_.text.empty() ? picture_.name : picture_.text;
    }
    [[nodiscard]] AttachmentSelectionStyle selectionStyle() const override {
        return AttachmentSelectionStyle::object;
    }
    [[nodiscard]] platform::ui::AnyView body() const override;
    [[nodiscard]] platform::Size
    sizeThatFits(platform::ui::ProposedViewSize proposal,
                 const TextEnvironmentValues& environment) const override;

private:
    NamedPicture picture_;
};

// The size of a picture of `natural` size offered `proposal`: its natural size without a proposed
// width, else shrunk to the proposed width with its aspect ratio kept. A picture with no area
// measures zero.
[[nodiscard]] platform::Size fittedImageSize(platform::Size natural,
                                             const platform::ui::ProposedViewSize& proposal);

// The first frame of `image` as PNG; nullopt for a picture without frames.
[[nodiscard]] std::optional<platform::Data> firstFramePNG(const Image& image);

// The names under which a bundled picture may carry a variant for the appearance that
// `environment` selects, most specific first: "name~highcontrast~dark" (dark, increased
// contrast), "name~dark" (dark), "name~highcontrast" (light, increased contrast), and last the
// plain name, which serves every appearance.
[[nodiscard]] std::vector<std::string>
appearanceVariants(const std::string& name, const ColorEnvironmentValues& environment);

// The picture named `name` (with or without its file extension) among the resources of `bundle`,
// or of the main bundle when absent, in its variant for the environment's appearance (see
// appearanceVariants); an empty picture when there is none or it does not decode.
[[nodiscard]] Image namedImage(const std::string& name,
                               const std::optional<platform::Bundle>& bundle,
                               const ColorEnvironmentValues& environment);

// The view of a picture over its box, stretched or, with `fit`, as large as fits with its aspect
// ratio kept; nothing for a picture without frames.
[[nodiscard]] platform::ui::AnyView pictureView(const Image& image, bool fit = false);

} // namespace vellum
