#include "Vellum/attachments/ImageAttachment.hpp"

#include "Vellum/images/ImageView.hpp"
#include "Vellum/text/Resources.hpp"
#include "platform/foundation/Hash.hpp"

#include <array>
#include <fstream>
#include <functional>
#include <iterator>
#include <string_view>
#include <system_error>
#include <tuple>
#include <typeinfo>
#include <utility>

namespace vellum {

namespace {

// A resource file larger than this is not read: bundled pictures are icons and emoji.
constexpr std::uintmax_t maximumResourceBytes = std::uintmax_t{16} << 20U;

std::optional<Image> decodeFile(const std::filesystem::path& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size > maximumResourceBytes) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    const platform::Data bytes{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
    return Image::fromData(bytes);
}

} // namespace

platform::Size fittedImageSize(platform::Size natural,
                               const platform::ui::ProposedViewSize& proposal) {
    if (!(natural.width > 0) || !(natural.height > 0)) {
        // No aspect ratio to keep: scaling a zero side would divide by zero.
        return {};
    }
    if (!proposal.width) {
        return natural;
    }
    const double width = std::min(natural.width, std::max(*proposal.width, 0.0));
    return {width, width / (natural.width / natural.height)};
}

std::optional<platform::Data> firstFramePNG(const Image& image) {
    if (image.frames.empty()) {
        return std::nullopt;
    }
    return encodeCGImageAsPNG(image.frames.front().cgImage);
}

std::vector<std::string> appearanceVariants(const std::string& name,
                                            const ColorEnvironmentValues& environment) {
    const platform::Appearance appearance = appearanceForColorEnvironment(environment);
    const bool dark = appearance.colorScheme == platform::ColorScheme::dark;
    const bool increased = appearance.contrast == platform::ColorSchemeContrast::increased;
    std::vector<std::string> names;
    if (dark && increased) {
        names.push_back(name + "~highcontrast~dark");
    }
    if (dark) {
        names.push_back(name + "~dark");
    } else if (increased) {
        names.push_back(name + "~highcontrast");
    }
    names.push_back(name);
    return names;
}

namespace {

// The picture for `name` and the file it came from ("badge~dark.png"; empty when none was
// found).
std::pair<Image, std::string> lookUpNamedImage(const std::string& name,
                                               const std::optional<platform::Bundle>& bundle,
                                               const ColorEnvironmentValues& environment) {
    const platform::Bundle& source = bundle ? *bundle : platform::Bundle::main();
    if (name.empty() || name.find("..") != std::string::npos) {
        // A name comes from a document's address: it may not climb out of the bundle (the
        // bundle refuses absolute names and links that lead out).
        return {};
    }
    static constexpr std::array<std::string_view, 6> extensions = {"",    "png",  "gif",
                                                                   "jpg", "jpeg", "webp"};
    for (const std::string& variant : appearanceVariants(name, environment)) {
        for (const std::string_view extension : extensions) {
            if (const auto path = source.url(variant, extension)) {
                if (auto image = decodeFile(*path)) {
                    std::string file = variant;
                    if (!extension.empty()) {
                        file += '.';
                        file += extension;
                    }
                    return {std::move(*image), std::move(file)};
                }
            }
        }
    }
    return {};
}

} // namespace

Image namedImage(const std::string& name, const std::optional<platform::Bundle>& bundle,
                 const ColorEnvironmentValues& environment) {
    return lookUpNamedImage(name, bundle, environment).first;
}

platform::ui::AnyView pictureView(const Image& image, bool fit) {
    if (image.frames.empty()) {
        return platform::ui::EmptyView();
    }
    // An emoji's box is square whatever the picture's shape: a wide picture, still or animated,
    // keeps its shape.
    return platform::ui::AnyView(ImageView(image, fit));
}

// MARK: ImageAttachment

bool ImageAttachment::isEqual(const Attachment& other) const {
    if (typeid(other) != typeid(ImageAttachment)) {
        return false;
    }
    const auto& image = static_cast<const ImageAttachment&>(other);
    return image.text_ == text_ && image.image_ == image_;
}

std::size_t ImageAttachment::hashValue() const {
    std::size_t seed = std::hash<Image>()(image_);
    seed = platform::hashCombine(seed, std::hash<std::string>()(text_));
    return seed;
}

std::optional<platform::Data> ImageAttachment::pngData() const {
    return firstFramePNG(image_);
}

platform::ui::AnyView ImageAttachment::body() const {
    return pictureView(image_);
}

platform::Size ImageAttachment::sizeThatFits(platform::ui::ProposedViewSize proposal,
                                             const TextEnvironmentValues& /*environment*/) const {
    return fittedImageSize(image_.size, proposal);
}

// MARK: NamedPicture

NamedPicture::NamedPicture(std::string name_, std::optional<platform::Bundle> bundle_,
                           std::string text_, const ColorEnvironmentValues& environment)
    : name(std::move(name_))
    , bundle(std::move(bundle_))
    , text(std::move(text_)) {
    std::tie(image, file) = lookUpNamedImage(name, bundle, environment);
}

bool NamedPicture::sameSource(const NamedPicture& other) const {
    return other.name == name && other.bundle == bundle && other.text == text && other.file == file;
}

std::size_t NamedPicture::sourceHash() const {
    std::size_t seed = std::hash<std::string>()(name);
    seed =
        platform::hashCombine(seed, bundle ? std::filesystem::hash_value(bundle->bundleURL()) : 0);
    seed = platform::hashCombine(seed, std::hash<std::string>()(text));
    seed = platform::hashCombine(seed, std::hash<std::string>()(file));
    return seed;
}

// MARK: ImageResourceAttachment

ImageResourceAttachment::ImageResourceAttachment(std::string name,
                                                 std::optional<platform::Bundle> bundle,
                                                 std::string text,
                                                 const ColorEnvironmentValues& environment)
    : picture_(std::move(name), std::move(bundle), std::move(text), environment) {}

bool ImageResourceAttachment::isEqual(const Attachment& other) const {
    if (typeid(other) != typeid(ImageResourceAttachment)) {
        return false;
    }
    const auto& resource = static_cast<const ImageResourceAttachment&>(other);
    return resource.picture_.sameSource(picture_);
}

std::size_t ImageResourceAttachment::hashValue() const {
    return picture_.sourceHash();
}

platform::ui::AnyView ImageResourceAttachment::body() const {
    return pictureView(picture_.image, true);
}

platform::Size
ImageResourceAttachment::sizeThatFits(platform::ui::ProposedViewSize proposal,
                                      const TextEnvironmentValues& /*environment*/) const {
    return fittedImageSize(picture_.image.size, proposal);
}

} // namespace vellum
