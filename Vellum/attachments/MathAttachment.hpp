#pragma once

// A formula written between dollar signs, kept as its LaTeX source. It is measured by typesetting
// it at a size derived from the surrounding text, sits on the text baseline like a glyph and is
// drawn by the math library's view. Selected, it is selected like the characters around it: the
// highlight lies behind it and it keeps its full ink.

#include "Math/MathFont.hpp"
#include "Math/MathView.hpp"
#include "Vellum/attachments/Attachment.hpp"

#include <cstdint>
#include <string>

namespace vellum {

class MathAttachment final : public Attachment {
public:
    // `block` for a formula between double dollar signs, shown on a line of its own.
    enum class DisplayStyle : std::uint8_t { inline_, block };

    MathAttachment(std::string latex, DisplayStyle displayStyle)
        : latex_(std::move(latex))
        , displayStyle_(displayStyle) {}

    // The source exactly as written between the dollar signs.
    [[nodiscard]] const std::string& latex() const noexcept { return latex_; }
    [[nodiscard]] DisplayStyle displayStyle() const noexcept { return displayStyle_; }

    [[nodiscard]] bool isEqual(const Attachment& other) const override;
    [[nodiscard]] std::size_t hashValue() const override;
    [[nodiscard]] std::string description() const override;

    [[nodiscard]] AttachmentSelectionStyle selectionStyle() const override {
        return AttachmentSelectionStyle::text;
    }
    [[nodiscard]] platform::ui::AnyView body() const override;
    // Minus the formula's descent, so that its own baseline lies on the text's.
    [[nodiscard]] double baselineOffset(const TextEnvironmentValues& environment) const override;
    // The typeset width, and ascent plus descent.
    [[nodiscard]] platform::Size
    sizeThatFits(platform::ui::ProposedViewSize proposal,
                 const TextEnvironmentValues& environment) const override;

    // The math font a formula is set in within `environment`: the environment's math font name at
    // its scale times the text's point size.
    [[nodiscard]] static Math::Font mathFont(const TextEnvironmentValues& environment);
    [[nodiscard]] static Math::TypesettingStyle typesettingStyle(DisplayStyle style) {
        return style == DisplayStyle::block ? Math::TypesettingStyle::display
                                            : Math::TypesettingStyle::text;
    }

private:
    std::string latex_;
    DisplayStyle displayStyle_;
};

} // namespace vellum
