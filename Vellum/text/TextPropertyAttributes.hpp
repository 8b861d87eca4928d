#pragma once

// The attributes of a run that the view engine draws text with, as attribute keys: what text
// properties write into a run's attribute container before the run becomes a styled text run.

#include "platform/foundation/AttributeScope.hpp"
#include "platform/graphics/Color.hpp"
#include "platform/text/Font.hpp"
#include "platform/text/StyledText.hpp"

#include <string_view>

namespace vellum {

struct TextAttributeScope {
    struct FontAttribute {
        static constexpr std::string_view name = "UI.Font";
        using Value = platform::Font;
    };
    struct ForegroundColorAttribute {
        static constexpr std::string_view name = "UI.ForegroundColor";
        using Value = platform::Color;
    };
    struct BackgroundColorAttribute {
        static constexpr std::string_view name = "UI.BackgroundColor";
        using Value = platform::Color;
    };
    struct UnderlineStyleAttribute {
        static constexpr std::string_view name = "UI.UnderlineStyle";
        using Value = platform::TextLineStyle;
    };
    struct StrikethroughStyleAttribute {
        static constexpr std::string_view name = "UI.StrikethroughStyle";
        using Value = platform::TextLineStyle;
    };
    // Points; positive raises the glyphs.
    struct BaselineOffsetAttribute {
        static constexpr std::string_view name = "UI.BaselineOffset";
        using Value = double;
    };
    // Points.
    struct KerningAttribute {
        static constexpr std::string_view name = "UI.Kerning";
        using Value = double;
    };
    // Points.
    struct TrackingAttribute {
        static constexpr std::string_view name = "UI.Tracking";
        using Value = double;
    };
};

} // namespace vellum
