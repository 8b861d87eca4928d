#pragma once

// What a layout pass draws, as a list of drawing operations, replayed into any graphics context
// (an offscreen image or a window). Each node keeps the list of its subtree in its own
// coordinates in a `RetainedList`, and its parent's list refers to that (`Sublist`): a node whose
// drawing changes records its list again in place, and the lists above it, unchanged, draw the
// new one; an unchanged subtree is not recorded again, and one outside the visible region is
// skipped whole. A list is thus a view of the tree's drawing when it is drawn, not a copy of it
// when it was taken.

#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/Image.hpp"
#include "platform/graphics/Path.hpp"
#include "platform/text/TextLayout.hpp"
#include "platform/ui/Environment.hpp"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace platform::ui {

enum class Interpolation : std::uint8_t;

class RetainedList;

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
    /// The list a subtree keeps (as it is when drawn), with its origin at `offset`. `bounds` is
    /// where it drew when appended (set by `append`): the list may be recorded again in place
    /// since, and what it covered then is what a change of this item uncovers.
    struct Sublist {
        std::shared_ptr<const RetainedList> list;
        Point offset;
        Rect bounds = Rect::null();
    };
    using Item = std::variant<Save, Restore, Clip, BeginLayer, EndLayer, Transform, Fill, Stroke,
                              DrawText, DrawImage, Closure, Sublist>;

    DisplayList() = default;
    DisplayList(const DisplayList&) = default;
    DisplayList& operator=(const DisplayList&) = default;
    /// A list moved from is left empty.
    DisplayList(DisplayList&& other) noexcept
        : items_(std::move(other.items_))
        , bounds_(other.bounds_) {
        other.clear();
    }
    DisplayList& operator=(DisplayList&& other) noexcept {
        if (this != &other) {
            items_ = std::move(other.items_);
            bounds_ = other.bounds_;
            other.clear();
        }
        return *this;
    }

    template <class Op>
    void append(Op&& op) {
        const Rect bounds = boundsOf(op);
        include(bounds);
        // Built in place: a moved variant temporary trips g++ 12's uninitialised-use analysis.
        auto& item =
            items_.emplace_back(std::in_place_type<std::decay_t<Op>>, std::forward<Op>(op));
        if constexpr (std::is_same_v<std::decay_t<Op>, Sublist>) {
            std::get_if<Sublist>(&item)->bounds = bounds;
        }
    }
    const std::vector<Item>& items() const { return items_; }
    bool empty() const { return items_.empty(); }
    void clear() {
        items_.clear();
        bounds_ = Rect::null();
    }
    /// Takes the items of `other`, which is left empty with its room kept: a list recorded into
    /// reused room is kept in room of its own exact size.
    void takeItemsOf(DisplayList& other) {
        items_.clear();
        items_.reserve(other.items_.size());
        std::move(other.items_.begin(), other.items_.end(), std::back_inserter(items_));
        bounds_ = other.bounds_;
        other.clear();
    }
    /// Rectangles holding what `before` and `after` draw differently, in their coordinates: the
    /// items of each that the other does not have in the same place (one rectangle per run of
    /// neighbouring ones), or everything either draws where a clip, a layer or a transform
    /// differs. A list both refer to at the same place counts as the same: a change inside it is
    /// for its own subtree to tell.
    static std::vector<Rect> difference(const DisplayList& before, const DisplayList& after);
    /// Adds the changed rectangle `r` to `runs`, into a run it meets: rows that went above the
    /// part shown and rows that came below it make two runs, not one across it.
    static void addChange(std::vector<Rect>& runs, Rect r);
    /// A rectangle holding everything the list draws (infinite after a transform).
    Rect bounds() const { return bounds_; }
    /// Replays the list. Text, shapes and sublists wholly outside the context's clip are
    /// skipped; `drawn`, when given, counts the operations that were not.
    void draw(platform::GraphicsContext& context, std::uint64_t* drawn = nullptr) const;

private:
    static Rect boundsOf(const Save&) { return Rect::null(); }
    static Rect boundsOf(const Restore&) { return Rect::null(); }
    static Rect boundsOf(const Clip&) { return Rect::null(); }
    static Rect boundsOf(const BeginLayer&) { return Rect::null(); }
    static Rect boundsOf(const EndLayer&) { return Rect::null(); }
    static Rect boundsOf(const Transform&);
    static Rect boundsOf(const Fill& op);
    static Rect boundsOf(const Stroke& op);
    static Rect boundsOf(const DrawText& op);
    static Rect boundsOf(const DrawImage& op) { return op.rect; }
    static Rect boundsOf(const Closure& op) { return op.rect; }
    static Rect boundsOf(const Sublist& op);
    void include(Rect r);
    std::vector<Item> items_;
    Rect bounds_ = Rect::null();
};

/// Where a subtree keeps its drawing: the subtree records a new list into it when its drawing
/// changes, and the lists that refer to it draw whichever it holds then.
class RetainedList {
public:
    const DisplayList& list() const { return list_; }
    Rect bounds() const { return list_.bounds(); }
    void set(DisplayList list) { list_ = std::move(list); }
    /// Takes the items of `recorded` (left empty, its room kept for the next recording).
    void take(DisplayList& recorded) { list_.takeItemsOf(recorded); }

private:
    DisplayList list_;
};

} // namespace platform::ui
