#pragma once

// The box every list marker sits in: at least `minWidth` em wide (against the font where the
// marker is shown) with the marker against its trailing edge, so that markers of different widths
// line up where the item text begins. A marker wider than the box grows it rather than being cut.

#include "Vellum/text/FontScaled.hpp"
#include "platform/ui/View.hpp"

namespace vellum::structured {

[[nodiscard]] platform::ui::AnyView listMarkerFrame(platform::ui::AnyView marker,
                                                    FontScaled<double> minWidth);
// The same box, its width resolved against `environment`: that of the place the marker is shown
// in, which a marker style's body already holds.
[[nodiscard]] platform::ui::AnyView listMarkerFrame(platform::ui::AnyView marker,
                                                    FontScaled<double> minWidth,
                                                    const TextEnvironmentValues& environment);

} // namespace vellum::structured
