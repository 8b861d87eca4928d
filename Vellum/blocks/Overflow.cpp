#include "Vellum/blocks/Overflow.hpp"

#include "Vellum/inline/TextFragment.hpp"
#include "platform/ui/Containers.hpp"
#include "platform/ui/Text.hpp"

#include <algorithm>
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
    // handed to the content does not collapse it for a pass. Offered no height (as in a block
    // stack), the content is centred in at least 10 points each way, an unsized view's size.
    constexpr double unsized = 10;
    ui::FlexibleFrame lastHeight;
    lastHeight.minWidth = unsized;
    lastHeight.minHeight = std::max(unsized, contentHeight->value_or(unsized));
    lastHeight.alignment = ui::Alignment::center();
    const ui::AnyView measured =
        content(OverflowState::scroll(*containerWidth))
            .onGeometryChange<double>(
                [](const ui::GeometryProxy& proxy) { return proxy.size().height; },
                [contentHeight](const double& /*old*/, const double& height) {
                    contentHeight.set(height);
                });
    // The scrolled texts stay in the enclosing text's layouts: one selection runs through the
    // document and its scrolling regions alike, and a copy of all of it keeps their text.
    const ui::AnyView stack = measured.frame(lastHeight);
    // The region's frame is published by the scroll view itself, after the values of its
    // content, rather than by a reader in its background.
    return ui::detail::transformPreferences(
        ui::AnyView(ui::ScrollView(stack).onScrollGeometryChange(
            [containerWidth](const ui::ScrollGeometry& /*old*/, const ui::ScrollGeometry& now) {
                containerWidth.set(now.containerSize.width);
            })),
        [](ui::PreferenceValues& values, const ui::GeometryProxy& proxy) {
            OverflowFrameKey::Value frames = values.get<OverflowFrameKey>();
            OverflowFrameKey::reduce(frames,
                                     {proxy.frame(ui::CoordinateSpace::named(textContainerSpace))});
            values.set<OverflowFrameKey>(std::move(frames));
        });
}

} // namespace

ui::AnyView Overflow::body(ui::ViewContext& context) const {
    // Both kept whatever the mode, so that the slots line up at every evaluation.
    const ui::State<std::optional<double>> containerWidth =
        context.state<std::optional<double>>(std::nullopt);
    const ui::State<std::optional<double>> contentHeight =
        context.state<std::optional<double>>(std::nullopt);
    // One branch or the other: a change of mode replaces the whole subtree, as the two begin
    // with modifiers of different kinds (the published frame, the full-width frame).
    if (overflowMode(context.environment()) == OverflowMode::scroll) {
        return scrolling(content_, containerWidth, contentHeight);
    }
    return wrapping(content_);
}

ui::AnyView overflowContainer(std::function<ui::AnyView(const OverflowState&)> content) {
    return ui::AnyView(Overflow(std::move(content)));
}

} // namespace vellum
