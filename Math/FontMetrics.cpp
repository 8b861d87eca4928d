#include "Math/FontMetrics.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace Math {
namespace {

using platform::GlyphID;

constexpr std::array<std::string_view, FontMetrics::constantCount> kConstantNames{
    "ScriptPercentScaleDown",
    "ScriptScriptPercentScaleDown",
    "DelimitedSubFormulaMinHeight",
    "DisplayOperatorMinHeight",
    "MathLeading",
    "AxisHeight",
    "AccentBaseHeight",
    "FlattenedAccentBaseHeight",
    "SubscriptShiftDown",
    "SubscriptTopMax",
    "SubscriptBaselineDropMin",
    "SuperscriptShiftUp",
    "SuperscriptShiftUpCramped",
    "SuperscriptBottomMin",
    "SuperscriptBaselineDropMax",
    "SubSuperscriptGapMin",
    "SuperscriptBottomMaxWithSubscript",
    "SpaceAfterScript",
    "UpperLimitGapMin",
    "UpperLimitBaselineRiseMin",
    "LowerLimitGapMin",
    "LowerLimitBaselineDropMin",
    "StackTopShiftUp",
    "StackTopDisplayStyleShiftUp",
    "StackBottomShiftDown",
    "StackBottomDisplayStyleShiftDown",
    "StackGapMin",
    "StackDisplayStyleGapMin",
    "StretchStackTopShiftUp",
    "StretchStackBottomShiftDown",
    "StretchStackGapAboveMin",
    "StretchStackGapBelowMin",
    "FractionNumeratorShiftUp",
    "FractionNumeratorDisplayStyleShiftUp",
    "FractionDenominatorShiftDown",
    "FractionDenominatorDisplayStyleShiftDown",
    "FractionNumeratorGapMin",
    "FractionNumDisplayStyleGapMin",
    "FractionRuleThickness",
    "FractionDenominatorGapMin",
    "FractionDenomDisplayStyleGapMin",
    "SkewedFractionHorizontalGap",
    "SkewedFractionVerticalGap",
    "OverbarVerticalGap",
    "OverbarRuleThickness",
    "OverbarExtraAscender",
    "UnderbarVerticalGap",
    "UnderbarRuleThickness",
    "UnderbarExtraDescender",
    "RadicalVerticalGap",
    "RadicalDisplayStyleVerticalGap",
    "RadicalRuleThickness",
    "RadicalExtraAscender",
    "RadicalKernBeforeDegree",
    "RadicalKernAfterDegree",
    "RadicalDegreeBottomRaisePercent",
    "MinConnectorOverlap",
};

} // namespace

// Glyph names are resolved once per font: every lookup afterwards is by identifier. A name the
// face does not know is dropped (a variant or part that is not in the font cannot be drawn).
//
// Each kind of lookup is indexed on its first use rather than with the font: a font loads on the
// thread that shows its first formula, and that formula seldom needs more than the italic
// corrections. Sizes of a font share one index across threads; each part is made once.
class FontMetrics::Tables {
public:
    struct Assembly {
        std::vector<FontTable::Assembly::Part> parts;
        std::vector<GlyphID> glyphs;
    };

    Tables(std::shared_ptr<const FontTable> table, std::shared_ptr<const platform::GlyphFace> face)
        : table_(std::move(table))
        , face_(std::move(face)) {
        for (std::size_t i = 0; i < constantCount; ++i) {
            const auto it = table_->constants.find(kConstantNames[i]);
            if (it != table_->constants.end()) {
                constants_[i] = it->second;
            }
        }
    }

    const FontTable& table() const { return *table_; }
    const platform::GlyphFace* face() const { return face_.get(); }
    const std::optional<std::int64_t>& constant(std::size_t i) const { return constants_[i]; }

    template <class Map>
    static const typename Map::mapped_type* find(const Map& map, GlyphID glyph) {
        const auto it = map.find(glyph);
        return it == map.end() ? nullptr : &it->second;
    }

    const std::int64_t* italic(GlyphID g) const {
        std::call_once(italicOnce_, [this] { italic_ = byGlyph(table_->italic); });
        return find(italic_, g);
    }
    const std::int64_t* accent(GlyphID g) const {
        std::call_once(accentsOnce_, [this] { accents_ = byGlyph(table_->accents); });
        return find(accents_, g);
    }
    const std::vector<GlyphID>* vVariants(GlyphID g) const { return find(variants().vertical, g); }
    const std::vector<GlyphID>* hVariants(GlyphID g) const {
        return find(variants().horizontal, g);
    }
    const GlyphID* larger(GlyphID g) const { return find(variants().larger, g); }
    const Assembly* vAssembly(GlyphID g) const {
        std::call_once(assemblyOnce_, [this] { indexAssemblies(); });
        return find(vAssembly_, g);
    }

private:
    struct Variants {
        std::unordered_map<GlyphID, std::vector<GlyphID>> vertical;
        std::unordered_map<GlyphID, std::vector<GlyphID>> horizontal;
        std::unordered_map<GlyphID, GlyphID> larger;
    };

    // The face's glyph of a table name.
    std::optional<GlyphID> id(const std::string& name) const {
        // One pass over the face's names: looking each table name up in the face on its own
        // costs far more, as the face's name index is built per lookup for some outline formats.
        std::call_once(namesOnce_, [this] {
            if (!face_) {
                return;
            }
            const unsigned count = std::min(face_->glyphCount(), 0x10000u);
            glyphsByName_.reserve(count);
            for (unsigned g = 0; g < count; ++g) {
                if (std::optional<std::string> name = face_->glyphName(static_cast<GlyphID>(g))) {
                    glyphsByName_.try_emplace(std::move(*name), static_cast<GlyphID>(g));
                }
            }
        });
        const auto it = glyphsByName_.find(name);
        return it == glyphsByName_.end() ? std::nullopt : std::optional(it->second);
    }

    std::unordered_map<GlyphID, std::int64_t>
    byGlyph(const std::map<std::string, std::int64_t, std::less<>>& byName) const {
        std::unordered_map<GlyphID, std::int64_t> result;
        result.reserve(byName.size());
        for (const auto& [name, value] : byName) {
            if (const auto g = id(name)) {
                result.emplace(*g, value);
            }
        }
        return result;
    }

    const Variants& variants() const {
        std::call_once(variantsOnce_, [this] {
            // The display size of an operator is the first larger variant at least as tall as
            // the font's DisplayOperatorMinHeight (the largest there is when none is): the first
            // larger one alone is too small in fonts with finely graded sizes (TeX Gyre's
            // integral.v1 is 1188 units against a minimum of 1300). Without that constant the
            // first larger one it is.
            const std::optional<std::int64_t>& minHeight =
                constants_[static_cast<std::size_t>(Constant::DisplayOperatorMinHeight)];
            const auto tallEnough = [&](GlyphID v) {
                return !minHeight || *minHeight <= 0 ||
                       std::abs(face_->boundingBox(v).size.height) >=
                           static_cast<double>(*minHeight);
            };
            const auto index = [&](const auto& source, auto& target, bool vertical) {
                for (const auto& [name, names] : source) {
                    const auto g = id(name);
                    if (!g) {
                        continue;
                    }
                    std::vector<GlyphID> list;
                    std::optional<GlyphID> larger;
                    for (const std::string& variant : names) {
                        const auto v = id(variant);
                        if (!v) {
                            continue;
                        }
                        list.push_back(*v);
                        if (vertical && variant != name && !(larger && tallEnough(*larger))) {
                            larger = *v;
                        }
                    }
                    if (larger) {
                        variants_.larger.emplace(*g, *larger);
                    }
                    if (!list.empty()) {
                        target.emplace(*g, std::move(list));
                    }
                }
            };
            index(table_->vVariants, variants_.vertical, true);
            index(table_->hVariants, variants_.horizontal, false);
        });
        return variants_;
    }

    void indexAssemblies() const {
        for (const auto& [name, assembly] : table_->vAssembly) {
            const auto g = id(name);
            if (!g) {
                continue;
            }
            Assembly resolved;
            bool complete = true;
            for (const FontTable::Assembly::Part& part : assembly.parts) {
                const auto p = id(part.glyph);
                if (!p) {
                    complete = false;
                    break;
                }
                resolved.parts.push_back(part);
                resolved.glyphs.push_back(*p);
            }
            // An assembly with a part missing would be drawn with a hole in it: none at all is
            // the sounder answer (the largest variant is used instead).
            if (complete && !resolved.parts.empty()) {
                vAssembly_.emplace(*g, std::move(resolved));
            }
        }
    }

    std::shared_ptr<const FontTable> table_;
    std::shared_ptr<const platform::GlyphFace> face_;
    std::array<std::optional<std::int64_t>, constantCount> constants_{};
    mutable std::once_flag namesOnce_;
    mutable std::unordered_map<std::string, GlyphID> glyphsByName_;
    mutable std::once_flag italicOnce_;
    mutable std::unordered_map<GlyphID, std::int64_t> italic_;
    mutable std::once_flag accentsOnce_;
    mutable std::unordered_map<GlyphID, std::int64_t> accents_;
    mutable std::once_flag variantsOnce_;
    mutable Variants variants_;
    mutable std::once_flag assemblyOnce_;
    mutable std::unordered_map<GlyphID, Assembly> vAssembly_;
};

std::string_view FontMetrics::constantName(Constant constant) {
    return kConstantNames[static_cast<std::size_t>(constant)];
}

bool FontMetrics::isPercentage(Constant constant) {
    return constant == Constant::ScriptPercentScaleDown ||
           constant == Constant::ScriptScriptPercentScaleDown ||
           constant == Constant::RadicalDegreeBottomRaisePercent;
}

std::shared_ptr<const FontMetrics::Tables>
FontMetrics::index(std::shared_ptr<const FontTable> table,
                   std::shared_ptr<const platform::GlyphFace> face) {
    if (!table) {
        table = std::make_shared<const FontTable>();
    }
    return std::make_shared<const Tables>(std::move(table), std::move(face));
}

FontMetrics::FontMetrics(Font font, unsigned unitsPerEm, std::shared_ptr<const Tables> tables)
    : font_(std::move(font))
    , unitsPerEm_(unitsPerEm)
    , tables_(tables ? std::move(tables) : index(nullptr, nullptr)) {}

const FontTable& FontMetrics::table() const {
    return tables_->table();
}

double FontMetrics::scaled(double designUnits) const {
    if (unitsPerEm_ == 0) {
        return 0;
    }
    return (font_.size * designUnits) / unitsPerEm_;
}

double FontMetrics::constant(Constant constant) const {
    const std::optional<std::int64_t>& value =
        tables_->constant(static_cast<std::size_t>(constant));
    if (!value) {
        return 0;
    }
    if (isPercentage(constant)) {
        return static_cast<double>(*value) / 100.0;
    }
    return scaled(static_cast<double>(*value));
}

double FontMetrics::scaledConstant(std::string_view key) const {
    const auto& constants = tables_->table().constants;
    if (constants.empty()) {
        return 0;
    }
    const auto it = constants.find(key);
    return it == constants.end() ? 0 : scaled(static_cast<double>(it->second));
}

double FontMetrics::italicCorrection(GlyphID glyph) const {
    const std::int64_t* value = tables_->italic(glyph);
    return value != nullptr ? scaled(static_cast<double>(*value)) : 0;
}

double FontMetrics::topAccentAdjustment(GlyphID glyph) const {
    const std::int64_t* value = tables_->accent(glyph);
    return value != nullptr ? scaled(static_cast<double>(*value)) : glyphAdvance(glyph).width * 0.5;
}

platform::Size FontMetrics::glyphAdvance(GlyphID glyph) const {
    const platform::GlyphFace* face = tables_->face();
    if (face == nullptr) {
        return {0, 0};
    }
    return {scaled(face->advance(glyph)), 0};
}

std::vector<GlyphID> FontMetrics::verticalVariants(GlyphID glyph) const {
    const std::vector<GlyphID>* variants = tables_->vVariants(glyph);
    return variants != nullptr ? *variants : std::vector<GlyphID>{glyph};
}

std::vector<GlyphID> FontMetrics::horizontalVariants(GlyphID glyph) const {
    const std::vector<GlyphID>* variants = tables_->hVariants(glyph);
    return variants != nullptr ? *variants : std::vector<GlyphID>{glyph};
}

GlyphID FontMetrics::largerGlyph(GlyphID glyph) const {
    const GlyphID* larger = tables_->larger(glyph);
    return larger != nullptr ? *larger : glyph;
}

std::vector<FontMetrics::GlyphPart> FontMetrics::verticalAssembly(GlyphID glyph) const {
    const Tables::Assembly* assembly = tables_->vAssembly(glyph);
    std::vector<GlyphPart> parts;
    if (assembly == nullptr) {
        return parts;
    }
    parts.reserve(assembly->parts.size());
    for (std::size_t i = 0; i < assembly->parts.size(); ++i) {
        const FontTable::Assembly::Part& part = assembly->parts[i];
        parts.push_back({assembly->glyphs[i], scaled(static_cast<double>(part.advance)),
                         scaled(static_cast<double>(part.startConnector)),
                         scaled(static_cast<double>(part.endConnector)), part.extender});
    }
    return parts;
}

} // namespace Math
