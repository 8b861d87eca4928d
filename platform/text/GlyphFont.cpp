#include "platform/text/GlyphFont.hpp"

#include "platform/graphics/CairoAccess.hpp"
#include "platform/graphics/GraphicsContext.hpp"
#include "platform/text/GlyphFaceInternal.hpp"
#include "platform/text/StyledText.hpp"

#include <algorithm>
#include <cmath>
#include <pango/pango.h>
#include <unordered_map>
#include <vector>

namespace platform {
namespace {

struct BufferDeleter {
    void operator()(hb_buffer_t* b) const { hb_buffer_destroy(b); }
};

/// UTF-16 offset of every byte offset of valid UTF-8 `text` (and of its end).
std::vector<std::size_t> utf16Offsets(std::string_view text) {
    std::vector<std::size_t> offsets(text.size() + 1, 0);
    std::size_t u = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t n = lead < 0x80             ? 1
                              : (lead & 0xE0) == 0xC0 ? 2
                              : (lead & 0xF0) == 0xE0 ? 3
                                                      : 4;
        for (std::size_t k = 0; k < n && i + k < text.size(); ++k) {
            offsets[i + k] = u;
        }
        u += n == 4 ? 2 : 1;
        i += n;
    }
    offsets[text.size()] = u;
    return offsets;
}

/// The script, direction and language HarfBuzz guesses for a whole text.
hb_segment_properties_t guessedProperties(std::string_view text) {
    std::unique_ptr<hb_buffer_t, BufferDeleter> buffer(hb_buffer_create());
    hb_buffer_add_utf8(buffer.get(), text.data(), static_cast<int>(text.size()), 0,
                       static_cast<int>(text.size()));
    hb_buffer_guess_segment_properties(buffer.get());
    hb_segment_properties_t properties;
    hb_buffer_get_segment_properties(buffer.get(), &properties);
    return properties;
}

} // namespace

std::vector<double> advancesBeforeCharacters(const ShapedRun& run,
                                             std::span<const std::size_t> utf16AtCharacter) {
    const std::size_t chars = utf16AtCharacter.empty() ? 0 : utf16AtCharacter.size() - 1;
    // before[c + 1] first gathers the advance of character c alone, then the sum up to it.
    std::vector<double> before(chars + 1, 0);
    if (chars == 0) {
        return before;
    }
    // Glyphs mostly come in the characters' order: the character of each is found walking on
    // from the last one's, and searched for only when a glyph goes back.
    std::size_t c = 0;
    for (const ShapedRun::Glyph& glyph : run.glyphs) {
        if (utf16AtCharacter[c] <= glyph.cluster) {
            while (c + 1 < utf16AtCharacter.size() && utf16AtCharacter[c + 1] <= glyph.cluster) {
                ++c;
            }
        } else {
            const auto after =
                std::upper_bound(utf16AtCharacter.begin(), utf16AtCharacter.end(), glyph.cluster);
            c = static_cast<std::size_t>(after - utf16AtCharacter.begin()) - 1;
        }
        before[std::min(c, chars - 1) + 1] += glyph.advance;
        if (c >= utf16AtCharacter.size()) {
            c = 0;
        }
    }
    for (std::size_t k = 0; k < chars; ++k) {
        before[k + 1] = before[k] + before[k + 1];
    }
    return before;
}

GlyphFont::GlyphFont(std::shared_ptr<const GlyphFace> face, double pointSize)
    : face_(std::move(face))
    , size_(pointSize > 0 ? pointSize : 0) {}

double GlyphFont::scale() const {
    return size_ / face_->unitsPerEm();
}

double GlyphFont::ascent() const {
    return face_->ascender() * scale();
}

double GlyphFont::descent() const {
    return face_->descender() * scale();
}

Size GlyphFont::advance(GlyphID glyph) const {
    return {face_->advance(glyph) * scale(), 0};
}

Rect GlyphFont::boundingRect(GlyphID glyph) const {
    const Rect box = face_->boundingBox(glyph);
    const double s = scale();
    return {box.origin.x * s, box.origin.y * s, box.size.width * s, box.size.height * s};
}

Path GlyphFont::outline(GlyphID glyph) const {
    return face_->outline(glyph).applying(AffineTransform::scale(scale(), scale()));
}

std::optional<std::vector<GlyphID>> GlyphFont::glyphs(std::u16string_view characters) const {
    std::vector<GlyphID> result(characters.size(), 0);
    for (std::size_t i = 0; i < characters.size(); ++i) {
        char32_t c = characters[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= characters.size() || characters[i + 1] < 0xDC00 ||
                characters[i + 1] > 0xDFFF) {
                return std::nullopt;
            }
            c = 0x10000 + ((c - 0xD800) << 10) + (characters[i + 1] - 0xDC00);
            const std::optional<GlyphID> g = face_->glyph(c);
            if (!g) {
                return std::nullopt;
            }
            result[i] = *g;
            ++i;
            continue;
        }
        if (c >= 0xDC00 && c <= 0xDFFF) {
            return std::nullopt;
        }
        const std::optional<GlyphID> g = face_->glyph(c);
        if (!g) {
            return std::nullopt;
        }
        result[i] = *g;
    }
    return result;
}

void GlyphFont::shapeFrom(std::vector<ShapedRun::Glyph>& glyphs, const std::string& text,
                          std::span<const std::size_t> utf16AtByte, std::size_t from,
                          double x) const {
    using ShapedGlyph = GlyphFace::Internal::ShapedGlyph;
    const GlyphFace::Internal& internal = face_->internal();
    const double s = scale();
    const auto append = [&](std::span<const ShapedGlyph> shaped) {
        glyphs.reserve(glyphs.size() + shaped.size());
        for (const ShapedGlyph& one : shaped) {
            ShapedRun::Glyph glyph;
            glyph.glyph = static_cast<GlyphID>(std::min<hb_codepoint_t>(one.glyph, 0xFFFF));
            glyph.cluster = utf16AtByte[std::min<std::size_t>(one.cluster, text.size())];
            glyph.position = {x + one.xOffset * s, one.yOffset * s};
            glyph.advance = one.xAdvance * s;
            glyph.unsafeToBreak = one.unsafeToBreak;
            glyphs.push_back(glyph);
            x += glyph.advance;
        }
    };
    // A short text shaped whole is shaped once per face.
    const bool kept = from == 0 && text.size() < GlyphFace::Internal::shortestUnkeptText;
    if (kept) {
        const std::lock_guard lock(internal.shapesMutex);
        if (const auto found = internal.shapes.find(text); found != internal.shapes.end()) {
            append(found->second);
            return;
        }
    }

    std::unique_ptr<hb_buffer_t, BufferDeleter> buffer(hb_buffer_create());
    hb_buffer_set_cluster_level(buffer.get(), HB_BUFFER_CLUSTER_LEVEL_MONOTONE_CHARACTERS);
    if (from == 0) {
        hb_buffer_add_utf8(buffer.get(), text.data(), static_cast<int>(text.size()), 0,
                           static_cast<int>(text.size()));
        hb_buffer_guess_segment_properties(buffer.get());
    } else {
        // The end alone would guess its script and direction from itself; the whole text's are
        // the ones its shaping used.
        const hb_segment_properties_t properties = guessedProperties(text);
        hb_buffer_set_segment_properties(buffer.get(), &properties);
        hb_buffer_add_utf8(buffer.get(), text.data(), static_cast<int>(text.size()),
                           static_cast<unsigned>(from), static_cast<int>(text.size() - from));
    }
    hb_shape(internal.font, buffer.get(), nullptr, 0);

    unsigned count = 0;
    const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer.get(), &count);
    const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer.get(), &count);
    std::vector<ShapedGlyph> shaped(count);
    for (unsigned i = 0; i < count; ++i) {
        shaped[i] = {infos[i].codepoint,
                     infos[i].cluster,
                     positions[i].x_offset,
                     positions[i].y_offset,
                     positions[i].x_advance,
                     (hb_glyph_info_get_glyph_flags(&infos[i]) & HB_GLYPH_FLAG_UNSAFE_TO_BREAK) !=
                         0};
    }
    append(shaped);
    if (kept) {
        const std::lock_guard lock(internal.shapesMutex);
        // Bounded by dropping all at once: the texts a document repeats come back at once.
        if (internal.shapes.size() >= GlyphFace::Internal::keptShapes) {
            internal.shapes.clear();
        }
        internal.shapes.emplace(text, std::move(shaped));
    }
}

void GlyphFont::addExtraSpace(ShapedRun& run, std::span<const ExtraSpace> extraSpace) {
    // Extra space goes after the last glyph of the cluster it names; later glyphs move along.
    // One pass over the glyphs for all of it: a long run kerned after every character would
    // otherwise cost its length squared.
    if (!extraSpace.empty()) {
        std::unordered_map<std::size_t, double> extra;
        for (const ExtraSpace& space : extraSpace) {
            if (std::isfinite(space.points)) {
                extra[space.utf16Offset] += space.points;
            }
        }
        std::unordered_map<std::size_t, std::size_t> lastGlyph;
        for (std::size_t i = 0; i < run.glyphs.size(); ++i) {
            if (extra.contains(run.glyphs[i].cluster)) {
                lastGlyph[run.glyphs[i].cluster] = i;
            }
        }
        std::vector<double> after(run.glyphs.size(), 0);
        for (const auto& [cluster, points] : extra) {
            if (const auto found = lastGlyph.find(cluster); found != lastGlyph.end()) {
                after[found->second] += points;
            }
        }
        double shift = 0;
        for (std::size_t i = 0; i < run.glyphs.size(); ++i) {
            run.glyphs[i].position.x += shift;
            run.glyphs[i].advance += after[i];
            shift += after[i];
        }
    }
    run.width = 0;
    for (const ShapedRun::Glyph& glyph : run.glyphs) {
        run.width += glyph.advance;
    }
}

ShapedRun GlyphFont::shape(std::string_view utf8, std::span<const ExtraSpace> extraSpace) const {
    // Reuse the layer's UTF-8 repair so HarfBuzz's clusters always point at valid offsets.
    StyledText repaired(utf8);
    const std::string text = repaired.string();
    const std::vector<std::size_t> offsets = utf16Offsets(text);

    ShapedRun run;
    shapeFrom(run.glyphs, text, offsets, 0, 0);
    addExtraSpace(run, extraSpace);
    run.glyphPathBounds = Rect::null();
    for (const ShapedRun::Glyph& glyph : run.glyphs) {
        const Rect box = boundingRect(glyph.glyph);
        if (box.size.width != 0 && box.size.height != 0) {
            run.glyphPathBounds =
                run.glyphPathBounds.unionWith(box.offsetBy(glyph.position.x, glyph.position.y));
        }
    }
    if (run.glyphPathBounds.isNull()) {
        run.glyphPathBounds = Rect::zero();
    }
    return run;
}

ShapedRun GlyphFont::reshapeEnd(const ShapedRun& previous, std::string_view previousText,
                                std::string_view utf8) const {
    StyledText repaired(utf8);
    const std::string text = repaired.string();
    const std::vector<std::size_t> offsets = utf16Offsets(text);
    ShapedRun run;
    // Glyphs this close to where the texts differ are shaped again even where a cut is allowed:
    // what follows may reach back over a few characters.
    constexpr std::size_t margin = 16;
    std::size_t common = 0;
    if (text == utf8) {
        const auto [a, b] =
            std::mismatch(previousText.begin(), previousText.end(), text.begin(), text.end());
        common = static_cast<std::size_t>(a - previousText.begin());
    }
    std::size_t keep = 0;
    if (common > margin) {
        const std::size_t limit = offsets[common - margin];
        // Reused only in logical order (clusters never go back), from the last allowed cut at
        // the start of a character before the limit.
        bool ordered = true;
        for (std::size_t i = 1; i < previous.glyphs.size() && ordered; ++i) {
            ordered = previous.glyphs[i - 1].cluster <= previous.glyphs[i].cluster;
        }
        for (std::size_t i = previous.glyphs.size(); ordered && i-- > 1;) {
            const ShapedRun::Glyph& glyph = previous.glyphs[i];
            if (glyph.cluster <= limit && !glyph.unsafeToBreak &&
                previous.glyphs[i - 1].cluster < glyph.cluster) {
                keep = i;
                break;
            }
        }
    }
    if (keep > 0) {
        // The kept glyphs were shaped as the earlier text's script and direction.
        const hb_segment_properties_t before = guessedProperties(previousText);
        const hb_segment_properties_t now = guessedProperties(text);
        if (!hb_segment_properties_equal(&before, &now)) {
            keep = 0;
        }
    }
    double x = 0;
    if (keep > 0) {
        run.glyphs.assign(previous.glyphs.begin(),
                          previous.glyphs.begin() + static_cast<std::ptrdiff_t>(keep));
        for (const ShapedRun::Glyph& glyph : run.glyphs) {
            x += glyph.advance;
        }
        const std::size_t cluster = previous.glyphs[keep].cluster;
        const auto from = static_cast<std::size_t>(
            std::lower_bound(offsets.begin(), offsets.end(), cluster) - offsets.begin());
        shapeFrom(run.glyphs, text, offsets, from, x);
    } else {
        shapeFrom(run.glyphs, text, offsets, 0, 0);
    }
    addExtraSpace(run, {});
    return run;
}

std::size_t GlyphFont::suggestLineBreak(std::string_view utf8, double width,
                                        const ShapedRun* shaped) const {
    StyledText repaired(utf8);
    const std::string text = repaired.string();
    if (text.empty() || std::isnan(width)) {
        return 0;
    }
    // Character index -> UTF-16 offset, and the line-break opportunities of the text.
    std::vector<std::size_t> utf16AtChar;
    const std::vector<std::size_t> offsets = utf16Offsets(text);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            utf16AtChar.push_back(offsets[i]);
        }
    }
    const std::size_t chars = utf16AtChar.size();
    utf16AtChar.push_back(offsets[text.size()]);
    std::vector<PangoLogAttr> attrs(chars + 1);
    pango_get_log_attrs(text.data(), static_cast<int>(text.size()), -1,
                        pango_language_from_string("en"), attrs.data(),
                        static_cast<int>(attrs.size()));

    // advanceBefore[c]: the width of the characters before character c.
    std::optional<ShapedRun> shapedHere;
    if (!shaped) {
        shapedHere = shape(text);
    }
    const std::vector<double> advanceBefore =
        advancesBeforeCharacters(shaped ? *shaped : *shapedHere, utf16AtChar);
    const auto fits = [&](std::size_t c, bool hangSpaces) {
        std::size_t end = c;
        while (hangSpaces && end > 0 && attrs[end - 1].is_white) {
            --end;
        }
        return advanceBefore[end] <= width + 1e-9;
    };
    std::size_t best = 0;
    for (std::size_t c = 1; c <= chars; ++c) {
        if ((c == chars || attrs[c].is_line_break) && fits(c, true)) {
            best = c;
        }
    }
    if (best == 0) {
        for (std::size_t c = 1; c <= chars && fits(c, false); ++c) {
            if (c == chars || attrs[c].is_cursor_position) {
                best = c;
            }
        }
    }
    return utf16AtChar[best];
}

void GlyphFont::draw(GraphicsContext& context, std::span<const GlyphID> glyphs,
                     std::span<const Point> positions, const Color& color) const {
    const std::size_t count = std::min(glyphs.size(), positions.size());
    // Beyond these bounds Cairo puts the whole context into an error state that no later drawing
    // recovers from, so such glyphs are skipped rather than handed over.
    constexpr double maxSize = 100000;
    if (count == 0 || !(size_ > 0) || size_ > maxSize) {
        return;
    }
    cairo_t* cr = CairoAccess::cairoContext(context);
    cairo_save(cr);
    cairo_set_font_face(cr, face_->internal().cairoFace);
    cairo_matrix_t ctm;
    cairo_get_matrix(cr, &ctm);
    // In a flipped (y-up) space the font's own y axis must flip too, or glyphs stand on their
    // heads.
    const bool flipped = ctm.xx * ctm.yy - ctm.xy * ctm.yx < 0;
    cairo_matrix_t fontMatrix;
    cairo_matrix_init_scale(&fontMatrix, size_, flipped ? -size_ : size_);
    cairo_set_font_matrix(cr, &fontMatrix);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);

    std::vector<cairo_glyph_t> cairoGlyphs;
    cairoGlyphs.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (std::isfinite(positions[i].x) && std::isfinite(positions[i].y)) {
            cairoGlyphs.push_back({glyphs[i], positions[i].x, positions[i].y});
        }
    }
    CairoAccess::applyColor(context, color);
    cairo_show_glyphs(cr, cairoGlyphs.data(), static_cast<int>(cairoGlyphs.size()));
    cairo_restore(cr);
}

void GlyphFont::draw(GraphicsContext& context, const ShapedRun& run, Point origin,
                     const Color& color) const {
    cairo_matrix_t ctm;
    cairo_get_matrix(CairoAccess::cairoContext(context), &ctm);
    const double up = ctm.xx * ctm.yy - ctm.xy * ctm.yx < 0 ? 1 : -1;
    std::vector<GlyphID> glyphs;
    std::vector<Point> positions;
    glyphs.reserve(run.glyphs.size());
    positions.reserve(run.glyphs.size());
    for (const ShapedRun::Glyph& glyph : run.glyphs) {
        glyphs.push_back(glyph.glyph);
        positions.push_back({origin.x + glyph.position.x, origin.y + up * glyph.position.y});
    }
    draw(context, glyphs, positions, color);
}

} // namespace platform
