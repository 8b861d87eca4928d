#include "platform/ui/DisplayList.hpp"

#include "platform/graphics/CairoAccess.hpp"
#include "platform/ui/Shapes.hpp"

#include <atomic>
#include <cstring>
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

/// Glyphs may reach beyond a text's typographic box (italics, accents).
Rect textBox(Point origin, Size s) {
    return Rect(origin, s).insetBy(-s.height - 4, -s.height - 4);
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

std::uint64_t DisplayList::stamp() const {
    // One counter for every list, so that a stamp names one content however lists are made,
    // copied and freed (a list's address may come back for another one).
    static std::atomic<std::uint64_t> lastStamp{0};
    if (stamp_ == 0) {
        stamp_ = lastStamp.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    return stamp_;
}

namespace {

std::uint64_t mix(std::uint64_t hash, std::uint64_t value) {
    // 64-bit FNV-like mixing with a final avalanche step per value: stamps are small counters.
    value ^= value >> 33;
    value *= 0xff51afd7ed558ccdULL;
    value ^= value >> 33;
    return (hash ^ value) * 0x100000001b3ULL;
}

/// What `fingerprint` walks: the lists the replay of `visible` visits, as `drawVisible` skips
/// them. A list that only places sublists there stands for the sublists it places and where; one
/// that draws there itself, or clips, transforms or fades, for its whole content (its stamp). Clips
/// are not narrowed (they only ever hide more), and after a transform everything counts.
void fingerprintVisible(const DisplayList& list, Rect visible, std::uint64_t& hash,
                        bool& drawsAtReplay) {
    using DL = DisplayList;
    constexpr CGFloat far = 1e15;
    constexpr std::uint64_t enter = 0x656e746572ULL;
    constexpr std::uint64_t leave = 0x6c65617665ULL;
    const auto bits = [](CGFloat v) {
        std::uint64_t b = 0;
        static_assert(sizeof b == sizeof v);
        std::memcpy(&b, &v, sizeof b);
        return b;
    };
    bool drawsHere = false;
    std::vector<Rect> saved;
    for (const DL::Item& item : list.items()) {
        switch (item.index()) {
        case variantIndex<DL::Save>:
            saved.push_back(visible);
            break;
        case variantIndex<DL::BeginLayer>:
            drawsHere = true;
            saved.push_back(visible);
            break;
        case variantIndex<DL::Restore>:
        case variantIndex<DL::EndLayer>:
            if (!saved.empty()) {
                visible = saved.back();
                saved.pop_back();
            }
            break;
        case variantIndex<DL::Clip>:
            drawsHere = true;
            break;
        case variantIndex<DL::Transform>:
            drawsHere = true;
            visible = Rect(-far, -far, 2 * far, 2 * far);
            break;
        case variantIndex<DL::Fill>:
            drawsHere =
                drawsHere || visible.intersects(std::get_if<DL::Fill>(&item)->path.boundingRect());
            break;
        case variantIndex<DL::Stroke>: {
            const auto& op = *std::get_if<DL::Stroke>(&item);
            const CGFloat w = op.style.lineWidth;
            drawsHere = drawsHere || visible.intersects(op.path.boundingRect().insetBy(-w, -w));
            break;
        }
        case variantIndex<DL::DrawText>: {
            const auto& op = *std::get_if<DL::DrawText>(&item);
            drawsHere = drawsHere || visible.intersects(textBox(op.origin, op.layout->size()));
            break;
        }
        case variantIndex<DL::DrawImage>:
            drawsHere = drawsHere || visible.intersects(std::get_if<DL::DrawImage>(&item)->rect);
            break;
        case variantIndex<DL::Closure>:
            if (visible.intersects(std::get_if<DL::Closure>(&item)->rect)) {
                drawsHere = true;
                drawsAtReplay = true;
            }
            break;
        case variantIndex<DL::Sublist>: {
            const auto& op = *std::get_if<DL::Sublist>(&item);
            if (!op.list) {
                break;
            }
            const Rect bounds = op.list->bounds();
            if (bounds.isNull() || !visible.intersects(bounds.offsetBy(op.offset.x, op.offset.y))) {
                break;
            }
            hash = mix(mix(mix(hash, enter), bits(op.offset.x)), bits(op.offset.y));
            fingerprintVisible(op.list->list(), visible.offsetBy(-op.offset.x, -op.offset.y), hash,
                               drawsAtReplay);
            hash = mix(hash, leave);
            break;
        }
        default:
            break;
        }
    }
    if (drawsHere) {
        hash = mix(hash, list.stamp());
    }
}

} // namespace

std::uint64_t DisplayList::fingerprint(Rect region, bool* drawsAtReplay) const {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    bool closures = false;
    fingerprintVisible(*this, region, hash, closures);
    if (drawsAtReplay != nullptr) {
        *drawsAtReplay = closures;
    }
    return hash;
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
            if (visible.intersects(textBox(op.origin, op.layout->size()))) {
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
