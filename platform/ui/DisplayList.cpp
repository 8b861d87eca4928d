#include "platform/ui/DisplayList.hpp"

#include "platform/graphics/CairoAccess.hpp"
#include "platform/ui/Shapes.hpp"

#include <algorithm>
#include <optional>
#include <type_traits>
#include <variant>
#include <vector>

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

/// The index of the alternative `T` in a display list's item variant.
template <class T, std::size_t I = 0>
constexpr std::size_t indexInItem() {
    if constexpr (std::is_same_v<std::variant_alternative_t<I, DisplayList::Item>, T>) {
        return I;
    } else {
        return indexInItem<T, I + 1>();
    }
}
template <class T>
constexpr std::size_t variantIndex = indexInItem<T>();

/// Where a text drawn at `origin` may put ink: its lines' box (a right-aligned or right-to-left
/// line starts where the wrap width puts it, not at the origin), widened since glyphs may reach
/// beyond it (italics, accents) by as much as a line is tall. Not by the whole text's height: a
/// long paragraph's box would reach a screen beyond it, and every change to it would draw again
/// what lies there.
Rect textBox(Point origin, const platform::TextLayout& layout) {
    const Size s = layout.size();
    const Rect lines = layout.bounds();
    const Rect box = lines.isNull() ? Rect(origin, s) : lines.offsetBy(origin.x, origin.y);
    const CGFloat reach = (lines.isNull() ? s.height : layout.tallestLine()) + 4;
    return box.insetBy(-reach, -reach);
}

/// The visible rectangles saved by the Save and BeginLayer items still open, of every list being
/// drawn: one stack for the whole replay.
using SavedVisible = std::vector<Rect>;

void drawVisible(const DisplayList& list, platform::GraphicsContext& context, std::uint64_t* drawn,
                 Rect visible, SavedVisible& saved);

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
    return textBox(op.origin, *op.layout);
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

namespace {

/// Whether two fills, or two strokes, paint the same.
template <class Paint>
bool samePaint(const Paint& x, const Paint& y) {
    return x.color == y.color && x.style == y.style && x.path == y.path;
}

/// Whether two items draw the same: of one kind, with equal operands (a closure never equals
/// another: what it draws is not known until it runs).
bool sameItem(const DisplayList::Item& a, const DisplayList::Item& b) {
    using DL = DisplayList;
    if (a.index() != b.index()) {
        return false;
    }
    switch (a.index()) {
    case variantIndex<DL::Save>:
    case variantIndex<DL::Restore>:
    case variantIndex<DL::EndLayer>:
        return true;
    case variantIndex<DL::Clip>:
        return std::get_if<DL::Clip>(&a)->path == std::get_if<DL::Clip>(&b)->path;
    case variantIndex<DL::BeginLayer>:
        return std::get_if<DL::BeginLayer>(&a)->opacity == std::get_if<DL::BeginLayer>(&b)->opacity;
    case variantIndex<DL::Transform>:
        return std::get_if<DL::Transform>(&a)->transform ==
               std::get_if<DL::Transform>(&b)->transform;
    case variantIndex<DL::Fill>:
        return samePaint(*std::get_if<DL::Fill>(&a), *std::get_if<DL::Fill>(&b));
    case variantIndex<DL::Stroke>:
        return samePaint(*std::get_if<DL::Stroke>(&a), *std::get_if<DL::Stroke>(&b));
    case variantIndex<DL::DrawText>: {
        const auto& x = *std::get_if<DL::DrawText>(&a);
        const auto& y = *std::get_if<DL::DrawText>(&b);
        return x.layout == y.layout && x.origin == y.origin && x.color == y.color;
    }
    case variantIndex<DL::DrawImage>: {
        const auto& x = *std::get_if<DL::DrawImage>(&a);
        const auto& y = *std::get_if<DL::DrawImage>(&b);
        return x.rect == y.rect && x.interpolation == y.interpolation && x.image == y.image;
    }
    case variantIndex<DL::Sublist>: {
        const auto& x = *std::get_if<DL::Sublist>(&a);
        const auto& y = *std::get_if<DL::Sublist>(&b);
        // A list recorded again in place tells of its own change.
        return x.list == y.list && x.offset == y.offset;
    }
    default:
        return false;
    }
}

/// Where an item draws, as the list saw it when the item was appended; none for the items that
/// change how the others draw (clips, layers, transforms).
std::optional<Rect> drawnBounds(const DisplayList::Item& item) {
    using DL = DisplayList;
    switch (item.index()) {
    case variantIndex<DL::Fill>:
        return std::get_if<DL::Fill>(&item)->path.boundingRect();
    case variantIndex<DL::Stroke>: {
        const auto& op = *std::get_if<DL::Stroke>(&item);
        const CGFloat w = op.style.lineWidth;
        return op.path.boundingRect().insetBy(-w, -w);
    }
    case variantIndex<DL::DrawText>: {
        const auto& op = *std::get_if<DL::DrawText>(&item);
        return textBox(op.origin, *op.layout);
    }
    case variantIndex<DL::DrawImage>:
        return std::get_if<DL::DrawImage>(&item)->rect;
    case variantIndex<DL::Closure>:
        return std::get_if<DL::Closure>(&item)->rect;
    case variantIndex<DL::Sublist>:
        return std::get_if<DL::Sublist>(&item)->bounds;
    default:
        return std::nullopt;
    }
}

} // namespace

void DisplayList::addChange(std::vector<Rect>& runs, Rect r) {
    if (r.isNull()) {
        return;
    }
    for (Rect& run : runs) {
        if (run.insetBy(-1, -1).intersects(r)) {
            run = run.unionWith(r);
            return;
        }
    }
    runs.push_back(r);
}

std::vector<Rect> DisplayList::difference(const DisplayList& before, const DisplayList& after) {
    const std::vector<Item>& a = before.items_;
    const std::vector<Item>& b = after.items_;
    // The items both start and end with alike draw alike (what comes before them is the same);
    // those between them may differ.
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && sameItem(a[head], b[head])) {
        ++head;
    }
    std::size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           sameItem(a[a.size() - 1 - tail], b[b.size() - 1 - tail])) {
        ++tail;
    }
    const auto whole = [&] {
        const Rect r = before.bounds_.isNull()  ? after.bounds_
                       : after.bounds_.isNull() ? before.bounds_
                                                : before.bounds_.unionWith(after.bounds_);
        return r.isNull() ? std::vector<Rect>{} : std::vector<Rect>{r};
    };
    // After a transform an item's rectangle is not where it lands.
    for (std::size_t i = 0; i < head; ++i) {
        if (a[i].index() == variantIndex<Transform>) {
            return whole();
        }
    }
    // Sublists found in both, in the same order and at the same place, draw as before: the rows
    // of a stack that stay while others come and go around them (a lazy stack's rows placed as
    // it scrolls) change nothing where they are.
    std::vector<std::pair<const RetainedList*, std::size_t>> kept;
    for (std::size_t i = head; i + tail < a.size(); ++i) {
        if (const auto* sub = std::get_if<Sublist>(&a[i])) {
            kept.emplace_back(sub->list.get(), i);
        }
    }
    std::sort(kept.begin(), kept.end());
    std::vector<bool> unchanged(a.size(), false);
    std::vector<Rect> changed;
    const auto add = [&](const Item& item) {
        const std::optional<Rect> r = drawnBounds(item);
        // A clip, a layer or a transform that differs changes how all after it draw.
        if (!r) {
            return false;
        }
        addChange(changed, *r);
        return true;
    };
    std::size_t nextKept = head;
    for (std::size_t j = head; j + tail < b.size(); ++j) {
        if (const auto* sub = std::get_if<Sublist>(&b[j])) {
            const auto found =
                std::lower_bound(kept.begin(), kept.end(), std::make_pair(sub->list.get(), head));
            if (found != kept.end() && found->first == sub->list.get() &&
                found->second >= nextKept && sameItem(a[found->second], b[j])) {
                unchanged[found->second] = true;
                nextKept = found->second + 1;
                continue;
            }
        }
        if (!add(b[j])) {
            return whole();
        }
    }
    for (std::size_t i = head; i + tail < a.size(); ++i) {
        if (!unchanged[i] && !add(a[i])) {
            return whole();
        }
    }
    return changed;
}

void DisplayList::draw(platform::GraphicsContext& context, std::uint64_t* drawn) const {
    SavedVisible saved;
    drawVisible(*this, context, drawn, context.clipBoundingRect(), saved);
}

namespace {

/// Replays `list`, of which only `visible` (in the list's coordinates: the clip's bounds) shows.
/// A sublist is handed the same rectangle moved by its offset, not the context's clip asked
/// again: a page's lists nest a few dozen deep. The items are told apart by their index in the
/// variant, in a switch the compiler sees whole, rather than through a table of visitors.
void drawVisible(const DisplayList& list, platform::GraphicsContext& context, std::uint64_t* drawn,
                 Rect visible, SavedVisible& saved) {
    using DL = DisplayList;
    using Item = DL::Item;
    const std::size_t base = saved.size();
    const auto count = [drawn] {
        if (drawn != nullptr) {
            ++*drawn;
        }
    };
    const auto pop = [&] {
        // Only what this list saved: a Restore without its Save leaves the caller's.
        if (saved.size() > base) {
            visible = saved.back();
            saved.pop_back();
        }
    };
    for (const Item& item : list.items()) {
        switch (item.index()) {
        case variantIndex<DL::Save>:
            context.save();
            saved.push_back(visible);
            break;
        case variantIndex<DL::Restore>:
            context.restore();
            pop();
            break;
        case variantIndex<DL::Clip>:
            context.clip(std::get_if<DL::Clip>(&item)->path);
            visible = context.clipBoundingRect();
            break;
        case variantIndex<DL::BeginLayer>:
            context.save();
            saved.push_back(visible);
            context.setOpacity(context.opacity() * std::get_if<DL::BeginLayer>(&item)->opacity);
            context.beginLayer();
            break;
        case variantIndex<DL::EndLayer>:
            context.endLayer();
            context.restore();
            pop();
            break;
        case variantIndex<DL::Transform>:
            context.concatenate(std::get_if<DL::Transform>(&item)->transform);
            visible = context.clipBoundingRect();
            break;
        case variantIndex<DL::Fill>: {
            const auto& op = *std::get_if<DL::Fill>(&item);
            if (visible.intersects(op.path.boundingRect())) {
                count();
                context.fill(op.path, op.color, op.style);
            }
            break;
        }
        case variantIndex<DL::Stroke>: {
            const auto& op = *std::get_if<DL::Stroke>(&item);
            const CGFloat w = op.style.lineWidth;
            if (visible.intersects(op.path.boundingRect().insetBy(-w, -w))) {
                count();
                context.stroke(op.path, op.color, op.style);
            }
            break;
        }
        case variantIndex<DL::DrawText>: {
            const auto& op = *std::get_if<DL::DrawText>(&item);
            if (visible.intersects(textBox(op.origin, *op.layout))) {
                count();
                op.layout->draw(context, op.origin, op.color);
            }
            break;
        }
        case variantIndex<DL::DrawImage>: {
            const auto& op = *std::get_if<DL::DrawImage>(&item);
            if (op.image.isNull() || !visible.intersects(op.rect)) {
                break;
            }
            count();
            if (op.interpolation == Interpolation::none) {
                drawNearest(context, op.image, op.rect);
            } else {
                context.draw(op.image, op.rect);
            }
            break;
        }
        case variantIndex<DL::Closure>: {
            const auto& op = *std::get_if<DL::Closure>(&item);
            if (!visible.intersects(op.rect)) {
                break;
            }
            count();
            context.save();
            context.translateBy(op.rect.origin.x, op.rect.origin.y);
            context.clip(Rect({0, 0}, op.rect.size));
            op.draw(context);
            context.restore();
            break;
        }
        case variantIndex<DL::Sublist>: {
            const auto& op = *std::get_if<DL::Sublist>(&item);
            if (!op.list) {
                break;
            }
            const Rect bounds = op.list->bounds();
            if (bounds.isNull() || !visible.intersects(bounds.offsetBy(op.offset.x, op.offset.y))) {
                break;
            }
            context.save();
            context.translateBy(op.offset.x, op.offset.y);
            drawVisible(op.list->list(), context, drawn,
                        visible.offsetBy(-op.offset.x, -op.offset.y), saved);
            context.restore();
            break;
        }
        default:
            break;
        }
    }
    saved.resize(base);
}

} // namespace

} // namespace platform::ui
