#include "platform/ui/DisplayList.hpp"

#include "platform/graphics/CairoAccess.hpp"
#include "platform/ui/Shapes.hpp"

#include <type_traits>

namespace platform::ui {

namespace {

/// Draws `image` into `rect` with nearest-neighbour sampling (pixel art, magnified bitmaps),
/// which the context's own image drawing does not offer.
void drawNearest(platform::GraphicsContext& context, const platform::Image& image, Rect rect) {
    cairo_t* cr = platform::CairoAccess::cairoContext(context);
    cairo_surface_t* surface = platform::CairoAccess::makeSurface(image);
    cairo_save(cr);
    cairo_translate(cr, rect.origin.x, rect.origin.y);
    cairo_scale(cr, rect.size.width / image.width(), rect.size.height / image.height());
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_rectangle(cr, 0, 0, image.width(), image.height());
    cairo_clip(cr);
    cairo_paint_with_alpha(cr, context.opacity());
    cairo_restore(cr);
    cairo_surface_destroy(surface);
}

/// Glyphs may reach beyond a text's typographic box (italics, accents).
Rect textBox(Point origin, Size s) {
    return Rect(origin, s).insetBy(-s.height - 4, -s.height - 4);
}

} // namespace

Rect DisplayList::boundsOf(const Transform&) {
    // What follows a transform may land anywhere.
    constexpr CGFloat far = 1e15;
    return Rect(-far, -far, 2 * far, 2 * far);
}

Rect DisplayList::boundsOf(const Fill& op) {
    return op.path.boundingRect();
}

Rect DisplayList::boundsOf(const Stroke& op) {
    const CGFloat w = op.style.lineWidth;
    return op.path.boundingRect().insetBy(-w, -w);
}

Rect DisplayList::boundsOf(const DrawText& op) {
    return textBox(op.origin, op.layout->size());
}

Rect DisplayList::boundsOf(const Sublist& op) {
    const Rect b = op.list ? op.list->bounds() : Rect::null();
    return b.isNull() ? b : b.offsetBy(op.offset.x, op.offset.y);
}

void DisplayList::include(Rect r) {
    if (r.isNull()) {
        return;
    }
    bounds_ = bounds_.isNull() ? r : bounds_.unionWith(r);
}

void DisplayList::draw(platform::GraphicsContext& context, std::uint64_t* drawn) const {
    const auto count = [drawn] {
        if (drawn != nullptr) {
            ++*drawn;
        }
    };
    Rect visible = context.clipBoundingRect();
    std::vector<Rect> savedVisible;
    for (const Item& item : items_) {
        std::visit(
            [&](const auto& op) {
                using T = std::decay_t<decltype(op)>;
                if constexpr (std::is_same_v<T, Save>) {
                    context.save();
                    savedVisible.push_back(visible);
                } else if constexpr (std::is_same_v<T, Restore>) {
                    context.restore();
                    if (!savedVisible.empty()) {
                        visible = savedVisible.back();
                        savedVisible.pop_back();
                    }
                } else if constexpr (std::is_same_v<T, Clip>) {
                    context.clip(op.path);
                    visible = context.clipBoundingRect();
                } else if constexpr (std::is_same_v<T, BeginLayer>) {
                    context.save();
                    savedVisible.push_back(visible);
                    context.setOpacity(context.opacity() * op.opacity);
                    context.beginLayer();
                } else if constexpr (std::is_same_v<T, EndLayer>) {
                    context.endLayer();
                    context.restore();
                    if (!savedVisible.empty()) {
                        visible = savedVisible.back();
                        savedVisible.pop_back();
                    }
                } else if constexpr (std::is_same_v<T, Transform>) {
                    context.concatenate(op.transform);
                    visible = context.clipBoundingRect();
                } else if constexpr (std::is_same_v<T, Fill>) {
                    if (visible.intersects(op.path.boundingRect())) {
                        count();
                        context.fill(op.path, op.color, op.style);
                    }
                } else if constexpr (std::is_same_v<T, Stroke>) {
                    const CGFloat w = op.style.lineWidth;
                    if (visible.intersects(op.path.boundingRect().insetBy(-w, -w))) {
                        count();
                        context.stroke(op.path, op.color, op.style);
                    }
                } else if constexpr (std::is_same_v<T, DrawText>) {
                    if (visible.intersects(textBox(op.origin, op.layout->size()))) {
                        count();
                        op.layout->draw(context, op.origin, op.color);
                    }
                } else if constexpr (std::is_same_v<T, DrawImage>) {
                    if (op.image.isNull() || !visible.intersects(op.rect)) {
                        return;
                    }
                    count();
                    if (op.interpolation == Interpolation::none) {
                        drawNearest(context, op.image, op.rect);
                    } else {
                        context.draw(op.image, op.rect);
                    }
                } else if constexpr (std::is_same_v<T, Closure>) {
                    if (!visible.intersects(op.rect)) {
                        return;
                    }
                    count();
                    context.save();
                    context.translateBy(op.rect.origin.x, op.rect.origin.y);
                    context.clip(Rect({0, 0}, op.rect.size));
                    op.draw(context);
                    context.restore();
                } else if constexpr (std::is_same_v<T, Sublist>) {
                    if (!op.list || !visible.intersects(boundsOf(op))) {
                        return;
                    }
                    context.save();
                    context.translateBy(op.offset.x, op.offset.y);
                    op.list->list().draw(context, drawn);
                    context.restore();
                }
            },
            item);
    }
}

} // namespace platform::ui
