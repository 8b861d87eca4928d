#include "platform/text/GlyphCompositor.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

namespace platform::text_internal {

namespace {

std::atomic<bool> compositorEnabled{true};

// Cairo's rounding of a glyph's position to the pixel it is drawn at: the nearest whole number,
// halves upward.
inline int roundToPixel(double v) {
    return static_cast<int>(std::floor(v + 0.5));
}

// Cairo's 24.8 fixed point: the nearest 256th, halves to even.
inline std::int64_t toFixed(double v) {
    return static_cast<std::int64_t>(std::nearbyint(v * 256.0));
}

// x·a/255 in each byte of x, rounded as the compositor rounds it.
inline std::uint32_t multiplyBytes(std::uint32_t x, std::uint32_t a) {
    std::uint32_t lo = (x & 0x00ff00ffU) * a + 0x00800080U;
    lo = ((lo + ((lo >> 8) & 0x00ff00ffU)) >> 8) & 0x00ff00ffU;
    std::uint32_t hi = ((x >> 8) & 0x00ff00ffU) * a + 0x00800080U;
    hi = (hi + ((hi >> 8) & 0x00ff00ffU)) & 0xff00ff00U;
    return hi | lo;
}

// x + y in each byte, saturating.
inline std::uint32_t addBytes(std::uint32_t x, std::uint32_t y) {
    std::uint32_t lo = (x & 0x00ff00ffU) + (y & 0x00ff00ffU);
    lo |= 0x01000100U - ((lo >> 8) & 0x00010001U);
    std::uint32_t hi = ((x >> 8) & 0x00ff00ffU) + ((y >> 8) & 0x00ff00ffU);
    hi |= 0x01000100U - ((hi >> 8) & 0x00010001U);
    return (lo & 0x00ff00ffU) | ((hi & 0x00ff00ffU) << 8);
}

// The premultiplied source `s` through coverage `m` over the pixel `d`.
inline std::uint32_t blend(std::uint32_t s, std::uint32_t m, std::uint32_t d) {
    const std::uint32_t t = m == 255 ? s : multiplyBytes(s, m);
    return addBytes(t, multiplyBytes(d, 255 - (t >> 24)));
}

// The pixels the source makes through each coverage over one destination pixel (the usual
// background under text): a paragraph blends the same few colours over the same background
// again and again.
struct BlendTable {
    std::uint32_t source = 0;
    std::uint32_t under = 0;
    std::uint32_t over[256] = {};
};

class BlendTables {
public:
    BlendTables() {
        for (BlendTable& table : tables_) {
            fill(table, 0, 0);
        }
    }

    const BlendTable& of(std::uint32_t source, std::uint32_t under) {
        for (const BlendTable& table : tables_) {
            if (table.source == source && table.under == under) {
                return table;
            }
        }
        BlendTable& table = tables_[next_];
        next_ = (next_ + 1) % kTables;
        fill(table, source, under);
        return table;
    }

private:
    static constexpr std::size_t kTables = 16;
    static void fill(BlendTable& table, std::uint32_t source, std::uint32_t under) {
        table.source = source;
        table.under = under;
        for (std::uint32_t m = 0; m < 256; ++m) {
            table.over[m] = blend(source, m, under);
        }
    }

    BlendTable tables_[kTables];
    std::size_t next_ = 0;
};

// Composites the source `s` through `n` coverage bytes onto `to`, as Cairo does: no change
// where the coverage is 0, the source itself where it is full and the source opaque.
[[gnu::always_inline]] inline void compositeRow(const std::uint8_t* from, std::uint32_t* to, int n,
                                                std::uint32_t s, bool opaque,
                                                const BlendTable& table) {
    const std::uint32_t under = table.under;
    const auto one = [&](std::uint32_t m, std::uint32_t & d) __attribute__((always_inline)) {
        if (d == under) {
            d = table.over[m];
        } else if (m != 0) {
            d = m == 255 && opaque ? s : blend(s, m, d);
        }
    };
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        std::uint64_t eight = 0;
        std::memcpy(&eight, from + x, 8);
        if (eight == 0) {
            continue;
        }
        if (eight == ~std::uint64_t{0} && opaque) {
            std::fill_n(to + x, 8, s);
            continue;
        }
        for (int k = 0; k < 8; ++k) {
            one(from[x + k], to[x + k]);
        }
    }
    for (; x < n; ++x) {
        one(from[x], to[x]);
    }
}

// Adds `n` coverage bytes into `to`, saturating at 255: eight at a time.
inline void addSaturating(const std::uint8_t* from, std::uint8_t* to, int n) {
    constexpr std::uint64_t kLow7 = 0x7f7f7f7f7f7f7f7fULL;
    constexpr std::uint64_t kHigh = ~kLow7;
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        std::uint64_t a = 0;
        std::uint64_t b = 0;
        std::memcpy(&a, from + x, 8);
        std::memcpy(&b, to + x, 8);
        const std::uint64_t sum = ((a & kLow7) + (b & kLow7)) ^ ((a ^ b) & kHigh);
        const std::uint64_t carry = ((a & b) | ((a | b) & ~sum)) & kHigh;
        const std::uint64_t result = sum | ((carry >> 7) * 0xff);
        std::memcpy(to + x, &result, 8);
    }
    for (; x < n; ++x) {
        const unsigned v = unsigned{to[x]} + from[x];
        to[x] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
    }
}

// A glyph as Cairo draws it in one font: its coverage, placed relative to the pixel its position
// rounds to, and its ink box in 256ths of a pixel relative to the position itself.
struct GlyphMask {
    cairo_scaled_font_t* font = nullptr;
    unsigned long index = 0;
    std::int32_t inkX0 = 0;
    std::int32_t inkY0 = 0;
    std::int32_t inkX1 = 0;
    std::int32_t inkY1 = 0;
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0; // 0: no coverage
    std::int32_t height = 0;
    std::uint32_t offset = 0; // into the cache's coverage bytes
    bool usable = false;      // plain coverage Cairo draws from a bitmap: false sends to Cairo
};

// A font set in Cairo, the font Cairo draws with for it, and whether glyphs may be composited
// here in it: plain coverage, without shear; Cairo leaves out glyphs lying `reach` beyond the box
// it draws in.
struct DrawnFont {
    cairo_scaled_font_t* set = nullptr;
    cairo_scaled_font_t* drawn = nullptr;
    bool usable = false;
    double reach = 0;
};

// The glyphs this thread drew last, their coverage rendered by Cairo itself. The fonts are held
// while their glyphs are kept, so that a font's address cannot come back as another font's.
class GlyphMasks {
public:
    GlyphMasks()
        : slots_(kSlots) {
        masks_.reserve(kSlots / 2);
        drawn_.reserve(kFonts);
    }
    ~GlyphMasks() { release(); }
    GlyphMasks(const GlyphMasks&) = delete;
    GlyphMasks& operator=(const GlyphMasks&) = delete;

    static GlyphMasks& forThisThread() {
        thread_local GlyphMasks masks;
        return masks;
    }

    /// Room for `count` glyphs more: what `of` and `drawnFor` return stays valid until the next
    /// call.
    void makeRoom(std::size_t count) {
        if (masks_.size() + count > kSlots / 2 || coverage_.size() > kCoverageBudget) {
            release();
        }
    }

    /// Glyph `index` of `font` (a font `drawnFor` gave), rendered when first asked for.
    const GlyphMask& of(cairo_scaled_font_t* font, unsigned long index) {
        const auto key = reinterpret_cast<std::uintptr_t>(font);
        std::size_t at = ((index * 0x9E3779B1U) ^ (key >> 4) ^ (key >> 12)) & (kSlots - 1);
        for (;;) {
            const std::uint32_t slot = slots_[at];
            if (slot == 0) {
                break;
            }
            const GlyphMask& mask = masks_[slot - 1];
            if (mask.font == font && mask.index == index) {
                return mask;
            }
            at = (at + 1) & (kSlots - 1);
        }
        if (coverage_.size() > 2 * kCoverageBudget) {
            // A call of many large glyphs is left to Cairo rather than kept.
            static const GlyphMask unkept;
            return unkept;
        }
        masks_.push_back(render(font, index));
        slots_[at] = static_cast<std::uint32_t>(masks_.size());
        return masks_.back();
    }

    /// What Cairo draws glyphs with once `font` is set in `cr` (it makes a font of its own,
    /// adding the target's options); asked of Cairo once per font, which sets `font` in `cr`
    /// (then `installed` becomes `font`).
    const DrawnFont& drawnFor(cairo_t* cr, cairo_scaled_font_t* font,
                              cairo_scaled_font_t*& installed) {
        for (const DrawnFont& known : drawn_) {
            if (known.set == font) {
                return known;
            }
        }
        if (drawn_.size() == kFonts) {
            release();
        }
        if (installed != font) {
            cairo_set_scaled_font(cr, font);
            installed = font;
        }
        DrawnFont known;
        known.set = cairo_scaled_font_reference(font);
        known.drawn = cairo_scaled_font_reference(cairo_get_scaled_font(cr));
        if (cairo_scaled_font_status(known.drawn) == CAIRO_STATUS_SUCCESS) {
            cairo_font_options_t* const options = cairo_font_options_create();
            cairo_scaled_font_get_font_options(known.drawn, options);
            const cairo_antialias_t antialias = cairo_font_options_get_antialias(options);
            cairo_font_options_destroy(options);
            cairo_matrix_t scale;
            cairo_scaled_font_get_scale_matrix(known.drawn, &scale);
            known.usable = antialias != CAIRO_ANTIALIAS_SUBPIXEL &&
                           antialias != CAIRO_ANTIALIAS_BEST && scale.xy == 0 && scale.yx == 0;
            known.reach = 10 * std::max(std::abs(scale.xx), std::abs(scale.yy));
        }
        drawn_.push_back(known);
        return drawn_.back();
    }

    const std::uint8_t* coverage(const GlyphMask& mask) const {
        return coverage_.data() + mask.offset;
    }

private:
    static constexpr std::size_t kSlots = 8192; // a power of two
    static constexpr std::size_t kFonts = 32;
    static constexpr std::size_t kCoverageBudget = std::size_t{4} << 20;
    static constexpr int kLargest = 160; // pixels across: larger glyphs are left to Cairo

    void release() {
        std::fill(slots_.begin(), slots_.end(), 0);
        masks_.clear();
        coverage_.clear();
        for (const DrawnFont& known : drawn_) {
            cairo_scaled_font_destroy(known.set);
            cairo_scaled_font_destroy(known.drawn);
        }
        drawn_.clear();
    }

    // Asks Cairo to draw the glyph alone, in opaque white at a whole pixel of an ARGB image: each
    // pixel of a glyph of plain coverage comes out as that coverage in all four bytes.
    GlyphMask render(cairo_scaled_font_t* font, unsigned long index) {
        GlyphMask mask;
        mask.font = font;
        mask.index = index;
        const cairo_glyph_t origin{index, 0, 0};
        cairo_text_extents_t ink{};
        cairo_scaled_font_glyph_extents(font, &origin, 1, &ink);
        if (cairo_scaled_font_status(font) != CAIRO_STATUS_SUCCESS) {
            return mask;
        }
        if (ink.width == 0 || ink.height == 0) {
            mask.usable = true;
            return mask;
        }
        if (!std::isfinite(ink.x_bearing) || !std::isfinite(ink.y_bearing) ||
            !(ink.width < kLargest) || !(ink.height < kLargest) ||
            !(std::abs(ink.x_bearing) < kLargest) || !(std::abs(ink.y_bearing) < kLargest)) {
            return mask;
        }
        mask.inkX0 = static_cast<std::int32_t>(toFixed(ink.x_bearing));
        mask.inkY0 = static_cast<std::int32_t>(toFixed(ink.y_bearing));
        mask.inkX1 = static_cast<std::int32_t>(toFixed(ink.x_bearing + ink.width));
        mask.inkY1 = static_cast<std::int32_t>(toFixed(ink.y_bearing + ink.height));
        constexpr int kMargin = 4;
        const int x0 = static_cast<int>(std::floor(ink.x_bearing)) - kMargin;
        const int y0 = static_cast<int>(std::floor(ink.y_bearing)) - kMargin;
        const int w = static_cast<int>(std::ceil(ink.x_bearing + ink.width)) + kMargin - x0;
        const int h = static_cast<int>(std::ceil(ink.y_bearing + ink.height)) + kMargin - y0;
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
        cairo_t* cr = cairo_create(surface);
        cairo_set_scaled_font(cr, font);
        cairo_set_source_rgba(cr, 1, 1, 1, 1);
        const cairo_glyph_t at{index, static_cast<double>(-x0), static_cast<double>(-y0)};
        cairo_show_glyphs(cr, &at, 1);
        const bool drawn = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        int minX = w, minY = h, maxX = -1, maxY = -1;
        bool plain = drawn && data != nullptr;
        for (int y = 0; plain && y < h; ++y) {
            const auto* row =
                reinterpret_cast<const std::uint32_t*>(data + std::ptrdiff_t{y} * stride);
            for (int x = 0; x < w; ++x) {
                const std::uint32_t p = row[x];
                const std::uint32_t a = p >> 24;
                if (p != a * 0x01010101U) {
                    plain = false;
                    break;
                }
                if (a != 0) {
                    minX = std::min(minX, x);
                    maxX = std::max(maxX, x);
                    minY = std::min(minY, y);
                    maxY = std::max(maxY, y);
                }
            }
        }
        // Coverage up to the image's edge may have been cut off: such a glyph is left to Cairo.
        if (plain && maxX >= 0 && (minX == 0 || minY == 0 || maxX == w - 1 || maxY == h - 1)) {
            plain = false;
        }
        if (plain) {
            mask.usable = true;
            if (maxX >= 0) {
                mask.left = x0 + minX;
                mask.top = y0 + minY;
                mask.width = maxX - minX + 1;
                mask.height = maxY - minY + 1;
                mask.offset = static_cast<std::uint32_t>(coverage_.size());
                for (int y = minY; y <= maxY; ++y) {
                    const auto* row =
                        reinterpret_cast<const std::uint32_t*>(data + std::ptrdiff_t{y} * stride);
                    for (int x = minX; x <= maxX; ++x) {
                        coverage_.push_back(static_cast<std::uint8_t>(row[x] >> 24));
                    }
                }
            }
        }
        cairo_surface_destroy(surface);
        return mask;
    }

    std::vector<std::uint32_t> slots_; // index + 1 into masks_, 0 for none
    std::vector<GlyphMask> masks_;
    std::vector<std::uint8_t> coverage_;
    std::vector<DrawnFont> drawn_;
};

constexpr int kMostGlyphs = 2048;

struct Placed {
    const GlyphMask* mask;
    int x; // the pixel the glyph's position rounds to, in the target
    int y;
};

} // namespace

void GlyphCompositor::setEnabled(bool enabled) {
    compositorEnabled.store(enabled, std::memory_order_relaxed);
}

GlyphCompositor::GlyphCompositor(GraphicsContext& context)
    : cr_(CairoAccess::cairoContextLeavingClipsPending(context)) {
    const GraphicsContext::Internal& in = context.internal();
    // Cairo holding a clip to a curved shape draws everything through a mask of it.
    if (in.state.appliedClips != 0) {
        return;
    }
    PixelBox unclipped = in.state.unclipped;
    PixelBox pending = PixelBox::everything();
    for (std::uint32_t i = in.state.appliedClips; i < in.state.deferredClips; ++i) {
        pending = pending.intersection(in.deferredClips[i].covered);
    }
    unclipped = unclipped.intersection(pending);
    throughClipMask_ = in.hasPendingClips();
    normalBlend_ = in.state.blendMode == BlendMode::normal;
    prepare(unclipped);
    if (!ready_) {
        return;
    }
    const double x0 = clipExtents_[0], y0 = clipExtents_[1];
    const double x1 = clipExtents_[2], y1 = clipExtents_[3];
    double dx = 0, dy = 0;
    cairo_surface_get_device_offset(target_, &dx, &dy);
    // A clip of Cairo's own that is not a box of whole pixels (its box is not the pixels it leaves
    // whole) has Cairo draw through a mask of it, unless the glyphs' box lies in those pixels.
    const PixelBox& whole = in.state.unclipped;
    const auto toInt = [](double v) { return static_cast<int>(std::clamp(v, -1e8, 1e8)); };
    wholeX0_ = toInt(whole.minX + dx);
    wholeY0_ = toInt(whole.minY + dy);
    wholeX1_ = toInt(whole.maxX + dx);
    wholeY1_ = toInt(whole.maxY + dy);
    partClipped_ = x0 + tx_ != std::max(wholeX0_, 0) || y0 + ty_ != std::max(wholeY0_, 0) ||
                   x1 + tx_ != std::min(wholeX1_, width_) ||
                   y1 + ty_ != std::min(wholeY1_, height_);
    // Where Cairo keeps glyphs depends on the clips' box, the pending ones' included: the part of
    // them known to lie inside it stands for them.
    if (throughClipMask_) {
        const auto inside = [](double v, int lo, int hi) {
            return static_cast<int>(
                std::clamp(v, static_cast<double>(lo), static_cast<double>(hi)));
        };
        keepX0_ = inside(pending.minX + dx, keepX0_, keepX1_);
        keepX1_ = inside(pending.maxX + dx, keepX0_, keepX1_);
        keepY0_ = inside(pending.minY + dy, keepY0_, keepY1_);
        keepY1_ = inside(pending.maxY + dy, keepY0_, keepY1_);
    }
}

GlyphCompositor::GlyphCompositor(cairo_t* cr, const PixelBox& unclipped, bool throughClipMask)
    : cr_(cr)
    , throughClipMask_(throughClipMask) {
    prepare(unclipped);
}

void GlyphCompositor::prepare(const PixelBox& unclipped) {
    if (!compositorEnabled.load(std::memory_order_relaxed)) {
        return;
    }
    cairo_matrix_t m;
    cairo_get_matrix(cr_, &m);
    if (m.xx != 1 || m.yy != 1 || m.xy != 0 || m.yx != 0) {
        return;
    }
    target_ = cairo_get_group_target(cr_);
    if (target_ == nullptr || cairo_surface_status(target_) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_get_type(target_) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(target_) != CAIRO_FORMAT_ARGB32) {
        return;
    }
    double sx = 0, sy = 0, dx = 0, dy = 0;
    cairo_surface_get_device_scale(target_, &sx, &sy);
    cairo_surface_get_device_offset(target_, &dx, &dy);
    if (sx != 1 || sy != 1 || dx != std::floor(dx) || dy != std::floor(dy)) {
        return;
    }
    cairo_surface_flush(target_);
    pixels_ = cairo_image_surface_get_data(target_);
    stride_ = cairo_image_surface_get_stride(target_);
    width_ = cairo_image_surface_get_width(target_);
    height_ = cairo_image_surface_get_height(target_);
    if (pixels_ == nullptr || width_ <= 0 || height_ <= 0) {
        return;
    }
    tx_ = m.x0 + dx;
    ty_ = m.y0 + dy;
    if (!std::isfinite(tx_) || !std::isfinite(ty_) || std::abs(tx_) > 1e7 || std::abs(ty_) > 1e7) {
        return;
    }
    // The pixels the clips leave whole, cut to the target.
    const auto clamp = [](double v, int hi) {
        return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(hi)));
    };
    clipX0_ = clamp(unclipped.minX + dx, width_);
    clipY0_ = clamp(unclipped.minY + dy, height_);
    clipX1_ = clamp(unclipped.maxX + dx, width_);
    clipY1_ = clamp(unclipped.maxY + dy, height_);
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    cairo_clip_extents(cr_, &x0, &y0, &x1, &y1);
    clipExtents_[0] = x0;
    clipExtents_[1] = y0;
    clipExtents_[2] = x1;
    clipExtents_[3] = y1;
    keepX0_ = clamp(std::floor(x0 + tx_), width_);
    keepY0_ = clamp(std::floor(y0 + ty_), height_);
    keepX1_ = clamp(std::ceil(x1 + tx_), width_);
    keepY1_ = clamp(std::ceil(y1 + ty_), height_);
    ready_ = clipX0_ < clipX1_ && clipY0_ < clipY1_;
}

bool GlyphCompositor::show(cairo_scaled_font_t* font, const cairo_glyph_t* glyphs, int count,
                           cairo_scaled_font_t*& installed, const RGBA* colour) {
    if (!ready_ || count <= 0) {
        return ready_ && count == 0;
    }
    double r = 0, g = 0, b = 0, a = 0;
    if (colour != nullptr) {
        // What Cairo keeps of a source colour: each channel cut to 0 to 1.
        if (!normalBlend_ || !std::isfinite(colour->red) || !std::isfinite(colour->green) ||
            !std::isfinite(colour->blue) || !std::isfinite(colour->alpha)) {
            return false;
        }
        r = std::clamp(colour->red, 0.0, 1.0);
        g = std::clamp(colour->green, 0.0, 1.0);
        b = std::clamp(colour->blue, 0.0, 1.0);
        a = std::clamp(colour->alpha, 0.0, 1.0);
    } else if (cairo_get_operator(cr_) != CAIRO_OPERATOR_OVER ||
               cairo_pattern_get_rgba(cairo_get_source(cr_), &r, &g, &b, &a) !=
                   CAIRO_STATUS_SUCCESS) {
        return false;
    }
    if (count > kMostGlyphs) {
        return false;
    }
    GlyphMasks& masks = GlyphMasks::forThisThread();
    masks.makeRoom(static_cast<std::size_t>(count));
    const DrawnFont& drawn = masks.drawnFor(cr_, font, installed);
    if (!drawn.usable) {
        return false;
    }
    cairo_scaled_font_t* const used = drawn.drawn;
    // Cairo leaves out glyphs whose position lies beyond ten times the font's scale of the box
    // it draws in (the clip's or the target's): those change which way it draws the rest. Glyphs
    // near enough to the clip's box are kept, those far enough from the target's left out, and
    // any between is left to Cairo.
    const double reach = drawn.reach;
    const double keepX0 = keepX0_ - reach, keepX1 = keepX1_ + reach;
    const double keepY0 = keepY0_ - reach, keepY1 = keepY1_ + reach;
    const double dropX0 = -reach, dropX1 = width_ + reach;
    const double dropY0 = -reach, dropY1 = height_ + reach;

    thread_local std::vector<Placed> placed;
    placed.clear();
    // Cairo adds the glyphs up in one mask when one's ink box meets the box of those before it.
    bool overlap = false;
    std::int64_t boxX0 = INT64_MAX, boxY0 = INT64_MAX, boxX1 = INT64_MIN, boxY1 = INT64_MIN;
    int unionX0 = INT32_MAX, unionY0 = INT32_MAX, unionX1 = INT32_MIN, unionY1 = INT32_MIN;
    for (int i = 0; i < count; ++i) {
        const double x = glyphs[i].x + tx_;
        const double y = glyphs[i].y + ty_;
        if (!(keepX0 < x && x < keepX1 && keepY0 < y && y < keepY1)) {
            if (x < dropX0 || x > dropX1 || y < dropY0 || y > dropY1) {
                continue;
            }
            return false;
        }
        if (!(std::abs(x) < 1e6 && std::abs(y) < 1e6)) {
            return false;
        }
        const GlyphMask& mask = masks.of(used, glyphs[i].index);
        if (!mask.usable) {
            return false;
        }
        const int px = roundToPixel(x);
        const int py = roundToPixel(y);
        // Cairo tests each glyph's ink box, in 256ths of a pixel at the pixel its position
        // rounds to, against the box of all the inked glyphs before it.
        if (mask.inkX0 != mask.inkX1 && mask.inkY0 != mask.inkY1) {
            const std::int64_t x0 = std::int64_t{px} * 256 + mask.inkX0;
            const std::int64_t x1 = std::int64_t{px} * 256 + mask.inkX1;
            const std::int64_t y0 = std::int64_t{py} * 256 + mask.inkY0;
            const std::int64_t y1 = std::int64_t{py} * 256 + mask.inkY1;
            if (!overlap) {
                overlap = x1 > boxX0 && x0 < boxX1 && y1 > boxY0 && y0 < boxY1;
            }
            boxX0 = std::min(boxX0, x0);
            boxY0 = std::min(boxY0, y0);
            boxX1 = std::max(boxX1, x1);
            boxY1 = std::max(boxY1, y1);
        }
        if (mask.width == 0) {
            continue;
        }
        const int gx0 = px + mask.left, gy0 = py + mask.top;
        const int gx1 = gx0 + mask.width, gy1 = gy0 + mask.height;
        // Wholly off the target: nothing to draw.
        if (gx1 <= 0 || gy1 <= 0 || gx0 >= width_ || gy0 >= height_) {
            continue;
        }
        // A clip reaching into the glyph's pixels is left to Cairo.
        if (std::max(gx0, 0) < clipX0_ || std::max(gy0, 0) < clipY0_ ||
            std::min(gx1, width_) > clipX1_ || std::min(gy1, height_) > clipY1_) {
            return false;
        }
        unionX0 = std::min(unionX0, gx0);
        unionY0 = std::min(unionY0, gy0);
        unionX1 = std::max(unionX1, gx1);
        unionY1 = std::max(unionY1, gy1);
        placed.push_back({&mask, px, py});
    }
    if (placed.empty()) {
        return true;
    }
    const std::uint32_t s = CairoAccess::premultipliedPixel(r, g, b, a);
    if (s == 0) {
        return true;
    }
    cairo_surface_flush(target_);
    const bool opaque = (s >> 24) == 255;
    unionX0 = std::max(unionX0, 0);
    unionY0 = std::max(unionY0, 0);
    unionX1 = std::min(unionX1, width_);
    unionY1 = std::min(unionY1, height_);
    // The pixel at the first glyph's corner stands for the background.
    const Placed& first = placed.front();
    const int cornerX = std::clamp(first.x + first.mask->left, 0, width_ - 1);
    const int cornerY = std::clamp(first.y + first.mask->top, 0, height_ - 1);
    thread_local BlendTables tables;
    const BlendTable& table =
        tables.of(s, reinterpret_cast<const std::uint32_t*>(pixels_ + std::ptrdiff_t{cornerY} *
                                                                          stride_)[cornerX]);
    bool throughMask = overlap || throughClipMask_;
    if (partClipped_ && !throughMask) {
        // Cairo draws without its clip where the glyphs' box, cut to the clip's, lies wholly in
        // the pixels it leaves whole.
        const auto floorPixel = [](std::int64_t v) { return static_cast<int>(v >> 8); };
        const auto ceilPixel = [](std::int64_t v) { return static_cast<int>((v + 255) >> 8); };
        const int x0 = std::max(floorPixel(boxX0), keepX0_),
                  x1 = std::min(ceilPixel(boxX1), keepX1_);
        const int y0 = std::max(floorPixel(boxY0), keepY0_),
                  y1 = std::min(ceilPixel(boxY1), keepY1_);
        throughMask = !(x0 >= wholeX0_ && y0 >= wholeY0_ && x1 <= wholeX1_ && y1 <= wholeY1_);
    }
    if (throughMask) {
        // The coverage of all glyphs added up, saturating, then drawn at once. Only columns that
        // two glyphs' boxes share need adding up: the rest are drawn straight from each glyph.
        const int w = unionX1 - unionX0;
        const int h = unionY1 - unionY0;
        thread_local std::vector<std::uint8_t> shared;
        shared.assign(static_cast<std::size_t>(w), 0);
        for (const Placed& p : placed) {
            const int gx0 = p.x + p.mask->left;
            const int cx0 = std::max(gx0, unionX0), cx1 = std::min(gx0 + p.mask->width, unionX1);
            for (int x = cx0 - unionX0; x < cx1 - unionX0; ++x) {
                shared[static_cast<std::size_t>(x)] +=
                    shared[static_cast<std::size_t>(x)] < 2 ? 1 : 0;
            }
        }
        const bool anyShared = std::find(shared.begin(), shared.end(), 2) != shared.end();
        thread_local std::vector<std::uint8_t> sum;
        if (anyShared) {
            sum.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
        }
        for (const Placed& p : placed) {
            const GlyphMask& mask = *p.mask;
            const std::uint8_t* cov = masks.coverage(mask);
            const int gx0 = p.x + mask.left, gy0 = p.y + mask.top;
            const int cx0 = std::max(gx0, unionX0), cx1 = std::min(gx0 + mask.width, unionX1);
            const int cy0 = std::max(gy0, unionY0), cy1 = std::min(gy0 + mask.height, unionY1);
            for (int a = cx0; a < cx1;) {
                const bool added = shared[static_cast<std::size_t>(a - unionX0)] == 2;
                int b = a + 1;
                while (b < cx1 && (shared[static_cast<std::size_t>(b - unionX0)] == 2) == added) {
                    ++b;
                }
                for (int y = cy0; y < cy1; ++y) {
                    const std::uint8_t* from = cov + (y - gy0) * mask.width + (a - gx0);
                    if (added) {
                        addSaturating(from,
                                      sum.data() + std::ptrdiff_t{y - unionY0} * w + (a - unionX0),
                                      b - a);
                    } else {
                        auto* to =
                            reinterpret_cast<std::uint32_t*>(pixels_ + std::ptrdiff_t{y} * stride_);
                        compositeRow(from, to + a, b - a, s, opaque, table);
                    }
                }
                a = b;
            }
        }
        for (int a = 0; anyShared && a < w;) {
            if (shared[static_cast<std::size_t>(a)] != 2) {
                ++a;
                continue;
            }
            int b = a + 1;
            while (b < w && shared[static_cast<std::size_t>(b)] == 2) {
                ++b;
            }
            for (int y = 0; y < h; ++y) {
                auto* to = reinterpret_cast<std::uint32_t*>(pixels_ +
                                                            std::ptrdiff_t{y + unionY0} * stride_) +
                           unionX0;
                compositeRow(sum.data() + std::ptrdiff_t{y} * w + a, to + a, b - a, s, opaque,
                             table);
            }
            a = b;
        }
    } else {
        // One glyph after another.
        for (const Placed& p : placed) {
            const GlyphMask& mask = *p.mask;
            const std::uint8_t* cov = masks.coverage(mask);
            const int gx0 = p.x + mask.left, gy0 = p.y + mask.top;
            const int cx0 = std::max(gx0, 0), cx1 = std::min(gx0 + mask.width, width_);
            const int cy0 = std::max(gy0, 0), cy1 = std::min(gy0 + mask.height, height_);
            for (int y = cy0; y < cy1; ++y) {
                const std::uint8_t* from = cov + (y - gy0) * mask.width + (cx0 - gx0);
                auto* to = reinterpret_cast<std::uint32_t*>(pixels_ + std::ptrdiff_t{y} * stride_);
                compositeRow(from, to + cx0, cx1 - cx0, s, opaque, table);
            }
        }
    }
    cairo_surface_mark_dirty_rectangle(target_, unionX0, unionY0, unionX1 - unionX0,
                                       unionY1 - unionY0);
    return true;
}

} // namespace platform::text_internal
