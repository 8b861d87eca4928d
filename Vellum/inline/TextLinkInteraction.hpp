#pragma once

// Opens the links of a laid-out text on a tap, through the environment's open-URL action (the
// host's opener by default, which hands only web links to the desktop). Over selectable text the
// selection's interaction lies above and opens links on a click itself; this is how links work in
// text that is not selectable.

#include "platform/ui/UI.hpp"

#include <optional>

namespace vellum {

struct TextLinkInteraction {
    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context,
                                             platform::ui::AnyView content) const;
    friend bool operator==(const TextLinkInteraction&, const TextLinkInteraction&) = default;

    /// The link of the run whose box (ascent and descent, no leading) holds `point`, given in
    /// the layout's own space; the first such run decides.
    [[nodiscard]] static std::optional<platform::URL> link(const platform::ui::Text::Layout& layout,
                                                           platform::Point point);
};

} // namespace vellum
