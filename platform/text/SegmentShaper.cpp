#include "platform/text/SegmentShaper.hpp"

#include "platform/text/LayoutLookups.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <hb-ot.h>
#include <utility>

namespace platform {
namespace {

/// Eight bytes from `bytes` (at most `n`, zeros after), as one number.
std::uint64_t load(const char* bytes, std::size_t n) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, std::min<std::size_t>(n, sizeof word));
    return word;
}

std::uint64_t mix(std::uint64_t h, std::uint64_t word) {
    h ^= word;
    h *= 0x9E3779B97F4A7C15ULL;
    return h ^ (h >> 29);
}

/// The glyphs of `length` bytes from `offset` of `context`, shaped in `font` as Latin text left to
/// right (or as Hebrew right to left, the glyphs then in the order they are drawn): with all of
/// `context` (and the segment's glyphs taken out) or on their own (the text around only looked
/// at), with clusters from the segment's first byte.
PangoGlyphString* shapeSegmentGlyphs(PangoContext* pango, PangoFont* font, std::string_view context,
                                     std::size_t offset, std::size_t length, bool alone,
                                     bool rightToLeft = false) {
    PangoGlyphString* glyphs = pango_glyph_string_new();
    PangoAnalysis analysis{};
    analysis.font = font;
    analysis.level = rightToLeft ? 1 : 0;
    analysis.gravity = PANGO_GRAVITY_SOUTH;
    analysis.script = rightToLeft ? PANGO_SCRIPT_HEBREW : PANGO_SCRIPT_LATIN;
    analysis.language = pango_context_get_language(pango);
    const auto whole = static_cast<int>(context.size());
    if (alone) {
        // Clusters come out relative to the shaped bytes.
        pango_shape_with_flags(context.data() + offset, static_cast<int>(length), context.data(),
                               whole, &analysis, glyphs, PANGO_SHAPE_NONE);
    } else {
        pango_shape_with_flags(context.data(), whole, context.data(), whole, &analysis, glyphs,
                               PANGO_SHAPE_NONE);
    }
    if (!alone && (offset > 0 || length < context.size())) {
        // Keep the segment's own glyphs, with clusters from its start.
        PangoGlyphString* all = glyphs;
        glyphs = pango_glyph_string_new();
        for (int i = 0; i < all->num_glyphs; ++i) {
            const auto cluster = static_cast<std::size_t>(all->log_clusters[i]);
            if (cluster < offset || cluster >= offset + length) {
                continue;
            }
            const int n = glyphs->num_glyphs;
            pango_glyph_string_set_size(glyphs, n + 1);
            glyphs->glyphs[n] = all->glyphs[i];
            glyphs->log_clusters[n] = static_cast<int>(cluster - offset);
        }
        pango_glyph_string_free(all);
    }
    return glyphs;
}

bool sameShapedGlyphs(const PangoGlyphString* a, const PangoGlyphString* b) {
    if (a->num_glyphs != b->num_glyphs) {
        return false;
    }
    for (int i = 0; i < a->num_glyphs; ++i) {
        const PangoGlyphInfo& x = a->glyphs[i];
        const PangoGlyphInfo& y = b->glyphs[i];
        if (x.glyph != y.glyph || x.geometry.width != y.geometry.width ||
            x.geometry.x_offset != y.geometry.x_offset ||
            x.geometry.y_offset != y.geometry.y_offset ||
            x.attr.is_cluster_start != y.attr.is_cluster_start ||
            x.attr.is_color != y.attr.is_color || a->log_clusters[i] != b->log_clusters[i]) {
            return false;
        }
    }
    return true;
}

struct GlyphStringOwner {
    PangoGlyphString* glyphs;
    ~GlyphStringOwner() { pango_glyph_string_free(glyphs); }
};

} // namespace

/// Per font: whether a space or a line feed keeps the words on either side from acting on each
/// other, and which characters were seen to keep their shape beside a line feed or before a space
/// (bits of `SegmentShaper::keepsShapeBeside`).
struct ShapingNeighbourhood {
    bool spaceSeparates = false;
    bool lineFeedSeparates = false;
    std::array<std::uint8_t, 128> ascii{};
    std::unordered_map<char32_t, std::uint8_t> others;

    std::uint8_t& flags(char32_t c) { return c < 0x80 ? ascii[c] : others[c]; }
};

namespace {

// Line feed before, line feed after, space after: checked, then unchanged.
constexpr std::uint8_t kBesideChecked[3] = {1, 4, 16};
constexpr std::uint8_t kBesideKept[3] = {2, 8, 32};

} // namespace

SegmentShape::~SegmentShape() {
    if (glyphs != nullptr) {
        pango_glyph_string_free(glyphs);
    }
}

SegmentShaper& SegmentShaper::shared() {
    // Never destroyed: layouts on any thread hold its fonts and shapes until the process ends.
    static SegmentShaper* const shaper = new SegmentShaper();
    return *shaper;
}

SegmentShaper::SegmentShaper() {
    // The same settings as a paragraph's own context: unhinted, fractional positions. A font map
    // of its own, as Pango's default one belongs to the thread that asked for it.
    fontMap_ = pango_cairo_font_map_new();
    context_ = pango_font_map_create_context(fontMap_);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(context_, options);
    cairo_font_options_destroy(options);
    pango_context_set_round_glyph_positions(context_, FALSE);
}

SegmentShaper::FaceLookups::~FaceLookups() {
    hb_face_destroy(face);
}

SegmentShaper::~SegmentShaper() {
    recent_ = ShapeTable();
    older_ = ShapeTable();
    for (auto& [description, loaded] : fonts_) {
        if (loaded->font != nullptr) {
            g_object_unref(loaded->font);
        }
        pango_font_description_free(description);
    }
    for (const auto& loaded : fallbacks_) {
        g_object_unref(loaded->font);
    }
    g_object_unref(context_);
    g_object_unref(fontMap_);
}

std::size_t SegmentShaper::cachedBytes() const {
    const std::scoped_lock lock(mutex_);
    return recentBytes_ + olderBytes_;
}

const SegmentShaper::LoadedFont* SegmentShaper::font(const ResolvedFont& resolved,
                                                     Describe describe) {
    // The fonts a thread asked for last: a paragraph's few fonts are found without the lock.
    thread_local RecentlyMade<ResolvedFont, const LoadedFont*> recent;
    if (const LoadedFont* const* known = recent.find(resolved)) {
        return *known;
    }
    const std::unique_ptr<PangoFontDescription, void (*)(PangoFontDescription*)> description(
        describe(resolved), pango_font_description_free);
    const LoadedFont* loaded = nullptr;
    {
        const std::scoped_lock lock(mutex_);
        loaded = loadFont(description.get());
    }
    return recent.remember(resolved, loaded);
}

const SegmentShaper::LoadedFont* SegmentShaper::loadFont(const PangoFontDescription* description) {
    // The map's key type is non-const only because Pango's functions are declared so.
    auto* key = const_cast<PangoFontDescription*>(description);
    if (const auto it = fonts_.find(key); it != fonts_.end()) {
        return it->second->font != nullptr ? it->second.get() : nullptr;
    }
    auto made = loaded(pango_context_load_font(context_, description));
    const LoadedFont* result = made->font != nullptr ? made.get() : nullptr;
    const auto kept = fonts_.emplace(pango_font_description_copy(description), std::move(made));
    // The key the font is kept by, from which the faces that stand in for it are found.
    kept.first->second->description = kept.first->first;
    return result;
}

std::unique_ptr<SegmentShaper::LoadedFont> SegmentShaper::loaded(PangoFont* font) {
    auto loaded = std::make_unique<LoadedFont>();
    loaded->font = font;
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
        loaded->neighbourhood = neighbourhoodOf(loaded->font);
        // The Cairo font drawing asks for on whichever thread draws, made here behind the lock
        // (Pango makes it on first use). Its line metrics are left to be made when first drawn:
        // they cost a layout and a font set each, where few fonts are drawn underlined.
        if (PANGO_IS_CAIRO_FONT(loaded->font)) {
            cairo_scaled_font_t* scaled =
                pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(loaded->font));
            if (scaled != nullptr && cairo_scaled_font_status(scaled) == CAIRO_STATUS_SUCCESS) {
                loaded->scaled = scaled;
            }
        }
    }
    return loaded;
}

ShapingNeighbourhood* SegmentShaper::neighbourhoodOf(PangoFont* font) {
    auto neighbourhood = std::make_unique<ShapingNeighbourhood>();
    // The lookups Pango's shaping of Latin text applies: HarfBuzz's defaults for the script and
    // language, and the features the font itself asks for.
    hb_font_t* hb = pango_font_get_hb_font(font);
    if (hb != nullptr) {
        hb_face_t* face = hb_font_get_face(hb);
        std::array<hb_feature_t, 32> features{};
        guint featureCount = 0;
        pango_font_get_features(font, features.data(), features.size(), &featureCount);
        hb_segment_properties_t properties = HB_SEGMENT_PROPERTIES_DEFAULT;
        properties.direction = HB_DIRECTION_LTR;
        properties.script = HB_SCRIPT_LATIN;
        properties.language = hb_language_from_string(
            pango_language_to_string(pango_context_get_language(context_)), -1);
        // Faces are shared by the sizes and styles of a family's file, and reading their tables
        // costs far more than a font: each is read once per set of features.
        const std::string_view featureBytes(reinterpret_cast<const char*>(features.data()),
                                            featureCount * sizeof(hb_feature_t));
        auto read = std::find_if(faceLookups_.begin(), faceLookups_.end(), [&](const auto& f) {
            return f->face == face && f->features == featureBytes;
        });
        if (read == faceLookups_.end() && featureCount < features.size()) {
            hb_shape_plan_t* plan = hb_shape_plan_create_cached(face, &properties, features.data(),
                                                                featureCount, nullptr);
            auto entry = std::make_unique<FaceLookups>();
            entry->face = hb_face_reference(face);
            entry->features = featureBytes;
            entry->lookups = LayoutLookups::read(face, plan);
            faceLookups_.push_back(std::move(entry));
            hb_shape_plan_destroy(plan);
            read = faceLookups_.end() - 1;
        }
        // As many features as the array holds may be fewer than the font has: not read.
        const LayoutLookups none;
        const LayoutLookups& lookups = read != faceLookups_.end() ? (*read)->lookups : none;
        // The glyphs as Pango maps them (a line feed is no glyph of the font), base glyphs that no
        // flag of a lookup skips.
        const auto separates = [&](const char* text) {
            const GlyphStringOwner shaped{shapeSegmentGlyphs(context_, font, text, 0, 1, true)};
            bool separating = shaped.glyphs->num_glyphs > 0;
            for (int i = 0; i < shaped.glyphs->num_glyphs; ++i) {
                const PangoGlyph g = shaped.glyphs->glyphs[i].glyph;
                const hb_ot_layout_glyph_class_t kind = hb_ot_layout_get_glyph_class(face, g);
                separating = separating && lookups.separates(g) &&
                             (kind == HB_OT_LAYOUT_GLYPH_CLASS_UNCLASSIFIED ||
                              kind == HB_OT_LAYOUT_GLYPH_CLASS_BASE_GLYPH);
            }
            return separating;
        };
        neighbourhood->spaceSeparates = separates(" ");
        neighbourhood->lineFeedSeparates = separates("\n");
    }
    neighbourhoods_.push_back(std::move(neighbourhood));
    return neighbourhoods_.back().get();
}

bool SegmentShaper::keepsShapeBeside(const LoadedFont& font, char32_t c, char neighbour,
                                     bool before) {
    const int which = before ? 0 : neighbour == '\n' ? 1 : 2;
    std::uint8_t& flags = font.neighbourhood->flags(c);
    if ((flags & kBesideChecked[which]) == 0) {
        flags |= kBesideChecked[which];
        // Nothing but a pair (kerning, a ligature) could join the two: compare the character
        // shaped with its neighbour and alone.
        std::array<char, 8> utf8{};
        const auto n = static_cast<std::size_t>(
            g_unichar_to_utf8(static_cast<gunichar>(c), utf8.data() + (before ? 1 : 0)));
        utf8[before ? 0 : n] = neighbour;
        const std::string_view pair(utf8.data(), n + 1);
        const std::size_t at = before ? 1 : 0;
        const GlyphStringOwner together{
            shapeSegmentGlyphs(context_, font.font, pair, at, n, false)};
        const GlyphStringOwner alone{
            shapeSegmentGlyphs(context_, font.font, pair.substr(at, n), 0, n, false)};
        if (sameShapedGlyphs(together.glyphs, alone.glyphs)) {
            flags |= kBesideKept[which];
        }
    }
    return (flags & kBesideKept[which]) != 0;
}

bool SegmentShaper::shapesOnItsOwn(const LoadedFont& font, std::string_view run, std::size_t offset,
                                   std::size_t length) {
    const std::scoped_lock lock(mutex_);
    if (!font.neighbourhood->spaceSeparates || length == 0) {
        return false;
    }
    // Each edge is the run's, or a space (nothing reaches across it, nor kerns what follows
    // against it), or a line feed or following space that was seen not to change the character
    // beside it (a kerning pair may have it second without naming it). Any other neighbour is
    // shaped along.
    const std::string_view piece = run.substr(offset, length);
    if (offset > 0 && run[offset - 1] != ' ' &&
        (run[offset - 1] != '\n' || !font.neighbourhood->lineFeedSeparates ||
         !keepsShapeBeside(font, g_utf8_get_char(piece.data()), '\n', true))) {
        return false;
    }
    const std::size_t end = offset + length;
    if (end < run.size() && piece.back() != ' ') {
        const char next = run[end];
        const char32_t last =
            g_utf8_get_char(g_utf8_find_prev_char(piece.data(), piece.data() + piece.size()));
        const bool separated =
            next == ' ' || (next == '\n' && font.neighbourhood->lineFeedSeparates);
        if (!separated || !keepsShapeBeside(font, last, next, false)) {
            return false;
        }
    }
    return true;
}

std::shared_ptr<const SegmentShaper::Shape>
SegmentShaper::shape(const LoadedFont& font, std::string_view context, std::size_t offset,
                     std::size_t length, bool rightToLeft) {
    return shapeAs(font, context, offset, length, rightToLeft ? kRightToLeft : 0);
}

std::shared_ptr<const SegmentShaper::Shape> SegmentShaper::shapeAlone(const LoadedFont& font,
                                                                      std::string_view context,
                                                                      std::size_t offset,
                                                                      std::size_t length) {
    return shapeAs(font, context, offset, length, kAlone);
}

const SegmentShaper::LoadedFont* SegmentShaper::fallback(const LoadedFont& font, char32_t c) {
    const std::scoped_lock lock(mutex_);
    if (const auto known = font.fallbacks.find(c); known != font.fallbacks.end()) {
        return known->second;
    }
    // The font Pango's itemizing gives the character in a paragraph of `font`: where the font
    // has it, the font itself, but for an emoji, which takes the first face that draws emoji.
    const LoadedFont* found = nullptr;
    if (font.description != nullptr) {
        std::array<char, 8> utf8{};
        const int n = g_unichar_to_utf8(static_cast<gunichar>(c), utf8.data());
        PangoAttrList* attributes = pango_attr_list_new();
        pango_attr_list_insert(attributes, pango_attr_font_desc_new(font.description));
        GList* items = pango_itemize(context_, utf8.data(), 0, n, attributes, nullptr);
        pango_attr_list_unref(attributes);
        PangoFont* chosen =
            items != nullptr ? static_cast<PangoItem*>(items->data)->analysis.font : nullptr;
        if (chosen == font.font) {
            found = &font;
        } else if (chosen != nullptr) {
            auto known = std::find_if(fallbacks_.begin(), fallbacks_.end(),
                                      [&](const auto& f) { return f->font == chosen; });
            if (known == fallbacks_.end()) {
                fallbacks_.push_back(loaded(PANGO_FONT(g_object_ref(chosen))));
                known = fallbacks_.end() - 1;
            }
            found = known->get();
        }
        g_list_free_full(items,
                         [](gpointer item) { pango_item_free(static_cast<PangoItem*>(item)); });
    }
    font.fallbacks.emplace(c, found);
    return found;
}

std::uint64_t ShapeTable::hash(const PangoFont* font, std::uint32_t offset, std::uint32_t length,
                               std::uint8_t mode, std::string_view context) {
    std::uint64_t h = mix(reinterpret_cast<std::uintptr_t>(font), context.size());
    h = mix(h, (std::uint64_t(offset) << 32) | length);
    h = mix(h, mode);
    const char* bytes = context.data();
    std::size_t left = context.size();
    for (; left >= 8; left -= 8, bytes += 8) {
        h = mix(h, load(bytes, 8));
    }
    if (left > 0) {
        h = mix(h, load(bytes, left));
    }
    h *= 0xBF58476D1CE4E5B9ULL;
    return h ^ (h >> 31);
}

ShapeTable::Entry* ShapeTable::find(const Key& key) const {
    if (count_ == 0) {
        return nullptr;
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = key.hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (!slot.entry) {
            return nullptr;
        }
        if (slot.hash == key.hash) {
            Entry& e = *slot.entry;
            if (e.font == key.font && e.offset == key.offset && e.length == key.length &&
                e.mode == key.mode && std::string_view(e.context) == key.context) {
                return &e;
            }
        }
    }
}

void ShapeTable::insert(std::unique_ptr<Entry> entry) {
    // At most half full: probes stay short.
    if (2 * (count_ + 1) > slots_.size()) {
        grow();
    }
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = entry->hash & mask;
    while (slots_[i].entry) {
        i = (i + 1) & mask;
    }
    slots_[i].hash = entry->hash;
    slots_[i].entry = std::move(entry);
    ++count_;
}

std::unique_ptr<ShapeTable::Entry> ShapeTable::extract(const Entry& entry) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = entry.hash & mask;
    while (slots_[i].entry.get() != &entry) {
        i = (i + 1) & mask;
    }
    std::unique_ptr<Entry> taken = std::move(slots_[i].entry);
    --count_;
    // Entries after the hole that probed past it move back into it, so that no probe stops
    // short of its entry.
    for (std::size_t j = (i + 1) & mask; slots_[j].entry; j = (j + 1) & mask) {
        const std::size_t home = slots_[j].hash & mask;
        // Whether `home` lies cyclically in (i, j]: then the entry stays.
        const bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
        if (!stays) {
            slots_[i] = std::move(slots_[j]);
            i = j;
        }
    }
    return taken;
}

void ShapeTable::grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_ = std::vector<Slot>(old.empty() ? 1024 : 2 * old.size());
    const std::size_t mask = slots_.size() - 1;
    for (Slot& slot : old) {
        if (slot.entry) {
            std::size_t i = slot.hash & mask;
            while (slots_[i].entry) {
                i = (i + 1) & mask;
            }
            slots_[i] = std::move(slot);
        }
    }
}

std::shared_ptr<const SegmentShaper::Shape>
SegmentShaper::shapeAs(const LoadedFont& font, std::string_view context, std::size_t offset,
                       std::size_t length, std::uint8_t mode) {
    ShapeTable::Key key;
    key.font = font.font;
    key.offset = static_cast<std::uint32_t>(offset);
    key.length = static_cast<std::uint32_t>(length);
    key.mode = mode;
    key.context = context;
    key.hash = ShapeTable::hash(key.font, key.offset, key.length, mode, context);
    const std::scoped_lock lock(mutex_);
    if (const ShapeTable::Entry* found = recent_.find(key)) {
        return found->shape;
    }
    if (const ShapeTable::Entry* found = older_.find(key)) {
        std::unique_ptr<ShapeTable::Entry> entry = older_.extract(*found);
        olderBytes_ -= entry->bytes;
        recentBytes_ += entry->bytes;
        std::shared_ptr<const Shape> shape = entry->shape;
        recent_.insert(std::move(entry));
        rotateIfFull();
        return shape;
    }
    auto shape = std::make_shared<Shape>();
    shape->glyphs = shapeSegmentGlyphs(context_, font.font, context, offset, length,
                                       (mode & kAlone) != 0, (mode & kRightToLeft) != 0);
    for (int i = 0; i < shape->glyphs->num_glyphs; ++i) {
        const PangoGlyphInfo& g = shape->glyphs->glyphs[i];
        shape->width += g.geometry.width;
        if ((g.glyph & PANGO_GLYPH_UNKNOWN_FLAG) != 0 || g.glyph == 0) {
            shape->covered = false;
        }
    }
    auto entry = std::make_unique<ShapeTable::Entry>();
    entry->hash = key.hash;
    entry->font = key.font;
    entry->offset = key.offset;
    entry->length = key.length;
    entry->mode = mode;
    entry->context.assign(context);
    entry->shape = shape;
    // What the entry costs: itself (and its context, when longer than the string holds within),
    // its share of the table, the shape with its shared count and its glyph arrays (as
    // allocated, which Pango grows in steps).
    const PangoGlyphString* g = shape->glyphs;
    entry->bytes = sizeof(ShapeTable::Entry) + (context.size() > 15 ? context.size() + 1 : 0) +
                   ShapeTable::kSlotBytesPerEntry + sizeof(Shape) + 2 * sizeof(long) +
                   sizeof(PangoGlyphString) +
                   static_cast<std::size_t>(g != nullptr ? g->space : 0) *
                       (sizeof(PangoGlyphInfo) + sizeof(int));
    recentBytes_ += entry->bytes;
    recent_.insert(std::move(entry));
    rotateIfFull();
    return shape;
}

void SegmentShaper::rotateIfFull() {
    if (recentBytes_ > kCacheBudget / 2) {
        older_ = std::move(recent_);
        olderBytes_ = recentBytes_;
        recent_ = ShapeTable();
        recentBytes_ = 0;
    }
}

} // namespace platform
