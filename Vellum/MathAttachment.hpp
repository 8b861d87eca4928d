#pragma once

// A formula written between dollar signs, kept as its LaTeX source and measured and drawn later
// by the math typesetter.

#include "Vellum/Attachment.hpp"

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

private:
    std::string latex_;
    DisplayStyle displayStyle_;
};

} // namespace vellum
