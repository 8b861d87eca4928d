#pragma once

// The lengths the typesetter needs of one math font at one size, in points: the MATH constants,
// italic corrections, top-accent attachments, size variants and the parts of extensible glyphs.
// A pure value; it shares the font's immutable table and face with every other size.

#include "Math/FontTable.hpp"
#include "Math/MathFont.hpp"
#include "platform/graphics/Geometry.hpp"
#include "platform/text/GlyphFace.hpp"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace Math {

class FontMetrics {
public:
    /// The OpenType MATH constants, plus MinConnectorOverlap of the variants table. Three of them
    /// are percentages (see `isPercentage`); the rest are lengths.
    enum class Constant : std::uint8_t {
        ScriptPercentScaleDown,
        ScriptScriptPercentScaleDown,
        DelimitedSubFormulaMinHeight,
        DisplayOperatorMinHeight,
        MathLeading,
        AxisHeight,
        AccentBaseHeight,
        FlattenedAccentBaseHeight,
        SubscriptShiftDown,
        SubscriptTopMax,
        SubscriptBaselineDropMin,
        SuperscriptShiftUp,
        SuperscriptShiftUpCramped,
        SuperscriptBottomMin,
        SuperscriptBaselineDropMax,
        SubSuperscriptGapMin,
        SuperscriptBottomMaxWithSubscript,
        SpaceAfterScript,
        UpperLimitGapMin,
        UpperLimitBaselineRiseMin,
        LowerLimitGapMin,
        LowerLimitBaselineDropMin,
        StackTopShiftUp,
        StackTopDisplayStyleShiftUp,
        StackBottomShiftDown,
        StackBottomDisplayStyleShiftDown,
        StackGapMin,
        StackDisplayStyleGapMin,
        StretchStackTopShiftUp,
        StretchStackBottomShiftDown,
        StretchStackGapAboveMin,
        StretchStackGapBelowMin,
        FractionNumeratorShiftUp,
        FractionNumeratorDisplayStyleShiftUp,
        FractionDenominatorShiftDown,
        FractionDenominatorDisplayStyleShiftDown,
        FractionNumeratorGapMin,
        FractionNumDisplayStyleGapMin,
        FractionRuleThickness,
        FractionDenominatorGapMin,
        FractionDenomDisplayStyleGapMin,
        SkewedFractionHorizontalGap,
        SkewedFractionVerticalGap,
        OverbarVerticalGap,
        OverbarRuleThickness,
        OverbarExtraAscender,
        UnderbarVerticalGap,
        UnderbarRuleThickness,
        UnderbarExtraDescender,
        RadicalVerticalGap,
        RadicalDisplayStyleVerticalGap,
        RadicalRuleThickness,
        RadicalExtraAscender,
        RadicalKernBeforeDegree,
        RadicalKernAfterDegree,
        RadicalDegreeBottomRaisePercent,
        MinConnectorOverlap,
    };
    static constexpr std::size_t constantCount =
        static_cast<std::size_t>(Constant::MinConnectorOverlap) + 1;
    /// The constant's key in the table file.
    static std::string_view constantName(Constant constant);
    static bool isPercentage(Constant constant);

    /// One part of an extensible glyph, in points.
    struct GlyphPart {
        platform::GlyphID glyph = 0;
        double fullAdvance = 0;
        double startConnectorLength = 0;
        double endConnectorLength = 0;
        bool isExtender = false;
        friend bool operator==(const GlyphPart&, const GlyphPart&) = default;
    };

    /// The table indexed by glyph identifier, made once per font and shared by all its sizes.
    class Tables;
    /// Indexes `table` against `face`, whose glyph names its keys are. Without a face no glyph
    /// lookup finds anything (constants still read).
    static std::shared_ptr<const Tables> index(std::shared_ptr<const FontTable> table,
                                               std::shared_ptr<const platform::GlyphFace> face);

    FontMetrics(Font font, unsigned unitsPerEm, std::shared_ptr<const Tables> tables);

    const Font& font() const { return font_; }
    unsigned unitsPerEm() const { return unitsPerEm_; }
    const FontTable& table() const;

    /// A length constant in points, or a percentage constant as a fraction (60 -> 0.6); 0 when
    /// the table lacks it.
    double constant(Constant constant) const;
    /// Any key of the table's constants, scaled as a length; 0 when absent.
    double scaledConstant(std::string_view key) const;

    double axisHeight() const { return constant(Constant::AxisHeight); }
    double fractionRuleThickness() const { return constant(Constant::FractionRuleThickness); }
    double fractionNumeratorDisplayStyleShiftUp() const {
        return constant(Constant::FractionNumeratorDisplayStyleShiftUp);
    }
    double fractionNumeratorShiftUp() const { return constant(Constant::FractionNumeratorShiftUp); }
    double fractionDenominatorDisplayStyleShiftDown() const {
        return constant(Constant::FractionDenominatorDisplayStyleShiftDown);
    }
    double fractionDenominatorShiftDown() const {
        return constant(Constant::FractionDenominatorShiftDown);
    }
    double fractionNumDisplayStyleGapMin() const {
        return constant(Constant::FractionNumDisplayStyleGapMin);
    }
    double fractionNumeratorGapMin() const { return constant(Constant::FractionNumeratorGapMin); }
    double fractionDenomDisplayStyleGapMin() const {
        return constant(Constant::FractionDenomDisplayStyleGapMin);
    }
    double fractionDenominatorGapMin() const {
        return constant(Constant::FractionDenominatorGapMin);
    }
    double stackTopDisplayStyleShiftUp() const {
        return constant(Constant::StackTopDisplayStyleShiftUp);
    }
    double stackTopShiftUp() const { return constant(Constant::StackTopShiftUp); }
    double stackBottomDisplayStyleShiftDown() const {
        return constant(Constant::StackBottomDisplayStyleShiftDown);
    }
    double stackBottomShiftDown() const { return constant(Constant::StackBottomShiftDown); }
    double stackDisplayStyleGapMin() const { return constant(Constant::StackDisplayStyleGapMin); }
    double stackGapMin() const { return constant(Constant::StackGapMin); }
    double superscriptShiftUp() const { return constant(Constant::SuperscriptShiftUp); }
    double superscriptShiftUpCramped() const {
        return constant(Constant::SuperscriptShiftUpCramped);
    }
    double superscriptBaselineDropMax() const {
        return constant(Constant::SuperscriptBaselineDropMax);
    }
    double subscriptBaselineDropMin() const { return constant(Constant::SubscriptBaselineDropMin); }
    double subscriptShiftDown() const { return constant(Constant::SubscriptShiftDown); }
    double subscriptTopMax() const { return constant(Constant::SubscriptTopMax); }
    double superscriptBottomMin() const { return constant(Constant::SuperscriptBottomMin); }
    double superscriptBottomMaxWithSubscript() const {
        return constant(Constant::SuperscriptBottomMaxWithSubscript);
    }
    double subSuperscriptGapMin() const { return constant(Constant::SubSuperscriptGapMin); }
    double spaceAfterScript() const { return constant(Constant::SpaceAfterScript); }
    double scriptPercentScaleDown() const { return constant(Constant::ScriptPercentScaleDown); }
    double scriptScriptPercentScaleDown() const {
        return constant(Constant::ScriptScriptPercentScaleDown);
    }
    double upperLimitGapMin() const { return constant(Constant::UpperLimitGapMin); }
    double upperLimitBaselineRiseMin() const {
        return constant(Constant::UpperLimitBaselineRiseMin);
    }
    double lowerLimitGapMin() const { return constant(Constant::LowerLimitGapMin); }
    double lowerLimitBaselineDropMin() const {
        return constant(Constant::LowerLimitBaselineDropMin);
    }
    double radicalVerticalGap() const { return constant(Constant::RadicalVerticalGap); }
    double radicalDisplayStyleVerticalGap() const {
        return constant(Constant::RadicalDisplayStyleVerticalGap);
    }
    double radicalRuleThickness() const { return constant(Constant::RadicalRuleThickness); }
    double radicalExtraAscender() const { return constant(Constant::RadicalExtraAscender); }
    double radicalKernBeforeDegree() const { return constant(Constant::RadicalKernBeforeDegree); }
    double radicalKernAfterDegree() const { return constant(Constant::RadicalKernAfterDegree); }
    double radicalDegreeBottomRaisePercent() const {
        return constant(Constant::RadicalDegreeBottomRaisePercent);
    }
    double underbarVerticalGap() const { return constant(Constant::UnderbarVerticalGap); }
    double underbarRuleThickness() const { return constant(Constant::UnderbarRuleThickness); }
    double underbarExtraDescender() const { return constant(Constant::UnderbarExtraDescender); }
    double overbarVerticalGap() const { return constant(Constant::OverbarVerticalGap); }
    double overbarRuleThickness() const { return constant(Constant::OverbarRuleThickness); }
    double overbarExtraAscender() const { return constant(Constant::OverbarExtraAscender); }
    double accentBaseHeight() const { return constant(Constant::AccentBaseHeight); }
    double minConnectorOverlap() const { return constant(Constant::MinConnectorOverlap); }

    /// 0 when the table has none for the glyph.
    double italicCorrection(platform::GlyphID glyph) const;
    /// The horizontal position of the glyph's top-accent attachment; half its advance when the
    /// table has none.
    double topAccentAdjustment(platform::GlyphID glyph) const;
    /// The horizontal advance (height 0); zero when the font has no face.
    platform::Size glyphAdvance(platform::GlyphID glyph) const;
    /// Size variants, smallest first; never empty: a glyph without variants is its own only one.
    std::vector<platform::GlyphID> verticalVariants(platform::GlyphID glyph) const;
    std::vector<platform::GlyphID> horizontalVariants(platform::GlyphID glyph) const;
    /// The display size of an operator: the first vertical variant other than the glyph itself
    /// that is at least DisplayOperatorMinHeight tall, else the largest; the glyph when it has
    /// no other variant.
    platform::GlyphID largerGlyph(platform::GlyphID glyph) const;
    /// The parts of the glyph's vertical assembly, bottom to top; empty when it has none.
    std::vector<GlyphPart> verticalAssembly(platform::GlyphID glyph) const;

private:
    double scaled(double designUnits) const;

    Font font_;
    unsigned unitsPerEm_ = 0;
    std::shared_ptr<const Tables> tables_;
};

} // namespace Math
