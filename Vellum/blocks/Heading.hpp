#pragma once

// A heading of inline text, in the look of the environment's heading style. Its identity is the
// slug of its text, so that a host can scroll to it by name.

#include "platform/foundation/AttributedString.hpp"
#include "platform/ui/UI.hpp"

#include <string>
#include <string_view>

namespace vellum::structured {

class Heading {
public:
    Heading(platform::AttributedSubstring content, int level)
        : content_(std::move(content))
        , level_(level) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;
    friend bool operator==(const Heading&, const Heading&) = default;

    // The anchor name of a heading: lower case, white space as "-", only letters, numbers and
    // "-" kept, runs of "-" collapsed and none at either end ("Tips & Tricks_v2" gives
    // "tips-tricksv2"). Equal texts give equal slugs.
    [[nodiscard]] static std::string slug(std::string_view text);

private:
    platform::AttributedSubstring content_;
    int level_;
};

} // namespace vellum::structured
