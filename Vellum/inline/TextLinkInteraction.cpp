#include "Vellum/inline/TextLinkInteraction.hpp"

#include "Vellum/attachments/LinkAttribute.hpp"
#include "Vellum/inline/TextSelectionBackground.hpp"

namespace vellum {

using platform::ui::AnyView;

std::optional<platform::URL> TextLinkInteraction::link(const platform::ui::Text::Layout& layout,
                                                       platform::Point point) {
    for (const auto& line : layout.lines()) {
        for (const auto& run : line.runs) {
            if (!run.typographicBounds.rect().contains(point)) {
                continue;
            }
            if (const auto* attribute = layout.attribute<LinkAttribute>(run)) {
                return attribute->url;
            }
            return std::nullopt;
        }
    }
    return std::nullopt;
}

AnyView TextLinkInteraction::body(platform::ui::ViewContext& context, AnyView content) const {
    // Selectable text takes the clicks itself, links included.
    if (context.environment<TextSelectionHighlightKey>()) {
        return content;
    }
    // The first text inside and where the content stands, both in root coordinates, read after
    // each layout pass; a tap needs nothing more, so nothing is drawn or laid out for it.
    struct Target {
        std::optional<platform::ui::Text::AnchoredLayout> first;
        platform::Point origin;
    };
    const std::shared_ptr<Target> target =
        context.stateObject<Target>([] { return std::make_shared<Target>(); });
    const platform::ui::OpenURLAction openURL = context.environment<platform::ui::OpenURLKey>();
    return content
        .onPreferenceChange<platform::ui::Text::LayoutKey>(
            [target](const platform::ui::Text::LayoutKey::Value& layouts) {
                target->first = layouts.empty() ? std::nullopt : std::optional(layouts.front());
            })
        .onGeometryChange<platform::Point>(
            [](const platform::ui::GeometryProxy& proxy) {
                return proxy.frame(platform::ui::CoordinateSpace::global()).origin;
            },
            [target](const platform::Point& /*old*/, const platform::Point& origin) {
                target->origin = origin;
            })
        .onTapGesture([target, openURL](platform::Point p) {
            if (!target->first) {
                return;
            }
            const platform::Point origin = target->first->origin.rootValue();
            const platform::Point local{target->origin.x + p.x - origin.x,
                                        target->origin.y + p.y - origin.y};
            if (const auto url = link(target->first->layout, local)) {
                openURL(*url);
            }
        });
}

} // namespace vellum
