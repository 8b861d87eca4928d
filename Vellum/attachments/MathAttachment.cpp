#include "Vellum/attachments/MathAttachment.hpp"

#include "Vellum/text/FontScaled.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"

#include <functional>

namespace vellum {

namespace {

// The formula drawn in the math font of the text it stands in; the environment is read when the
// view is evaluated, so the drawing follows the same font the attachment was measured with.
struct MathAttachmentView {
    std::string latex;
    MathAttachment::DisplayStyle style;

    platform::ui::AnyView body(platform::ui::ViewContext& context) const {
        const TextEnvironmentValues environment = textEnvironment(context.environment());
        return Math::MathView(latex)
            .modifier(Math::mathFont(MathAttachment::mathFont(environment)))
            .modifier(Math::mathTypesettingStyle(MathAttachment::typesettingStyle(style)))
            .modifier(Math::mathRenderingMode(Math::RenderingMode::monochrome()));
    }
    friend bool operator==(const MathAttachmentView&, const MathAttachmentView&) = default;
};

} // namespace

bool MathAttachment::isEqual(const Attachment& other) const {
    const auto* math = dynamic_cast<const MathAttachment*>(&other);
    return math != nullptr && math->latex_ == latex_ && math->displayStyle_ == displayStyle_;
}

std::size_t MathAttachment::hashValue() const {
    return std::hash<std::string>()(latex_) * 31 + static_cast<std::size_t>(displayStyle_);
}

std::string MathAttachment::description() const {
    // Written back the way it was typed, so that copied text keeps the formula.
    const char* const delimiter = displayStyle_ == DisplayStyle::block ? "$$" : "$";
    return delimiter + latex_ + delimiter;
}

Math::Font MathAttachment::mathFont(const TextEnvironmentValues& environment) {
    const MathProperties& properties = environment.mathProperties;
    const double size = FontScaled<double>(properties.fontScale).resolve(environment);
    return {properties.fontName.mathFontName(), size};
}

platform::ui::AnyView MathAttachment::body() const {
    return platform::ui::AnyView(MathAttachmentView{latex_, displayStyle_});
}

double MathAttachment::baselineOffset(const TextEnvironmentValues& environment) const {
    const Math::TypographicBounds bounds =
        Math::mathTypographicBounds(latex_, platform::ui::ProposedViewSize::unspecified(),
                                    mathFont(environment), typesettingStyle(displayStyle_));
    return -bounds.descent;
}

platform::Size MathAttachment::sizeThatFits(platform::ui::ProposedViewSize proposal,
                                            const TextEnvironmentValues& environment) const {
    const Math::TypographicBounds bounds = Math::mathTypographicBounds(
        latex_, proposal, mathFont(environment), typesettingStyle(displayStyle_));
    return {bounds.width, bounds.ascent + bounds.descent};
}

} // namespace vellum
