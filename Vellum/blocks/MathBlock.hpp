#pragma once

// Display formulas standing as blocks of their own: a paragraph that is nothing but one $$...$$
// formula (MathBlock), or a fenced code block whose language is "math" (MathCodeBlock), whose
// text becomes such a formula. Both draw through the paragraph style and sit where the math
// properties' text alignment puts them (centred by default), whatever the text alignment around.

#include "platform/foundation/AttributedString.hpp"
#include "platform/ui/UI.hpp"

namespace vellum::structured {

class MathBlock {
public:
    explicit MathBlock(platform::AttributedSubstring content)
        : content_(std::move(content)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;
    friend bool operator==(const MathBlock&, const MathBlock&) = default;

private:
    platform::AttributedSubstring content_;
};

class MathCodeBlock {
public:
    // The code block's text, trimmed of white space at both ends, is the LaTeX source; it is not
    // checked here (a formula that does not parse is the attachment's business).
    explicit MathCodeBlock(const platform::AttributedSubstring& content);

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;
    friend bool operator==(const MathCodeBlock&, const MathCodeBlock&) = default;

    // One U+FFFC carrying the block formula.
    [[nodiscard]] const platform::AttributedString& content() const { return content_; }
    [[nodiscard]] int indentationLevel() const { return indentationLevel_; }

private:
    platform::AttributedString content_;
    int indentationLevel_ = 0;
};

} // namespace vellum::structured
