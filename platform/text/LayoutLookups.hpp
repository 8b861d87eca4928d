#pragma once

// What the layout lookups a face's shaping applies can reach, read from its GSUB and GPOS tables:
// the glyphs they match or produce, and whether any of them may match glyphs it does not name (a
// class-based rule's class 0, or a lookup that skips base glyphs). A glyph no lookup names, in a
// face whose lookups match only what they name, keeps the text on either side from acting on the
// other: that is what lets the word-shaped layout shape each word between spaces on its own.
// Internal to platform/text.

#include <hb.h>
#include <memory>
#include <span>
#include <vector>

namespace platform {

class LayoutLookups {
public:
    /// Lookups not read: nothing is known to separate.
    LayoutLookups() = default;

    /// Reads `face`'s GSUB and GPOS tables for the lookups `plan` applies.
    static LayoutLookups read(hb_face_t* face, hb_shape_plan_t* plan);

    /// Whether no lookup `plan` applies can match a sequence through `glyph`, nor join it to a
    /// neighbour: the lookups were all read, none names the glyph, and none matches glyphs it does
    /// not name. False for a face whose shaping is not read here (Apple's tables, the old kerning
    /// table), or whose tables do not read.
    bool separates(hb_codepoint_t glyph) const {
        return known_ && !reaching_ && !hb_set_has(named_.get(), glyph);
    }

    /// The kinds of the lookups of a GSUB or GPOS table, by lookup index, from its bytes: each
    /// `named` (matching only glyphs it names), `reaching` (it may match glyphs it does not name: a
    /// class-based context rule with class 0 around its input, or a lookup that skips base
    /// glyphs) or `opaque` (one the reading cannot account for: a malformed one, or a class-based
    /// rule whose input admits class 0, whose glyphs collecting cannot list). Empty when the table
    /// has no lookup list.
    enum class Kind : unsigned char { named, reaching, opaque };
    static std::vector<Kind> lookupKinds(std::span<const unsigned char> table, bool positioning);

private:
    struct SetDeleter {
        void operator()(hb_set_t* set) const { hb_set_destroy(set); }
    };

    bool known_ = false;
    bool reaching_ = true;
    std::unique_ptr<hb_set_t, SetDeleter> named_{hb_set_create()};
};

} // namespace platform
