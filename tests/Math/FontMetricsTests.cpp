// The bundled math fonts read through the registry and the metrics, checked glyph by glyph
// against the fonts' own MATH tables as HarfBuzz reads them and their advances as FreeType
// reads them.

#include "Math/FontMetrics.hpp"
#include "Math/FontRegistry.hpp"
#include "Math/PlatformFont.hpp"
#include "tests/Math/BundledFonts.hpp"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <array>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <hb-ot.h>
#include <hb.h>
#include <memory>

using namespace Math;
using platform::GlyphID;

namespace {

constexpr double kSize = 20;

struct Reference {
    hb_blob_t* blob = nullptr;
    hb_face_t* face = nullptr;
    hb_font_t* font = nullptr;
    FT_Library library = nullptr;
    FT_Face ftFace = nullptr;
    unsigned upem = 0;

    explicit Reference(const std::string& path) {
        blob = hb_blob_create_from_file(path.c_str());
        face = hb_face_create(blob, 0);
        font = hb_font_create(face);
        upem = hb_face_get_upem(face);
        hb_font_set_scale(font, static_cast<int>(upem), static_cast<int>(upem));
        FT_Init_FreeType(&library);
        FT_New_Face(library, path.c_str(), 0, &ftFace);
    }
    ~Reference() {
        FT_Done_Face(ftFace);
        FT_Done_FreeType(library);
        hb_font_destroy(font);
        hb_face_destroy(face);
        hb_blob_destroy(blob);
    }
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;

    double points(double units) const { return kSize * units / upem; }
    double advance(GlyphID glyph) const {
        FT_Load_Glyph(ftFace, glyph, FT_LOAD_NO_SCALE);
        return points(static_cast<double>(ftFace->glyph->advance.x));
    }
    std::vector<double> variantHeights(GlyphID glyph) const {
        std::array<hb_ot_math_glyph_variant_t, 64> buffer{};
        unsigned count = buffer.size();
        hb_ot_math_get_glyph_variants(font, glyph, HB_DIRECTION_BTT, 0, &count, buffer.data());
        std::vector<double> result;
        for (unsigned i = 0; i < count; ++i) {
            result.push_back(buffer[i].advance);
        }
        return result;
    }
    std::vector<GlyphID> variants(GlyphID glyph, hb_direction_t direction) const {
        std::array<hb_ot_math_glyph_variant_t, 64> buffer{};
        unsigned count = buffer.size();
        hb_ot_math_get_glyph_variants(font, glyph, direction, 0, &count, buffer.data());
        std::vector<GlyphID> result;
        for (unsigned i = 0; i < count; ++i) {
            result.push_back(static_cast<GlyphID>(buffer[i].glyph));
        }
        return result;
    }
};

std::string fontPath(const Font::Name& name) {
    return (FontRegistry::locateModuleBundle().value() / "mathFonts.bundle" / name.rawValue())
               .string() +
           ".otf";
}

class BundledFont : public testing::TestWithParam<Font::Name> {
protected:
    void SetUp() override {
        ASSERT_TRUE(FontRegistry::locateModuleBundle()) << "the build makes the bundle";
        font = PlatformFont::make(Font(GetParam(), kSize));
        ASSERT_TRUE(font) << GetParam().rawValue();
        reference = std::make_unique<Reference>(fontPath(GetParam()));
        ASSERT_TRUE(hb_ot_math_has_data(reference->face));
    }

    std::shared_ptr<const PlatformFont> font;
    std::unique_ptr<Reference> reference;
};

TEST_P(BundledFont, ConstantsAreTheFontsOwnInPoints) {
    const FontMetrics& metrics = font->metrics();
    EXPECT_EQ(metrics.unitsPerEm(), reference->upem);
    for (unsigned i = 0; i <= HB_OT_MATH_CONSTANT_RADICAL_DEGREE_BOTTOM_RAISE_PERCENT; ++i) {
        const auto constant = static_cast<FontMetrics::Constant>(i);
        const double raw =
            hb_ot_math_get_constant(reference->font, static_cast<hb_ot_math_constant_t>(i));
        const double expected =
            FontMetrics::isPercentage(constant) ? raw / 100 : reference->points(raw);
        EXPECT_DOUBLE_EQ(metrics.constant(constant), expected)
            << FontMetrics::constantName(constant);
        if (!FontMetrics::isPercentage(constant)) {
            EXPECT_DOUBLE_EQ(metrics.scaledConstant(FontMetrics::constantName(constant)), expected);
        }
    }
    EXPECT_DOUBLE_EQ(
        metrics.minConnectorOverlap(),
        reference->points(hb_ot_math_get_min_connector_overlap(reference->font, HB_DIRECTION_BTT)));
    EXPECT_GT(metrics.axisHeight(), 0);
    EXPECT_GT(metrics.scriptPercentScaleDown(), 0.5);
    EXPECT_LT(metrics.scriptPercentScaleDown(), 1);
}

TEST_P(BundledFont, ItalicCorrectionsAndAccentAttachmentsOfEveryGlyph) {
    const FontMetrics& metrics = font->metrics();
    const unsigned count = hb_face_get_glyph_count(reference->face);
    int italics = 0;
    int accents = 0;
    for (unsigned g = 0; g < count; ++g) {
        const auto glyph = static_cast<GlyphID>(g);
        const double italic = hb_ot_math_get_glyph_italics_correction(reference->font, glyph);
        italics += italic != 0;
        ASSERT_DOUBLE_EQ(metrics.italicCorrection(glyph), reference->points(italic)) << g;
        // A glyph without an attachment has it at half its advance; HarfBuzz rounds that half
        // down to whole design units.
        const double accent = hb_ot_math_get_glyph_top_accent_attachment(reference->font, glyph);
        accents += accent != std::floor(hb_font_get_glyph_h_advance(reference->font, glyph) / 2);
        ASSERT_NEAR(metrics.topAccentAdjustment(glyph), reference->points(accent),
                    reference->points(0.5) + 1e-9)
            << g;
        ASSERT_DOUBLE_EQ(metrics.glyphAdvance(glyph).width, reference->advance(glyph)) << g;
        ASSERT_EQ(metrics.glyphAdvance(glyph).height, 0);
    }
    // The fonts have dozens to hundreds of each (an upright font such as Euler has few italic
    // corrections); a table that lost them would pass the loop on fallbacks.
    EXPECT_GT(italics, 30);
    EXPECT_GT(accents, 100);
}

TEST_P(BundledFont, VariantsOfEveryGlyph) {
    const FontMetrics& metrics = font->metrics();
    const unsigned count = hb_face_get_glyph_count(reference->face);
    int stretchy = 0;
    for (unsigned g = 0; g < count; ++g) {
        const auto glyph = static_cast<GlyphID>(g);
        std::vector<GlyphID> vertical = reference->variants(glyph, HB_DIRECTION_BTT);
        std::vector<GlyphID> horizontal = reference->variants(glyph, HB_DIRECTION_LTR);
        stretchy += !vertical.empty();
        // The display size: the first larger variant whose measured height in the MATH table
        // reaches DisplayOperatorMinHeight, else the largest.
        GlyphID larger = glyph;
        const double minHeight = hb_ot_math_get_constant(
            reference->font, HB_OT_MATH_CONSTANT_DISPLAY_OPERATOR_MIN_HEIGHT);
        for (std::size_t i = 0; i < vertical.size(); ++i) {
            if (vertical[i] != glyph) {
                larger = vertical[i];
                if (reference->variantHeights(glyph)[i] >= minHeight) {
                    break;
                }
            }
        }
        if (vertical.empty()) {
            vertical = {glyph};
        }
        if (horizontal.empty()) {
            horizontal = {glyph};
        }
        ASSERT_EQ(metrics.verticalVariants(glyph), vertical) << g;
        ASSERT_EQ(metrics.horizontalVariants(glyph), horizontal) << g;
        ASSERT_EQ(metrics.largerGlyph(glyph), larger) << g;
    }
    EXPECT_GT(stretchy, 20);
    // An integral in display style is at least as tall as the font asks.
    const GlyphID integral = font->face().glyph(U'\u222B').value();
    const GlyphID display = metrics.largerGlyph(integral);
    EXPECT_NE(display, integral);
    EXPECT_GE(font->glyphFont().boundingRect(display).size.height,
              metrics.constant(FontMetrics::Constant::DisplayOperatorMinHeight) - 0.5);
}

TEST_P(BundledFont, AssembliesOfEveryGlyph) {
    const FontMetrics& metrics = font->metrics();
    const unsigned count = hb_face_get_glyph_count(reference->face);
    int assembled = 0;
    for (unsigned g = 0; g < count; ++g) {
        const auto glyph = static_cast<GlyphID>(g);
        std::array<hb_ot_math_glyph_part_t, 32> parts{};
        unsigned n = parts.size();
        hb_ot_math_get_glyph_assembly(reference->font, glyph, HB_DIRECTION_BTT, 0, &n, parts.data(),
                                      nullptr);
        std::vector<FontMetrics::GlyphPart> expected;
        for (unsigned i = 0; i < n; ++i) {
            expected.push_back({static_cast<GlyphID>(parts[i].glyph),
                                reference->points(parts[i].full_advance),
                                reference->points(parts[i].start_connector_length),
                                reference->points(parts[i].end_connector_length),
                                (parts[i].flags & HB_OT_MATH_GLYPH_PART_FLAG_EXTENDER) != 0});
        }
        assembled += n > 0;
        ASSERT_EQ(metrics.verticalAssembly(glyph), expected) << g;
    }
    EXPECT_GT(assembled, 10);
}

INSTANTIATE_TEST_SUITE_P(Fonts, BundledFont, testing::ValuesIn(moss_test::bundledFontNames()),
                         moss_test::fontTestName);

TEST(PlatformFont, SizesOfOneFontShareItsFaceAndTableAndScaleLinearly) {
    const auto small = PlatformFont::make(Font(Font::Name::latinModern, 10));
    const auto large = PlatformFont::make(Font(Font::Name::latinModern, 30));
    ASSERT_TRUE(small && large);
    EXPECT_EQ(small->sharedFace(), large->sharedFace());
    EXPECT_EQ(&small->metrics().table(), &large->metrics().table());
    EXPECT_EQ(FontRegistry::shared().fontTable(Font::Name::latinModern).get(),
              &small->metrics().table());
    EXPECT_DOUBLE_EQ(large->metrics().axisHeight(), 3 * small->metrics().axisHeight());
    EXPECT_DOUBLE_EQ(large->glyphFont().size(), 30);
    EXPECT_DOUBLE_EQ(large->metrics().scriptPercentScaleDown(),
                     small->metrics().scriptPercentScaleDown());
}

TEST(PlatformFont, AbsurdSizesMakeNoFontAndZeroMakesAnEmptyOne) {
    for (const double size :
         {-1.0, std::nan(""), double(INFINITY), 1e9, PlatformFont::maxSize * 2}) {
        EXPECT_FALSE(PlatformFont::make(Font(Font::Name::latinModern, size))) << size;
    }
    const auto zero = PlatformFont::make(Font(Font::Name::latinModern, 0));
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero->metrics().axisHeight(), 0);
    EXPECT_EQ(zero->metrics().glyphAdvance(zero->face().glyph(U'x').value_or(0)).width, 0);
    EXPECT_TRUE(PlatformFont::make(Font(Font::Name::latinModern, -0.0)));
}

TEST(PlatformFont, ExactlyTheBundledFontsResolve) {
    for (const Font::Name& name :
         {Font::Name::latinModern, Font::Name::kpMathLight, Font::Name::kpMathSans,
          Font::Name::xits, Font::Name::termes, Font::Name::asana, Font::Name::euler,
          Font::Name::fira, Font::Name::notoSans, Font::Name::libertinus, Font::Name::garamond,
          Font::Name::leteSans}) {
        const std::filesystem::path otf = fontPath(name);
        const bool bundled =
            std::filesystem::exists(otf) &&
            std::filesystem::exists(std::filesystem::path(otf).replace_extension(".plist"));
        EXPECT_EQ(PlatformFont::make(Font(name, 20)) != nullptr, bundled) << name.rawValue();
    }
    EXPECT_FALSE(PlatformFont::make(Font(Font::Name("no-such-font"), 20)));
    EXPECT_FALSE(FontRegistry::shared().graphicsFont(Font::Name("")));
}

} // namespace

namespace {

TEST(FontMetrics, ScalesItsOwnTableAndFallsBackWhereItHasNothing) {
    const auto face = platform::GlyphFace::fromFile(fontPath(Font::Name::latinModern));
    ASSERT_TRUE(face);
    const GlyphID paren = face->glyph(std::string_view("parenleft")).value();
    const GlyphID larger = face->glyph(std::string_view("parenleft.v1")).value();
    const GlyphID x = face->glyph(U'x').value();
    auto table = std::make_shared<FontTable>();
    table->constants = {{"AxisHeight", 250}, {"RadicalDegreeBottomRaisePercent", 60}};
    table->vVariants = {{"parenleft", {"parenleft", "parenleft.v1", "no-such-glyph"}}};
    const FontMetrics metrics(Font(Font::Name("hand"), 20), 1000, FontMetrics::index(table, face));

    EXPECT_DOUBLE_EQ(metrics.axisHeight(), 5.0);
    EXPECT_DOUBLE_EQ(metrics.radicalDegreeBottomRaisePercent(), 0.6);
    EXPECT_EQ(metrics.scriptPercentScaleDown(), 0); // no such constant: scripts at size 0
    EXPECT_EQ(metrics.scaledConstant("AxisHeight"), 5.0);
    EXPECT_EQ(metrics.scaledConstant("Nothing"), 0);
    // A list that begins with the glyph itself: the larger glyph is the next one; names the
    // font does not have are dropped.
    EXPECT_EQ(metrics.verticalVariants(paren), (std::vector<GlyphID>{paren, larger}));
    EXPECT_EQ(metrics.largerGlyph(paren), larger);
    EXPECT_EQ(metrics.largerGlyph(x), x);
    EXPECT_EQ(metrics.verticalVariants(x), std::vector<GlyphID>{x});
    EXPECT_TRUE(metrics.verticalAssembly(paren).empty());
    EXPECT_EQ(metrics.italicCorrection(x), 0);
    EXPECT_DOUBLE_EQ(metrics.topAccentAdjustment(x), metrics.glyphAdvance(x).width / 2);

    // Without a face nothing can be measured or looked up by glyph; constants still read.
    const FontMetrics faceless(Font(Font::Name("hand"), 20), 1000,
                               FontMetrics::index(table, nullptr));
    EXPECT_EQ(faceless.topAccentAdjustment(x), 0);
    EXPECT_EQ(faceless.largerGlyph(paren), paren);
    EXPECT_DOUBLE_EQ(faceless.axisHeight(), 5.0);
    // A face that claims no units per em measures nothing rather than dividing by zero.
    EXPECT_EQ(
        FontMetrics(Font(Font::Name("hand"), 20), 0, FontMetrics::index(table, face)).axisHeight(),
        0);
}

} // namespace
