// Writes the math table file of an OpenType math font: the MATH constants, italic corrections,
// top-accent attachments, size variants and vertical assemblies of the font's own MATH table,
// keyed by glyph name, in design units, as an XML property list.
//
//     math-font-tables <font file> <table file>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <hb-ot.h>
#include <hb.h>
#include <memory>
#include <optional>
#include <plist/plist.h>
#include <string>
#include <utility>
#include <vector>

namespace {

// The keys of the table file, in the order of HarfBuzz's constant enumeration.
constexpr std::array<std::pair<const char*, hb_ot_math_constant_t>, 56> kConstants{{
    {"ScriptPercentScaleDown", HB_OT_MATH_CONSTANT_SCRIPT_PERCENT_SCALE_DOWN},
    {"ScriptScriptPercentScaleDown", HB_OT_MATH_CONSTANT_SCRIPT_SCRIPT_PERCENT_SCALE_DOWN},
    {"DelimitedSubFormulaMinHeight", HB_OT_MATH_CONSTANT_DELIMITED_SUB_FORMULA_MIN_HEIGHT},
    {"DisplayOperatorMinHeight", HB_OT_MATH_CONSTANT_DISPLAY_OPERATOR_MIN_HEIGHT},
    {"MathLeading", HB_OT_MATH_CONSTANT_MATH_LEADING},
    {"AxisHeight", HB_OT_MATH_CONSTANT_AXIS_HEIGHT},
    {"AccentBaseHeight", HB_OT_MATH_CONSTANT_ACCENT_BASE_HEIGHT},
    {"FlattenedAccentBaseHeight", HB_OT_MATH_CONSTANT_FLATTENED_ACCENT_BASE_HEIGHT},
    {"SubscriptShiftDown", HB_OT_MATH_CONSTANT_SUBSCRIPT_SHIFT_DOWN},
    {"SubscriptTopMax", HB_OT_MATH_CONSTANT_SUBSCRIPT_TOP_MAX},
    {"SubscriptBaselineDropMin", HB_OT_MATH_CONSTANT_SUBSCRIPT_BASELINE_DROP_MIN},
    {"SuperscriptShiftUp", HB_OT_MATH_CONSTANT_SUPERSCRIPT_SHIFT_UP},
    {"SuperscriptShiftUpCramped", HB_OT_MATH_CONSTANT_SUPERSCRIPT_SHIFT_UP_CRAMPED},
    {"SuperscriptBottomMin", HB_OT_MATH_CONSTANT_SUPERSCRIPT_BOTTOM_MIN},
    {"SuperscriptBaselineDropMax", HB_OT_MATH_CONSTANT_SUPERSCRIPT_BASELINE_DROP_MAX},
    {"SubSuperscriptGapMin", HB_OT_MATH_CONSTANT_SUB_SUPERSCRIPT_GAP_MIN},
    {"SuperscriptBottomMaxWithSubscript",
     HB_OT_MATH_CONSTANT_SUPERSCRIPT_BOTTOM_MAX_WITH_SUBSCRIPT},
    {"SpaceAfterScript", HB_OT_MATH_CONSTANT_SPACE_AFTER_SCRIPT},
    {"UpperLimitGapMin", HB_OT_MATH_CONSTANT_UPPER_LIMIT_GAP_MIN},
    {"UpperLimitBaselineRiseMin", HB_OT_MATH_CONSTANT_UPPER_LIMIT_BASELINE_RISE_MIN},
    {"LowerLimitGapMin", HB_OT_MATH_CONSTANT_LOWER_LIMIT_GAP_MIN},
    {"LowerLimitBaselineDropMin", HB_OT_MATH_CONSTANT_LOWER_LIMIT_BASELINE_DROP_MIN},
    {"StackTopShiftUp", HB_OT_MATH_CONSTANT_STACK_TOP_SHIFT_UP},
    {"StackTopDisplayStyleShiftUp", HB_OT_MATH_CONSTANT_STACK_TOP_DISPLAY_STYLE_SHIFT_UP},
    {"StackBottomShiftDown", HB_OT_MATH_CONSTANT_STACK_BOTTOM_SHIFT_DOWN},
    {"StackBottomDisplayStyleShiftDown", HB_OT_MATH_CONSTANT_STACK_BOTTOM_DISPLAY_STYLE_SHIFT_DOWN},
    {"StackGapMin", HB_OT_MATH_CONSTANT_STACK_GAP_MIN},
    {"StackDisplayStyleGapMin", HB_OT_MATH_CONSTANT_STACK_DISPLAY_STYLE_GAP_MIN},
    {"StretchStackTopShiftUp", HB_OT_MATH_CONSTANT_STRETCH_STACK_TOP_SHIFT_UP},
    {"StretchStackBottomShiftDown", HB_OT_MATH_CONSTANT_STRETCH_STACK_BOTTOM_SHIFT_DOWN},
    {"StretchStackGapAboveMin", HB_OT_MATH_CONSTANT_STRETCH_STACK_GAP_ABOVE_MIN},
    {"StretchStackGapBelowMin", HB_OT_MATH_CONSTANT_STRETCH_STACK_GAP_BELOW_MIN},
    {"FractionNumeratorShiftUp", HB_OT_MATH_CONSTANT_FRACTION_NUMERATOR_SHIFT_UP},
    {"FractionNumeratorDisplayStyleShiftUp",
     HB_OT_MATH_CONSTANT_FRACTION_NUMERATOR_DISPLAY_STYLE_SHIFT_UP},
    {"FractionDenominatorShiftDown", HB_OT_MATH_CONSTANT_FRACTION_DENOMINATOR_SHIFT_DOWN},
    {"FractionDenominatorDisplayStyleShiftDown",
     HB_OT_MATH_CONSTANT_FRACTION_DENOMINATOR_DISPLAY_STYLE_SHIFT_DOWN},
    {"FractionNumeratorGapMin", HB_OT_MATH_CONSTANT_FRACTION_NUMERATOR_GAP_MIN},
    {"FractionNumDisplayStyleGapMin", HB_OT_MATH_CONSTANT_FRACTION_NUM_DISPLAY_STYLE_GAP_MIN},
    {"FractionRuleThickness", HB_OT_MATH_CONSTANT_FRACTION_RULE_THICKNESS},
    {"FractionDenominatorGapMin", HB_OT_MATH_CONSTANT_FRACTION_DENOMINATOR_GAP_MIN},
    {"FractionDenomDisplayStyleGapMin", HB_OT_MATH_CONSTANT_FRACTION_DENOM_DISPLAY_STYLE_GAP_MIN},
    {"SkewedFractionHorizontalGap", HB_OT_MATH_CONSTANT_SKEWED_FRACTION_HORIZONTAL_GAP},
    {"SkewedFractionVerticalGap", HB_OT_MATH_CONSTANT_SKEWED_FRACTION_VERTICAL_GAP},
    {"OverbarVerticalGap", HB_OT_MATH_CONSTANT_OVERBAR_VERTICAL_GAP},
    {"OverbarRuleThickness", HB_OT_MATH_CONSTANT_OVERBAR_RULE_THICKNESS},
    {"OverbarExtraAscender", HB_OT_MATH_CONSTANT_OVERBAR_EXTRA_ASCENDER},
    {"UnderbarVerticalGap", HB_OT_MATH_CONSTANT_UNDERBAR_VERTICAL_GAP},
    {"UnderbarRuleThickness", HB_OT_MATH_CONSTANT_UNDERBAR_RULE_THICKNESS},
    {"UnderbarExtraDescender", HB_OT_MATH_CONSTANT_UNDERBAR_EXTRA_DESCENDER},
    {"RadicalVerticalGap", HB_OT_MATH_CONSTANT_RADICAL_VERTICAL_GAP},
    {"RadicalDisplayStyleVerticalGap", HB_OT_MATH_CONSTANT_RADICAL_DISPLAY_STYLE_VERTICAL_GAP},
    {"RadicalRuleThickness", HB_OT_MATH_CONSTANT_RADICAL_RULE_THICKNESS},
    {"RadicalExtraAscender", HB_OT_MATH_CONSTANT_RADICAL_EXTRA_ASCENDER},
    {"RadicalKernBeforeDegree", HB_OT_MATH_CONSTANT_RADICAL_KERN_BEFORE_DEGREE},
    {"RadicalKernAfterDegree", HB_OT_MATH_CONSTANT_RADICAL_KERN_AFTER_DEGREE},
    {"RadicalDegreeBottomRaisePercent", HB_OT_MATH_CONSTANT_RADICAL_DEGREE_BOTTOM_RAISE_PERCENT},
}};

struct PlistDeleter {
    void operator()(plist_t p) const { plist_free(p); }
};
using Plist = std::unique_ptr<void, PlistDeleter>;

plist_t integer(hb_position_t value) {
    // Integers are stored as 64 unsigned bits; a negative one goes in as its two's complement.
    return plist_new_uint(static_cast<std::uint64_t>(static_cast<std::int64_t>(value)));
}

class Font {
public:
    explicit Font(const char* path) {
        hb_blob_t* blob = hb_blob_create_from_file(path);
        face_ = hb_face_create(blob, 0);
        hb_blob_destroy(blob);
        font_ = hb_font_create(face_);
        const int upem = static_cast<int>(hb_face_get_upem(face_));
        hb_font_set_scale(font_, upem, upem);
    }
    ~Font() {
        hb_font_destroy(font_);
        hb_face_destroy(face_);
    }
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    hb_font_t* font() const { return font_; }
    unsigned glyphCount() const { return hb_face_get_glyph_count(face_); }
    bool hasMath() const { return hb_ot_math_has_data(face_) != 0; }

    /// The glyph's name, checked to lead back to the same glyph: a table keyed by a name that
    /// another glyph also bears would give that glyph's data to the wrong one.
    std::optional<std::string> name(hb_codepoint_t glyph) const {
        char buffer[128];
        if (!hb_font_get_glyph_name(font_, glyph, buffer, sizeof buffer) || buffer[0] == '\0') {
            return std::nullopt;
        }
        hb_codepoint_t back = 0;
        if (!hb_font_get_glyph_from_name(font_, buffer, -1, &back) || back != glyph) {
            return std::nullopt;
        }
        return std::string(buffer);
    }

private:
    hb_face_t* face_ = nullptr;
    hb_font_t* font_ = nullptr;
};

/// The glyph's size variants in one direction, as names; empty when it has none (or one has no
/// name, which would make the list wrong).
std::vector<std::string> variants(const Font& font, hb_codepoint_t glyph,
                                  hb_direction_t direction) {
    std::vector<std::string> names;
    std::array<hb_ot_math_glyph_variant_t, 32> buffer{};
    unsigned start = 0;
    while (true) {
        unsigned count = buffer.size();
        const unsigned total = hb_ot_math_get_glyph_variants(font.font(), glyph, direction, start,
                                                             &count, buffer.data());
        for (unsigned i = 0; i < count; ++i) {
            const std::optional<std::string> name = font.name(buffer[i].glyph);
            if (!name) {
                return {};
            }
            names.push_back(*name);
        }
        start += count;
        if (count == 0 || start >= total) {
            return names;
        }
    }
}

/// The glyph's vertical assembly; nothing when it has none or a part has no name.
Plist assembly(const Font& font, hb_codepoint_t glyph) {
    std::array<hb_ot_math_glyph_part_t, 32> buffer{};
    std::vector<hb_ot_math_glyph_part_t> parts;
    hb_position_t italic = 0;
    unsigned start = 0;
    while (true) {
        unsigned count = buffer.size();
        const unsigned total = hb_ot_math_get_glyph_assembly(font.font(), glyph, HB_DIRECTION_BTT,
                                                             start, &count, buffer.data(), &italic);
        parts.insert(parts.end(), buffer.begin(), buffer.begin() + count);
        start += count;
        if (count == 0 || start >= total) {
            break;
        }
    }
    if (parts.empty()) {
        return nullptr;
    }
    Plist list(plist_new_array());
    for (const hb_ot_math_glyph_part_t& part : parts) {
        const std::optional<std::string> name = font.name(part.glyph);
        if (!name) {
            return nullptr;
        }
        plist_t item = plist_new_dict();
        plist_dict_set_item(item, "advance", integer(part.full_advance));
        plist_dict_set_item(item, "endConnector", integer(part.end_connector_length));
        plist_dict_set_item(
            item, "extender",
            plist_new_bool((part.flags & HB_OT_MATH_GLYPH_PART_FLAG_EXTENDER) != 0));
        plist_dict_set_item(item, "glyph", plist_new_string(name->c_str()));
        plist_dict_set_item(item, "startConnector", integer(part.start_connector_length));
        plist_array_append_item(list.get(), item);
    }
    plist_t result = plist_new_dict();
    plist_dict_set_item(result, "italic", integer(italic));
    plist_dict_set_item(result, "parts", list.release());
    return Plist(result);
}

plist_t names(const std::vector<std::string>& list) {
    plist_t array = plist_new_array();
    for (const std::string& name : list) {
        plist_array_append_item(array, plist_new_string(name.c_str()));
    }
    return array;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <font file> <table file>\n", argv[0]);
        return 2;
    }
    const Font font(argv[1]);
    if (font.glyphCount() == 0 || !font.hasMath()) {
        std::fprintf(stderr, "%s: no math font\n", argv[1]);
        return 1;
    }

    Plist root(plist_new_dict());
    plist_t constants = plist_new_dict();
    for (const auto& [key, constant] : kConstants) {
        plist_dict_set_item(constants, key,
                            integer(hb_ot_math_get_constant(font.font(), constant)));
    }
    plist_dict_set_item(
        constants, "MinConnectorOverlap",
        integer(hb_ot_math_get_min_connector_overlap(font.font(), HB_DIRECTION_BTT)));

    plist_t italic = plist_new_dict();
    plist_t accents = plist_new_dict();
    plist_t hVariants = plist_new_dict();
    plist_t vVariants = plist_new_dict();
    plist_t vAssembly = plist_new_dict();
    for (hb_codepoint_t glyph = 0; glyph < font.glyphCount(); ++glyph) {
        const std::optional<std::string> name = font.name(glyph);
        if (!name) {
            continue;
        }
        // HarfBuzz answers 0 for a glyph without an italic correction and half the advance for
        // one without an accent attachment, which is what a reader assumes for a missing entry:
        // only values that differ from those are written.
        if (const hb_position_t value = hb_ot_math_get_glyph_italics_correction(font.font(), glyph);
            value != 0) {
            plist_dict_set_item(italic, name->c_str(), integer(value));
        }
        const hb_position_t half = hb_font_get_glyph_h_advance(font.font(), glyph) / 2;
        if (const hb_position_t value =
                hb_ot_math_get_glyph_top_accent_attachment(font.font(), glyph);
            value != half) {
            plist_dict_set_item(accents, name->c_str(), integer(value));
        }
        if (const auto list = variants(font, glyph, HB_DIRECTION_BTT); !list.empty()) {
            plist_dict_set_item(vVariants, name->c_str(), names(list));
        }
        if (const auto list = variants(font, glyph, HB_DIRECTION_LTR); !list.empty()) {
            plist_dict_set_item(hVariants, name->c_str(), names(list));
        }
        if (Plist parts = assembly(font, glyph)) {
            plist_dict_set_item(vAssembly, name->c_str(), parts.release());
        }
    }
    plist_dict_set_item(root.get(), "version", plist_new_string("1.0"));
    plist_dict_set_item(root.get(), "accents", accents);
    plist_dict_set_item(root.get(), "constants", constants);
    plist_dict_set_item(root.get(), "italic", italic);
    plist_dict_set_item(root.get(), "h_variants", hVariants);
    plist_dict_set_item(root.get(), "v_variants", vVariants);
    plist_dict_set_item(root.get(), "v_assembly", vAssembly);

    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root.get(), &bytes, &length);
    if (bytes == nullptr) {
        std::fprintf(stderr, "%s: could not encode the table\n", argv[2]);
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(bytes, length);
    plist_to_xml_free(bytes);
    if (!out.flush()) {
        std::fprintf(stderr, "%s: could not write\n", argv[2]);
        return 1;
    }
    return 0;
}
