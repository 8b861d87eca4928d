#include "platform/appkit/SurfaceTiles.hpp"

#include "platform/graphics/CairoAccess.hpp"
#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/ui/ViewGraph.hpp"

#include <algorithm>
#include <cmath>

namespace platform {

SurfaceTiles::~SurfaceTiles() {
    clear();
}

void SurfaceTiles::release(Strip& strip) {
    if (strip.texture != nullptr) {
        g_object_unref(strip.texture);
        strip.texture = nullptr;
    }
}

void SurfaceTiles::clear() {
    for (auto& [index, strip] : strips_) {
        release(strip);
    }
    strips_.clear();
}

GdkTexture* SurfaceTiles::draw(const ui::ViewGraph& graph, long index) const {
    const int stripPixels = stripPoints * scale_;
    // Exactly what an offscreen render of the strip's region draws: a context on an image
    // surface at the display's scale, moved to the region and clipped to it.
    ImageSurface surface(pixelWidth_, stripPixels, scale_);
    {
        GraphicsContext context(surface);
        const double top = double(index) * stripPoints;
        context.translateBy(0, -top);
        context.clip(Rect(0, top, double(pixelWidth_) / scale_, stripPoints));
        context.setAppearance(appearance_);
        graph.draw(context);
    }
    // The texture shares the surface's pixels (Cairo's ARGB32 is the toolkit's default memory
    // format), holding a reference to the surface until the toolkit lets the texture go: the
    // strip is never drawn into again, a new surface takes its place.
    cairo_surface_t* const pixels = surface.internal().surface;
    cairo_surface_flush(pixels);
    const int stride = cairo_image_surface_get_stride(pixels);
    GBytes* const bytes = g_bytes_new_with_free_func(
        cairo_image_surface_get_data(pixels), std::size_t(stride) * std::size_t(stripPixels),
        +[](gpointer kept) { cairo_surface_destroy(static_cast<cairo_surface_t*>(kept)); },
        cairo_surface_reference(pixels));
    GdkTexture* const texture =
        gdk_memory_texture_new(pixelWidth_, stripPixels, GDK_MEMORY_DEFAULT, bytes, gsize(stride));
    g_bytes_unref(bytes);
    return texture;
}

void SurfaceTiles::snapshot(GtkSnapshot* snapshot, const ui::ViewGraph& graph, Size size,
                            double offset, int scale, Appearance appearance) {
    scale = std::max(scale, 1);
    const int pixelWidth = int(std::ceil(size.width * scale));
    const long pixelHeight = long(std::ceil(size.height * scale));
    if (pixelWidth <= 0 || pixelHeight <= 0) {
        return;
    }
    if (pixelWidth != pixelWidth_ || scale != scale_ || !(appearance == appearance_)) {
        clear();
        pixelWidth_ = pixelWidth;
        scale_ = scale;
        appearance_ = appearance;
    }
    const long stripPixels = long(stripPoints) * scale;
    const long pixelOffset = std::lround(offset * scale);
    const auto floorDiv = [](long a, long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    const long first = floorDiv(pixelOffset, stripPixels);
    const long last = floorDiv(pixelOffset + pixelHeight - 1, stripPixels);

    // Strips more than a screen away are let go; those near are kept for scrolling back.
    const long keep = last - first + 1;
    for (auto it = strips_.begin(); it != strips_.end();) {
        if (it->first < first - keep || it->first > last + keep) {
            release(it->second);
            it = strips_.erase(it);
        } else {
            ++it;
        }
    }

    // Recorded first, so that the fingerprints see the lists as they will be drawn.
    const ui::DisplayList root = graph.displayList();
    for (long index = first; index <= last; ++index) {
        Strip& strip = strips_[index];
        const Rect region(0, double(index) * stripPoints, size.width, stripPoints);
        bool drawsAtReplay = false;
        const std::uint64_t fingerprint = root.fingerprint(region, &drawsAtReplay);
        const bool current = strip.texture != nullptr && strip.fingerprint == fingerprint &&
                             !(strip.drawsAtReplay && strip.frameRequests != frameRequests_);
        if (current) {
            ++statistics_.stripsReused;
        } else {
            release(strip);
            strip.texture = draw(graph, index);
            strip.fingerprint = fingerprint;
            strip.drawsAtReplay = drawsAtReplay;
            ++statistics_.stripsDrawn;
        }
        strip.frameRequests = frameRequests_;
        const graphene_rect_t bounds =
            GRAPHENE_RECT_INIT(0, float(double(index * stripPixels - pixelOffset) / scale),
                               float(double(pixelWidth) / scale), float(stripPoints));
        gtk_snapshot_append_texture(snapshot, strip.texture, &bounds);
    }
}

} // namespace platform
