#pragma once

// What a layout pass draws, as a list of drawing operations in root coordinates, replayed into
// any graphics context (an offscreen image or a window).

#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/Image.hpp"
#include "platform/graphics/Path.hpp"
#include "platform/text/TextLayout.hpp"
#include "platform/ui/Environment.hpp"

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace platform::ui {

enum class Interpolation : std::uint8_t;

class DisplayList {
public:
    struct Save {};
    struct Restore {};
    struct Clip {
        platform::Path path;
    };
    /// Starts a layer composited with `opacity` at the matching EndLayer.
    struct BeginLayer {
        double opacity = 1;
    };
    struct EndLayer {};
    struct Transform {
        platform::AffineTransform transform;
    };
    struct Fill {
        platform::Path path;
        Color color;
        platform::FillStyle style;
    };
    struct Stroke {
        platform::Path path;
        Color color;
        platform::StrokeStyle style;
    };
    struct DrawText {
        std::shared_ptr<const platform::TextLayout> layout;
        Point origin;
        Color color;
    };
    struct DrawImage {
        platform::Image image;
        Rect rect;
        Interpolation interpolation;
    };
    /// A closure drawing at draw time (canvases), with the origin moved to `rect`'s and the
    /// clip narrowed to it.
    struct Closure {
        Rect rect;
        std::function<void(platform::GraphicsContext&)> draw;
    };
    using Item = std::variant<Save, Restore, Clip, BeginLayer, EndLayer, Transform, Fill, Stroke,
                              DrawText, DrawImage, Closure>;

    template <class Op>
    void append(Op&& op) {
        // Built in place: a moved variant temporary trips g++ 12's uninitialised-use analysis.
        items_.emplace_back(std::in_place_type<std::decay_t<Op>>, std::forward<Op>(op));
    }
    const std::vector<Item>& items() const { return items_; }
    bool empty() const { return items_.empty(); }
    void clear() { items_.clear(); }
    /// Replays the list. Text and shapes wholly outside the context's clip are skipped.
    void draw(platform::GraphicsContext& context) const;

private:
    std::vector<Item> items_;
};

} // namespace platform::ui
