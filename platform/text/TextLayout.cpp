#include "platform/text/TextLayout.hpp"

#include "platform/foundation/ASCII.hpp"
#include "platform/foundation/RecentlyMade.hpp"
#include "platform/foundation/Unicode.hpp"
#include "platform/graphics/CairoAccess.hpp"
#include "platform/graphics/GraphicsContext.hpp"
#include "platform/text/GlyphCompositor.hpp"
#include "platform/text/LineBreaks.hpp"
#include "platform/text/SegmentShaper.hpp"
#include "platform/text/TextLayoutInternal.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <iterator>
#include <mutex>
#include <pango/pangocairo.h>
#include <string_view>
#include <unicode/uchar.h>
#include <unordered_map>

namespace platform {
namespace {

constexpr double kScale = PANGO_SCALE;

/// Positions within a layout are summed in 64 bits: a paragraph of a few hundred thousand
/// characters is taller, or its line wider, than 32-bit Pango units hold (about 2.1 million
/// points).
double fromPango(std::int64_t units) {
    return static_cast<double>(units) / kScale;
}
/// Lengths from callers are clamped to what Pango's 32-bit units hold comfortably; NaN becomes 0.
double clampLength(double points) {
    constexpr double limit = 100000;
    return std::isnan(points) ? 0 : std::clamp(points, -limit, limit);
}
/// What Pango holds as `units` in 32 bits, where a sum may have wrapped around: the value nearest
/// `expected` (known to within 2^31 units) that it stands for.
std::int64_t unwrapped(int units, std::int64_t expected) {
    const auto delta = static_cast<std::int32_t>(static_cast<std::uint32_t>(units) -
                                                 static_cast<std::uint32_t>(expected));
    return expected + delta;
}
/// An extent Pango took as the union of rectangles and gave as `units`: as it was while the
/// rectangles' positions held in 32 bits, else the extent `summed` from them here.
std::int64_t within32Bits(int units, std::int64_t summed) {
    return summed > INT_MAX ? summed : unwrapped(units, summed);
}
int toPango(double points) {
    return static_cast<int>(std::lround(clampLength(points) * kScale));
}
/// A box's extent as laid out: non-negative and finite.
Size boxSize(const InlineBox& box) {
    return {std::max(clampLength(box.size.width), 0.0),
            std::max(clampLength(box.size.height), 0.0)};
}

struct GObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectDeleter>;

struct FontDescriptionDeleter {
    void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};
struct AttrListDeleter {
    void operator()(PangoAttrList* l) const { pango_attr_list_unref(l); }
};
struct IterDeleter {
    void operator()(PangoLayoutIter* i) const { pango_layout_iter_free(i); }
};
struct GlyphStringDeleter {
    void operator()(PangoGlyphString* g) const { pango_glyph_string_free(g); }
};
struct MetricsDeleter {
    void operator()(PangoFontMetrics* m) const { pango_font_metrics_unref(m); }
};

PangoStretch stretchFor(double widthPercent) {
    static constexpr std::pair<double, PangoStretch> steps[] = {
        {50, PANGO_STRETCH_ULTRA_CONDENSED}, {62.5, PANGO_STRETCH_EXTRA_CONDENSED},
        {75, PANGO_STRETCH_CONDENSED},       {87.5, PANGO_STRETCH_SEMI_CONDENSED},
        {100, PANGO_STRETCH_NORMAL},         {112.5, PANGO_STRETCH_SEMI_EXPANDED},
        {125, PANGO_STRETCH_EXPANDED},       {150, PANGO_STRETCH_EXTRA_EXPANDED},
        {200, PANGO_STRETCH_ULTRA_EXPANDED},
    };
    PangoStretch best = PANGO_STRETCH_NORMAL;
    double bestDistance = 1e9;
    for (const auto& [percent, stretch] : steps) {
        if (std::abs(percent - widthPercent) < bestDistance) {
            bestDistance = std::abs(percent - widthPercent);
            best = stretch;
        }
    }
    return best;
}

std::unique_ptr<PangoFontDescription, FontDescriptionDeleter>
descriptionFor(const ResolvedFont& font) {
    std::unique_ptr<PangoFontDescription, FontDescriptionDeleter> d(pango_font_description_new());
    pango_font_description_set_family(d.get(), font.family.c_str());
    pango_font_description_set_weight(
        d.get(), static_cast<PangoWeight>(std::clamp(std::lround(font.weight), 100L, 1000L)));
    pango_font_description_set_style(d.get(),
                                     font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_font_description_set_stretch(d.get(), stretchFor(font.width));
    // Small capitals go through the variant rather than the raw features: Pango then fakes them
    // with scaled capitals for faces that have none (Inter among them).
    const bool lower = font.hasFeature("smcp");
    const bool upper = font.hasFeature("c2sc");
    if (lower) {
        pango_font_description_set_variant(d.get(), upper ? PANGO_VARIANT_ALL_SMALL_CAPS
                                                          : PANGO_VARIANT_SMALL_CAPS);
    }
    // Absolute size: one point is one unit of the layout, whatever resolution a surface has.
    pango_font_description_set_absolute_size(
        d.get(), std::clamp(clampLength(font.size), 0.0, 10000.0) * kScale);
    return d;
}

double lineHeightFactor(FontLeading leading) {
    switch (leading) {
    case FontLeading::tight:
        return 0.9;
    case FontLeading::loose:
        return 1.15;
    case FontLeading::standard:
        break;
    }
    return 0;
}

void insert(PangoAttrList* list, PangoAttribute* attribute, std::size_t start, std::size_t end) {
    attribute->start_index = static_cast<guint>(start);
    attribute->end_index = static_cast<guint>(end);
    pango_attr_list_insert(list, attribute);
}

/// Number of UTF-8 bytes of the sequence starting with `lead`.
std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        return 2;
    }
    if ((lead & 0xF0) == 0xE0) {
        return 3;
    }
    return 4;
}

/// What drawing needs of one run besides its public description.
struct RunDrawing {
    PangoFont* font = nullptr;
    const PangoGlyphString* glyphs = nullptr;
    int firstGlyph = 0;
    int endGlyph = 0;
    /// The font's Cairo font when the layout already knows it usable; else drawing asks.
    cairo_scaled_font_t* scaled = nullptr;
};

/// The fonts a thread resolved, by their description: resolution walks the font's modifiers and
/// asks the shared catalog, and a document asks for the same few fonts in every paragraph.
const std::optional<ResolvedFont>& resolvedFont(const Font& font) {
    thread_local std::unordered_map<Font, std::optional<ResolvedFont>> resolved;
    if (const auto it = resolved.find(font); it != resolved.end()) {
        return it->second;
    }
    if (resolved.size() >= 256) {
        resolved.clear();
    }
    return resolved.emplace(font, font.resolve()).first->second;
}

/// The next code point of valid UTF-8 at `i`, which moves past it.
char32_t decode(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t n = std::min(sequenceLength(lead), text.size() - i);
    char32_t c = n == 1 ? lead : lead & (0xFF >> (n + 1));
    for (std::size_t k = 1; k < n; ++k) {
        c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    i += n;
    return c;
}

/// Characters of left-to-right Latin text, which Pango puts in one item per font and shapes word
/// by word as it would the whole: no marks to combine, no controls, separators, soft hyphens or
/// invisible characters, nothing another script or direction could claim.
bool isPlainCharacter(char32_t c) {
    return (c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0x2FF && c != 0xAD) ||
           (c >= 0x1E00 && c <= 0x1EFF) || (c >= 0x2010 && c <= 0x2027) ||
           (c >= 0x2030 && c <= 0x205E) || (c >= 0x20A0 && c <= 0x20BF);
}

/// Whether shaping `piece` may depend on the words around it: whether it has anything but
/// letters, figures, spaces and the punctuation of running text (faces raise dashes, brackets
/// and the like between capitals or figures, looking across spaces).
bool needsContext(std::string_view piece) {
    for (std::size_t i = 0; i < piece.size();) {
        const char32_t c = decode(piece, i);
        const bool plain = c < 0x80
                               ? ascii::isAlnum(static_cast<char>(c)) || c == ' ' || c == ',' ||
                                     c == '.' || c == '\''
                               : c == 0x2019 || (c >= 0xC0 && c < 0x2000 && c != 0xD7 && c != 0xF7);
        if (!plain) {
            return true;
        }
    }
    return false;
}

/// Paragraphs longer than this (in bytes) are given to Pango in items of about kItemPiece bytes.
/// Short items keep short what Pango shapes again at each line's end: the start of the item the
/// line breaks in, once for every opportunity it tries (emoji, slow to shape, took twice as long
/// in items of 512 bytes).
constexpr std::size_t kLongParagraph = 32 * 1024;
constexpr std::size_t kItemPiece = 128;

/// How many words on either side a piece that needs them is shaped with: enough for a bracket to
/// see the figures it encloses.
constexpr std::size_t kContextWords = 2;

/// The direction of the first strong character of `paragraph`, which Pango's layout gives the
/// paragraph, found as it finds it (by a call deprecated for others' use, not for its own).
PangoDirection baseDirectionOf(std::string_view paragraph) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return pango_find_base_dir(paragraph.data(), static_cast<int>(paragraph.size()));
#pragma GCC diagnostic pop
}

/// Whether `c` opens or closes an explicit embedding, override or isolate.
bool isExplicitDirection(char32_t c) {
    switch (u_charDirection(static_cast<UChar32>(c))) {
    case U_LEFT_TO_RIGHT_EMBEDDING:
    case U_LEFT_TO_RIGHT_OVERRIDE:
    case U_RIGHT_TO_LEFT_EMBEDDING:
    case U_RIGHT_TO_LEFT_OVERRIDE:
    case U_POP_DIRECTIONAL_FORMAT:
    case U_LEFT_TO_RIGHT_ISOLATE:
    case U_RIGHT_TO_LEFT_ISOLATE:
    case U_FIRST_STRONG_ISOLATE:
    case U_POP_DIRECTIONAL_ISOLATE:
        return true;
    default:
        return false;
    }
}

/// Whether `byte` continues a UTF-8 sequence rather than starting a character.
bool continuesCharacter(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

/// The direction of the last strong character of `text`, if it has one.
std::optional<UCharDirection> lastStrongDirection(std::string_view text) {
    for (std::size_t end = text.size(); end > 0;) {
        std::size_t i = end - 1;
        while (i > 0 && continuesCharacter(text[i])) {
            --i;
        }
        end = i;
        const UCharDirection type = u_charDirection(static_cast<UChar32>(decode(text, i)));
        if (type == U_LEFT_TO_RIGHT || type == U_RIGHT_TO_LEFT || type == U_RIGHT_TO_LEFT_ARABIC) {
            return type;
        }
    }
    return std::nullopt;
}

/// Pango takes each box out of its list of attributes on its own, moving every attribute after
/// it: a paragraph of n boxes costs it n² moves (a hundred thousand empty formulas after a Hebrew
/// word took seconds). A paragraph of more boxes than this that goes to Pango is laid out in
/// pieces of about kPieceBytes.
constexpr std::size_t kManyBoxes = 2048;
constexpr std::size_t kPieceBytes = 8 * 1024;

/// Which paragraphs may be laid out from word shapes: none; the plain left-to-right ones, those
/// of right-to-left Hebrew words among many boxes and long ones with emoji (which Pango takes
/// seconds over); or every one of those kinds, however short (for comparing them with Pango's).
enum class WordShaping : std::uint8_t { never, usual, always };

/// Hebrew letters, without the points and marks that combine with them: right to left, and each
/// drawn on its own.
bool isPlainHebrewLetter(char32_t c) {
    return c >= 0x05D0 && c <= 0x05EA;
}

constexpr char32_t kZeroWidthJoiner = 0x200D;

/// Pictographs drawn as emoji by default (people, faces, objects, skin tones), which Pango
/// itemizes apart from the text around them and joins into sequences with zero-width joiners.
bool isEmoji(char32_t c) {
    return c >= 0x1F300 && c <= 0x1FAFF &&
           u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_EMOJI_PRESENTATION);
}

/// Word-shaped paragraphs with emoji shape a piece longer than twice this in windows of about
/// this many bytes, each cut after a joiner and shaped with this many bytes on either side: no
/// emoji face has a sequence of more than a few dozen bytes, and the windows of a chain that
/// repeats itself repeat too, each shaped once (shaping a chain of joined people costs about
/// 16 µs a person).
constexpr std::size_t kShapingWindow = 256;
constexpr std::size_t kWindowMargin = 64;

} // namespace

struct TextLayout::Impl {
    std::string text;
    /// Whether the text is ASCII, where bytes, characters and UTF-16 offsets are one and the same
    /// and the three tables below stay empty.
    bool ascii = false;
    /// UTF-16 offset of every byte offset that starts a character (and of the end).
    std::vector<std::uint32_t> utf16AtByte;
    /// Byte offset of every UTF-16 offset (the second half of a pair maps to its character).
    std::vector<std::uint32_t> byteAtUtf16;
    /// UTF-16 offset of every character index (and of the end).
    std::vector<std::uint32_t> utf16AtChar;
    /// Pango's analysis of the characters (word ends, cursor positions): from the layout when
    /// Pango laid the text out, else made when first asked (word-shaped lines need only the
    /// break opportunities, mostly found without it).
    mutable std::vector<PangoLogAttr> logAttrs;
    mutable std::once_flag logAttrsOnce;
    /// What the layout was made from: its runs' characters, attributes and boxes, kept for
    /// drawing, for the Pango layout made when a caret is asked for, and for the source of each
    /// laid-out run.
    StyledText source;
    const std::vector<std::size_t>& runStarts() const { return source.runStarts(); }
    const TextAttributes& sourceAttributes(std::size_t run) const { return source.attributes(run); }
    std::vector<Line> lines;
    /// One for each run, line by line.
    std::vector<RunDrawing> drawing;
    Size size;
    /// The union of the lines' typographic rectangles (null without lines): a right-aligned or
    /// right-to-left line may start far from the layout's origin.
    Rect extent = Rect::null();
    /// The height of the tallest line.
    double tallestLine = 0;
    bool truncated = false;
    mutable GObjectPtr<PangoLayout> layout;
    /// Whether the lines come from the word-shape cache rather than from a Pango layout.
    bool wordShaped = false;
    /// Whether the word-shaped lines cut a word between characters.
    bool cutWords = false;
    /// Whether the Pango layout is built only when asked (for carets): always for word-shaped
    /// lines, and for Pango's own once its lines are taken out of it.
    bool lazyPango = false;
    /// What the lazily built Pango layout is made from, with the source.
    ParagraphStyle sourceStyle;
    mutable std::once_flag pangoOnce;
    /// The glyphs of runs that are not as their slices would draw them (a glyph moved off its
    /// advance, a colour glyph); the others draw from their slices.
    std::vector<std::unique_ptr<PangoGlyphString, GlyphStringDeleter>> ownedGlyphs;
    /// The fonts the runs draw with.
    std::vector<GObjectPtr<PangoFont>> fonts;

    std::size_t sourceOf(std::size_t byte) const {
        const auto it = std::upper_bound(runStarts().begin(), runStarts().end(), byte);
        return it == runStarts().begin() ? 0
                                         : static_cast<std::size_t>(it - runStarts().begin() - 1);
    }
    std::size_t utf16(std::size_t byte) const {
        if (ascii) {
            return std::min(byte, text.size());
        }
        return utf16AtByte[std::min(byte, utf16AtByte.size() - 1)];
    }
    std::size_t length() const { return ascii ? text.size() : byteAtUtf16.size() - 1; }
    std::size_t byteOf(std::size_t index) const {
        if (ascii) {
            return std::min(index, text.size());
        }
        return byteAtUtf16[std::min(index, byteAtUtf16.size() - 1)];
    }
    /// Number of characters (code points).
    std::size_t characters() const { return ascii ? text.size() : utf16AtChar.size() - 1; }
    /// UTF-16 offset of the character at index `c` (at most the character count).
    std::size_t utf16OfChar(std::size_t c) const { return ascii ? c : utf16AtChar[c]; }
    /// Index of the character holding UTF-16 offset `index`.
    std::size_t charOf(std::size_t index) const {
        if (ascii) {
            return std::min(index, text.size());
        }
        const auto it = std::upper_bound(utf16AtChar.begin(), utf16AtChar.end(), index);
        return it == utf16AtChar.begin() ? 0
                                         : static_cast<std::size_t>(it - utf16AtChar.begin() - 1);
    }

    void buildOffsets();
    void buildLayout(const StyledText& styled, const ParagraphStyle& style) const;
    bool buildWordShaped(const StyledText& styled, const ParagraphStyle& style,
                         WordShaping wordShaping);
    bool buildInPieces(const StyledText& styled, const ParagraphStyle& style);
    void buildWithPango(const StyledText& styled, const ParagraphStyle& style);
    static TextLayout make(StyledText text, const ParagraphStyle& style, WordShaping wordShaping);
    static bool wordShapedOf(const TextLayout& layout) { return layout.impl_->wordShaped; }
    static bool cutsWordsOf(const TextLayout& layout) { return layout.impl_->cutWords; }
    /// The Pango layout, built now if the lines did not need it.
    PangoLayout* pangoLayout() const {
        if (lazyPango) {
            std::call_once(pangoOnce, [this] { buildLayout(sourceText(), sourceStyle); });
        }
        return layout.get();
    }
    const std::vector<PangoLogAttr>& attributes() const {
        std::call_once(logAttrsOnce, [this] {
            if (logAttrs.empty()) {
                logAttrs.resize(characters() + 1);
                pango_default_break(text.data(), static_cast<int>(text.size()), nullptr,
                                    logAttrs.data(), static_cast<int>(logAttrs.size()));
            }
        });
        return logAttrs;
    }
    /// The styled text the layout was made from.
    const StyledText& sourceText() const { return source; }
    void buildLines(const StyledText& styled, const ParagraphStyle& style,
                    std::optional<int> keepLines);
    /// Places each line within `layoutWidth` as Pango does for `alignment` (the leading edge
    /// being the right one for the lines `startsRight` marks).
    void alignLines(std::int64_t layoutWidth, TextAlignment alignment,
                    const std::vector<bool>& startsRight);
    void releasePangoLayout(const ParagraphStyle& style);
};

void TextLayout::Impl::buildOffsets() {
    ascii = std::none_of(text.begin(), text.end(),
                         [](char c) { return (static_cast<unsigned char>(c) & 0x80) != 0; });
    if (ascii) {
        return;
    }
    utf16AtByte.assign(text.size() + 1, 0);
    byteAtUtf16.clear();
    utf16AtChar.clear();
    std::uint32_t u = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t n =
            std::min(sequenceLength(static_cast<unsigned char>(text[i])), text.size() - i);
        const std::uint32_t units = n == 4 ? 2 : 1;
        for (std::size_t k = 0; k < n; ++k) {
            utf16AtByte[i + k] = u;
        }
        for (std::uint32_t k = 0; k < units; ++k) {
            byteAtUtf16.push_back(static_cast<std::uint32_t>(i));
        }
        utf16AtChar.push_back(u);
        u += units;
        i += n;
    }
    utf16AtByte[text.size()] = u;
    byteAtUtf16.push_back(static_cast<std::uint32_t>(text.size()));
    utf16AtChar.push_back(u);
}

void TextLayout::Impl::buildLayout(const StyledText& styled, const ParagraphStyle& style) const {
    PangoFontMap* fontMap = pango_cairo_font_map_get_default();
    GObjectPtr<PangoContext> context(pango_font_map_create_context(fontMap));
    // Unhinted outlines and fractional positions: the layout is the same at every scale and on
    // every surface it is later drawn into.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(context.get(), options);
    cairo_font_options_destroy(options);
    pango_context_set_round_glyph_positions(context.get(), FALSE);
    if (style.baseDirection != WritingDirection::natural) {
        pango_context_set_base_dir(context.get(),
                                   style.baseDirection == WritingDirection::rightToLeft
                                       ? PANGO_DIRECTION_RTL
                                       : PANGO_DIRECTION_LTR);
    }
    layout.reset(pango_layout_new(context.get()));
    PangoLayout* l = layout.get();
    pango_layout_set_auto_dir(l, style.baseDirection == WritingDirection::natural);

    if (const std::optional<ResolvedFont>& base = resolvedFont(style.font)) {
        const auto description = descriptionFor(*base);
        pango_layout_set_font_description(l, description.get());
    }

    std::unique_ptr<PangoAttrList, AttrListDeleter> attributes(pango_attr_list_new());
    // An attribute equal to the one of its kind just before and touching it extends that one.
    // Pango takes the attributes that bear on itemizing and breaking out of its list one at a time,
    // moving the rest each time, so a text of a hundred thousand runs (a line of short formulas)
    // with a font per run took minutes; runs of one font now share one. Boxes stay one apiece.
    // Kept in order of their start, so that each is appended to the list.
    std::vector<PangoAttribute*> kept;
    std::array<std::ptrdiff_t, 64> lastOfKind{};
    lastOfKind.fill(-1);
    const auto add = [&](PangoAttribute* attribute, std::size_t from, std::size_t to) {
        attribute->start_index = static_cast<guint>(from);
        attribute->end_index = static_cast<guint>(to);
        const auto kind = static_cast<std::size_t>(attribute->klass->type);
        if (kind < lastOfKind.size() && attribute->klass->type != PANGO_ATTR_SHAPE) {
            if (const std::ptrdiff_t last = lastOfKind[kind]; last >= 0) {
                PangoAttribute* const before = kept[static_cast<std::size_t>(last)];
                if (before->end_index == attribute->start_index &&
                    pango_attribute_equal(before, attribute)) {
                    before->end_index = attribute->end_index;
                    pango_attribute_destroy(attribute);
                    return;
                }
            }
            lastOfKind[kind] = static_cast<std::ptrdiff_t>(kept.size());
        }
        kept.push_back(attribute);
    };
    std::size_t start = 0;
    for (const StyledText::Run& run : styled.runs()) {
        const std::size_t end = start + run.text.size();
        if (end == start) {
            continue;
        }
        const TextAttributes& a = run.attributes;
        const std::optional<ResolvedFont> font = resolvedFont(a.font.value_or(style.font));
        std::string features;
        if (font) {
            add(pango_attr_font_desc_new(descriptionFor(*font).get()), start, end);
            const bool variant = font->hasFeature("smcp");
            for (const std::string& tag : font->features) {
                if (variant && (tag == "smcp" || tag == "c2sc")) {
                    continue; // carried by the description's variant
                }
                features += (features.empty() ? "" : ", ") + tag + " 1";
            }
            if (const double factor = lineHeightFactor(font->leading); factor > 0) {
                add(pango_attr_line_height_new(factor), start, end);
            }
        }
        if (a.tracking != 0) {
            features += std::string(features.empty() ? "" : ", ") + "liga 0, clig 0";
        }
        if (!features.empty()) {
            add(pango_attr_font_features_new(features.c_str()), start, end);
        }
        if (const double spacing = a.kerning + a.tracking; spacing != 0) {
            add(pango_attr_letter_spacing_new(toPango(spacing)), start, end);
        }
        if (run.box) {
            const Size size = boxSize(*run.box);
            const double offset = clampLength(run.box->baselineOffset);
            const PangoRectangle rect{0, toPango(-(size.height + offset)), toPango(size.width),
                                      toPango(size.height)};
            add(pango_attr_shape_new(&rect, &rect), start, end);
        } else if (a.baselineOffset != 0) {
            add(pango_attr_rise_new(toPango(a.baselineOffset)), start, end);
        }
        start = end;
    }
    if (text.size() > kLongParagraph) {
        // Pango shapes what remains of an item again for every line it breaks off it: the item's
        // length squared over the line's for an item of many lines (a megabyte of emoji without
        // a space took seconds). The font of a long paragraph is given in pieces of a hundred
        // bytes or so, cut at line-break opportunities, which Pango itemizes apart.
        const std::vector<PangoLogAttr>& analysis = this->attributes();
        std::vector<PangoAttribute*> pieces;
        pieces.reserve(kept.size());
        for (PangoAttribute* const attribute : kept) {
            if (attribute->klass->type != PANGO_ATTR_FONT_DESC ||
                attribute->end_index - attribute->start_index <= kItemPiece) {
                pieces.push_back(attribute);
                continue;
            }
            const std::size_t end = std::min<std::size_t>(attribute->end_index, text.size());
            std::size_t from = attribute->start_index;
            std::size_t character = charOf(utf16(from));
            for (std::size_t byte = from; byte < end;) {
                byte += sequenceLength(static_cast<unsigned char>(text[byte]));
                ++character;
                if (byte - from >= kItemPiece && byte < end && character < analysis.size() &&
                    analysis[character].is_line_break) {
                    PangoAttribute* const piece = pango_attribute_copy(attribute);
                    piece->start_index = static_cast<guint>(from);
                    piece->end_index = static_cast<guint>(byte);
                    pieces.push_back(piece);
                    from = byte;
                }
            }
            attribute->start_index = static_cast<guint>(from);
            pieces.push_back(attribute);
        }
        // In order of their start, as the list is built fastest.
        std::stable_sort(pieces.begin(), pieces.end(),
                         [](const PangoAttribute* a, const PangoAttribute* b) {
                             return a->start_index < b->start_index;
                         });
        kept = std::move(pieces);
    }
    for (PangoAttribute* const attribute : kept) {
        pango_attr_list_insert(attributes.get(), attribute);
    }
    // Words too long for a line are cut between characters without a hyphen, as the rest of the
    // system's text does.
    insert(attributes.get(), pango_attr_insert_hyphens_new(FALSE), 0, text.size());
    pango_layout_set_attributes(l, attributes.get());
    pango_layout_set_text(l, text.data(), static_cast<int>(text.size()));

    switch (style.alignment) {
    case TextAlignment::leading:
        pango_layout_set_alignment(l, PANGO_ALIGN_LEFT);
        break;
    case TextAlignment::center:
        pango_layout_set_alignment(l, PANGO_ALIGN_CENTER);
        break;
    case TextAlignment::trailing:
        pango_layout_set_alignment(l, PANGO_ALIGN_RIGHT);
        break;
    case TextAlignment::justified:
        pango_layout_set_alignment(l, PANGO_ALIGN_LEFT);
        pango_layout_set_justify(l, TRUE);
        break;
    }
    pango_layout_set_spacing(l, toPango(std::max(style.lineSpacing, 0.0)));
    if (style.width) {
        pango_layout_set_width(l, toPango(std::max(*style.width, 0.0)));
        pango_layout_set_wrap(l, style.breaksWords ? PANGO_WRAP_WORD_CHAR : PANGO_WRAP_WORD);
        if (style.lineLimit && *style.lineLimit > 0) {
            pango_layout_set_height(l, -*style.lineLimit);
            pango_layout_set_ellipsize(l, PANGO_ELLIPSIZE_END);
        }
    }
}

void TextLayout::Impl::alignLines(std::int64_t layoutWidth, TextAlignment alignment,
                                  const std::vector<bool>& startsRight) {
    for (std::size_t l = 0; l < lines.size(); ++l) {
        Line& line = lines[l];
        // Widths are whole Pango units, which doubles hold exactly.
        const std::int64_t width = std::llround(line.typographicBounds.width * kScale);
        const std::int64_t free = layoutWidth - width;
        std::int64_t offset = 0;
        if (alignment == TextAlignment::center) {
            // Rounded to whole points when both widths are, as Pango rounds it.
            offset = free / 2;
            if (((layoutWidth | width) & (PANGO_SCALE - 1)) == 0) {
                offset = (offset + (PANGO_SCALE >> 1)) & ~std::int64_t(PANGO_SCALE - 1);
            }
        } else if ((alignment == TextAlignment::trailing) !=
                   (l < startsRight.size() && startsRight[l])) {
            offset = free;
        }
        const double dx = fromPango(offset) - line.typographicBounds.origin.x;
        line.typographicBounds.origin.x += dx;
        for (Run& run : line.runs) {
            run.typographicBounds.origin.x += dx;
            run.slices.bounds_.origin.x += dx;
        }
    }
}

void TextLayout::Impl::buildLines(const StyledText& styled, const ParagraphStyle& style,
                                  std::optional<int> keepLines) {
    std::unique_ptr<PangoLayoutIter, IterDeleter> iter(pango_layout_get_iter(layout.get()));
    const PangoLayoutLine* currentLine = nullptr;
    // Pango sums positions in 32 bits, which a paragraph of a few hundred thousand characters
    // outgrows; each is taken back near where the lines and runs before it say it must be.
    std::int64_t lineTop = 0;
    std::int64_t nextLineTop = 0;
    std::int64_t lineLeft = 0;
    std::int64_t runEnd = 0;
    int lineWidth = 0;
    // Lines whose paragraph direction is right to left, which start at the right when aligned to
    // their leading edge.
    std::vector<bool> startsRight;
    do {
        const PangoLayoutLine* pangoLine = pango_layout_iter_get_line_readonly(iter.get());
        if (pangoLine != currentLine) {
            if (keepLines && static_cast<int>(lines.size()) >= *keepLines) {
                truncated = true;
                break;
            }
            currentLine = pangoLine;
            PangoRectangle logical;
            pango_layout_iter_get_line_extents(iter.get(), nullptr, &logical);
            lineTop = unwrapped(logical.y, nextLineTop);
            nextLineTop = lineTop + logical.height;
            lineLeft = unwrapped(logical.x, 0);
            runEnd = lineLeft;
            lineWidth = logical.width;
            const std::int64_t baseline =
                unwrapped(pango_layout_iter_get_baseline(iter.get()), lineTop);
            Line line;
            line.typographicBounds = {{fromPango(lineLeft), fromPango(baseline)},
                                      fromPango(unwrapped(lineWidth, 0)),
                                      fromPango(baseline - lineTop),
                                      fromPango(nextLineTop - baseline)};
            const auto lineStart = static_cast<std::size_t>(pangoLine->start_index);
            line.characterRange = {utf16(lineStart),
                                   utf16(lineStart + static_cast<std::size_t>(pangoLine->length))};
            lines.push_back(std::move(line));
            startsRight.push_back(style.baseDirection == WritingDirection::natural &&
                                  pangoLine->resolved_dir == PANGO_DIRECTION_RTL);
        }
        const PangoGlyphItem* glyphItem = pango_layout_iter_get_run_readonly(iter.get());
        if (glyphItem == nullptr) {
            continue; // the end of a line
        }
        PangoRectangle logical;
        pango_layout_iter_get_run_extents(iter.get(), nullptr, &logical);
        const std::int64_t runTop = unwrapped(logical.y, lineTop);
        const std::int64_t runBaselineUnits =
            unwrapped(pango_layout_iter_get_run_baseline(iter.get()), lineTop);
        const double baseline = fromPango(runBaselineUnits);
        const PangoItem* item = glyphItem->item;
        const PangoGlyphString* glyphs = glyphItem->glyphs;
        const bool rtl = (item->analysis.level % 2) != 0;
        const auto itemStart = static_cast<std::size_t>(item->offset);
        const auto itemEnd = itemStart + static_cast<std::size_t>(item->length);
        const std::size_t location = utf16(itemStart);
        const std::size_t end = utf16(itemEnd);
        std::string family;
        double fontSize = 0;
        if (item->analysis.font != nullptr) {
            const std::unique_ptr<PangoFontDescription, FontDescriptionDeleter> described(
                pango_font_describe_with_absolute_size(item->analysis.font));
            if (const char* f = pango_font_description_get_family(described.get())) {
                family = f;
            }
            fontSize = pango_font_description_get_size(described.get()) / kScale;
        }
        const double ascent = baseline - fromPango(runTop);
        const double descent = fromPango(runTop + logical.height) - baseline;

        const int count = glyphs->num_glyphs;
        std::vector<std::size_t> indices(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            indices[static_cast<std::size_t>(i)] =
                utf16(itemStart + static_cast<std::size_t>(glyphs->log_clusters[i]));
        }
        double x = fromPango(unwrapped(logical.x, runEnd));
        Line& line = lines.back();
        int i = 0;
        while (i < count) {
            // Split the item where the source run changes, so every run maps to one source run.
            const std::size_t source = sourceOf(itemStart + glyphs->log_clusters[i]);
            const StyledText::Run& sourceRun = styled.runs()[source];
            Run run;
            run.layoutDirection = rtl ? LayoutDirection::rightToLeft : LayoutDirection::leftToRight;
            run.sourceRun = source;
            run.isInlineBox = sourceRun.box.has_value();
            run.fontFamily = run.isInlineBox ? std::string() : family;
            run.fontSize = run.isInlineBox ? 0 : fontSize;
            double runAscent = ascent;
            double runDescent = descent;
            double runBaseline = baseline;
            if (run.isInlineBox) {
                // The box's own size, not the line's font, decides its extent.
                const double offset = fromPango(toPango(sourceRun.box->baselineOffset));
                runAscent = fromPango(toPango(boxSize(*sourceRun.box).height)) + offset;
                runDescent = -offset;
                runBaseline = line.typographicBounds.origin.y;
            }
            const double runX = x;
            const int first = i;
            std::size_t lower = SIZE_MAX;
            std::size_t upper = 0;
            int last = i;
            while (last < count && sourceOf(itemStart + glyphs->log_clusters[last]) == source) {
                ++last;
            }
            run.slices.glyphs_.reserve(static_cast<std::size_t>(last - first));
            for (; i < last; ++i) {
                const std::size_t s = indices[static_cast<std::size_t>(i)];
                std::size_t e = end;
                if (!rtl) {
                    for (int k = i + 1; k < count; ++k) {
                        if (indices[static_cast<std::size_t>(k)] != s) {
                            e = indices[static_cast<std::size_t>(k)];
                            break;
                        }
                    }
                } else {
                    for (int k = i - 1; k >= 0; --k) {
                        if (indices[static_cast<std::size_t>(k)] != s) {
                            e = indices[static_cast<std::size_t>(k)];
                            break;
                        }
                    }
                }
                const CharacterRange range{std::max(std::min(s, e), location),
                                           std::min(std::max(s, e), end)};
                const int advance = glyphs->glyphs[i].geometry.width;
                run.slices.glyphs_.push_back({glyphs->glyphs[i].glyph, advance,
                                              static_cast<std::uint32_t>(range.lowerBound),
                                              static_cast<std::uint32_t>(range.upperBound)});
                lower = std::min(lower, range.lowerBound);
                upper = std::max(upper, range.upperBound);
                x += fromPango(advance);
            }
            run.typographicBounds = {{runX, runBaseline}, x - runX, runAscent, runDescent};
            run.slices.bounds_ = run.typographicBounds;
            run.characterRange = {lower == SIZE_MAX ? location : lower,
                                  std::max(upper, lower == SIZE_MAX ? location : lower)};
            line.runs.push_back(std::move(run));
            drawing.push_back({item->analysis.font, glyphs, first, i});
        }
        // The advances are whole Pango units, which a double sums exactly.
        runEnd = std::llround(x * kScale);
        line.typographicBounds.width = fromPango(within32Bits(lineWidth, runEnd - lineLeft));
    } while (pango_layout_iter_next_run(iter.get()));

    // A line wider than 32-bit units was placed by Pango from widths that wrapped around: the lines
    // are placed again as Pango places narrower ones.
    double widestLine = 0;
    for (const Line& line : lines) {
        widestLine = std::max(widestLine, line.typographicBounds.width);
    }
    if (widestLine * kScale > INT_MAX) {
        alignLines(style.width ? toPango(std::max(*style.width, 0.0))
                               : std::llround(widestLine * kScale),
                   style.alignment, startsRight);
    }
    PangoRectangle logical;
    pango_layout_get_extents(layout.get(), nullptr, &logical);
    double widest = 0;
    for (const Line& line : lines) {
        widest = std::max(widest, line.typographicBounds.rect().maxX());
    }
    size = {fromPango(within32Bits(logical.width, std::llround(widest * kScale))),
            fromPango(within32Bits(logical.height, nextLineTop))};
    if (truncated && !lines.empty()) {
        // Only the kept lines count.
        size.height = lines.back().typographicBounds.rect().maxY();
        size.width = 0;
        for (const Line& line : lines) {
            size.width = std::max(size.width, line.typographicBounds.width);
        }
    }
    truncated = truncated || pango_layout_is_ellipsized(layout.get());
}

void TextLayout::Impl::releasePangoLayout(const ParagraphStyle& style) {
    // The lines hold all that hit testing needs and, with the fonts and the few glyph strings
    // they cannot stand for, all that drawing needs: the Pango layout (its items, glyph strings,
    // attributes and lines, several times what the lines take) is dropped, and made again only
    // should a caret be asked for.
    std::size_t next = 0;
    for (std::size_t l = 0; l < lines.size(); ++l) {
        for (std::size_t r = 0; r < lines[l].runs.size(); ++r) {
            const Run& run = lines[l].runs[r];
            RunDrawing& how = drawing[next++];
            const int count = how.endGlyph - how.firstGlyph;
            if (run.isInlineBox || how.glyphs == nullptr || how.font == nullptr) {
                how = {};
                continue;
            }
            const PangoGlyphInfo* first = how.glyphs->glyphs + how.firstGlyph;
            const bool asSlices = std::all_of(first, first + count, [](const PangoGlyphInfo& g) {
                return g.geometry.x_offset == 0 && g.geometry.y_offset == 0 &&
                       g.attr.is_cluster_start == 1 && g.attr.is_color == 0;
            });
            if (asSlices) {
                how.glyphs = nullptr;
            } else {
                std::unique_ptr<PangoGlyphString, GlyphStringDeleter> own(pango_glyph_string_new());
                pango_glyph_string_set_size(own.get(), count);
                std::copy_n(first, count, own->glyphs);
                std::copy_n(how.glyphs->log_clusters + how.firstGlyph, count, own->log_clusters);
                how.glyphs = own.get();
                ownedGlyphs.push_back(std::move(own));
            }
            how.firstGlyph = 0;
            how.endGlyph = count;
            if (std::none_of(fonts.begin(), fonts.end(),
                             [&how](const auto& f) { return f.get() == how.font; })) {
                fonts.emplace_back(static_cast<PangoFont*>(g_object_ref(how.font)));
            }
        }
    }
    sourceStyle = style;
    layout.reset();
    lazyPango = true;
}

bool TextLayout::Impl::buildWordShaped(const StyledText& styled, const ParagraphStyle& style,
                                       WordShaping wordShaping) {
    // Only what this path reproduces exactly: plain left-to-right text (paragraphs separated by
    // line feeds) in faces that cover it, and boxes, not justified, without raised runs, letter
    // spacing, features, line heights or a line limit. Pango lays out the rest. And one
    // paragraph of Hebrew words and spaces (no figures, Latin or punctuation, whose directions
    // would mix) with boxes, all of it right to left, drawn in the faces Pango finds for it.
    if (text.empty() || style.lineLimit || style.alignment == TextAlignment::justified ||
        style.baseDirection == WritingDirection::rightToLeft) {
        return false;
    }
    // The runs are read through the text's own accessors: a paragraph of formulas has half a
    // million of them, and each is asked about several times.
    const std::size_t sourceRuns = styled.runCount();
    const bool rtl = style.baseDirection == WritingDirection::natural &&
                     baseDirectionOf(text) == PANGO_DIRECTION_RTL;
    if (rtl && wordShaping != WordShaping::always && styled.boxCount() <= kManyBoxes) {
        return false;
    }
    // Emoji, and joiners between two of them, in long left-to-right paragraphs.
    const bool emojiAllowed =
        !rtl && (wordShaping == WordShaping::always || text.size() > kLongParagraph);
    bool hasEmoji = false;
    char32_t previous = 0;
    for (std::size_t r = 0, i = 0; r < sourceRuns; ++r) {
        const std::size_t runEnd = i + styled.runLength(r);
        if (styled.isBox(r)) {
            i = runEnd; // a box's character stands for it and is not shaped
            previous = 0;
        }
        while (i < runEnd) {
            const char32_t c = decode(text, i);
            if (rtl ? c != ' ' && !isPlainHebrewLetter(c) : c != '\n' && !isPlainCharacter(c)) {
                if (!emojiAllowed) {
                    return false;
                }
                if (c == kZeroWidthJoiner) {
                    std::size_t after = i;
                    if (!isEmoji(previous) || i == text.size() || !isEmoji(decode(text, after))) {
                        return false;
                    }
                } else if (!isEmoji(c)) {
                    return false;
                }
                hasEmoji = true;
            }
            previous = c;
        }
    }
    SegmentShaper& shaper = SegmentShaper::shared();
    std::vector<const SegmentShaper::LoadedFont*> runFonts(sourceRuns, nullptr);
    const auto loadFont = [&](const Font& requested) -> const SegmentShaper::LoadedFont* {
        // The paragraphs of a document ask for the same few fonts, mostly the very same values:
        // the fonts loaded last on this thread, by the font asked for (none for a font that
        // cannot be word-shaped).
        thread_local RecentlyMade<Font, const SegmentShaper::LoadedFont*> recent;
        if (const SegmentShaper::LoadedFont* const* known = recent.find(requested)) {
            return *known;
        }
        const SegmentShaper::LoadedFont* loaded = nullptr;
        const std::optional<ResolvedFont>& font = resolvedFont(requested);
        if (font && font->features.empty() && lineHeightFactor(font->leading) == 0) {
            loaded = shaper.font(*font,
                                 [](const ResolvedFont& f) { return descriptionFor(f).release(); });
        }
        return recent.remember(requested, loaded);
    };
    std::vector<std::pair<const Font*, const SegmentShaper::LoadedFont*>> loaded;
    // Boxes mostly share one set of attributes (kept once by the text), and so do runs of text:
    // the last of each checked, and the face found for the text.
    const TextAttributes* checkedBox = nullptr;
    const TextAttributes* checkedText = nullptr;
    const SegmentShaper::LoadedFont* checkedFont = nullptr;
    for (std::size_t r = 0; r < sourceRuns; ++r) {
        if (styled.runLength(r) == 0) {
            continue;
        }
        const TextAttributes& a = styled.attributes(r);
        if (a.kerning != 0 || a.tracking != 0) {
            return false;
        }
        if (styled.isBox(r)) {
            // A box takes its own extent, whatever its font (which is given only a line height)
            // and its raise (which its own offset replaces).
            if (&a == checkedBox) {
                continue;
            }
            const std::optional<ResolvedFont>& font = resolvedFont(a.font ? *a.font : style.font);
            if (font && lineHeightFactor(font->leading) > 0) {
                return false;
            }
            checkedBox = &a;
            continue;
        }
        if (&a == checkedText) {
            runFonts[r] = checkedFont;
            continue;
        }
        if (a.baselineOffset != 0) {
            return false;
        }
        // Runs mostly share a few fonts: each distinct one is looked up once.
        const Font& requested = a.font ? *a.font : style.font;
        const auto known = std::find_if(loaded.begin(), loaded.end(), [&](const auto& entry) {
            return *entry.first == requested;
        });
        if (known != loaded.end()) {
            runFonts[r] = known->second;
        } else {
            runFonts[r] = loadFont(requested);
            loaded.emplace_back(&requested, runFonts[r]);
        }
        if (runFonts[r] == nullptr) {
            return false;
        }
        checkedText = &a;
        checkedFont = runFonts[r];
    }
    // The face of each byte of right-to-left text and of text with emoji, as Pango's itemizing
    // finds it: for a letter or an emoji, the first of the run's fonts that has it; for a space
    // or a joiner, the face of the character before it or, where a box, another font or the
    // change between emoji and text comes between, after it (the first face that has a space
    // where there is none). Each byte also tells whether it is part of an emoji sequence.
    std::vector<const SegmentShaper::LoadedFont*> fontAt;
    std::vector<bool> emojiAt;
    if (rtl || hasEmoji) {
        fontAt.assign(text.size(), nullptr);
        emojiAt.assign(text.size(), false);
        struct Found {
            const SegmentShaper::LoadedFont* font = nullptr;
            char32_t c = 0;
            const SegmentShaper::LoadedFont* face = nullptr;
        };
        std::array<Found, 8> recent{};
        std::size_t next = 0;
        const auto faceOf = [&](const SegmentShaper::LoadedFont& font, char32_t c) {
            for (const Found& found : recent) {
                if (found.font == &font && found.c == c) {
                    return found.face;
                }
            }
            recent[next++ % recent.size()] = {&font, c, shaper.fallback(font, c)};
            return recent[(next - 1) % recent.size()].face;
        };
        // Stretches of runs of one font between boxes, which Pango itemizes apart, cut again
        // where emoji start or end.
        for (std::size_t r = 0; r < sourceRuns;) {
            if (styled.isBox(r) || runFonts[r] == nullptr) {
                ++r; // a box, or an empty run
                continue;
            }
            const SegmentShaper::LoadedFont& font = *runFonts[r];
            const std::size_t start = runStarts()[r];
            while (r < sourceRuns && !styled.isBox(r) &&
                   (runFonts[r] == &font || styled.runLength(r) == 0)) {
                ++r;
            }
            const std::size_t end = r < sourceRuns ? runStarts()[r] : text.size();
            for (std::size_t i = start; i < end;) {
                // Joiners stand between two emoji (checked above), in their sequence.
                const auto inSequence = [](char32_t c) {
                    return isEmoji(c) || c == kZeroWidthJoiner;
                };
                std::size_t at = i;
                const bool emoji = inSequence(decode(text, at));
                std::size_t stretchEnd = i;
                for (std::size_t k = i; k < end;) {
                    const char32_t c = decode(text, k);
                    if (inSequence(c) != emoji) {
                        break;
                    }
                    stretchEnd = k;
                    if (c == '\n') {
                        break; // each paragraph is itemized on its own
                    }
                }
                const SegmentShaper::LoadedFont* current = nullptr;
                for (at = i; at < stretchEnd;) {
                    const std::size_t from = at;
                    const char32_t c = decode(text, at);
                    const bool keeps = c == ' ' || c == '\n' || c == kZeroWidthJoiner;
                    if (!keeps || current == nullptr) {
                        current = keeps ? nullptr : faceOf(font, c);
                        if (!keeps && current == nullptr) {
                            return false;
                        }
                    }
                    if (current != nullptr) {
                        // Spaces that start the stretch take the face of the letter after them.
                        for (std::size_t k = from; k > i && fontAt[k - 1] == nullptr; --k) {
                            fontAt[k - 1] = current;
                        }
                    }
                    std::fill(fontAt.begin() + std::ptrdiff_t(from),
                              fontAt.begin() + std::ptrdiff_t(at), current);
                }
                if (current == nullptr) {
                    // Only spaces: the first face that has one.
                    const SegmentShaper::LoadedFont* space = faceOf(font, ' ');
                    if (space == nullptr) {
                        return false;
                    }
                    std::fill(fontAt.begin() + std::ptrdiff_t(i),
                              fontAt.begin() + std::ptrdiff_t(stretchEnd), space);
                }
                std::fill(emojiAt.begin() + std::ptrdiff_t(i),
                          emojiAt.begin() + std::ptrdiff_t(stretchEnd), emoji);
                i = stretchEnd;
            }
        }
    }
    // Break opportunities from the rules Pango's own layout applies (Latin text needs none of
    // the tailoring other scripts get): found here for ASCII and boxes (also when they end text
    // holding more), by Pango's analysis otherwise.
    std::vector<std::size_t> breaks;
    breaks.reserve(text.size() / 4 + 1);
    if (!text_internal::asciiLineBreaks(text, breaks) &&
        !text_internal::lineBreaksWithAsciiTail(text, breaks)) {
        const std::vector<PangoLogAttr>& analysis = attributes();
        const std::size_t characterCount = analysis.size() - 1;
        for (std::size_t c = 1, byte = 0; c <= characterCount; ++c) {
            byte += sequenceLength(static_cast<unsigned char>(text[byte]));
            if (c == characterCount || analysis[c].is_line_break) {
                breaks.push_back(byte);
            }
        }
    }

    // Pieces: the text between two break opportunities, cut again where the source run changes.
    struct Piece {
        std::size_t start = 0;
        std::size_t end = 0;
        std::size_t run = 0;
        std::shared_ptr<const SegmentShaper::Shape> shape;
        /// The text shaped along with the piece.
        std::size_t before = 0;
        std::size_t after = 0;
        /// The face that draws it (the run's own but in right-to-left text); null for a box.
        const SegmentShaper::LoadedFont* font = nullptr;
    };
    // Segments: the pieces between two break opportunities (without a line feed that ends
    // them), with the width of a final space, which hangs past the line's end when the line
    // breaks after it.
    struct Segment {
        std::size_t start = 0;
        std::size_t end = 0;
        std::size_t firstPiece = 0;
        std::size_t endPiece = 0;
        std::int64_t width = 0;
        std::int64_t hanging = 0;
        bool endsParagraph = false;
        /// A part of a word cut between characters: the first starts a line, all but the last
        /// end one.
        bool startsLine = false;
        bool endsLine = false;
    };
    std::vector<Piece> pieces;
    std::vector<Segment> segments;
    std::unordered_map<int, std::shared_ptr<const SegmentShaper::Shape>> boxShapes;
    // A piece ends where a break or a run does: as many as there are such places (one per break
    // and one per run held a third more for a line of formulas, where most breaks end a run).
    std::size_t pieceEnds = 0;
    for (std::size_t b = 0, r = 1; b < breaks.size() || r < runStarts().size(); ++pieceEnds) {
        if (r == runStarts().size() || (b < breaks.size() && breaks[b] < runStarts()[r])) {
            ++b;
        } else if (b == breaks.size() || runStarts()[r] < breaks[b]) {
            ++r;
        } else {
            ++b;
            ++r;
        }
    }
    pieces.reserve(pieceEnds);
    segments.reserve(breaks.size());
    // Shapes `from` to `to` of an emoji sequence of run `r` in `font` (all of `low` to `high` in
    // that face) in windows, adding their widths to `width`; false where the face lacks a glyph.
    const auto shapeInWindows = [&](const SegmentShaper::LoadedFont& font, std::size_t r,
                                    std::size_t from, std::size_t to, std::size_t low,
                                    std::size_t high, std::int64_t& width) {
        const auto startOfCharacter = [&](std::size_t i) {
            while (i < text.size() && continuesCharacter(text[i])) {
                ++i;
            }
            return i;
        };
        static constexpr std::string_view joiner = "\u200D";
        for (std::size_t a = from; a < to;) {
            const std::size_t before =
                startOfCharacter(std::max(low, a - std::min(a, kWindowMargin)));
            std::size_t b = to;
            if (to - a > 2 * kShapingWindow) {
                const std::size_t j = text.find(joiner, a + kShapingWindow);
                b = j < to ? j + joiner.size() : to;
            }
            // Each window keeps the glyphs whose clusters start within it: one that a sequence
            // across its end makes is the earlier window's, as in the whole.
            const std::size_t after = startOfCharacter(std::min(high, b + kWindowMargin));
            auto shape = shaper.shape(font, std::string_view(text).substr(before, after - before),
                                      a - before, b - a);
            if (!shape->covered) {
                return false;
            }
            width += shape->width;
            pieces.push_back({a, b, r, std::move(shape), before, after, &font});
            a = b;
        }
        return true;
    };
    // A box's extent in Pango units, as Pango is given it: boxes of one size (a line of formulas)
    // share the last one worked out.
    struct BoxUnits {
        InlineBox box;
        int width = 0;
        int height = 0;
        /// Of its logical rectangle, from the baseline (negative above it).
        int top = 0;
        int baselineOffset = 0;
    };
    std::optional<BoxUnits> lastBox;
    // The shape of a piece shaped with the text around it, in a face and direction: the one
    // asked for last serves again when asked for the very same (a line of formulas asks for the
    // same space between every two), without the shaper's table.
    struct LastShape {
        const SegmentShaper::LoadedFont* font = nullptr;
        std::string_view context;
        std::size_t offset = 0;
        std::size_t length = 0;
        bool rightToLeft = false;
        std::shared_ptr<const SegmentShaper::Shape> shape;
    };
    LastShape lastShape;
    const auto shapeOf = [&](const SegmentShaper::LoadedFont& font, std::size_t before,
                             std::size_t after, std::size_t from, std::size_t to,
                             bool rightToLeft) -> std::shared_ptr<const SegmentShaper::Shape> {
        const std::string_view context = std::string_view(text).substr(before, after - before);
        if (lastShape.shape == nullptr || lastShape.font != &font ||
            lastShape.offset != from - before || lastShape.length != to - from ||
            lastShape.rightToLeft != rightToLeft || lastShape.context != context) {
            lastShape = {
                &font,         context,
                from - before, to - from,
                rightToLeft,   shaper.shape(font, context, from - before, to - from, rightToLeft)};
        }
        return lastShape.shape;
    };
    const auto unitsOf = [&lastBox](const InlineBox& box) -> const BoxUnits& {
        if (!lastBox || !(lastBox->box == box)) {
            const Size size = boxSize(box);
            lastBox = BoxUnits{box, toPango(size.width), toPango(size.height),
                               toPango(-(size.height + clampLength(box.baselineOffset))),
                               toPango(box.baselineOffset)};
        }
        return *lastBox;
    };
    std::size_t segmentStart = 0;
    // The run holding a byte, found walking forward: the segments go through the text in order.
    std::size_t source = 0;
    const auto sourceAhead = [&](std::size_t at) {
        if (runStarts()[source] > at) {
            source = sourceOf(at);
        }
        while (source + 1 < runStarts().size() && runStarts()[source + 1] <= at) {
            ++source;
        }
        return source;
    };
    for (std::size_t b = 0; b < breaks.size(); ++b) {
        const std::size_t breakAt = breaks[b];
        Segment segment;
        segment.endsParagraph = text[breakAt - 1] == '\n';
        segment.start = segmentStart;
        segment.end = segment.endsParagraph ? breakAt - 1 : breakAt;
        segment.firstPiece = pieces.size();
        for (std::size_t at = segment.start; at < segment.end;) {
            const std::size_t r = sourceAhead(at);
            const std::size_t end = std::min(
                segment.end, r + 1 < runStarts().size() ? runStarts()[r + 1] : text.size());
            if (end > at && styled.isBox(r)) {
                if (at != runStarts()[r] || end - at != styled.runLength(r)) {
                    return false; // a box's character split from it: give the text to Pango
                }
                // One empty glyph as wide as the box, as Pango gives it (none wide for an empty
                // box: a formula that did not parse); boxes of one width (a line of formulas)
                // share it.
                const int width = unitsOf(*styled.box(r)).width;
                std::shared_ptr<const SegmentShaper::Shape>& box = boxShapes[width];
                if (!box) {
                    auto made = std::make_shared<SegmentShaper::Shape>();
                    made->glyphs = pango_glyph_string_new();
                    pango_glyph_string_set_size(made->glyphs, 1);
                    made->width = width;
                    made->glyphs->glyphs[0] = {PANGO_GLYPH_EMPTY, {width, 0, 0}, {1, 0}};
                    made->glyphs->log_clusters[0] = 0;
                    box = std::move(made);
                }
                segment.width += box->width;
                pieces.push_back({at, end, r, box, at, end, nullptr});
                at = end;
                continue;
            }
            if (end <= at || runFonts[r] == nullptr) {
                return false; // offsets that do not advance: give the text to Pango
            }
            // Pieces of the run's own face: one whose punctuation may change form beside figures
            // or capitals is shaped with the words on either side, within its run and face,
            // unless the font shows it cannot.
            const std::size_t runStart = runStarts()[r];
            const std::size_t runEnd =
                r + 1 < runStarts().size() ? runStarts()[r + 1] : text.size();
            const std::size_t first = b >= kContextWords ? b - kContextWords : 0;
            const std::size_t lowest = std::max(first > 0 ? breaks[first - 1] : 0, runStart);
            const std::size_t highest =
                std::min(breaks[std::min(b + kContextWords, breaks.size() - 1)], runEnd);
            const auto shapePlain = [&](std::size_t from, std::size_t to, std::size_t low,
                                        std::size_t high) {
                std::size_t before = from;
                std::size_t after = to;
                if (needsContext(std::string_view(text).substr(from, to - from)) &&
                    !shaper.shapesOnItsOwn(
                        *runFonts[r], std::string_view(text).substr(runStart, runEnd - runStart),
                        from - runStart, to - from)) {
                    before = low;
                    after = high;
                }
                auto shape = shapeOf(*runFonts[r], before, after, from, to, false);
                if (!shape->covered) {
                    return false; // a fallback face would draw part of it
                }
                segment.width += shape->width;
                pieces.push_back({from, to, r, std::move(shape), before, after, runFonts[r]});
                return true;
            };
            if (fontAt.empty()) {
                if (!shapePlain(at, end, lowest, highest)) {
                    return false;
                }
                at = end;
                continue;
            }
            // Else a piece for each face (and emoji apart from text), shaped with the words around
            // it in that face.
            while (at < end) {
                const SegmentShaper::LoadedFont* font = fontAt[at];
                const bool emoji = emojiAt[at];
                const auto same = [&](std::size_t k) {
                    return fontAt[k] == font && emojiAt[k] == emoji;
                };
                // The bytes of the same face (and kind) from `k` down to `limit`, or up to it.
                const auto sameDownTo = [&](std::size_t k, std::size_t limit) {
                    while (k > limit && same(k - 1)) {
                        --k;
                    }
                    return k;
                };
                const auto sameUpTo = [&](std::size_t k, std::size_t limit) {
                    while (k < limit && same(k)) {
                        ++k;
                    }
                    return k;
                };
                const std::size_t stop = sameUpTo(at, end);
                const std::size_t before = sameDownTo(at, lowest);
                const std::size_t after = sameUpTo(stop, highest);
                if (!rtl && !emoji && font == runFonts[r]) {
                    if (!shapePlain(at, stop, before, after)) {
                        return false;
                    }
                    at = stop;
                    continue;
                }
                if (emoji && stop - at > 2 * kShapingWindow) {
                    // The face's stretch around the piece, for the windows' margins.
                    const std::size_t low = sameDownTo(before, runStart);
                    const std::size_t high = sameUpTo(after, runEnd);
                    if (!shapeInWindows(*font, r, at, stop, low, high, segment.width)) {
                        return false;
                    }
                    at = stop;
                    continue;
                }
                // Whole characters only (every byte of one has its face).
                auto shape = shapeOf(*font, before, after, at, stop, rtl);
                if (!shape->covered) {
                    return false;
                }
                segment.width += shape->width;
                pieces.push_back({at, stop, r, std::move(shape), before, after, font});
                at = stop;
            }
        }
        segment.endPiece = pieces.size();
        // Spaces before a line feed take room on their line, as Pango sets them.
        if (segment.endPiece > segment.firstPiece && text[segment.end - 1] == ' ' &&
            !segment.endsParagraph) {
            // The space's glyph is the last drawn, or the first in right-to-left text.
            const PangoGlyphString* g = pieces.back().shape->glyphs;
            const std::size_t lastStart = pieces.back().start;
            const int final = rtl ? 0 : g->num_glyphs - 1;
            if (g->num_glyphs > 0 &&
                lastStart + static_cast<std::size_t>(g->log_clusters[final]) == segment.end - 1) {
                segment.hanging = g->glyphs[final].geometry.width;
            }
        }
        segments.push_back(segment);
        segmentStart = breakAt;
    }

    // A segment wider than the line alone is cut between characters into parts that each fill a
    // line, measured with the glyphs of the whole word: one pass over the word, where Pango
    // measures each line's characters again (quadratic in the word's length).
    // Without a width, lines end only at line feeds, however wide (far below what 64 bits hold,
    // with room to add a margin to).
    const std::int64_t available =
        style.width ? toPango(std::max(*style.width, 0.0)) : std::int64_t(1) << 62;
    if (style.breaksWords &&
        std::any_of(segments.begin(), segments.end(), [&](const Segment& segment) {
            return segment.width - segment.hanging > available;
        })) {
        std::vector<Piece> cutPieces;
        std::vector<Segment> cutSegments;
        for (const Segment& segment : segments) {
            if (segment.width - segment.hanging <= available) {
                Segment kept = segment;
                kept.firstPiece = cutPieces.size();
                cutPieces.insert(cutPieces.end(), pieces.begin() + long(segment.firstPiece),
                                 pieces.begin() + long(segment.endPiece));
                kept.endPiece = cutPieces.size();
                cutSegments.push_back(kept);
                continue;
            }
            for (std::size_t p = segment.firstPiece; p < segment.endPiece; ++p) {
                if (styled.isBox(pieces[p].run) || rtl) {
                    return false; // Pango cuts around a box (and right-to-left words) its own way
                }
            }
            // The advance of the glyphs starting at each byte, and where a cut may fall: at a
            // character boundary that no glyph straddles.
            const std::size_t length = segment.end - segment.start;
            std::vector<std::int64_t> before(length + 1, 0);
            std::vector<bool> clusterStart(length + 1, false);
            for (std::size_t p = segment.firstPiece; p < segment.endPiece; ++p) {
                const PangoGlyphString* g = pieces[p].shape->glyphs;
                clusterStart[pieces[p].start - segment.start] = true;
                for (int i = 0; i < g->num_glyphs; ++i) {
                    const std::size_t at = pieces[p].start - segment.start +
                                           static_cast<std::size_t>(g->log_clusters[i]);
                    clusterStart[at] = true;
                    before[at + 1] += g->glyphs[i].geometry.width;
                }
            }
            for (std::size_t k = 1; k <= length; ++k) {
                before[k] += before[k - 1];
            }
            // A space that ends a part hangs past the line's end, as for whole segments (but the
            // paragraph's last).
            const auto hangingAt = [&](std::size_t k) -> std::int64_t {
                return text[segment.start + k - 1] == ' ' && (k < length || !segment.endsParagraph)
                           ? before[k] - before[k - 1]
                           : 0;
            };
            // Where a part may end: after each character that may end a line, and at the end.
            std::vector<std::size_t> ends;
            std::size_t character = charOf(utf16(segment.start));
            const std::vector<PangoLogAttr>& analysis = attributes();
            for (std::size_t k = 0; k < length;) {
                k += std::min(sequenceLength(static_cast<unsigned char>(text[segment.start + k])),
                              length - k);
                ++character;
                if (k == length || (clusterStart[k] && character < analysis.size() &&
                                    analysis[character].is_cursor_position)) {
                    ends.push_back(k);
                }
            }
            // A part from `from` to the end `k`, shaped as the line shows it: the pieces a cut at
            // its end falls in are shaped again on their own, so the letters before the cut lose
            // their neighbours' kerning (the text around is looked at, for contextual forms, and
            // not shaped).
            std::size_t p = segment.firstPiece;
            std::size_t from = 0;
            const auto partTo = [&](std::size_t k, std::vector<Piece>& into) {
                Segment part;
                part.start = segment.start + from;
                part.end = segment.start + ends[k];
                part.startsLine = from == 0;
                part.endsLine = ends[k] < length;
                part.endsParagraph = !part.endsLine && segment.endsParagraph;
                part.hanging = hangingAt(ends[k]);
                for (std::size_t q = p; q < segment.endPiece && pieces[q].start < part.end; ++q) {
                    const Piece& whole = pieces[q];
                    const std::size_t start = std::max(whole.start, part.start);
                    const std::size_t end = std::min(whole.end, part.end);
                    if (start == whole.start && end == whole.end) {
                        into.push_back(whole); // keeps the words it was shaped with
                    } else if (end == whole.end) {
                        // What follows the last cut keeps the glyphs of the whole word.
                        const PangoGlyphString* g = whole.shape->glyphs;
                        auto rest = std::make_shared<SegmentShaper::Shape>();
                        rest->glyphs = pango_glyph_string_new();
                        const auto skip = static_cast<int>(start - whole.start);
                        for (int i = 0; i < g->num_glyphs; ++i) {
                            if (g->log_clusters[i] < skip) {
                                continue;
                            }
                            const int n = rest->glyphs->num_glyphs;
                            pango_glyph_string_set_size(rest->glyphs, n + 1);
                            rest->glyphs->glyphs[n] = g->glyphs[i];
                            rest->glyphs->log_clusters[n] = g->log_clusters[i] - skip;
                            rest->width += g->glyphs[i].geometry.width;
                        }
                        into.push_back(
                            {start, end, whole.run, std::move(rest), start, end, whole.font});
                    } else {
                        // A few characters on either side are all a shaper looks at.
                        std::size_t lookFrom = start - std::min<std::size_t>(start, 24);
                        std::size_t lookTo = std::min(text.size(), end + 24);
                        while (lookFrom < start && continuesCharacter(text[lookFrom])) {
                            ++lookFrom;
                        }
                        while (lookTo > end && lookTo < text.size() &&
                               continuesCharacter(text[lookTo])) {
                            --lookTo;
                        }
                        into.push_back({start, end, whole.run,
                                        shaper.shapeAlone(*runFonts[whole.run],
                                                          std::string_view(text).substr(
                                                              lookFrom, lookTo - lookFrom),
                                                          start - lookFrom, end - start),
                                        start, end, whole.font});
                    }
                    part.width += into.back().shape->width;
                }
                return part;
            };
            // Greedy parts, as Pango cuts them: the ends the whole word's glyphs put near the
            // line's end (within about three characters) are measured shaped as the line shows
            // them, and the last that fits wins; when none does, the part gives up characters. A
            // single character wider than the line takes a line alone.
            std::vector<Piece> partPieces;
            std::vector<Piece> trialPieces;
            std::size_t e = 0;
            while (from < length) {
                const auto width = [&](std::size_t k) {
                    return before[ends[k]] - before[from] - hangingAt(ends[k]);
                };
                while (p < segment.endPiece && pieces[p].end <= segment.start + from) {
                    ++p;
                }
                const std::size_t firstEnd = e;
                // What takes no room past a part wider than the line (the space after a cluster
                // that cannot be cut) stays on its line.
                while (e + 1 < ends.size() && width(e + 1) <= std::max(available, width(e))) {
                    ++e;
                }
                const std::int64_t margin =
                    3 * (before[ends[e]] - before[from]) / std::int64_t(e - firstEnd + 1);
                partPieces.clear();
                Segment part = partTo(e, partPieces);
                for (std::size_t k = e + 1; k < ends.size() && width(k) <= available + margin;
                     ++k) {
                    trialPieces.clear();
                    const Segment trial = partTo(k, trialPieces);
                    if (trial.width - trial.hanging <= available) {
                        part = trial;
                        e = k;
                        std::swap(partPieces, trialPieces);
                    }
                }
                while (part.width - part.hanging > available && e > firstEnd &&
                       width(firstEnd) <= available) {
                    partPieces.clear();
                    part = partTo(--e, partPieces);
                }
                part.firstPiece = cutPieces.size();
                cutPieces.insert(cutPieces.end(), partPieces.begin(), partPieces.end());
                part.endPiece = cutPieces.size();
                cutSegments.push_back(part);
                from = ends[e];
                ++e;
            }
        }
        pieces = std::move(cutPieces);
        segments = std::move(cutSegments);
        cutWords = true;
    }

    // Greedy lines, as Pango fills them: a segment moves to the next line when it does not fit
    // without its final space. One that takes no room but its final space (an empty box, with
    // the space after it) stays on its line however full, as in Pango, where it always fits: a
    // line of a thousand empty formulas is one line. A line feed ends the line after its segment;
    // text that ends in one ends in an empty line.
    struct LineSpan {
        std::size_t firstSegment = 0;
        std::size_t endSegment = 0;
        bool wrapped = false;
    };
    std::vector<LineSpan> spans;
    bool open = false;
    std::int64_t lineWidth = 0;
    for (std::size_t s = 0; s < segments.size(); ++s) {
        const Segment& segment = segments[s];
        const bool fits = segment.width - segment.hanging <= available - lineWidth ||
                          segment.width == segment.hanging;
        if (open && (!fits || segment.startsLine)) {
            spans.back().wrapped = true;
            open = false;
        }
        if (!open) {
            spans.push_back({s, s, false});
            lineWidth = 0;
            open = true;
        }
        spans.back().endSegment = s + 1;
        lineWidth += segment.width;
        open = !segment.endsParagraph && !segment.endsLine;
        spans.back().wrapped = segment.endsLine;
    }
    const bool endsInEmptyLine = segments.back().endsParagraph;

    lines.reserve(spans.size() + 1);
    drawing.reserve(spans.size() + sourceRuns);
    const int spacing = toPango(std::max(style.lineSpacing, 0.0));
    std::int64_t top = 0;
    std::int64_t widest = 0;
    const auto addEmptyLine = [&](std::size_t at) -> bool {
        // An empty line is as high as the font of its line feed (the paragraph's font at the
        // end of the text).
        const std::size_t r = sourceOf(at);
        const SegmentShaper::LoadedFont* font =
            at < text.size() ? runFonts[r] : loadFont(style.font);
        if (font == nullptr) {
            return false;
        }
        Line line;
        line.typographicBounds = {{0, fromPango(top + font->ascent)},
                                  0,
                                  fromPango(font->ascent),
                                  fromPango(font->descent)};
        line.characterRange = {utf16(at), utf16(at)};
        lines.push_back(std::move(line));
        top += font->ascent + font->descent;
        return true;
    };
    // The shapes of a run's pieces, as its line shows them.
    struct RunPart {
        const SegmentShaper::Shape* shape = nullptr;
        std::size_t start = 0;
        /// Holds the shape when the line's ends had it shaped again.
        std::shared_ptr<const SegmentShaper::Shape> reshaped;
    };
    std::vector<RunPart> parts;
    const LayoutDirection direction =
        rtl ? LayoutDirection::rightToLeft : LayoutDirection::leftToRight;
    for (std::size_t l = 0; l < spans.size(); ++l) {
        if (l > 0) {
            top += spacing;
        }
        const LineSpan& span = spans[l];
        const std::size_t firstPiece = segments[span.firstSegment].firstPiece;
        const std::size_t endPiece = segments[span.endSegment - 1].endPiece;
        if (firstPiece == endPiece) {
            if (!addEmptyLine(segments[span.firstSegment].start)) {
                return false;
            }
            continue;
        }
        int ascent = 0;
        int descent = 0;
        for (std::size_t p = firstPiece; p < endPiece; ++p) {
            if (const InlineBox* box = styled.box(pieces[p].run)) {
                // The box's logical rectangle as Pango is given it.
                const BoxUnits& units = unitsOf(*box);
                ascent = std::max(ascent, -units.top);
                descent = std::max(descent, units.top + units.height);
                continue;
            }
            ascent = std::max(ascent, pieces[p].font->ascent);
            descent = std::max(descent, pieces[p].font->descent);
        }
        const std::int64_t baseline = top + ascent;
        Line line;
        // One run per stretch of one source run.
        std::size_t runCount = 1;
        for (std::size_t p = firstPiece + 1; p < endPiece; ++p) {
            runCount += pieces[p].run != pieces[p - 1].run || pieces[p].start != pieces[p - 1].end;
        }
        line.runs.reserve(runCount);
        std::int64_t x = 0;
        const std::size_t lineStart = pieces[firstPiece].start;
        const std::size_t lineEnd = pieces[endPiece - 1].end;
        for (std::size_t p = firstPiece; p < endPiece;) {
            // One run per stretch of one source run.
            const std::size_t source = pieces[p].run;
            if (const InlineBox* box = styled.box(source)) {
                // Drawn by its owner: an extent of its own and one empty glyph.
                const int advance = pieces[p].shape->glyphs->glyphs[0].geometry.width;
                const BoxUnits& units = unitsOf(*box);
                const double offset = fromPango(units.baselineOffset);
                Run& run = line.runs.emplace_back();
                run.layoutDirection = direction;
                run.sourceRun = source;
                run.isInlineBox = true;
                const std::size_t location = utf16(pieces[p].start);
                const std::size_t end = utf16(pieces[p].end);
                run.slices.glyphs_.push_back({PANGO_GLYPH_EMPTY, advance,
                                              static_cast<std::uint32_t>(location),
                                              static_cast<std::uint32_t>(end)});
                run.typographicBounds = {{fromPango(x), fromPango(baseline)},
                                         fromPango(advance),
                                         fromPango(units.height) + offset,
                                         -offset};
                run.slices.bounds_ = run.typographicBounds;
                run.characterRange = {location, end};
                drawing.emplace_back();
                x += advance;
                ++p;
                continue;
            }
            const SegmentShaper::LoadedFont& font = *pieces[p].font;
            const std::size_t runStart = pieces[p].start;
            std::size_t runEnd = runStart;
            int count = 0;
            const bool emoji = !emojiAt.empty() && emojiAt[runStart];
            for (;
                 p < endPiece && pieces[p].run == source && pieces[p].start == runEnd &&
                 pieces[p].font == &font && (emojiAt.empty() || emojiAt[pieces[p].start] == emoji);
                 ++p) {
                RunPart part{pieces[p].shape.get(), pieces[p].start, nullptr};
                if (pieces[p].before < lineStart || pieces[p].after > lineEnd) {
                    // Pango shapes each line's text again on its own: the words at its ends
                    // lose what lies beyond them.
                    const std::size_t before = std::max(pieces[p].before, lineStart);
                    const std::size_t after = std::min(pieces[p].after, lineEnd);
                    part.reshaped = shaper.shape(
                        font, std::string_view(text).substr(before, after - before),
                        pieces[p].start - before, pieces[p].end - pieces[p].start, rtl);
                    part.shape = part.reshaped.get();
                }
                count += part.shape->glyphs->num_glyphs;
                parts.push_back(std::move(part));
                runEnd = pieces[p].end;
            }
            if (rtl) {
                std::reverse(parts.begin(), parts.end()); // drawn from the last piece
            }
            Run& run = line.runs.emplace_back();
            run.layoutDirection = direction;
            run.sourceRun = source;
            run.fontFamily = font.family;
            run.fontSize = font.size;
            const double runAscent = fromPango(font.ascent);
            const double runDescent = fromPango(font.descent);
            const double y = fromPango(baseline);
            const std::size_t location = utf16(runStart);
            const std::size_t end = utf16(runEnd);
            const std::int64_t runX = x;
            // Each glyph stands for the characters from its cluster's to the next cluster's
            // (the run's end for the last): the lower bounds first, the upper ones from the end.
            std::vector<RunSlices::Glyph>& slices = run.slices.glyphs_;
            slices.resize(static_cast<std::size_t>(count));
            std::size_t n = 0;
            int offsets = 0;
            for (const RunPart& part : parts) {
                const PangoGlyphString* g = part.shape->glyphs;
                for (int i = 0; i < g->num_glyphs; ++i, ++n) {
                    const PangoGlyphGeometry& geometry = g->glyphs[i].geometry;
                    slices[n] = {g->glyphs[i].glyph, geometry.width,
                                 static_cast<std::uint32_t>(
                                     part.start + static_cast<std::size_t>(g->log_clusters[i])),
                                 0};
                    x += geometry.width;
                    offsets |= geometry.x_offset | geometry.y_offset;
                }
            }
            const bool offAdvance = offsets != 0;
            // The space the line breaks after takes no room, as in Pango. Its glyph is the last
            // one drawn, or the first in right-to-left text.
            const std::size_t finalGlyph = rtl ? 0 : slices.size() - 1;
            const bool dropsFinalSpace = span.wrapped && p == endPiece && count > 0 &&
                                         text[runEnd - 1] == ' ' &&
                                         slices[finalGlyph].lowerBound == runEnd - 1;
            if (dropsFinalSpace) {
                x -= slices[finalGlyph].advance;
                slices[finalGlyph].advance = 0;
                slices[finalGlyph].glyph = PANGO_GLYPH_EMPTY;
            }
            // The characters of a glyph end where the next cluster in reading order starts: the
            // glyph's after it, or before it in right-to-left text.
            std::size_t upper = end;
            std::uint32_t nextByte = 0;
            for (std::size_t i = 0; i < slices.size(); ++i) {
                const std::size_t k = rtl ? i : slices.size() - 1 - i;
                const std::uint32_t byte = slices[k].lowerBound;
                if (i > 0 && nextByte != byte) {
                    upper = utf16(nextByte);
                }
                const std::size_t s = utf16(byte);
                slices[k].lowerBound = static_cast<std::uint32_t>(std::max(s, location));
                slices[k].upperBound =
                    static_cast<std::uint32_t>(std::min(std::max(s, upper), end));
                nextByte = byte;
            }
            run.typographicBounds = {
                {fromPango(runX), y}, fromPango(x - runX), runAscent, runDescent};
            run.slices.bounds_ = run.typographicBounds;
            run.characterRange = {location, end};
            // Glyphs on their advances draw from the slices, which hold all they need; the rare
            // run with a glyph moved off its advance keeps its own glyph string.
            PangoGlyphString* own = nullptr;
            if (offAdvance) {
                std::unique_ptr<PangoGlyphString, GlyphStringDeleter> glyphs(
                    pango_glyph_string_new());
                pango_glyph_string_set_size(glyphs.get(), count);
                int at = 0;
                for (const RunPart& part : parts) {
                    const PangoGlyphString* g = part.shape->glyphs;
                    std::copy_n(g->glyphs, g->num_glyphs, glyphs->glyphs + at);
                    for (int i = 0; i < g->num_glyphs; ++i) {
                        glyphs->log_clusters[at + i] = static_cast<int>(
                            part.start + static_cast<std::size_t>(g->log_clusters[i]) - runStart);
                    }
                    at += g->num_glyphs;
                }
                if (dropsFinalSpace) {
                    glyphs->glyphs[finalGlyph].geometry.width = 0;
                    glyphs->glyphs[finalGlyph].glyph = PANGO_GLYPH_EMPTY;
                }
                own = glyphs.get();
                ownedGlyphs.push_back(std::move(glyphs));
            }
            drawing.push_back({font.font, own, 0, count, font.scaled});
            if (fonts.empty() || fonts.back().get() != font.font) {
                fonts.emplace_back(static_cast<PangoFont*>(g_object_ref(font.font)));
            }
            parts.clear();
        }
        if (rtl) {
            // Right to left: the runs drawn from the last, each where the ones after it end.
            std::reverse(line.runs.begin(), line.runs.end());
            std::reverse(drawing.end() - std::ptrdiff_t(line.runs.size()), drawing.end());
            double left = 0;
            for (Run& run : line.runs) {
                run.typographicBounds.origin.x = left;
                run.slices.bounds_.origin.x = left;
                left += run.typographicBounds.width;
            }
        }
        line.typographicBounds = {
            {0, fromPango(baseline)}, fromPango(x), fromPango(ascent), fromPango(descent)};
        line.characterRange = {utf16(pieces[firstPiece].start), utf16(pieces[endPiece - 1].end)};
        lines.push_back(std::move(line));
        widest = std::max(widest, x);
        top += ascent + descent;
    }
    if (endsInEmptyLine) {
        top += spacing;
        if (!addEmptyLine(text.size())) {
            return false;
        }
    }
    size = {fromPango(widest), fromPango(top)};
    if (style.alignment != TextAlignment::leading || rtl) {
        alignLines(style.width ? available : widest, style.alignment,
                   std::vector<bool>(rtl ? lines.size() : 0, true));
    }
    wordShaped = true;
    lazyPango = true;
    sourceStyle = style;
    return true;
}

TextLayout::RunSlices::RunSlices(const RunSlices& other)
    : glyphs_(other.glyphs_)
    , bounds_(other.bounds_) {}

TextLayout::RunSlices::RunSlices(RunSlices&& other) noexcept
    : glyphs_(std::move(other.glyphs_))
    , bounds_(other.bounds_)
    , made_(other.made_.exchange(nullptr)) {}

TextLayout::RunSlices& TextLayout::RunSlices::operator=(RunSlices other) noexcept {
    glyphs_ = std::move(other.glyphs_);
    bounds_ = other.bounds_;
    const std::unique_ptr<const std::vector<RunSlice>> old(
        made_.exchange(other.made_.exchange(nullptr)));
    return *this;
}

TextLayout::RunSlices::~RunSlices() {
    const std::unique_ptr<const std::vector<RunSlice>> owned(made_.load());
}

const std::vector<TextLayout::RunSlice>& TextLayout::RunSlices::made() const {
    if (const std::vector<RunSlice>* existing = made_.load(std::memory_order_acquire)) {
        return *existing;
    }
    auto slices = std::make_unique<std::vector<RunSlice>>();
    slices->reserve(glyphs_.size());
    double x = bounds_.origin.x;
    for (const Glyph& g : glyphs_) {
        const double width = fromPango(g.advance);
        slices->push_back({{{x, bounds_.origin.y}, width, bounds_.ascent, bounds_.descent},
                           {g.lowerBound, g.upperBound},
                           g.glyph});
        x += width;
    }
    const std::vector<RunSlice>* expected = nullptr;
    if (made_.compare_exchange_strong(expected, slices.get(), std::memory_order_acq_rel)) {
        return *slices.release();
    }
    return *expected; // another thread made them first
}

TextLayout::TextLayout()
    : TextLayout(StyledText{}) {}

TextLayout::TextLayout(const StyledText& text, const ParagraphStyle& style)
    : TextLayout(Impl::make(text, style, WordShaping::usual)) {}

TextLayout::TextLayout(StyledText&& text, const ParagraphStyle& style)
    : TextLayout(Impl::make(std::move(text), style, WordShaping::usual)) {}

TextLayout::TextLayout(std::shared_ptr<const Impl> impl)
    : impl_(std::move(impl)) {}

TextLayout TextLayout::Impl::make(StyledText text, const ParagraphStyle& style,
                                  WordShaping wordShaping) {
    auto impl = std::make_shared<Impl>();
    impl->source = std::move(text);
    impl->text = impl->source.string();
    const StyledText& styled = impl->source;
    impl->buildOffsets();
    if (wordShaping == WordShaping::never || !(impl->buildWordShaped(styled, style, wordShaping) ||
                                               impl->buildInPieces(styled, style))) {
        impl->buildWithPango(styled, style);
    }
    for (const Line& line : impl->lines) {
        const Rect rect = line.typographicBounds.rect();
        impl->extent = impl->extent.unionWith(rect);
        impl->tallestLine = std::max(impl->tallestLine, rect.size.height);
    }
    return TextLayout(std::shared_ptr<const Impl>(std::move(impl)));
}

void TextLayout::Impl::buildWithPango(const StyledText& styled, const ParagraphStyle& style) {
    lines.clear();
    logAttrs.clear();
    cutWords = false;
    drawing.clear();
    ownedGlyphs.clear();
    fonts.clear();
    buildLayout(styled, style);
    int attrCount = 0;
    const PangoLogAttr* attrs = pango_layout_get_log_attrs_readonly(layout.get(), &attrCount);
    logAttrs.assign(attrs, attrs + attrCount);
    // Pango limits the lines of each paragraph (and only when it has a width); the limit is on
    // the whole text, so the lines past it are dropped here as well.
    std::optional<int> keep;
    if (style.lineLimit && *style.lineLimit > 0) {
        keep = style.lineLimit;
    }
    buildLines(styled, style, keep);
    releasePangoLayout(style);
}

bool TextLayout::Impl::buildInPieces(const StyledText& styled, const ParagraphStyle& style) {
    // Each piece starts where a line of the whole starts and gives the whole its lines but the
    // last, which the next piece starts with: Pango fills a line from its start alone. Its
    // paragraph's direction is the whole paragraph's, given to it (with the alignment Pango
    // would then have mirrored); a line feed ends a piece, since each paragraph finds its own.
    if (!style.width || style.lineLimit || text.size() <= kPieceBytes ||
        std::count_if(styled.runs().begin(), styled.runs().end(), [](const StyledText::Run& run) {
            return run.box.has_value();
        }) <= std::ptrdiff_t(kManyBoxes)) {
        return false;
    }
    for (std::size_t i = 0; i < text.size();) {
        if (isExplicitDirection(decode(text, i))) {
            return false; // an embedding may hold the start of a piece
        }
    }
    lines.clear();
    drawing.clear();
    ownedGlyphs.clear();
    fonts.clear();
    const std::vector<PangoLogAttr>& analysis = attributes();
    const std::int64_t spacing = toPango(std::max(style.lineSpacing, 0.0));
    std::int64_t top = 0;
    PangoDirection previous = PANGO_DIRECTION_LTR;
    // The direction of the last strong character between the paragraph's start and the piece's.
    std::optional<UCharDirection> strongBefore;
    std::size_t start = 0;
    std::size_t pieceBytes = kPieceBytes;
    while (start < text.size()) {
        const std::size_t feed = text.find('\n', start);
        const std::size_t paragraphEnd = feed == std::string::npos ? text.size() : feed + 1;
        const std::size_t paragraphStart = start == 0 ? 0 : text.rfind('\n', start - 1) + 1;
        ParagraphStyle pieceStyle = style;
        PangoDirection direction = style.baseDirection == WritingDirection::rightToLeft
                                       ? PANGO_DIRECTION_RTL
                                       : PANGO_DIRECTION_LTR;
        if (style.baseDirection == WritingDirection::natural) {
            direction = baseDirectionOf(
                std::string_view(text).substr(paragraphStart, paragraphEnd - paragraphStart));
            direction = direction == PANGO_DIRECTION_NEUTRAL ? previous : direction;
            pieceStyle.baseDirection = direction == PANGO_DIRECTION_RTL
                                           ? WritingDirection::rightToLeft
                                           : WritingDirection::leftToRight;
            if (direction == PANGO_DIRECTION_RTL) {
                if (style.alignment == TextAlignment::justified) {
                    return false; // Pango would align its last line to the other side
                }
                if (style.alignment != TextAlignment::center) {
                    pieceStyle.alignment = style.alignment == TextAlignment::leading
                                               ? TextAlignment::trailing
                                               : TextAlignment::leading;
                }
            }
        }
        // The piece ends at the first line-break opportunity past its length.
        std::size_t end = paragraphEnd;
        if (end - start > pieceBytes) {
            std::size_t byte = start + pieceBytes;
            while (continuesCharacter(text[byte])) {
                ++byte;
            }
            for (std::size_t c = charOf(utf16(byte));
                 byte < paragraphEnd && !analysis[c].is_line_break; ++c) {
                byte += sequenceLength(static_cast<unsigned char>(text[byte]));
            }
            end = std::min(byte, paragraphEnd);
        }
        Impl piece;
        const std::size_t firstRun = sourceOf(start);
        for (std::size_t r = firstRun;
             r < styled.runCount() && (r == firstRun || runStarts()[r] < end); ++r) {
            const StyledText::Run run = styled.run(r);
            const std::size_t from = std::max(runStarts()[r], start);
            const std::size_t to = std::min(runStarts()[r] + run.text.size(), end);
            if (run.box && from < to) {
                piece.source.appendBox(*run.box, run.attributes);
            } else {
                piece.source.append(from < to ? text.substr(from, to - from) : std::string(),
                                    run.attributes);
            }
        }
        piece.text = piece.source.string();
        piece.buildOffsets();
        piece.buildWithPango(piece.source, pieceStyle);
        std::size_t keep = piece.lines.size();
        std::optional<UCharDirection> strongBeforeNext;
        if (end < paragraphEnd) {
            // The next piece starts with the last line, or an earlier one that gets the same
            // directions on its own: the weak and neutral characters that start it take theirs
            // from the last strong one before them, which there is the paragraph's direction.
            const UCharDirection paragraphs =
                direction == PANGO_DIRECTION_RTL ? U_RIGHT_TO_LEFT : U_LEFT_TO_RIGHT;
            for (--keep; keep > 0; --keep) {
                strongBeforeNext = lastStrongDirection(std::string_view(text).substr(
                    start, piece.byteOf(piece.lines[keep].characterRange.lowerBound)));
                if (!strongBeforeNext) {
                    strongBeforeNext = strongBefore;
                }
                if (!strongBeforeNext || *strongBeforeNext == paragraphs) {
                    break;
                }
            }
            if (keep == 0) {
                // One line longer than the piece (a line of empty boxes may have no end), or no
                // line the next piece may start with: the rest of the paragraph at once (the
                // whole text as it is, when that is all of it).
                if (start == 0 && paragraphEnd == text.size()) {
                    return false;
                }
                pieceBytes = paragraphEnd - start;
                continue;
            }
        } else if (end < text.size() && keep > 1) {
            --keep; // the empty line after the piece's final line feed starts the next piece
        }
        const auto offset = static_cast<std::uint32_t>(utf16(start));
        const double dy = fromPango(top);
        top +=
            std::llround(piece.lines[keep - 1].typographicBounds.rect().maxY() * kScale) + spacing;
        std::size_t runs = 0;
        for (std::size_t l = 0; l < keep; ++l) {
            Line& line = piece.lines[l];
            line.typographicBounds.origin.y += dy;
            line.characterRange.lowerBound += offset;
            line.characterRange.upperBound += offset;
            for (Run& run : line.runs) {
                run.typographicBounds.origin.y += dy;
                run.slices.bounds_.origin.y += dy;
                run.characterRange.lowerBound += offset;
                run.characterRange.upperBound += offset;
                run.sourceRun += firstRun;
                for (RunSlices::Glyph& glyph : run.slices.glyphs_) {
                    glyph.lowerBound += offset;
                    glyph.upperBound += offset;
                }
            }
            runs += line.runs.size();
            lines.push_back(std::move(line));
        }
        drawing.insert(drawing.end(), piece.drawing.begin(),
                       piece.drawing.begin() + std::ptrdiff_t(runs));
        std::move(piece.ownedGlyphs.begin(), piece.ownedGlyphs.end(),
                  std::back_inserter(ownedGlyphs));
        std::move(piece.fonts.begin(), piece.fonts.end(), std::back_inserter(fonts));
        start = keep < piece.lines.size()
                    ? start + piece.byteOf(piece.lines[keep].characterRange.lowerBound)
                    : end;
        strongBefore = strongBeforeNext;
        if (start >= paragraphEnd) {
            previous = direction;
            strongBefore.reset();
        }
        pieceBytes = kPieceBytes;
    }
    double left = INFINITY;
    double right = -INFINITY;
    for (const Line& line : lines) {
        left = std::min(left, line.typographicBounds.origin.x);
        right = std::max(right, line.typographicBounds.rect().maxX());
    }
    size = {lines.empty() ? 0 : right - left, fromPango(top - spacing)};
    logAttrs.clear();
    truncated = false;
    lazyPango = true;
    sourceStyle = style;
    return true;
}

const std::string& TextLayout::string() const {
    return impl_->text;
}

std::size_t TextLayout::length() const {
    return impl_->length();
}

std::string TextLayout::substring(const CharacterRange& range) const {
    const std::size_t lower = impl_->byteOf(std::min(range.lowerBound, length()));
    const std::size_t upper =
        impl_->byteOf(std::min(std::max(range.upperBound, range.lowerBound), length()));
    return impl_->text.substr(lower, upper - lower);
}

std::span<const TextLayout::Line> TextLayout::lines() const {
    return impl_->lines;
}

Size TextLayout::size() const {
    return impl_->size;
}

Rect TextLayout::bounds() const {
    return impl_->extent;
}

double TextLayout::tallestLine() const {
    return impl_->tallestLine;
}

bool TextLayout::isTruncated() const {
    return impl_->truncated;
}

std::optional<TextLayout::SlicePath> TextLayout::slice(Point point) const {
    const auto& lines = impl_->lines;
    for (std::size_t l = 0; l < lines.size(); ++l) {
        const Rect lineRect = lines[l].typographicBounds.rect();
        if (point.y < lineRect.minY() || point.y >= lineRect.maxY()) {
            continue;
        }
        for (std::size_t r = 0; r < lines[l].runs.size(); ++r) {
            // From the compact glyphs, placed as the slices would place them.
            const RunSlices& slices = lines[l].runs[r].slices;
            double x = slices.bounds_.origin.x;
            for (std::size_t s = 0; s < slices.glyphs_.size(); ++s) {
                const double width = fromPango(slices.glyphs_[s].advance);
                if (point.x >= x && point.x < x + width) {
                    return SlicePath{l, r, s};
                }
                x += width;
            }
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> TextLayout::lineIndex(std::size_t index) const {
    const auto& lines = impl_->lines;
    if (lines.empty()) {
        return std::nullopt;
    }
    for (std::size_t l = 0; l < lines.size(); ++l) {
        const CharacterRange& range = lines[l].characterRange;
        const bool beforeNext =
            l + 1 == lines.size() || index < lines[l + 1].characterRange.lowerBound;
        if (range.contains(index) || (index >= range.lowerBound && beforeNext)) {
            return l;
        }
    }
    return lines.size() - 1;
}

Rect TextLayout::caretRect(std::size_t index) const {
    index = std::min(index, length());
    PangoRectangle strong;
    pango_layout_get_cursor_pos(impl_->pangoLayout(), static_cast<int>(impl_->byteOf(index)),
                                &strong, nullptr);
    Rect lineRect{fromPango(strong.x), fromPango(strong.y), 0, fromPango(strong.height)};
    if (const std::optional<std::size_t> l = lineIndex(index)) {
        const Rect r = impl_->lines[*l].typographicBounds.rect();
        lineRect.origin.y = r.minY();
        lineRect.size.height = r.height();
    }
    return lineRect;
}

// Words as the desktop's text utilities find them: Pango's word boundaries part identifiers at
// every underscore.
std::size_t TextLayout::nextWordBoundary(std::size_t index, bool forward) const {
    return unicode::nextWordBoundary(string(), index, forward);
}

CharacterRange TextLayout::wordRange(std::size_t index) const {
    const auto [lower, upper] = unicode::wordRange(string(), index);
    return {lower, upper};
}

namespace {

// The ink boxes of single glyphs at the origin, as Cairo measures them, for the fonts this thread
// drew last: runs under a clip to a curved shape ask for the ink of every glyph, and Cairo's own
// measuring locks the font and looks the glyph up each time. The fonts are held while their
// glyphs are kept here, so that a font's address cannot come back as another font's.
class GlyphInkBoxes {
public:
    GlyphInkBoxes()
        : entries_(kSlots) {}
    ~GlyphInkBoxes() { release(); }
    GlyphInkBoxes(const GlyphInkBoxes&) = delete;
    GlyphInkBoxes& operator=(const GlyphInkBoxes&) = delete;

    static GlyphInkBoxes& forThisThread() {
        thread_local GlyphInkBoxes boxes;
        return boxes;
    }

    /// Glyph `index` of `font` drawn at the origin: its ink's bearings and size, in user space.
    const cairo_text_extents_t& of(cairo_scaled_font_t* font, unsigned long index) {
        const auto key = reinterpret_cast<std::uintptr_t>(font);
        Entry& entry = entries_[(index * 0x9E3779B1U ^ (key >> 4)) & (kSlots - 1)];
        if (entry.font != font || entry.index != index) {
            hold(font);
            const cairo_glyph_t glyph{index, 0, 0};
            cairo_scaled_font_glyph_extents(font, &glyph, 1, &entry.ink);
            entry.font = font;
            entry.index = index;
        }
        return entry.ink;
    }

    /// How `font` antialiases its glyphs.
    cairo_antialias_t antialias(cairo_scaled_font_t* font) {
        hold(font);
        const auto it = std::find_if(held_.begin(), held_.end(),
                                     [font](const Held& held) { return held.font == font; });
        return it->antialias;
    }

private:
    static constexpr std::size_t kSlots = 2048; // a power of two
    static constexpr std::size_t kFonts = 16;
    struct Entry {
        cairo_scaled_font_t* font = nullptr;
        unsigned long index = 0;
        cairo_text_extents_t ink{};
    };

    /// A font held, with what its options say of its glyphs' edges.
    struct Held {
        cairo_scaled_font_t* font = nullptr;
        cairo_antialias_t antialias = CAIRO_ANTIALIAS_DEFAULT;
    };

    void hold(cairo_scaled_font_t* font) {
        if (std::any_of(held_.begin(), held_.end(),
                        [font](const Held& held) { return held.font == font; })) {
            return;
        }
        if (held_.size() == kFonts) {
            release();
        }
        cairo_font_options_t* const options = cairo_font_options_create();
        cairo_scaled_font_get_font_options(font, options);
        held_.push_back(
            {cairo_scaled_font_reference(font), cairo_font_options_get_antialias(options)});
        cairo_font_options_destroy(options);
    }
    void release() {
        std::fill(entries_.begin(), entries_.end(), Entry{});
        for (const Held& held : held_) {
            cairo_scaled_font_destroy(held.font);
        }
        held_.clear();
    }

    std::vector<Entry> entries_;
    std::vector<Held> held_;
};

// The box holding the ink of `glyphs` of `font`, in user space; an empty box at the first glyph
// when none has ink.
Rect inkOfGlyphs(cairo_scaled_font_t* font, const std::vector<cairo_glyph_t>& glyphs) {
    GlyphInkBoxes& boxes = GlyphInkBoxes::forThisThread();
    double minX = INFINITY;
    double minY = INFINITY;
    double maxX = -INFINITY;
    double maxY = -INFINITY;
    for (const cairo_glyph_t& g : glyphs) {
        const cairo_text_extents_t& e = boxes.of(font, g.index);
        if (e.width == 0 || e.height == 0) {
            continue;
        }
        minX = std::min(minX, g.x + e.x_bearing);
        minY = std::min(minY, g.y + e.y_bearing);
        maxX = std::max(maxX, g.x + e.x_bearing + e.width);
        maxY = std::max(maxY, g.y + e.y_bearing + e.height);
    }
    if (!(minX <= maxX)) {
        return {glyphs.front().x, glyphs.front().y, 0, 0};
    }
    return {minX, minY, maxX - minX, maxY - minY};
}

// Cairo adds glyphs up in one mask before drawing them only when it finds one overlapping the
// ones before it; otherwise it draws them one by one, which differs where two touch the same
// pixel. Puts into `ordered` the glyphs of `glyphs` in an order that makes it find one: the two
// ends first, then a glyph well inside the box they span (the order of glyphs added up in a mask
// changes nothing). A lone glyph is drawn alike either way. False when no such glyph is sure to
// be found, or when the font's glyphs are not plain coverage (subpixel) that one mask keeps.
bool orderedForOneMask(cairo_t* cr, const std::vector<cairo_glyph_t>& glyphs,
                       std::vector<cairo_glyph_t>& ordered) {
    ordered = glyphs;
    const std::size_t n = glyphs.size();
    if (n == 1) {
        return true;
    }
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    if (n < 3 || m.xy != 0 || m.yx != 0 || m.xx == 0 || m.yy == 0) {
        return false;
    }
    cairo_scaled_font_t* const scaled = cairo_get_scaled_font(cr);
    GlyphInkBoxes& boxes = GlyphInkBoxes::forThisThread();
    const cairo_antialias_t antialias = boxes.antialias(scaled);
    if (antialias == CAIRO_ANTIALIAS_SUBPIXEL || antialias == CAIRO_ANTIALIAS_BEST) {
        return false;
    }
    const auto inkOf = [scaled, &boxes](const cairo_glyph_t& g) {
        const cairo_text_extents_t& e = boxes.of(scaled, g.index);
        return Rect(g.x + e.x_bearing, g.y + e.y_bearing, e.width, e.height);
    };
    // Cairo places glyphs within half a pixel of where they are asked for: two pixels of margin.
    const double mx = 2 / std::abs(m.xx);
    const double my = 2 / std::abs(m.yy);
    const Rect first = inkOf(glyphs.front());
    const Rect last = inkOf(glyphs.back());
    const double minX = std::min(first.minX(), last.minX());
    const double maxX = std::max(first.maxX(), last.maxX());
    const double minY = std::min(first.minY(), last.minY());
    const double maxY = std::max(first.maxY(), last.maxY());
    for (std::size_t k = 1; k + 1 < n; ++k) {
        const Rect r = inkOf(glyphs[k]);
        if (r.width() * std::abs(m.xx) >= 1 && r.height() * std::abs(m.yy) >= 1 &&
            r.maxX() > minX + mx && r.minX() < maxX - mx && r.maxY() > minY + my &&
            r.minY() < maxY - my) {
            ordered[1] = glyphs[n - 1];
            ordered[2] = glyphs[k];
            std::copy(glyphs.begin() + 1, glyphs.begin() + static_cast<std::ptrdiff_t>(k),
                      ordered.begin() + 3);
            std::copy(glyphs.begin() + static_cast<std::ptrdiff_t>(k) + 1, glyphs.end() - 1,
                      ordered.begin() + static_cast<std::ptrdiff_t>(k) + 2);
            return true;
        }
    }
    return false;
}

// The font a layout's drawing last looked up and the Cairo font set in Cairo.
struct DrawnFonts {
    PangoFont* last = nullptr;
    cairo_scaled_font_t* lastScaled = nullptr;
    cairo_scaled_font_t* installed = nullptr;
};

// Shows a run's glyphs from the current point as pango_cairo_show_glyph_string does (the same
// positions, to the bit, and the same Cairo font), without its renderer, its save and restore
// and its font lookup for every run; where `compositor` can, without Cairo drawing them at all.
// `glyphAt(i)` gives glyph i as Pango would hold it. The font is set only when Cairo is to draw
// and it is not set already; so is the colour (`colour` as the source colour, given to Cairo by
// `applyColour`). False, with nothing drawn, for what Pango
// draws its own way (missing glyphs as boxes, colour glyphs) or a font Cairo cannot use.
template <class GlyphAt, class ApplyColour>
bool showGlyphs(GraphicsContext& context, cairo_t* cr, text_internal::GlyphCompositor& compositor,
                PangoFont* font, cairo_scaled_font_t* knownScaled, DrawnFonts& fonts,
                const RGBA& colour, const ApplyColour& applyColour, int count,
                const GlyphAt& glyphAt) {
    if (font == nullptr || (knownScaled == nullptr && !PANGO_IS_CAIRO_FONT(font))) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const PangoGlyphInfo info = glyphAt(i);
        if ((info.glyph & PANGO_GLYPH_UNKNOWN_FLAG) != 0 || info.attr.is_color != 0) {
            return false;
        }
    }
    if (font != fonts.last) {
        cairo_scaled_font_t* const scaled =
            knownScaled != nullptr ? knownScaled
                                   : pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font));
        if (scaled == nullptr || cairo_scaled_font_status(scaled) != CAIRO_STATUS_SUCCESS) {
            return false;
        }
        fonts.last = font;
        fonts.lastScaled = scaled;
    }
    cairo_scaled_font_t* const scaled = fonts.lastScaled;
    // Where Pango starts: the current point as Cairo gives it back (rounded to its fixed point).
    double baseX = 0;
    double baseY = 0;
    cairo_get_current_point(cr, &baseX, &baseY);
    thread_local std::vector<cairo_glyph_t> positioned;
    positioned.clear();
    positioned.reserve(static_cast<std::size_t>(count));
    std::int64_t x = 0; // Pango units from the start, summed as Pango sums them (wider)
    for (int i = 0; i < count; ++i) {
        const PangoGlyphInfo info = glyphAt(i);
        if (info.glyph != PANGO_GLYPH_EMPTY) {
            const PangoGlyphGeometry& at = info.geometry;
            positioned.push_back(
                {info.glyph, baseX + static_cast<double>(x + at.x_offset) / PANGO_SCALE,
                 at.y_offset == 0 ? baseY
                                  : baseY + static_cast<double>(at.y_offset) / PANGO_SCALE});
        }
        x += info.geometry.width;
    }
    const int shown = static_cast<int>(positioned.size());
    if (compositor.show(scaled, positioned.data(), shown, fonts.installed, &colour)) {
        return true;
    }
    applyColour();
    if (scaled != fonts.installed) {
        cairo_set_scaled_font(cr, scaled);
        fonts.installed = scaled;
    }
    if (!CairoAccess::hasPendingClips(context) || shown == 0) {
        cairo_show_glyphs(cr, positioned.data(), shown);
        return true;
    }
    // Under a clip left pending (a rounded code panel), Cairo would draw the glyphs through a
    // mask of the clip, adding them up in a mask of their own first. Where their ink lies in
    // pixels the clip covers fully, drawing them without the clip but still added up in one
    // mask gives the same pixels for far less work.
    thread_local std::vector<cairo_glyph_t> reordered;
    const Rect inked = inkOfGlyphs(cairo_get_scaled_font(cr), positioned);
    if (CairoAccess::drawsAlikeUnclipped(context, inked) &&
        orderedForOneMask(cr, positioned, reordered)) {
        cairo_show_glyphs(cr, reordered.data(), shown);
    } else {
        const CairoAccess::PendingClipScope clipped(context);
        cairo_show_glyphs(cr, positioned.data(), shown);
    }
    return true;
}

// Whether a run whose typographic box is `rect` may paint within the clip extents given. Its
// glyphs' ink stays within two of the larger of its font size and its line height of that box,
// a wider margin than Cairo itself allows a glyph when it culls glyphs against the clip;
// its background and decorations stay within the box.
bool mayPaintWithin(const TextLayout::Run& run, const Rect& rect, double clipX0, double clipY0,
                    double clipX1, double clipY1) {
    const double reach = 2 * std::max(run.fontSize, rect.height()) + 2;
    // Written so that a NaN anywhere keeps the run.
    return !(rect.maxX() + reach <= clipX0 || rect.minX() - reach >= clipX1 ||
             rect.maxY() + reach <= clipY0 || rect.minY() - reach >= clipY1);
}

} // namespace

void TextLayout::draw(GraphicsContext& context, Point origin, const Color& color) const {
    if (!std::isfinite(origin.x) || !std::isfinite(origin.y)) {
        return; // Cairo would carry the bad coordinate into its path and stop drawing for good
    }
    // Clips to curved shapes stay pending: most runs lie where they change nothing.
    // Without a save and restore of Cairo's state: what a layout changes of it (the source colour,
    // the font, the current point) everything drawing after it sets again, and a font left
    // current is found again without a lookup by the next layout that draws in it.
    cairo_t* cr = CairoAccess::cairoContextLeavingClipsPending(context);
    // Made for the rare run Pango draws itself.
    std::unique_ptr<PangoGlyphString, GlyphStringDeleter> glyphs;
    // The colour and font last given to Cairo: runs in a row mostly share both, and Cairo keeps
    // the font it looked up for its matrix only while it is not set again.
    std::optional<Color> applied;
    // The colour runs draw in and the source colour it makes, given to Cairo only when Cairo
    // draws.
    std::optional<Color> resolved;
    RGBA foregroundSource;
    DrawnFonts fonts;
    // Runs that paint nothing within Cairo's clip (a tall paragraph or code block cut by the
    // screen's edge) are left out before any work is spent on them.
    double clipX0 = 0;
    double clipY0 = 0;
    double clipX1 = 0;
    double clipY1 = 0;
    cairo_clip_extents(cr, &clipX0, &clipY0, &clipX1, &clipY1);
    text_internal::GlyphCompositor compositor(context);
    const RunDrawing* next = impl_->drawing.data();
    for (const Line& line : impl_->lines) {
        for (const Run& run : line.runs) {
            const RunDrawing& how = *next++;
            const Rect rect = run.typographicBounds.rect().offsetBy(origin.x, origin.y);
            if (!mayPaintWithin(run, rect, clipX0, clipY0, clipX1, clipY1)) {
                continue;
            }
            const TextAttributes& a = impl_->sourceAttributes(run.sourceRun);
            if (a.backgroundColor) {
                CairoAccess::applyColor(context, *a.backgroundColor);
                applied = *a.backgroundColor;
                const CairoAccess::PendingClipScope clipped(context);
                cairo_rectangle(cr, rect.minX(), rect.minY(), rect.width(), rect.height());
                cairo_fill(cr);
            }
            if (run.isInlineBox) {
                continue;
            }
            const Color foreground = a.foregroundColor.value_or(color);
            PangoFont* font = how.font;
            const Point baseline = run.typographicBounds.origin + origin;
            const int count = how.endGlyph - how.firstGlyph;
            if (resolved != foreground) {
                foregroundSource = CairoAccess::sourceColor(context, foreground);
                resolved = foreground;
            }
            const auto applyForeground = [&] {
                if (applied != foreground) {
                    CairoAccess::applyColor(context, foreground);
                    applied = foreground;
                }
            };
            cairo_move_to(cr, baseline.x, baseline.y);
            const PangoGlyphInfo* const infos =
                how.glyphs != nullptr ? how.glyphs->glyphs + how.firstGlyph : nullptr;
            const auto glyphAt = [&](int i) {
                if (infos != nullptr) {
                    return infos[i];
                }
                const RunSlices::Glyph& g = run.slices.glyphs_[static_cast<std::size_t>(i)];
                return PangoGlyphInfo{g.glyph, {g.advance, 0, 0}, {1, 0}};
            };
            if (!showGlyphs(context, cr, compositor, font, how.scaled, fonts, foregroundSource,
                            applyForeground, count, glyphAt)) {
                applyForeground();
                if (!glyphs) {
                    glyphs.reset(pango_glyph_string_new());
                }
                pango_glyph_string_set_size(glyphs.get(), count);
                if (infos != nullptr) {
                    std::copy_n(infos, count, glyphs->glyphs);
                    std::copy_n(how.glyphs->log_clusters + how.firstGlyph, count,
                                glyphs->log_clusters);
                } else {
                    for (int i = 0; i < count; ++i) {
                        const RunSlices::Glyph& g = run.slices.glyphs_[static_cast<std::size_t>(i)];
                        glyphs->glyphs[i] = {g.glyph, {g.advance, 0, 0}, {1}};
                        glyphs->log_clusters[i] = 0;
                    }
                }
                // Pango draws within a save and restore of its own: the font set here is gone.
                const CairoAccess::PendingClipScope clipped(context);
                cairo_move_to(cr, baseline.x, baseline.y); // the scope cleared the path
                pango_cairo_show_glyph_string(cr, font, glyphs.get());
                fonts.installed = nullptr;
            }

            if (!a.underline && !a.strikethrough) {
                continue;
            }
            const std::unique_ptr<PangoFontMetrics, MetricsDeleter> metrics(
                pango_font_get_metrics(font, nullptr));
            const auto decorate = [&](const TextLineStyle& style, int position, int thickness) {
                const double t = std::max(fromPango(thickness), 0.5);
                CairoAccess::applyColor(context, style.color.value_or(foreground));
                applied = style.color.value_or(foreground);
                const CairoAccess::PendingClipScope clipped(context);
                cairo_rectangle(cr, baseline.x, baseline.y - fromPango(position), rect.width(), t);
                cairo_fill(cr);
            };
            if (a.underline) {
                decorate(*a.underline, pango_font_metrics_get_underline_position(metrics.get()),
                         pango_font_metrics_get_underline_thickness(metrics.get()));
            }
            if (a.strikethrough) {
                decorate(*a.strikethrough,
                         pango_font_metrics_get_strikethrough_position(metrics.get()),
                         pango_font_metrics_get_strikethrough_thickness(metrics.get()));
            }
        }
    }
}

namespace text_internal {

TextLayout layoutWithPango(const StyledText& text, const ParagraphStyle& style) {
    return TextLayout::Impl::make(text, style, WordShaping::never);
}

TextLayout layoutFromWordShapes(const StyledText& text, const ParagraphStyle& style) {
    return TextLayout::Impl::make(text, style, WordShaping::always);
}

bool isWordShaped(const TextLayout& layout) {
    return TextLayout::Impl::wordShapedOf(layout);
}

bool cutsWords(const TextLayout& layout) {
    return TextLayout::Impl::cutsWordsOf(layout);
}

std::size_t shapeCacheBytes() {
    return SegmentShaper::shared().cachedBytes();
}

std::size_t shapeCacheBudget() {
    return SegmentShaper::kCacheBudget;
}

} // namespace text_internal

} // namespace platform
