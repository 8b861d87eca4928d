#include "Vellum/images/ImageView.hpp"

#include "Vellum/images/AnimationClock.hpp"

#include <algorithm>

namespace vellum {

namespace ui = platform::ui;

namespace {

ui::AnyView picture(const platform::Image& bitmap) {
    // Stretched, not fitted: the attachment that hosts the view already sized its frame to the
    // picture's aspect ratio.
    return ui::Image(bitmap).resizable();
}

// Plays an animation from the moment it first shows. Each instance keeps its own clock, so two
// views of one image started apart show different frames.
class AnimatedImageView {
public:
    explicit AnimatedImageView(Image content_)
        : content(std::move(content_)) {}

    Image content;

    ui::AnyView body(ui::ViewContext& context) const {
        const auto clock = context.state(
            AnimationClock(content.frames, content.loopCount, std::chrono::steady_clock::now()));
        // Once the last loop has played the last frame stays; a still picture in place of the
        // timeline stops the per-frame redraws.
        const auto finished = context.state(false);
        const Image image = content;
        ui::AnyView shown = ui::ConditionalContent(
            *finished, picture(image.frames.back().cgImage),
            ui::TimelineView([clock, finished, image](const ui::TimelineContext& timeline) {
                if (clock->isFinished(timeline.date))
                    finished.set(true);
                const auto index = std::size_t(clock->frameIndexForDate(timeline.date));
                return picture(image.frames[std::min(index, image.frames.size() - 1)].cgImage);
            }));
        // A different image starts over from its first frame; an equal one keeps its clock.
        return shown.onChange<Image>(
            content, [clock, finished](const Image&, const Image& updated) {
                clock.set(AnimationClock(updated.frames, updated.loopCount,
                                         std::chrono::steady_clock::now()));
                finished.set(false);
            });
    }

    friend bool operator==(const AnimatedImageView&, const AnimatedImageView&) = default;
};

} // namespace

ui::AnyView ImageView::body() const {
    if (content.frames.size() == 1)
        return picture(content.frames.front().cgImage);
    if (content.frames.size() > 1)
        return AnimatedImageView(content);
    // An animation that declared no frames has nothing to show.
    return ui::EmptyView();
}

} // namespace vellum
