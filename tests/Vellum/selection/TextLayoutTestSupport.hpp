#pragma once

// Texts laid out by the view engine offscreen, read back as a live layout collection. The texts
// use DejaVu Sans Mono, whose glyphs all advance 1233/2048 of the font size, so positions can be
// worked out by hand.

#include "Vellum/inline/TextFragmentAttribute.hpp"
#include "Vellum/selection/LiveTextLayout.hpp"
#include "Vellum/selection/TextRange.hpp"
#include "platform/ui/OffscreenHost.hpp"
#include "platform/ui/UI.hpp"

#include <memory>
#include <ostream>
#include <vector>

namespace vellum {

// Readable failures.
inline void PrintTo(const TextPosition& p, std::ostream* os) {
    *os << p.description();
}
inline void PrintTo(const TextRange& r, std::ostream* os) {
    *os << r.description();
}

} // namespace vellum

namespace vellum::test {

inline constexpr double kFontSize = 20;
inline constexpr double kAdvance = 1233.0 / 2048.0 * kFontSize;

inline platform::ui::Text fragment(const std::string& text) {
    return platform::ui::Text(text)
        .font(platform::Font::custom("DejaVu Sans Mono", kFontSize))
        .customAttribute(TextFragmentAttribute{});
}

/// The views stacked with `spacing` between them, at `width`.
class LaidOutTexts {
public:
    explicit LaidOutTexts(std::vector<platform::ui::AnyView> views, double width = 400,
                          double spacing = 10)
        : layouts_(std::make_shared<platform::ui::Text::LayoutKey::Value>())
        , host_(platform::ui::VStack(platform::ui::HorizontalAlignment::leading(), spacing,
                                     std::move(views))
                    .onPreferenceChange<platform::ui::Text::LayoutKey>(
                        [layouts = layouts_](const platform::ui::Text::LayoutKey::Value& v) {
                            *layouts = v;
                        }),
                platform::ui::ProposedViewSize{width, std::nullopt}) {
        host_.runUntilIdle();
        // The root's proxy: layout origins in root coordinates.
        collection_ = std::make_shared<const LiveTextLayoutCollection>(
            *layouts_, platform::ui::GeometryProxy(platform::Rect(0, 0, width, 1000), nullptr));
    }
    const LiveTextLayoutCollection& collection() const { return *collection_; }
    std::shared_ptr<const LiveTextLayoutCollection> shared() const { return collection_; }
    const platform::ui::Text::LayoutKey::Value& anchored() const { return *layouts_; }
    /// Lines, runs and slices with their ranges, for failure messages.
    std::string dump() const {
        std::string out;
        const auto& c = *collection_;
        for (std::size_t l = 0; l < c.layoutCount(); ++l) {
            for (std::size_t n = 0; n < c.layout(l).lineCount(); ++n) {
                const auto& line = c.layout(l).line(n);
                for (std::size_t r = 0; r < line.runCount(); ++r) {
                    const auto& run = line.run(r);
                    out +=
                        std::to_string(l) + "/" + std::to_string(n) + "/" + std::to_string(r) +
                        (run.layoutDirection() == LayoutDirection::leftToRight ? " ltr:" : " rtl:");
                    for (std::size_t s = 0; s < run.sliceCount(); ++s) {
                        const auto range = run.slice(s).characterRange();
                        out += " " + std::to_string(range.lowerBound) + "-" +
                               std::to_string(range.upperBound) + "@" +
                               std::to_string(run.slice(s).typographicBounds().minX());
                    }
                    out += "\n";
                }
            }
        }
        return out;
    }

private:
    std::shared_ptr<platform::ui::Text::LayoutKey::Value> layouts_;
    platform::ui::OffscreenHost host_;
    std::shared_ptr<const LiveTextLayoutCollection> collection_;
};

} // namespace vellum::test
