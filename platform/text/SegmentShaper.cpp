#include "platform/text/SegmentShaper.hpp"

#include <cstdint>
#include <cstring>

namespace platform {
namespace {

/// What one kept shape costs: the key, the hash node, the shape with its shared count and its
/// glyph arrays (as allocated, which Pango grows in steps).
std::size_t entryBytes(const std::string& key, const SegmentShaper::Shape& shape) {
    constexpr std::size_t node = 4 * sizeof(void*) + sizeof(std::string);
    constexpr std::size_t shared = sizeof(SegmentShaper::Shape) + 2 * sizeof(long);
    const PangoGlyphString* g = shape.glyphs;
    const std::size_t glyphs =
        sizeof(PangoGlyphString) + static_cast<std::size_t>(g != nullptr ? g->space : 0) *
                                       (sizeof(PangoGlyphInfo) + sizeof(int));
    return node + (key.size() > 15 ? key.size() + 1 : 0) + shared + glyphs;
}

} // namespace

SegmentShaper::Shape::~Shape() {
    if (glyphs != nullptr) {
        pango_glyph_string_free(glyphs);
    }
}

SegmentShaper& SegmentShaper::forThisThread() {
    thread_local SegmentShaper shaper;
    return shaper;
}

SegmentShaper::SegmentShaper() {
    // The same settings as a paragraph's own context: unhinted, fractional positions.
    context_ = pango_font_map_create_context(pango_cairo_font_map_get_default());
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(context_, options);
    cairo_font_options_destroy(options);
    pango_context_set_round_glyph_positions(context_, FALSE);
}

SegmentShaper::~SegmentShaper() {
    recent_.clear();
    older_.clear();
    for (auto& [description, loaded] : fonts_) {
        if (loaded->font != nullptr) {
            g_object_unref(loaded->font);
        }
        pango_font_description_free(description);
    }
    g_object_unref(context_);
}

const SegmentShaper::LoadedFont* SegmentShaper::font(const PangoFontDescription* description) {
    // The map's key type is non-const only because Pango's functions are declared so.
    auto* key = const_cast<PangoFontDescription*>(description);
    if (const auto it = fonts_.find(key); it != fonts_.end()) {
        return it->second->font != nullptr ? it->second.get() : nullptr;
    }
    auto loaded = std::make_unique<LoadedFont>();
    loaded->font = pango_context_load_font(context_, description);
    if (loaded->font != nullptr) {
        // Every glyph of a Pango font has the font's ascent and descent as its logical extent.
        PangoRectangle logical;
        pango_font_get_glyph_extents(loaded->font, PANGO_GLYPH_EMPTY, nullptr, &logical);
        loaded->ascent = -logical.y;
        loaded->descent = logical.y + logical.height;
        PangoFontDescription* described = pango_font_describe_with_absolute_size(loaded->font);
        if (const char* family = pango_font_description_get_family(described)) {
            loaded->family = family;
        }
        loaded->size = pango_font_description_get_size(described) / double(PANGO_SCALE);
        pango_font_description_free(described);
    }
    const LoadedFont* result = loaded->font != nullptr ? loaded.get() : nullptr;
    fonts_.emplace(pango_font_description_copy(description), std::move(loaded));
    return result;
}

std::shared_ptr<const SegmentShaper::Shape> SegmentShaper::shape(const LoadedFont& font,
                                                                 std::string_view context,
                                                                 std::size_t offset,
                                                                 std::size_t length) {
    return shape(font, context, offset, length, false);
}

std::shared_ptr<const SegmentShaper::Shape> SegmentShaper::shapeAlone(const LoadedFont& font,
                                                                      std::string_view context,
                                                                      std::size_t offset,
                                                                      std::size_t length) {
    return shape(font, context, offset, length, true);
}

std::shared_ptr<const SegmentShaper::Shape> SegmentShaper::shape(const LoadedFont& font,
                                                                 std::string_view context,
                                                                 std::size_t offset,
                                                                 std::size_t length, bool alone) {
    std::string& key = key_;
    key.assign(sizeof(PangoFont*) + 2 * sizeof(std::uint32_t) + 1, '\0');
    const PangoFont* address = font.font;
    const auto at = static_cast<std::uint32_t>(offset);
    const auto count = static_cast<std::uint32_t>(length);
    char* k = key.data();
    std::memcpy(k, static_cast<const void*>(&address), sizeof address);
    std::memcpy(k + sizeof address, &at, sizeof at);
    std::memcpy(k + sizeof address + sizeof at, &count, sizeof count);
    k[sizeof address + sizeof at + sizeof count] = alone ? '1' : '0';
    key.append(context);
    if (const auto it = recent_.find(std::string_view(key)); it != recent_.end()) {
        return it->second.shape;
    }
    if (const auto it = older_.find(std::string_view(key)); it != older_.end()) {
        auto node = older_.extract(it);
        olderBytes_ -= node.mapped().bytes;
        std::shared_ptr<const Shape> found = node.mapped().shape;
        recentBytes_ += node.mapped().bytes;
        recent_.insert(std::move(node));
        rotateIfFull();
        return found;
    }
    auto shape = std::make_shared<Shape>();
    shape->glyphs = pango_glyph_string_new();
    PangoAnalysis analysis{};
    analysis.font = font.font;
    analysis.level = 0;
    analysis.gravity = PANGO_GRAVITY_SOUTH;
    analysis.script = PANGO_SCRIPT_LATIN;
    analysis.language = pango_context_get_language(context_);
    const auto whole = static_cast<int>(context.size());
    if (alone) {
        // Clusters come out relative to the shaped bytes.
        pango_shape_with_flags(context.data() + offset, static_cast<int>(length), context.data(),
                               whole, &analysis, shape->glyphs, PANGO_SHAPE_NONE);
    } else {
        pango_shape_with_flags(context.data(), whole, context.data(), whole, &analysis,
                               shape->glyphs, PANGO_SHAPE_NONE);
    }
    if (!alone && (offset > 0 || length < context.size())) {
        // Keep the segment's own glyphs, with clusters from its start.
        PangoGlyphString* all = shape->glyphs;
        shape->glyphs = pango_glyph_string_new();
        for (int i = 0; i < all->num_glyphs; ++i) {
            const auto cluster = static_cast<std::size_t>(all->log_clusters[i]);
            if (cluster < offset || cluster >= offset + length) {
                continue;
            }
            const int n = shape->glyphs->num_glyphs;
            pango_glyph_string_set_size(shape->glyphs, n + 1);
            shape->glyphs->glyphs[n] = all->glyphs[i];
            shape->glyphs->log_clusters[n] = static_cast<int>(cluster - offset);
        }
        pango_glyph_string_free(all);
    }
    for (int i = 0; i < shape->glyphs->num_glyphs; ++i) {
        const PangoGlyphInfo& g = shape->glyphs->glyphs[i];
        shape->width += g.geometry.width;
        if ((g.glyph & PANGO_GLYPH_UNKNOWN_FLAG) != 0 || g.glyph == 0) {
            shape->covered = false;
        }
    }
    const std::size_t bytes = entryBytes(key, *shape);
    recent_.emplace(key, Entry{shape, bytes});
    recentBytes_ += bytes;
    rotateIfFull();
    return shape;
}

void SegmentShaper::rotateIfFull() {
    if (recentBytes_ > kCacheBudget / 2) {
        older_ = std::move(recent_);
        olderBytes_ = recentBytes_;
        recent_ = Shapes();
        recentBytes_ = 0;
    }
}

} // namespace platform
