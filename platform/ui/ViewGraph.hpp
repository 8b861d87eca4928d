#pragma once

// The host interface: a tree of persistent nodes for one root view. A host (the offscreen host
// of tests, the GTK widget of the window) sets the root view and base environment, proposes a
// size, and draws; it forwards pointer, key and scroll events and asks for context menus and
// cursors. The graph tells the host when it needs a new frame.
//
// Updates: a state change, an observed property change or a new root marks nodes dirty and
// schedules one update on the main executor (all changes of one main-loop turn make one update),
// unless the host installed an update scheduler of its own. An update re-evaluates dirty bodies,
// reconciles children by identity, runs change observers, lays out at the proposed size,
// collects preferences and runs preference and geometry observers. Observers that change state
// again start another pass; after `maxPassesPerUpdate` passes the update stops (a feedback loop
// that does not settle is cut off, not spun forever) and what is still dirty waits for the next
// outside change.
//
// A graph, its views' bodies, observers and events all run on the main thread.

#include "platform/graphics/GraphicsContext.hpp"
#include "platform/ui/DisplayList.hpp"
#include "platform/ui/View.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform::ui {

/// How far beyond the part shown, `shown` long along an axis, work is done ahead of a scroll:
/// rows laid out and placed, strips of pixels drawn, columns of a wide table built. Half of it: a
/// short scroll finds its work done, and a long one pays only for what it reaches.
constexpr CGFloat marginAhead(CGFloat shown) {
    return shown / 2;
}

/// A host draws what lies ahead in bands at most this tall, each band that starts within the
/// margin drawn whole: rows are placed as far beyond the margin, so that no band drawn ahead
/// misses a row and is drawn again once it is placed.
constexpr CGFloat bandAhead = 128;

class ViewGraph {
public:
    static constexpr int maxPassesPerUpdate = 16;

    explicit ViewGraph(AnyView root = AnyView(), EnvironmentValues environment = {});
    ~ViewGraph();
    ViewGraph(const ViewGraph&) = delete;
    ViewGraph& operator=(const ViewGraph&) = delete;

    void setRootView(AnyView root);
    void setEnvironment(EnvironmentValues environment);
    const EnvironmentValues& environment() const;
    /// The size the root is offered; unspecified dimensions take the root's ideal size.
    void setProposal(ProposedViewSize proposal);

    /// The part of the root the host shows, in root coordinates (none: all of it, the default).
    /// Lazy stacks build, lay out and draw the rows in and near it first and estimate the rest;
    /// a new rectangle (scrolling) lays out the rows that come into view in the next update.
    void setVisibleRect(std::optional<Rect> rect);
    std::optional<Rect> visibleRect() const;
    /// Whether lazy stacks still estimate some rows or left some stale (not yet evaluated in a
    /// new environment or with new views): the root's size may not be exact yet.
    bool hasDeferredLayout() const;
    /// Lays out rows that lazy stacks estimate and brings stale ones up to date, then updates,
    /// for about `budget` in all (at least one row each); returns whether rows still wait. Hosts
    /// call it in idle time until it returns false, so that the extent (scroll bar, selection)
    /// becomes exact.
    bool layOutDeferred(std::chrono::microseconds budget);
    /// Places the rows of lazy stacks around the visible part, as far as they lay out beyond it,
    /// where those placed before fall short of that (the part moved since), and updates; whether
    /// it did. Hosts call it in idle time, so that a scroll that follows finds its rows placed.
    bool placeAhead();
    /// How far the rows shown moved down (up when negative) since last asked, because rows
    /// above them that had been estimated or left stale were laid out (in `layOutDeferred` or in
    /// an update). The visible rectangle moved with them; a host scrolls as far, so that they
    /// stay where the viewer sees them.
    CGFloat takeScrollCorrection();
    /// Scrolls the horizontal scroll views at the height of `rect` (root coordinates) by the least
    /// that brings it into them, and answers where it then lies: a host showing `rect` (see
    /// `ScrollRectToVisibleAction`) scrolls these first, then itself.
    Rect scrollToShow(Rect rect);

    /// Called when the graph needs drawing again (after an update that changed anything, or a
    /// timeline frame).
    void setNeedsDisplayHandler(std::function<void()> handler);
    /// Replaces the main-executor scheduling of updates: `schedule()` is called (once until the
    /// next update) when an update is needed; the host then calls `update()`.
    void setUpdateScheduler(std::function<void()> schedule);

    /// Brings everything up to date now (also what the scheduled update runs).
    void update();
    /// Whether an update is needed.
    bool needsUpdate() const;
    /// Passes run by the last update, and whether it stopped at the limit.
    int lastUpdatePasses() const;
    bool lastUpdateWasCutOff() const;

    /// The root's size after the last update.
    Size size() const;
    /// The root's size for a proposal, without placing anything.
    Size sizeThatFits(ProposedViewSize proposal);
    DisplayList displayList() const;
    /// Where the drawing changed since the last call, in root coordinates, as rectangles that
    /// may overlap: where a list recorded again drew before or draws now (a change inside a
    /// canvas's symbol counts for the whole canvas). A host that keeps pixels of the drawing
    /// draws again those the rectangles meet. Changes are kept only once this was called: the
    /// first call returns one rectangle holding everything.
    std::vector<Rect> takeDamage();
    /// Draws the last layout; `context`'s transform maps root coordinates (points) to the
    /// surface, so a host drawing at a display scale scales the context first. System colours
    /// resolve in the environment's colour scheme and contrast.
    void draw(platform::GraphicsContext& context) const;

    // Input. Locations are in root coordinates. Each returns whether something handled it.
    // Keys go to the interaction object that took the last press; before any, to the first one in
    // the tree that takes keys. A press that no object takes gives the keys to the first such
    // object inside the innermost view under it (a click in a text's margin, to that text).
    bool pointerEvent(const PointerEvent& event);
    bool keyEvent(const KeyEvent& event);
    bool scrollEvent(const ScrollEvent& event);
    std::vector<MenuItem> contextMenu(Point location);
    CursorShape cursor(Point location) const;
    /// Whether a view with a key-taking interaction object has focus.
    bool hasFocus() const;
    /// Whether the window showing the graph is the active one (it is unless the host says
    /// otherwise). Focus leaves with the window, telling the object that had it, and comes back to
    /// that object with the window.
    void setWindowActive(bool active);

    /// Whether timeline views want frames; the host then calls `advanceFrame` once per
    /// display frame.
    bool wantsAnimationFrames() const;
    void advanceFrame(std::chrono::steady_clock::time_point now);

    /// Work done since the graph was made, counted (for tests and benchmarks: the engine's
    /// cost must follow what changed and what is visible).
    struct Statistics {
        /// Bodies evaluated.
        std::uint64_t bodyEvaluations = 0;
        /// Nodes brought up to a new view or environment (evaluated again).
        std::uint64_t nodeUpdates = 0;
        /// Sizes computed (not answered from a node's cache).
        std::uint64_t sizeComputations = 0;
        /// Nodes whose children were placed again.
        std::uint64_t placements = 0;
        /// Display lists recorded (not reused).
        std::uint64_t recordings = 0;
        /// Layout observers run because something they see changed.
        std::uint64_t observerRuns = 0;
        /// Preference values of children (or of runs of them) combined into their parents':
        /// those of unchanged runs of many children are reused, not combined again.
        std::uint64_t preferencesCombined = 0;
        /// Nodes visited by hit testing and cursor lookup.
        std::uint64_t hitTestVisits = 0;
        /// Drawing operations replayed (text, shapes, images, canvases): those outside the
        /// region drawn are skipped.
        std::uint64_t drawnOperations = 0;
        /// Rows of lazy stacks looked at by idle layout and by asking whether rows wait for it:
        /// each row once per change that concerns it, never again per slice or per frame.
        std::uint64_t deferredRowsVisited = 0;
    };
    const Statistics& statistics() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace platform::ui
