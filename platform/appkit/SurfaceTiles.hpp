#pragma once

// The window's drawing of a view tree, kept as strips of pixels. The toolkit's own Cairo drawing
// hands out a recording surface, which the drawing context can only feed through Cairo's general
// paths, and which the toolkit replays into pixels again for every frame; the context's direct
// paths (glyphs composited straight into the pixels, fills and strokes written directly, curved
// clips applied only where they cut) run only on image surfaces. So the host draws what is shown
// into image surfaces of its own, exactly as an offscreen render would, and hands them to the
// toolkit as textures: strips as wide as the widget, one after another down the tree, at the
// display's scale.
//
// A strip is drawn again only when something it shows changed: the graph tells where its drawing
// changed (ViewGraph::takeDamage: where each list recorded again drew before and draws now), and
// the strips those rectangles meet are drawn again before they are shown. Scrolling moves the
// strips and draws only those that come into view; the ones far from the view are let go. Between
// frames, the strips just beyond the view are drawn ahead (`drawAhead`), nearest first and those
// the view last moved towards before the others, so that a scroll frame mostly only moves strips
// that exist.
//
// Main thread only; included by the GTK host alone.

#include "platform/graphics/Color.hpp"
#include "platform/graphics/Geometry.hpp"

#include <chrono>
#include <cstdint>
#include <gtk/gtk.h>
#include <map>
#include <vector>

namespace platform::ui {
class ViewGraph;
} // namespace platform::ui

namespace platform {

class SurfaceTiles {
public:
    /// The height of a strip, in points.
    static constexpr int stripPoints = 128;

    SurfaceTiles() = default;
    ~SurfaceTiles();
    SurfaceTiles(const SurfaceTiles&) = delete;
    SurfaceTiles& operator=(const SurfaceTiles&) = delete;

    /// Lets every strip go, and forgets what was shown: nothing is drawn ahead until the next
    /// snapshot.
    void clear();

    /// Appends to `snapshot` the part of `graph` a widget of `size` points shows when scrolled
    /// down by `offset` points, at `scale` device pixels a point, in `appearance`; draws the
    /// strips that are missing or stale. Only the strips that reach into `shown` (the part of the
    /// widget on screen, in its points) are drawn and kept, and those within the margin ahead of
    /// it. The offset is rounded to device pixels, so
    /// that every pixel of a strip lands on one of the display's. The strips go to the toolkit as
    /// textures (a renderer that uploads them once), or else painted in a Cairo node (the Cairo
    /// renderer). With `cutAtEdges`, a strip that reaches beyond `shown` goes as a texture of its
    /// rows shown alone, which no clip cuts (a GL renderer that has not yet drawn a texture under a
    /// clip would first make the code for it).
    void snapshot(GtkSnapshot* snapshot, ui::ViewGraph& graph, Size size, double offset, int scale,
                  Appearance appearance, bool asTextures, Rect shown, bool cutAtEdges = false);

    /// Draws strips near the part last shown that are missing or may have changed, until
    /// `deadline` (at least one); returns whether some are still to draw. Drawn from the tree as
    /// it stands: call it only when `graph` is up to date (no update pending).
    bool drawAhead(ui::ViewGraph& graph, std::chrono::steady_clock::time_point deadline);

    struct Statistics {
        /// Strips drawn for a frame, because they were missing or may have changed.
        std::uint64_t stripsDrawn = 0;
        /// Strips drawn ahead, between frames.
        std::uint64_t stripsDrawnAhead = 0;
        /// Strips a frame showed as they were.
        std::uint64_t stripsReused = 0;
    };
    [[nodiscard]] const Statistics& statistics() const { return statistics_; }
    /// How many strips are kept now, with their pixels.
    [[nodiscard]] std::size_t stripsKept() const { return strips_.size(); }

private:
    struct Strip {
        cairo_surface_t* pixels = nullptr; // one reference
        GdkTexture* texture = nullptr;     // one reference, made when first asked for
        // Something it shows changed since it was drawn.
        bool stale = false;
    };
    static void release(Strip& strip);
    cairo_surface_t* draw(const ui::ViewGraph& graph, long index) const;
    GdkTexture* textureOf(Strip& strip) const;
    // A new texture of `count` rows of the strip's pixels from row `first`, sharing them.
    static GdkTexture* rowsOf(const Strip& strip, long first, long count);
    // Marks the strips the graph's drawing changed in as stale.
    void takeDamage(ui::ViewGraph& graph);
    // The strip `index`, drawn first if it is missing or stale; whether it was drawn.
    bool bring(const ui::ViewGraph& graph, long index);
    // The strips kept around the part shown that a tree `treeHeight` points tall reaches into and
    // that start within the margin ahead of it, nearest first, those the view last moved towards
    // before the others at the same distance.
    [[nodiscard]] std::vector<long> stripsAhead(double treeHeight) const;
    // How many strips the margin ahead of a screen `height` points tall holds.
    [[nodiscard]] static long stripsAheadOf(double height);
    // Lets go of the strips beyond that margin from the strips `first`..`last` shown.
    void letGoBeyond(long first, long last);

    std::map<long, Strip> strips_;
    // What every strip was drawn for: a change to any of these draws them all again.
    int pixelWidth_ = 0;
    int scale_ = 0;
    Appearance appearance_;
    // The size (points) of the screen last shown, the strips it showed, and whether the view
    // last moved down (towards higher strips).
    double width_ = 0;
    double height_ = 0;
    // Where the part last shown starts and ends down the tree, in points.
    double shownTop_ = 0;
    double shownBottom_ = 0;
    long first_ = 0;
    long last_ = -1;
    bool movedDown_ = true;
    Statistics statistics_;
};

} // namespace platform
