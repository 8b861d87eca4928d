#include "Vellum/blocks/Overflow.hpp"

#include "Vellum/inline/TextFragment.hpp"
#include "platform/ui/Containers.hpp"
#include "platform/ui/Text.hpp"

#include <optional>

namespace vellum {

namespace ui = platform::ui;

namespace {

ui::AnyView wrapping(const Overflow::Content& content) {
    ui::FlexibleFrame fullWidth;
    fullWidth.maxWidth = ui::infinity;
    fullWidth.alignment = ui::Alignment::leading();
    return content(OverflowState::wrap()).frame(fullWidth);
}

ui::AnyView scrolling(const Overflow::Content& content,
                      const ui::State<std::optional<double>>& containerWidth,
                      const ui::State<std::optional<double>>& contentHeight) {
    // Keeps the scroll view as tall as the content was last measured, so that a new width
    // handed to the content does not collapse it for a pass.
    ui::FlexibleFrame lastHeight;
    lastHeight.minHeight = *contentHeight;
    const ui::AnyView measured =
        content(OverflowState::scroll(*containerWidth))
            .onGeometryChange<double>(
                [](const ui::GeometryProxy& proxy) { return proxy.size().height; },
                [contentHeight](const double& /*old*/, const double& height) {
                    contentHeight.set(height);
                });
    // The scrolled texts stay in the enclosing text's layouts: one selection runs through the
    // document and its scrolling regions alike, and a copy of all of it keeps their text.
    const ui::ZStack stack(ui::Alignment::center(),
                           {ui::AnyView(platform::Color::clear()).frame(lastHeight), measured});
    const ui::GeometryReader frame([](const ui::GeometryProxy& proxy) {
        return ui::AnyView(platform::Color::clear())
            .preference<OverflowFrameKey>(
                {proxy.frame(ui::CoordinateSpace::named(textContainerSpace))});
    });
    return ui::AnyView(ui::ScrollView(stack).onScrollGeometryChange(
                           [containerWidth](const ui::ScrollGeometry& /*old*/,
                                            const ui::ScrollGeometry& now) {
                               containerWidth.set(now.containerSize.width);
                           }))
        .background(frame);
}

} // namespace

ui::AnyView Overflow::body(ui::ViewContext& context) const {
    // Both kept whatever the mode, so that the slots line up at every evaluation.
    const ui::State<std::optional<double>> containerWidth =
        context.state<std::optional<double>>(std::nullopt);
    const ui::State<std::optional<double>> contentHeight =
        context.state<std::optional<double>>(std::nullopt);
    // One branch or the other: a change of mode replaces the whole subtree.
    if (overflowMode(context.environment()) == OverflowMode::scroll) {
        return ui::ConditionalContent(true, scrolling(content_, containerWidth, contentHeight));
    }
    return ui::ConditionalContent(false, ui::AnyView(), wrapping(content_));
}

ui::AnyView overflowContainer(std::function<ui::AnyView(const OverflowState&)> content) {
    return ui::AnyView(Overflow(std::move(content)));
}

} // namespace vellum
