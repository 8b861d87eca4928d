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

void drawVisible(const DisplayList& list, platform::GraphicsContext& context, std::uint64_t* drawn,
                 Rect visible);

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
    drawVisible(*this, context, drawn, context.clipBoundingRect());
}

namespace {

/// Replays `list`, of which only `visible` (in the list's coordinates: the clip's bounds) shows.
/// A sublist is handed the same rectangle moved by its offset, not the context's clip asked
/// again: a page's lists nest a few dozen deep.
void drawVisible(const DisplayList& list, platform::GraphicsContext& context, std::uint64_t* drawn,
                 Rect visible) {
    using Item = DisplayList::Item;
    const auto count = [drawn] {
        if (drawn != nullptr) {
            ++*drawn;
        }
    };
    std::vector<Rect> savedVisible;
    for (const Item& item : list.items()) {
        std::visit(
            [&](const auto& op) {
                using T = std::decay_t<decltype(op)>;
                if constexpr (std::is_same_v<T, DisplayList::Save>) {
                    context.save();
                    savedVisible.push_back(visible);
                } else if constexpr (std::is_same_v<T, DisplayList::Restore>) {
                    context.restore();
                    if (!savedVisible.empty()) {
                        visible = savedVisible.back();
                        savedVisible.pop_back();
                    }
                } else if constexpr (std::is_same_v<T, DisplayList::Clip>) {
                    context.clip(op.path);
                    visible = context.clipBoundingRect();
                } else if constexpr (std::is_same_v<T, DisplayList::BeginLayer>) {
                    context.save();
                    savedVisible.push_back(visible);
                    context.setOpacity(context.opacity() * op.opacity);
                    context.beginLayer();
                } else if constexpr (std::is_same_v<T, DisplayList::EndLayer>) {
                    context.endLayer();
                    context.restore();
                    if (!savedVisible.empty()) {
                        visible = savedVisible.back();
                        savedVisible.pop_back();
                    }
                } else if constexpr (std::is_same_v<T, DisplayList::Transform>) {
                    context.concatenate(op.transform);
                    visible = context.clipBoundingRect();
                } else if constexpr (std::is_same_v<T, DisplayList::Fill>) {
                    if (visible.intersects(op.path.boundingRect())) {
                        count();
                        context.fill(op.path, op.color, op.style);
                    }
                } else if constexpr (std::is_same_v<T, DisplayList::Stroke>) {
                    const CGFloat w = op.style.lineWidth;
                    if (visible.intersects(op.path.boundingRect().insetBy(-w, -w))) {
                        count();
                        context.stroke(op.path, op.color, op.style);
                    }
                } else if constexpr (std::is_same_v<T, DisplayList::DrawText>) {
                    if (visible.intersects(textBox(op.origin, op.layout->size()))) {
                        count();
                        op.layout->draw(context, op.origin, op.color);
                    }
                } else if constexpr (std::is_same_v<T, DisplayList::DrawImage>) {
                    if (op.image.isNull() || !visible.intersects(op.rect)) {
                        return;
                    }
                    count();
                    if (op.interpolation == Interpolation::none) {
                        drawNearest(context, op.image, op.rect);
                    } else {
                        context.draw(op.image, op.rect);
                    }
                } else if constexpr (std::is_same_v<T, DisplayList::Closure>) {
                    if (!visible.intersects(op.rect)) {
                        return;
                    }
                    count();
                    context.save();
                    context.translateBy(op.rect.origin.x, op.rect.origin.y);
                    context.clip(Rect({0, 0}, op.rect.size));
                    op.draw(context);
                    context.restore();
                } else if constexpr (std::is_same_v<T, DisplayList::Sublist>) {
                    if (!op.list) {
                        return;
                    }
                    const Rect bounds = op.list->bounds();
                    if (bounds.isNull() ||
                        !visible.intersects(bounds.offsetBy(op.offset.x, op.offset.y))) {
                        return;
                    }
                    context.save();
                    context.translateBy(op.offset.x, op.offset.y);
                    drawVisible(op.list->list(), context, drawn,
                                visible.offsetBy(-op.offset.x, -op.offset.y));
                    context.restore();
                }
            },
            item);
    }
}

} // namespace

} // namespace platform::ui
