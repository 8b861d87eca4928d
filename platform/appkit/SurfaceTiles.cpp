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
    if (strip.pixels != nullptr) {
        cairo_surface_destroy(strip.pixels);
        strip.pixels = nullptr;
    }
}

void SurfaceTiles::clear() {
    for (auto& [index, strip] : strips_) {
        release(strip);
    }
    strips_.clear();
    first_ = 0;
    last_ = -1;
}

cairo_surface_t* SurfaceTiles::draw(const ui::ViewGraph& graph, long index) const {
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
    // Never drawn into again: a new surface takes the strip's place when it changes. Its
    // pixels painted in a Cairo node are the display's at its scale (set once here: a change
    // would copy the pixels any recording of them keeps).
    cairo_surface_t* const pixels = cairo_surface_reference(surface.internal().surface);
    cairo_surface_flush(pixels);
    cairo_surface_set_device_scale(pixels, scale_, scale_);
    return pixels;
}

GdkTexture* SurfaceTiles::textureOf(Strip& strip) const {
    if (strip.texture == nullptr) {
        // The texture shares the surface's pixels (Cairo's ARGB32 is the toolkit's default
        // memory format), holding a reference to the surface until the toolkit lets it go.
        const int stride = cairo_image_surface_get_stride(strip.pixels);
        const int height = cairo_image_surface_get_height(strip.pixels);
        GBytes* const bytes = g_bytes_new_with_free_func(
            cairo_image_surface_get_data(strip.pixels), std::size_t(stride) * std::size_t(height),
            +[](gpointer kept) { cairo_surface_destroy(static_cast<cairo_surface_t*>(kept)); },
            cairo_surface_reference(strip.pixels));
        strip.texture = gdk_memory_texture_new(cairo_image_surface_get_width(strip.pixels), height,
                                               GDK_MEMORY_DEFAULT, bytes, gsize(stride));
        g_bytes_unref(bytes);
    }
    return strip.texture;
}

GdkTexture* SurfaceTiles::rowsOf(const Strip& strip, long first, long count) {
    const int stride = cairo_image_surface_get_stride(strip.pixels);
    GBytes* const bytes = g_bytes_new_with_free_func(
        cairo_image_surface_get_data(strip.pixels) + std::size_t(first) * std::size_t(stride),
        std::size_t(stride) * std::size_t(count),
        +[](gpointer kept) { cairo_surface_destroy(static_cast<cairo_surface_t*>(kept)); },
        cairo_surface_reference(strip.pixels));
    GdkTexture* const texture =
        gdk_memory_texture_new(cairo_image_surface_get_width(strip.pixels), int(count),
                               GDK_MEMORY_DEFAULT, bytes, gsize(stride));
    g_bytes_unref(bytes);
    return texture;
}

long SurfaceTiles::stripsAheadOf(double height) {
    return long(std::ceil(ui::marginAhead(height) / stripPoints));
}

void SurfaceTiles::letGoBeyond(long first, long last) {
    // Strips beyond the margin the tree lays out ahead are let go; those within it are kept for
    // scrolling back.
    const long keep = stripsAheadOf(height_);
    for (auto it = strips_.begin(); it != strips_.end();) {
        if (it->first < first - keep || it->first > last + keep) {
            release(it->second);
            it = strips_.erase(it);
        } else {
            ++it;
        }
    }
}

std::vector<long> SurfaceTiles::stripsAhead(double treeHeight) const {
    std::vector<long> ahead;
    if (last_ < first_) {
        return ahead;
    }
    // Only strips the tree reaches into, and only those that start within the margin ahead of
    // the part shown: the tree places its rows a band beyond that margin and draws no others, so
    // a strip reaching further would miss rows, and be drawn again once they are placed.
    static_assert(stripPoints <= ui::bandAhead);
    const long end = long(std::ceil(treeHeight / stripPoints));
    const double margin = ui::marginAhead(height_);
    const auto withinMargin = [&](long index) {
        const double top = double(index) * stripPoints;
        return top < shownBottom_ + margin && top + stripPoints > shownTop_ - margin;
    };
    const long keep = stripsAheadOf(height_);
    for (long distance = 1; distance <= keep; ++distance) {
        const long below = last_ + distance;
        const long above = first_ - distance;
        const long nearer = movedDown_ ? below : above;
        const long farther = movedDown_ ? above : below;
        for (const long index : {nearer, farther}) {
            if (index >= 0 && index < end && withinMargin(index)) {
                ahead.push_back(index);
            }
        }
    }
    return ahead;
}

void SurfaceTiles::snapshot(GtkSnapshot* snapshot, ui::ViewGraph& graph, Size size, double offset,
                            int scale, Appearance appearance, bool asTextures, Rect shown,
                            bool cutAtEdges) {
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
    shown = shown.intersection(Rect({0, 0}, size));
    if (shown.isNull() || shown.isEmpty()) {
        // Nothing of the widget is on screen: nothing drawn, nothing kept.
        clear();
        return;
    }
    const long first = floorDiv(pixelOffset + long(std::floor(shown.minY() * scale)), stripPixels);
    const long last =
        floorDiv(pixelOffset + long(std::ceil(shown.maxY() * scale)) - 1, stripPixels);
    if (first != first_) {
        movedDown_ = first > first_;
    } else if (last != last_) {
        movedDown_ = last > last_;
    }
    first_ = first;
    last_ = last;
    width_ = size.width;
    height_ = shown.size.height;
    shownTop_ = double(pixelOffset) / scale + shown.minY();
    shownBottom_ = shownTop_ + shown.size.height;
    letGoBeyond(first, last);

    takeDamage(graph);
    const auto topOf = [&](long index) {
        return double(index * stripPixels - pixelOffset) / scale;
    };
    const auto brought = [&](long index) {
        if (bring(graph, index)) {
            ++statistics_.stripsDrawn;
        } else {
            ++statistics_.stripsReused;
        }
        return &strips_[index];
    };
    if (asTextures) {
        // The rows of pixels shown, down the widget.
        const long shownTop = long(std::floor(shown.minY() * scale));
        const long shownBottom = long(std::ceil(shown.maxY() * scale));
        for (long index = first; index <= last; ++index) {
            Strip* const strip = brought(index);
            const long top = index * stripPixels - pixelOffset;
            const long from = std::max(top, shownTop);
            const long to = std::min(top + stripPixels, shownBottom);
            if (cutAtEdges && (from > top || to < top + stripPixels)) {
                if (to > from) {
                    const graphene_rect_t bounds = GRAPHENE_RECT_INIT(
                        0, float(double(from) / scale), float(double(pixelWidth) / scale),
                        float(double(to - from) / scale));
                    GdkTexture* const rows = rowsOf(*strip, from - top, to - from);
                    gtk_snapshot_append_texture(snapshot, rows, &bounds);
                    g_object_unref(rows);
                }
                continue;
            }
            const graphene_rect_t bounds = GRAPHENE_RECT_INIT(
                0, float(topOf(index)), float(double(pixelWidth) / scale), float(stripPoints));
            gtk_snapshot_append_texture(snapshot, textureOf(*strip), &bounds);
        }
        return;
    }
    // The Cairo renderer converts a texture's every pixel for every frame it draws, but copies
    // a Cairo image painted in a Cairo node straight across: the strips are painted in one.
    const graphene_rect_t bounds = GRAPHENE_RECT_INIT(0, 0, float(size.width), float(size.height));
    cairo_t* const cr = gtk_snapshot_append_cairo(snapshot, &bounds);
    for (long index = first; index <= last; ++index) {
        cairo_set_source_surface(cr, brought(index)->pixels, 0, topOf(index));
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
        cairo_rectangle(cr, 0, topOf(index), double(pixelWidth) / scale, stripPoints);
        cairo_fill(cr);
    }
    cairo_destroy(cr);
}

bool SurfaceTiles::drawAhead(ui::ViewGraph& graph, std::chrono::steady_clock::time_point deadline) {
    if (pixelWidth_ <= 0 || last_ < first_) {
        return false;
    }
    takeDamage(graph);
    const std::vector<long> ahead = stripsAhead(graph.size().height);
    bool drew = false;
    for (const long index : ahead) {
        if (drew && std::chrono::steady_clock::now() >= deadline) {
            return true;
        }
        if (bring(graph, index)) {
            ++statistics_.stripsDrawnAhead;
            drew = true;
        }
    }
    return false;
}

void SurfaceTiles::takeDamage(ui::ViewGraph& graph) {
    // Taken even with no strips kept, so that the damage of a change before the next strips are
    // drawn does not draw them again.
    const std::vector<Rect> damage = graph.takeDamage();
    for (auto& [index, strip] : strips_) {
        const Rect region(0, double(index) * stripPoints, width_, stripPoints);
        strip.stale = strip.stale || std::any_of(damage.begin(), damage.end(), [&](const Rect& r) {
                          return r.intersects(region);
                      });
    }
}

bool SurfaceTiles::bring(const ui::ViewGraph& graph, long index) {
    Strip& strip = strips_[index];
    if (strip.pixels != nullptr && !strip.stale) {
        return false;
    }
    release(strip);
    strip.pixels = draw(graph, index);
    strip.stale = false;
    return true;
}

} // namespace platform
