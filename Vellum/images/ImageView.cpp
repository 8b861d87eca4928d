#include "Vellum/images/ImageView.hpp"

#include "Vellum/images/AnimationClock.hpp"

#include <algorithm>
#include <optional>

namespace vellum {

namespace ui = platform::ui;

namespace {

// Stretched unless `fit`: a picture's attachment sizes its frame to the picture's aspect ratio,
// an emoji's frame is a square whatever the picture's shape. Every frame of an animation keeps
// the shape of its canvas.
ui::AnyView picture(const platform::Image& bitmap, const Image& image, bool fit) {
    if (!fit) {
        return ui::Image(bitmap).resizable();
    }
    std::optional<double> ratio;
    if (image.size.width > 0 && image.size.height > 0) {
        ratio = image.size.width / image.size.height;
    }
    return ui::Image(bitmap).resizable().aspectRatio(ratio, ui::ContentMode::fit);
}

// Plays an animation from the moment it first shows. Each instance keeps its own clock, so two
// views of one image started apart show different frames.
class AnimatedImageView {
public:
    AnimatedImageView(Image content_, bool fit_)
        : content(std::move(content_))
        , fit(fit_) {}

    Image content;
    bool fit = false;

    ui::AnyView body(ui::ViewContext& context) const {
        const auto clock = context.state(
            AnimationClock(content.frames, content.loopCount, std::chrono::steady_clock::now()));
        // Once the last loop has played the last frame stays; a still picture in place of the
        // timeline stops the per-frame redraws.
        const auto finished = context.state(false);
        const Image image = content;
        ui::AnyView shown = ui::ConditionalContent(
            *finished, picture(image.frames.back().cgImage, image, fit),
            ui::TimelineView(
                [clock, finished, image, fit = fit](const ui::TimelineContext& timeline) {
                    if (clock->isFinished(timeline.date))
                        finished.set(true);
                    const auto index = std::size_t(clock->frameIndexForDate(timeline.date));
                    return picture(image.frames[std::min(index, image.frames.size() - 1)].cgImage,
                                   image, fit);
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
        return picture(content.frames.front().cgImage, content, fit);
    if (content.frames.size() > 1)
        return AnimatedImageView(content, fit);
    // An animation that declared no frames has nothing to show.
    return ui::EmptyView();
}

} // namespace vellum
