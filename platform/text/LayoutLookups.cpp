#include "platform/text/LayoutLookups.hpp"

#include <hb-ot.h>

namespace platform {
namespace {

/// Big-endian reads that fail (rather than read past the end) on a truncated table.
class TableReader {
public:
    explicit TableReader(std::span<const unsigned char> bytes)
        : bytes_(bytes) {}

    bool u16(std::size_t at, unsigned& value) const {
        if (at > bytes_.size() || bytes_.size() - at < 2) {
            return false;
        }
        value = (unsigned(bytes_[at]) << 8) | bytes_[at + 1];
        return true;
    }
    bool u32(std::size_t at, std::size_t& value) const {
        unsigned high = 0;
        unsigned low = 0;
        if (!u16(at, high) || !u16(at + 2, low)) {
            return false;
        }
        value = (std::size_t(high) << 16) | low;
        return true;
    }
    /// The offset stored at `at`, from `base`.
    bool offset16(std::size_t base, std::size_t at, std::size_t& target) const {
        unsigned value = 0;
        if (!u16(at, value)) {
            return false;
        }
        target = base + value;
        return true;
    }

private:
    std::span<const unsigned char> bytes_;
};

/// What a class-based context subtable (format 2 of a context or chaining context lookup) lets
/// its rules match beyond the glyphs its class tables list: class 0 stands for every glyph they
/// do not list, which collecting the lookup's glyphs cannot name.
enum class UnlistedMatch { none, aroundInput, inInput, malformed };

UnlistedMatch unlistedMatchOf(const TableReader& table, std::size_t subtable, bool chaining) {
    // Context: format, coverage, class table, set count, sets. Chaining: format, coverage, three
    // class tables, set count, sets.
    const std::size_t countAt = subtable + (chaining ? 10 : 6);
    unsigned sets = 0;
    if (!table.u16(countAt, sets)) {
        return UnlistedMatch::malformed;
    }
    UnlistedMatch found = UnlistedMatch::none;
    // Whether any of `count` classes from `at` is class 0; false (and `ok` cleared) past the end.
    bool ok = true;
    const auto hasClassZero = [&](std::size_t at, unsigned count) {
        for (unsigned i = 0; i < count; ++i) {
            unsigned klass = 0;
            if (!table.u16(at + 2 * std::size_t(i), klass)) {
                ok = false;
                return false;
            }
            if (klass == 0) {
                return true;
            }
        }
        return false;
    };
    for (unsigned s = 0; s < sets; ++s) {
        unsigned setOffset = 0;
        if (!table.u16(countAt + 2 + 2 * std::size_t(s), setOffset)) {
            return UnlistedMatch::malformed;
        }
        if (setOffset == 0) {
            continue; // no rules start with this class
        }
        const std::size_t set = subtable + setOffset;
        unsigned rules = 0;
        if (!table.u16(set, rules)) {
            return UnlistedMatch::malformed;
        }
        for (unsigned r = 0; r < rules; ++r) {
            std::size_t rule = 0;
            if (!table.offset16(set, set + 2 + 2 * std::size_t(r), rule)) {
                return UnlistedMatch::malformed;
            }
            unsigned backtrack = 0;
            std::size_t inputAt = rule;
            if (chaining) {
                if (!table.u16(rule, backtrack)) {
                    return UnlistedMatch::malformed;
                }
                if (hasClassZero(rule + 2, backtrack)) {
                    found = UnlistedMatch::aroundInput;
                }
                inputAt = rule + 2 + 2 * std::size_t(backtrack);
            }
            unsigned inputCount = 0;
            if (!table.u16(inputAt, inputCount)) {
                return UnlistedMatch::malformed;
            }
            // The first input glyph is named by the coverage; context rules hold a lookup count
            // between the glyph count and the classes.
            const std::size_t classesAt = inputAt + (chaining ? 2 : 4);
            const unsigned rest = inputCount > 0 ? inputCount - 1 : 0;
            if (hasClassZero(classesAt, rest)) {
                return ok ? UnlistedMatch::inInput : UnlistedMatch::malformed;
            }
            if (chaining) {
                const std::size_t lookaheadAt = classesAt + 2 * std::size_t(rest);
                unsigned lookahead = 0;
                if (!table.u16(lookaheadAt, lookahead)) {
                    return UnlistedMatch::malformed;
                }
                if (hasClassZero(lookaheadAt + 2, lookahead)) {
                    found = UnlistedMatch::aroundInput;
                }
            }
            if (!ok) {
                return UnlistedMatch::malformed;
            }
        }
    }
    return found;
}

struct LookupSet {
    hb_set_t* set = hb_set_create();
    LookupSet() = default;
    LookupSet(const LookupSet&) = delete;
    LookupSet& operator=(const LookupSet&) = delete;
    ~LookupSet() { hb_set_destroy(set); }
};

bool hasTable(hb_face_t* face, hb_tag_t tag) {
    hb_blob_t* blob = hb_face_reference_table(face, tag);
    const bool present = hb_blob_get_length(blob) > 0;
    hb_blob_destroy(blob);
    return present;
}

} // namespace

std::vector<LayoutLookups::Kind> LayoutLookups::lookupKinds(std::span<const unsigned char> bytes,
                                                            bool positioning) {
    const TableReader table(bytes);
    std::size_t list = 0;
    unsigned count = 0;
    if (!table.offset16(0, 8, list) || list == 0 || !table.u16(list, count)) {
        return {};
    }
    const unsigned extension = positioning ? 9 : 7;
    const unsigned context = positioning ? 7 : 5;
    const unsigned chaining = positioning ? 8 : 6;
    constexpr unsigned kIgnoreBaseGlyphs = 0x2;
    std::vector<Kind> kinds(count, Kind::named);
    for (unsigned l = 0; l < count; ++l) {
        std::size_t lookup = 0;
        unsigned type = 0;
        unsigned flags = 0;
        unsigned subtables = 0;
        if (!table.offset16(list, list + 2 + 2 * std::size_t(l), lookup) ||
            !table.u16(lookup, type) || !table.u16(lookup + 2, flags) ||
            !table.u16(lookup + 4, subtables)) {
            kinds[l] = Kind::opaque;
            continue;
        }
        // A lookup that skips base glyphs (a space among them) joins what lies on either side.
        if ((flags & kIgnoreBaseGlyphs) != 0) {
            kinds[l] = Kind::reaching;
        }
        for (unsigned s = 0; s < subtables && kinds[l] != Kind::opaque; ++s) {
            std::size_t subtable = 0;
            if (!table.offset16(lookup, lookup + 6 + 2 * std::size_t(s), subtable)) {
                kinds[l] = Kind::opaque;
                break;
            }
            unsigned subtableType = type;
            if (type == extension) {
                // Format 1, the type of the lookup it stands for, a 32-bit offset to it.
                std::size_t far = 0;
                if (!table.u16(subtable + 2, subtableType) || !table.u32(subtable + 4, far)) {
                    kinds[l] = Kind::opaque;
                    break;
                }
                subtable += far;
            }
            unsigned format = 0;
            if (subtableType == extension || !table.u16(subtable, format)) {
                kinds[l] = Kind::opaque; // an extension of an extension is malformed
            } else if ((subtableType == context || subtableType == chaining) && format == 2) {
                switch (unlistedMatchOf(table, subtable, subtableType == chaining)) {
                case UnlistedMatch::none:
                    break;
                case UnlistedMatch::aroundInput:
                    kinds[l] = Kind::reaching;
                    break;
                case UnlistedMatch::inInput:
                case UnlistedMatch::malformed:
                    kinds[l] = Kind::opaque;
                    break;
                }
            }
        }
    }
    return kinds;
}

LayoutLookups LayoutLookups::read(hb_face_t* face, hb_shape_plan_t* plan) {
    LayoutLookups result;
    // Shaping that does not go through GSUB and GPOS alone (Apple's tables, or the old kerning
    // table a face without GPOS is kerned by) is not read here.
    for (const hb_tag_t tag : {HB_TAG('m', 'o', 'r', 'x'), HB_TAG('m', 'o', 'r', 't'),
                               HB_TAG('k', 'e', 'r', 'x'), HB_TAG('t', 'r', 'a', 'k')}) {
        if (hasTable(face, tag)) {
            return result;
        }
    }
    if (!hb_ot_layout_has_positioning(face) && hasTable(face, HB_TAG('k', 'e', 'r', 'n'))) {
        return result;
    }
    bool reaching = false;
    for (const bool positioning : {false, true}) {
        const hb_tag_t tag = positioning ? HB_OT_TAG_GPOS : HB_OT_TAG_GSUB;
        const LookupSet lookups;
        hb_ot_shape_plan_collect_lookups(plan, tag, lookups.set);
        if (hb_set_is_empty(lookups.set)) {
            continue;
        }
        hb_blob_t* blob = hb_face_reference_table(face, tag);
        unsigned length = 0;
        const char* data = hb_blob_get_data(blob, &length);
        const std::vector<Kind> kinds = lookupKinds(
            std::span(reinterpret_cast<const unsigned char*>(data), length), positioning);
        hb_blob_destroy(blob);
        for (hb_codepoint_t l = HB_SET_VALUE_INVALID; hb_set_next(lookups.set, &l);) {
            if (l >= kinds.size() || kinds[l] == Kind::opaque) {
                return result;
            }
            reaching = reaching || kinds[l] == Kind::reaching;
            // Every glyph the lookup matches (before, in and after its input) or produces.
            hb_ot_layout_lookup_collect_glyphs(face, tag, l, result.named_.get(),
                                               result.named_.get(), result.named_.get(),
                                               result.named_.get());
        }
    }
    result.known_ = true;
    result.reaching_ = reaching;
    return result;
}

} // namespace platform
