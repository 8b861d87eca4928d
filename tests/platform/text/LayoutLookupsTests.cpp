#include "platform/text/LayoutLookups.hpp"

#include <cstdint>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <hb-ot.h>
#include <string>
#include <vector>

namespace platform {
namespace {

using Kind = LayoutLookups::Kind;

/// A GSUB table built lookup by lookup: each lookup holds one subtable.
class SubstitutionTable {
public:
    /// A chaining context rule of classes (format 2); the first input class is the coverage's.
    void chainRule(std::vector<std::uint16_t> backtrack, std::vector<std::uint16_t> input,
                   std::vector<std::uint16_t> lookahead, std::uint16_t flags = 0) {
        std::vector<std::uint8_t> s;
        put(s, {2, 0, 0, 0, 0, 1, 14}); // format, coverage, three class tables, one set at 14
        put(s, {1, 4});                 // the set: one rule at 4
        put(s, {std::uint16_t(backtrack.size())});
        put(s, backtrack);
        put(s, {std::uint16_t(input.size() + 1)});
        put(s, input);
        put(s, {std::uint16_t(lookahead.size())});
        put(s, lookahead);
        put(s, {0});
        lookups_.push_back({6, flags, std::move(s)});
    }
    /// A context rule of classes (format 2).
    void contextRule(std::vector<std::uint16_t> input) {
        std::vector<std::uint8_t> s;
        put(s, {2, 0, 0, 1, 10, 1, 4, std::uint16_t(input.size() + 1), 0});
        put(s, input);
        lookups_.push_back({5, 0, std::move(s)});
    }
    void single(std::uint16_t flags = 0) { lookups_.push_back({1, flags, {0, 1, 0, 0, 0, 0}}); }
    /// The last lookup again, behind an extension lookup.
    void extendLast() {
        Lookup& last = lookups_.back();
        std::vector<std::uint8_t> s;
        put(s, {1, last.type, 0, 8});
        s.insert(s.end(), last.subtable.begin(), last.subtable.end());
        last = {7, last.flags, std::move(s)};
    }

    std::vector<std::uint8_t> bytes() const {
        std::vector<std::uint8_t> t;
        put(t, {1, 0, 0, 0, 10, std::uint16_t(lookups_.size())});
        std::size_t at = 2 + 2 * lookups_.size();
        for (const Lookup& l : lookups_) {
            put(t, {std::uint16_t(at)});
            at += 8 + l.subtable.size();
        }
        for (const Lookup& l : lookups_) {
            put(t, {l.type, l.flags, 1, 8});
            t.insert(t.end(), l.subtable.begin(), l.subtable.end());
        }
        return t;
    }

private:
    struct Lookup {
        std::uint16_t type;
        std::uint16_t flags;
        std::vector<std::uint8_t> subtable;
    };
    static void put(std::vector<std::uint8_t>& out, const std::vector<std::uint16_t>& values) {
        for (const std::uint16_t v : values) {
            out.push_back(std::uint8_t(v >> 8));
            out.push_back(std::uint8_t(v & 0xFF));
        }
    }
    std::vector<Lookup> lookups_;
};

TEST(LayoutLookups, KindsOfLookupsReadFromTheTableBytes) {
    SubstitutionTable table;
    table.single();                  // 0: names its glyphs
    table.chainRule({3}, {4}, {5});  // 1: every class named
    table.chainRule({3}, {4}, {0});  // 2: any glyph may follow
    table.chainRule({0}, {}, {});    // 3: any glyph may precede
    table.chainRule({}, {4, 0}, {}); // 4: any glyph may be input, which nothing can list
    table.contextRule({0});          // 5: the same, without context
    table.contextRule({2});          // 6: named
    table.chainRule({}, {}, {0});    // 7: behind an extension, still open
    table.extendLast();              //
    table.single(0x2);               // 8: skips base glyphs such as a space
    const std::vector<std::uint8_t> bytes = table.bytes();
    const std::vector<Kind> kinds = LayoutLookups::lookupKinds(bytes, false);
    const std::vector<Kind> expected = {Kind::named,    Kind::named,    Kind::reaching,
                                        Kind::reaching, Kind::opaque,   Kind::opaque,
                                        Kind::named,    Kind::reaching, Kind::reaching};
    EXPECT_EQ(kinds, expected);

    // Read as positioning, type 6 and 7 are other kinds of lookups: only the flags matter.
    const std::vector<Kind> positioned = LayoutLookups::lookupKinds(bytes, true);
    ASSERT_EQ(positioned.size(), expected.size());
    EXPECT_EQ(positioned[2], Kind::named);
    EXPECT_EQ(positioned[8], Kind::reaching);

    // Cut anywhere, the table reads as nothing or as lookups it cannot account for; never past
    // its end (the sanitizers watch).
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        const std::vector<Kind> cut =
            LayoutLookups::lookupKinds(std::span(bytes.data(), length), false);
        EXPECT_TRUE(cut.empty() || cut.size() == expected.size()) << length;
        for (std::size_t l = 0; l < cut.size(); ++l) {
            if (cut[l] != expected[l]) {
                EXPECT_EQ(cut[l], Kind::opaque) << length << " lookup " << l;
            }
        }
    }
}

std::string fontFile(const char* family) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    std::string file;
    FcChar8* path = nullptr;
    if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
        file = reinterpret_cast<const char*>(path);
    }
    FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return file;
}

/// Whether the space of the family's face separates its words under a default Latin shaping.
bool spaceSeparates(const char* family) {
    hb_blob_t* blob = hb_blob_create_from_file(fontFile(family).c_str());
    hb_face_t* face = hb_face_create(blob, 0);
    hb_font_t* font = hb_font_create(face);
    hb_segment_properties_t properties = HB_SEGMENT_PROPERTIES_DEFAULT;
    properties.direction = HB_DIRECTION_LTR;
    properties.script = HB_SCRIPT_LATIN;
    properties.language = hb_language_from_string("en", -1);
    hb_shape_plan_t* plan = hb_shape_plan_create_cached(face, &properties, nullptr, 0, nullptr);
    hb_codepoint_t space = 0;
    const bool separates = hb_font_get_nominal_glyph(font, ' ', &space) &&
                           LayoutLookups::read(face, plan).separates(space);
    hb_shape_plan_destroy(plan);
    hb_font_destroy(font);
    hb_face_destroy(face);
    hb_blob_destroy(blob);
    return separates;
}

TEST(LayoutLookups, WhetherASpaceSeparatesWordsIsTheFacesOwn) {
    // Inter raises dashes and brackets between capitals, looking across spaces.
    EXPECT_FALSE(spaceSeparates("Inter"));
    EXPECT_TRUE(spaceSeparates("Noto Sans"));
    EXPECT_TRUE(spaceSeparates("DejaVu Sans Mono"));
}

} // namespace
} // namespace platform
