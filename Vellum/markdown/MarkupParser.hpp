#pragma once

#include "platform/foundation/AttributedString.hpp"

#include <string_view>

namespace vellum {

// Turns markup text into attributed text. The text views hold one and show empty text when it
// throws.
class MarkupParser {
public:
    virtual ~MarkupParser() = default;
    [[nodiscard]] virtual platform::AttributedString
    attributedString(std::string_view markup) const = 0;
};

} // namespace vellum
