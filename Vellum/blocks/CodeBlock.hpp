#pragma once

// A fenced or indented code block: its text without the final line feed, highlighted for its
// language in the environment's highlighter theme, in the look of the environment's code block
// style, which also gets a handle to copy the code.

#include "platform/foundation/AttributedString.hpp"
#include "platform/ui/UI.hpp"

#include <optional>
#include <string>

namespace vellum::structured {

class CodeBlock {
public:
    // `languageHint` as the fence gave it (not lower-cased).
    CodeBlock(const platform::AttributedSubstring& content,
              std::optional<std::string> languageHint);

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;
    friend bool operator==(const CodeBlock&, const CodeBlock&) = default;

    [[nodiscard]] const platform::AttributedSubstring& content() const { return content_; }

private:
    platform::AttributedSubstring content_;
    std::optional<std::string> languageHint_;
};

} // namespace vellum::structured
