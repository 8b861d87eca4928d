#include "Math/Typesetter.hpp"

#include "Math/GlyphFallback.hpp"
#include "Math/HexColor.hpp"
#include "Math/TextCharacters.hpp"
#include "Math/TypesetterAlphabets.hpp"
#include "Math/TypesetterSpacing.hpp"
#include "platform/foundation/Unicode.hpp"
#include "platform/text/GlyphFace.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <typeinfo>
#include <unordered_map>

namespace Math {

namespace {

bool usable(const std::shared_ptr<const PlatformFont>& font) {
    return font && std::isfinite(font->font().size) && font->font().size > 0;
}

// A width that is not a finite positive number means "never break".
CGFloat sanitizedWidth(CGFloat width) {
    return std::isfinite(width) && width > 0 ? width : 0;
}

// From 0 to the end of the last atom's range.
IndexRange listRange(const AtomList& list) {
    if (list.atoms.empty() || !list.atoms.back()) {
        return {0, 0};
    }
    const IndexRange last = list.atoms.back()->indexRange;
    if (last.location < 0 || last.location == notFound || last.length < 0 ||
        last.length > notFound - last.location) {
        return {0, 0};
    }
    return {0, last.location + last.length};
}

bool hasScripts(const Atom& atom) {
    return atom.subscript() || atom.superscript();
}

std::u16string utf16(std::string_view text) {
    std::u16string result;
    for (const char32_t scalar : platform::unicode::scalars(text)) {
        if (scalar > 0xFFFF) {
            const char32_t v = scalar - 0x10000;
            result.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
            result.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            result.push_back(static_cast<char16_t>(scalar));
        }
    }
    return result;
}

std::string_view lastCharacter(std::string_view text) {
    const auto clusters = textCharacters(text);
    return clusters.empty() ? std::string_view{} : clusters.back();
}

// The source position of an atom's last character, where its scripts are recorded.
std::int64_t lastSourceIndex(const Atom& atom) {
    const IndexRange range = atom.indexRange;
    if (range.location < 0 || range.length <= 0 ||
        range.location > std::numeric_limits<std::int64_t>::max() - range.length) {
        return std::max<std::int64_t>(0, range.location);
    }
    return range.location + range.length - 1;
}

// A copy of `source` that shares its lists and fused atoms: enough to change the copy's type,
// nucleus or scripts without touching the source. The classes whose fields the typesetter reads
// after such a change keep them; any other atom becomes a plain one with the same base fields.
std::shared_ptr<Atom> shallowCopy(const Atom& source) {
    std::shared_ptr<Atom> result;
    // Nearly every atom of a long formula is a plain one: its class is told at once.
    if (typeid(source) == typeid(Atom)) {
        result = std::make_shared<Atom>(source.type);
    } else if (const auto* accent = dynamic_cast<const Accent*>(&source)) {
        result = std::make_shared<Accent>(accent->nucleus, accent->innerList);
    } else if (const auto* underline = dynamic_cast<const Underline*>(&source)) {
        result = std::make_shared<Underline>(underline->innerList);
    } else if (const auto* overline = dynamic_cast<const Overline*>(&source)) {
        result = std::make_shared<Overline>(overline->innerList);
    } else if (const auto* table = dynamic_cast<const Table*>(&source)) {
        auto copy = std::make_shared<Table>();
        copy->alignments = table->alignments;
        copy->cells = table->cells;
        copy->environment = table->environment;
        copy->interColumnSpacing = table->interColumnSpacing;
        copy->interRowAdditionalSpacing = table->interRowAdditionalSpacing;
        result = std::move(copy);
    } else {
        result = std::make_shared<Atom>(source.type);
    }
    result->type = source.type;
    result->nucleus = source.nucleus;
    result->indexRange = source.indexRange;
    result->fontStyle = source.fontStyle;
    result->fusedAtoms = source.fusedAtoms;
    result->setSubscript(source.subscript());
    result->setSuperscript(source.superscript());
    return result;
}

// Types whose atoms the main loop changes as it goes (they become ordinary, or inner).
bool retypedByMainLoop(AtomType type) {
    return type == AtomType::accent || type == AtomType::underline || type == AtomType::overline ||
           type == AtomType::table;
}

// The types whose atoms are set as text: their nuclei join the pending line.
bool textAtom(AtomType type) {
    switch (type) {
    case AtomType::ordinary:
    case AtomType::binaryOperator:
    case AtomType::relation:
    case AtomType::open:
    case AtomType::close:
    case AtomType::punctuation:
    case AtomType::placeholder:
        return true;
    default:
        return false;
    }
}

// Whether a superscript is absent or holds primes only, to which another may be added.
bool holdsOnlyPrimes(const AtomList* list) {
    return !list || std::all_of(list->atoms.begin(), list->atoms.end(), [](const auto& atom) {
        return atom && atom->nucleus == "\u2032" && !atom->subscript() && !atom->superscript();
    });
}

const AtomList& listOrEmpty(const std::shared_ptr<AtomList>& list) {
    static const AtomList empty;
    return list ? *list : empty;
}

// Within one formula, short lists of plain symbols recur as scripts and limits (the same limits
// under every sum of a long formula, the same index on every variable), and setting each was most
// of setting the formula. Such a list is set once per formula: a later occurrence is a new list
// over the same children, which nothing changes once their list is made (what places a list moves
// the list; a list's children sit relative to it). The lists of one typeset share a memo, begun
// by its outermost call and gone with it.
class SubLineMemo {
public:
    // Lists longer than this are rarely repeated, and their keys would cost more to make.
    static constexpr std::size_t maxAtoms = 16;
    static constexpr std::size_t maxEntries = 1024;

    // Writes what the list is set from into `key`; false when it holds anything but plain
    // symbols without scripts. The typesetter reads nothing else of such a list than what the
    // key holds.
    static bool key(std::string& key, const AtomList& list, const Font& font,
                    Typesetter::Level style, bool cramped, bool spaced) {
        if (list.atoms.size() > maxAtoms) {
            return false;
        }
        // Sized first and written in place: a formula makes a key for every script and limit,
        // and appending the fields one by one was most of the cost of finding them.
        const std::string& name = font.name.rawValue();
        std::size_t size = name.size() + 1 + sizeof(font.size) + 3;
        for (const auto& atom : list.atoms) {
            if (!isPlain(atom.get())) {
                return false;
            }
            size += plainBytes(*atom) + 1;
            for (const auto& part : atom->fusedAtoms) {
                if (!isPlain(part.get()) || !part->fusedAtoms.empty()) {
                    return false;
                }
                size += plainBytes(*part);
            }
        }
        key.resize(size);
        char* out = key.data();
        out = write(out, name.data(), name.size());
        *out++ = '\0';
        out = write(out, font.size);
        *out++ = static_cast<char>(style);
        *out++ = static_cast<char>(cramped);
        *out++ = static_cast<char>(spaced);
        for (const auto& atom : list.atoms) {
            out = writePlain(out, *atom);
            for (const auto& part : atom->fusedAtoms) {
                out = writePlain(out, *part);
            }
            *out++ = static_cast<char>(atom->fusedAtoms.size());
        }
        return true;
    }

    // A key's room, kept from one list to the next: most lookups find their list, and a key of
    // the first few symbols is longer than a string holds in place.
    std::string& scratch() { return scratch_; }

    // A new list over the children of the one kept under `key`, or nothing.
    std::shared_ptr<DisplayList> find(const std::string& key) const {
        const auto found = entries_.find(key);
        if (found == entries_.end()) {
            return nullptr;
        }
        return std::make_shared<DisplayList>(found->second->children, found->second->range);
    }

    // Keeps `list` as it was made, before its caller places or marks it.
    void store(std::string key, const DisplayList& list) {
        if (entries_.size() < maxEntries) {
            entries_.emplace(std::move(key),
                             std::make_shared<const DisplayList>(list.children, list.range));
        }
    }

    // The memo of the typeset under way on this thread.
    static inline thread_local SubLineMemo* active = nullptr;

private:
    static bool isPlain(const Atom* atom) {
        return atom && typeid(*atom) == typeid(Atom) && !hasScripts(*atom);
    }
    // What writePlain writes.
    static std::size_t plainBytes(const Atom& atom) {
        return sizeof(atom.type) + sizeof(atom.fontStyle) + sizeof(atom.indexRange.location) +
               sizeof(atom.indexRange.length) + sizeof(std::size_t) + atom.nucleus.size();
    }
    static char* write(char* out, const char* bytes, std::size_t count) {
        std::memcpy(out, bytes, count);
        return out + count;
    }
    template <class T>
    static char* write(char* out, const T& value) {
        return write(out, reinterpret_cast<const char*>(&value), sizeof(value));
    }
    static char* writePlain(char* out, const Atom& atom) {
        out = write(out, atom.type);
        out = write(out, atom.fontStyle);
        out = write(out, atom.indexRange.location);
        out = write(out, atom.indexRange.length);
        out = write(out, atom.nucleus.size());
        return write(out, atom.nucleus.data(), atom.nucleus.size());
    }

    std::unordered_map<std::string, std::shared_ptr<const DisplayList>> entries_;
    std::string scratch_;
};

// Makes a memo active for the typeset the outermost entry point begins.
class SubLineMemoScope {
public:
    SubLineMemoScope()
        : outermost_(SubLineMemo::active == nullptr) {
        if (outermost_) {
            SubLineMemo::active = &memo_;
        }
    }
    ~SubLineMemoScope() {
        if (outermost_) {
            SubLineMemo::active = nullptr;
        }
    }
    SubLineMemoScope(const SubLineMemoScope&) = delete;
    SubLineMemoScope& operator=(const SubLineMemoScope&) = delete;

    // Whether the list being set is part of a formula begun by an outer call.
    bool nested() const { return !outermost_; }

private:
    bool outermost_;
    SubLineMemo memo_;
};

} // namespace

// MARK: Entry points

std::shared_ptr<DisplayList> Typesetter::createLine(const AtomList& list,
                                                    std::shared_ptr<const PlatformFont> font,
                                                    Level style, bool cramped, CGFloat maxWidth) {
    return createLineWithOptions(list, std::move(font), style, cramped, false, maxWidth);
}

std::shared_ptr<DisplayList> Typesetter::createLine(std::shared_ptr<const AtomList>&& list,
                                                    std::shared_ptr<const PlatformFont> font,
                                                    Level style, bool cramped, CGFloat maxWidth) {
    if (!list || !usable(font)) {
        return nullptr;
    }
    const auto atoms = preprocessAtoms(*list, font.get());
    const IndexRange range = listRange(*list);
    list.reset();
    const SubLineMemoScope memo;
    Typesetter typesetter(std::move(font), style, cramped, false, maxWidth);
    typesetter.createDisplayAtoms(atoms);
    return std::make_shared<DisplayList>(std::move(typesetter.displayAtoms), range);
}

std::shared_ptr<DisplayList>
Typesetter::createLineWithOptions(const AtomList& list, std::shared_ptr<const PlatformFont> font,
                                  Level style, bool cramped, bool spaced, CGFloat maxWidth) {
    if (!usable(font)) {
        return nullptr;
    }
    const SubLineMemoScope memo;
    // The key of a list set here for the first time: the lists inside it use the scratch key.
    std::optional<std::string> key;
    if (memo.nested() && sanitizedWidth(maxWidth) == 0) {
        std::string& scratch = SubLineMemo::active->scratch();
        if (SubLineMemo::key(scratch, list, font->font(), style, cramped, spaced)) {
            if (auto known = SubLineMemo::active->find(scratch)) {
                return known;
            }
            key = scratch;
        }
    }
    const auto atoms = preprocessAtoms(list, font.get());
    Typesetter typesetter(std::move(font), style, cramped, spaced, maxWidth);
    typesetter.createDisplayAtoms(atoms);
    auto line = std::make_shared<DisplayList>(std::move(typesetter.displayAtoms), listRange(list));
    if (key) {
        SubLineMemo::active->store(std::move(*key), *line);
    }
    return line;
}

std::shared_ptr<DisplayList>
Typesetter::createLineForLevel(const AtomList& list, std::shared_ptr<const PlatformFont> font,
                               Level style, bool cramped) {
    return createLineWithOptions(list, std::move(font), style, cramped, false, 0);
}

std::shared_ptr<DisplayList>
Typesetter::createFinalizedLine(const AtomList& list, std::shared_ptr<const PlatformFont> font,
                                Level style) {
    const auto finalized = finalizedAtomList(list);
    return createLineWithOptions(*finalized, std::move(font), style, false, false, 0);
}

std::vector<std::shared_ptr<Atom>> Typesetter::preprocessAtoms(const AtomList& list,
                                                               const PlatformFont* font) {
    std::function<bool(char32_t)> drawable;
    if (font) {
        drawable = [&face = font->glyphFont().face()](char32_t c) {
            return face.glyph(c).value_or(0) != 0;
        };
    }
    // A long formula restyles and checks the same few symbols over and over.
    RecentAnswers<std::string> styledNuclei;
    RecentAnswers<bool> drawnNuclei;
    const auto restyled = [&](const Atom& atom) {
        if (!font) {
            return styleCharacters(atom.nucleus, atom.fontStyle, drawable);
        }
        // The style ends the key: no nucleus is mistaken for another with a style.
        std::string key = atom.nucleus;
        key.push_back('\0');
        key.push_back(static_cast<char>(atom.fontStyle));
        if (const auto* known = styledNuclei.find(font->font(), key)) {
            return *known;
        }
        std::string result = styleCharacters(atom.nucleus, atom.fontStyle, drawable);
        styledNuclei.add(key, result);
        return result;
    };
    const auto draws = [&](const std::string& nucleus) {
        if (const bool* known = drawnNuclei.find(font->font(), nucleus)) {
            return *known;
        }
        const bool result = fontDraws(*font, nucleus);
        drawnNuclei.add(nucleus, result);
        return result;
    };
    std::vector<std::shared_ptr<Atom>> result;
    result.reserve(list.atoms.size());
    // The list given stays as it is (it may be cached, or typeset again): an atom that is to
    // change is replaced by a copy of its own first. `lastIsOwn` tells whether the last atom of
    // the result is such a copy.
    std::shared_ptr<Atom> last;
    bool lastIsOwn = false;
    // The last atom is set in another font: it stands alone.
    bool lastInOtherFont = false;
    for (const auto& atom : list.atoms) {
        if (!atom) {
            continue;
        }
        std::shared_ptr<Atom> current = atom;
        if (atom->type == AtomType::number || atom->type == AtomType::variable) {
            current = shallowCopy(*atom);
            current->nucleus = restyled(*atom);
            current->type = AtomType::ordinary;
        } else if (atom->type == AtomType::unaryOperator) {
            current = shallowCopy(*atom);
            current->type = AtomType::ordinary;
        } else if (retypedByMainLoop(atom->type)) {
            current = shallowCopy(*atom);
        }
        // A symbol the font lacks takes a form it has; without one, the main loop sets it alone
        // in another font.
        bool inOtherFont = false;
        if (font && textAtom(current->type) && !draws(current->nucleus)) {
            std::string drawn = inDrawableForm(current->nucleus, *font);
            inOtherFont = drawn == current->nucleus || !fontDraws(*font, drawn);
            if (!inOtherFont) {
                if (current == atom) {
                    current = shallowCopy(*atom);
                }
                current->nucleus = std::move(drawn);
            }
        }
        // The prime a font has in place of the apostrophe is drawn for superscripts, low and
        // large: it is raised as one, as TeX raises every apostrophe.
        if (current->nucleus == "\u2032" && atom->nucleus == "'" && !hasScripts(*current) && last &&
            textAtom(last->type) && holdsOnlyPrimes(last->superscript().get())) {
            if (!lastIsOwn) {
                last = shallowCopy(*last);
                result.back() = last;
                lastIsOwn = true;
            }
            auto primes = std::make_shared<AtomList>(last->superscript()
                                                         ? last->superscript()->atoms
                                                         : std::vector<std::shared_ptr<Atom>>{});
            primes->append(current);
            last->setSuperscript(std::move(primes));
            continue;
        }
        const bool joins = !inOtherFont && !lastInOtherFont;
        lastInOtherFont = inOtherFont;
        if (joins && current->type == AtomType::ordinary && last &&
            last->type == AtomType::ordinary && !hasScripts(*last)) {
            if (!lastIsOwn) {
                last = shallowCopy(*last);
                result.back() = last;
                lastIsOwn = true;
            }
            last->fuse(current);
            continue;
        }
        lastIsOwn = current != atom;
        result.push_back(current);
        last = std::move(current);
    }
    return result;
}

Typesetter::Typesetter(std::shared_ptr<const PlatformFont> font_, Level style_, bool cramped_,
                       bool spaced_, CGFloat maxWidth_)
    : font(std::move(font_))
    , style(style_)
    , cramped(cramped_)
    , spaced(spaced_)
    , maxWidth(sanitizedWidth(maxWidth_))
    , minimumLineSpacing(font ? font->font().size * 0.2 : 0) {}

// MARK: Foundations

const PlatformFont& Typesetter::styleFont() {
    if (!styleFont_) {
        CGFloat size = font->font().size;
        if (style == Level::script) {
            size *= font->metrics().scriptPercentScaleDown();
        } else if (style == Level::scriptOfScript) {
            size *= font->metrics().scriptScriptPercentScaleDown();
        }
        styleFont_ = PlatformFont::make(Font(font->font().name, size));
        if (!styleFont_) {
            styleFont_ = font;
        }
    }
    return *styleFont_;
}

CGFloat Typesetter::mu() {
    return styleFont().font().size / 18;
}

CGFloat Typesetter::interElementSpace(AtomType left, AtomType right) {
    return Math::interElementSpace(left, right, style, mu());
}

void Typesetter::addInterElementSpace(const Atom* previous, AtomType current) {
    if (!previous && !spaced) {
        return;
    }
    const AtomType left = previous ? previous->type : AtomType::open;
    currentPosition.x += interElementSpace(left, current);
}

platform::GlyphID Typesetter::glyphForCharacter(std::string_view character) {
    const PlatformFont& font = styleFont();
    if (const auto* known = characterGlyphs_.find(font.font(), character)) {
        return *known;
    }
    const auto glyphs = font.glyphFont().glyphs(utf16(character));
    const platform::GlyphID glyph = glyphs && !glyphs->empty() ? glyphs->front() : 0;
    characterGlyphs_.add(character, glyph);
    return glyph;
}

void Typesetter::setStyle(Level level) {
    style = level;
    styleFont_ = nullptr;
}

namespace {

// The width the run would have with `kerns` added as GlyphFont::addExtraSpace adds them (after the
// last glyph of the cluster each names), summed in the same order, without copying the run: the
// pending line is measured once for every atom added to it.
CGFloat kernedWidth(const platform::ShapedRun& run, std::span<const platform::ExtraSpace> kerns) {
    const bool ordered =
        std::adjacent_find(kerns.begin(), kerns.end(), [](const auto& a, const auto& b) {
            return a.utf16Offset >= b.utf16Offset;
        }) == kerns.end();
    if (!ordered) {
        platform::ShapedRun kerned = run;
        platform::GlyphFont::addExtraSpace(kerned, kerns);
        return kerned.width;
    }
    const bool inOrder =
        std::adjacent_find(run.glyphs.begin(), run.glyphs.end(), [](const auto& a, const auto& b) {
            return a.cluster > b.cluster;
        }) == run.glyphs.end();
    if (ordered && inOrder) {
        // Glyphs and kerns walked side by side; a cluster's glyphs stand together.
        CGFloat width = 0;
        std::size_t k = 0;
        for (std::size_t i = 0; i < run.glyphs.size(); ++i) {
            const std::size_t cluster = run.glyphs[i].cluster;
            while (k < kerns.size() && kerns[k].utf16Offset < cluster) {
                ++k;
            }
            const bool last = i + 1 == run.glyphs.size() || run.glyphs[i + 1].cluster != cluster;
            const bool kerned = last && k < kerns.size() && kerns[k].utf16Offset == cluster &&
                                std::isfinite(kerns[k].points);
            width += kerned ? run.glyphs[i].advance + kerns[k].points : run.glyphs[i].advance;
        }
        return width;
    }
    const auto kernAt = [&kerns](std::size_t cluster) -> const platform::ExtraSpace* {
        const auto found =
            std::lower_bound(kerns.begin(), kerns.end(), cluster,
                             [](const platform::ExtraSpace& kern, std::size_t offset) {
                                 return kern.utf16Offset < offset;
                             });
        return found != kerns.end() && found->utf16Offset == cluster && std::isfinite(found->points)
                   ? &*found
                   : nullptr;
    };
    // The last glyph of each kerned cluster, by the kern's index.
    std::vector<std::size_t> lastGlyph(kerns.size(), run.glyphs.size());
    for (std::size_t i = 0; i < run.glyphs.size(); ++i) {
        if (const platform::ExtraSpace* kern = kernAt(run.glyphs[i].cluster)) {
            lastGlyph[static_cast<std::size_t>(kern - kerns.data())] = i;
        }
    }
    CGFloat width = 0;
    for (std::size_t i = 0; i < run.glyphs.size(); ++i) {
        const platform::ExtraSpace* kern = kernAt(run.glyphs[i].cluster);
        const bool last = kern && lastGlyph[static_cast<std::size_t>(kern - kerns.data())] == i;
        width += last ? run.glyphs[i].advance + kern->points : run.glyphs[i].advance;
    }
    return width;
}

} // namespace

CGFloat Typesetter::lineWidth(const AttributedLine& line) {
    if (line.empty()) {
        return 0;
    }
    // The pending line is measured once after an atom is added (does it need wrapping?) and
    // again, unchanged, before the next one (would the next one fit?): shaping is most of the
    // cost of breaking lines, and comparing the text is far cheaper than shaping it again. A
    // line that is the start of the text shaped last reads its glyphs from there; one that grew
    // past it keeps the glyphs of its start and shapes only the end again, so a line built atom
    // by atom is not shaped whole for each atom.
    const PlatformFont& font = styleFont();
    const auto sameKerns = [&line, this] {
        const auto& kerns = line.kerns();
        return std::equal(kerns.begin(), kerns.end(), measuredKerns_.begin(), measuredKerns_.end(),
                          [](const auto& a, const auto& b) {
                              return a.utf16Offset == b.utf16Offset && a.points == b.points;
                          });
    };
    const bool sameFont = measuredFont_ == font.font();
    if (!sameFont || line.text() != measuredText_) {
        if (!shapedPrefix(line, measuredRun_)) {
            shapeText(line.text());
            measuredRun_ = shapedRun_;
        }
        measuredFont_ = font.font();
        measuredText_ = line.text();
        measuredKerns_.clear();
        measuredWidth_ = measuredRun_.width;
    }
    if (!sameKerns()) {
        measuredKerns_ = line.kerns();
        measuredWidth_ = kernedWidth(measuredRun_, measuredKerns_);
    }
    return measuredWidth_;
}

namespace {

// Whether the character's script is Common or Inherited, which HarfBuzz passes over when it
// guesses a text's script: most of what formulas are made of (math letters and digits,
// operators, arrows, punctuation, combining accents). Any other character may decide the guess.
bool scriptNeutral(char32_t c) {
    if (c < 0x80) {
        return !((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
    }
    if (c <= 0xBF) {
        return c >= 0xA0 && c != 0xAA && c != 0xBA;
    }
    // Letterlike symbols fill the gaps of the math alphabets (ℎ, ℝ, ℒ); a few are letters.
    if (c >= 0x2100 && c <= 0x214F) {
        return c != 0x2126 && c != 0x212A && c != 0x212B && c != 0x2132 && c != 0x214E;
    }
    return c == 0xD7 || c == 0xF7 || (c >= 0x300 && c <= 0x36F) || (c >= 0x2000 && c <= 0x206F) ||
           (c >= 0x20A0 && c <= 0x20FF) || (c >= 0x2190 && c <= 0x27FF) ||
           (c >= 0x2900 && c <= 0x2BFF) || (c >= 0x1D400 && c <= 0x1D7FF);
}

bool surelyLatin(char32_t c) {
    return (c < 0x80 && !scriptNeutral(c)) || c == 0xAA || c == 0xBA ||
           (c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7);
}

// Whether a nucleus is valid UTF-8; most are symbols that stand alone, checked at once.
bool validNucleus(std::string_view nucleus) {
    std::size_t units = 0;
    std::size_t lastStart = 0;
    std::size_t lastUnits = 0;
    return standAloneScalars(nucleus, units, lastStart, lastUnits) ||
           platform::unicode::isValidUtf8(nucleus);
}

} // namespace

void Typesetter::shapeText(const std::string& text) {
    const PlatformFont& font = styleFont();
    shapedRun_ = shapedFont_ == font.font()
                     ? font.glyphFont().reshapeEnd(shapedRun_, shapedText_, text)
                     : font.glyphFont().reshapeEnd({}, {}, text);
    shapedFont_ = font.font();
    shapedText_ = text;
    shapedInOrder_ = std::adjacent_find(shapedRun_.glyphs.begin(), shapedRun_.glyphs.end(),
                                        [](const auto& a, const auto& b) {
                                            return a.cluster > b.cluster;
                                        }) == shapedRun_.glyphs.end();
    shapedScriptAt_ = std::string::npos;
    shapedScriptLatin_ = false;
    shapedPen_.resize(shapedRun_.glyphs.size());
    CGFloat pen = 0;
    for (std::size_t i = 0; i < shapedRun_.glyphs.size(); ++i) {
        shapedPen_[i] = pen;
        pen += shapedRun_.glyphs[i].advance;
    }
    shapedLineAt_ = 0;
    shapedLineAtUtf16_ = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = at;
        const char32_t scalar = decodeScalar(text, at);
        if (!scriptNeutral(scalar)) {
            shapedScriptAt_ = start;
            shapedScriptLatin_ = surelyLatin(scalar);
            break;
        }
    }
}

bool Typesetter::shapedPrefix(const AttributedLine& line, platform::ShapedRun& run) {
    if (shapedLineAt_ > 0 && shapedPart(line, shapedLineAt_, shapedLineAtUtf16_, run)) {
        return true;
    }
    return shapedPart(line, 0, 0, run);
}

bool Typesetter::shapedPart(const AttributedLine& line, std::size_t at, std::size_t atUtf16,
                            platform::ShapedRun& run) {
    const std::string& text = line.text();
    if (shapedFont_ != styleFont().font() || at > shapedText_.size() ||
        text.size() > shapedText_.size() - at ||
        std::string_view(shapedText_).substr(at, text.size()) != text) {
        return false;
    }
    const auto& glyphs = shapedRun_.glyphs;
    std::size_t first = 0;
    std::size_t last = glyphs.size();
    if (at > 0 || text.size() < shapedText_.size()) {
        // The part guesses its script from its own first character that may decide it: the
        // text's, when that one is in the part and Latin, or none when the text has none.
        const bool sameScript =
            shapedScriptAt_ == std::string::npos ||
            (at <= shapedScriptAt_ && shapedScriptAt_ < at + text.size() && shapedScriptLatin_);
        if (!shapedInOrder_ || !sameScript) {
            // A later part would fail alike: the text is shaped a line at a time from here.
            shapeFarAhead_ = shapeFarAhead_ && at == 0;
            return false;
        }
        // HarfBuzz promises that a text cut before a glyph not marked unsafe to break shapes,
        // in its two parts, as the whole shapes there.
        const auto cutBefore = [&glyphs](std::size_t cluster) -> std::optional<std::size_t> {
            const auto after = std::lower_bound(
                glyphs.begin(), glyphs.end(), cluster,
                [](const auto& glyph, std::size_t offset) { return glyph.cluster < offset; });
            if (after == glyphs.begin() || after == glyphs.end() || after->cluster != cluster ||
                after->unsafeToBreak) {
                return std::nullopt;
            }
            return static_cast<std::size_t>(after - glyphs.begin());
        };
        const auto from = at > 0 ? cutBefore(atUtf16) : std::optional<std::size_t>(0);
        const auto to = at + text.size() < shapedText_.size()
                            ? cutBefore(atUtf16 + line.utf16Length())
                            : std::optional<std::size_t>(glyphs.size());
        if (!from) {
            shapeFarAhead_ = false;
        }
        if (!from || !to || *from > *to) {
            return false;
        }
        first = *from;
        last = *to;
    }
    // Read from the part's start: the pen starts at 0 there, as it does for the part shaped alone.
    // A glyph set off its pen (a mark) would need its own offset, which is not kept apart.
    if (first > 0) {
        for (std::size_t i = first; i < last; ++i) {
            if (glyphs[i].position.x != shapedPen_[i]) {
                shapeFarAhead_ = false;
                return false;
            }
        }
    }
    run.glyphs.assign(glyphs.begin() + static_cast<std::ptrdiff_t>(first),
                      glyphs.begin() + static_cast<std::ptrdiff_t>(last));
    run.width = 0;
    for (auto& glyph : run.glyphs) {
        if (first > 0) {
            glyph.position.x = run.width;
            glyph.cluster -= atUtf16;
        }
        run.width += glyph.advance;
    }
    run.glyphPathBounds = {};
    return true;
}

bool Typesetter::shapedBeyond(std::string_view line) {
    if (shapedFont_ != styleFont().font()) {
        return false;
    }
    const auto holds = [this, line](std::size_t at) {
        return at <= shapedText_.size() && shapedText_.size() - at > line.size() &&
               std::string_view(shapedText_).substr(at, line.size()) == line;
    };
    return (shapedLineAt_ > 0 && holds(shapedLineAt_)) || holds(0);
}

void Typesetter::shapeAhead(std::string_view line, std::span<const std::shared_ptr<Atom>> following,
                            CGFloat room) {
    // A long run is measured a window at a time instead.
    constexpr std::size_t longestLine = 1024;
    if (line.empty() || line.size() > longestLine) {
        return;
    }
    if (shapedBeyond(line)) {
        return;
    }
    // Shaped far ahead, a run of symbols is shaped once for many lines; shaping it costs much the
    // same per glyph however long it is, but shaping anything at all costs a good deal more.
    const CGFloat limit = shapeFarAhead_ ? std::numeric_limits<CGFloat>::infinity() : room;
    std::string ahead(line);
    CGFloat added = 0;
    for (const auto& atom : following) {
        // The shaper repairs invalid UTF-8, which would move its offsets off the text's.
        if (!atom || !textAtom(atom->type) || added > limit || ahead.size() > 2 * longestLine ||
            !validNucleus(atom->nucleus)) {
            break;
        }
        ahead += atom->nucleus;
        if (!shapeFarAhead_) {
            added += nucleusWidth(atom->nucleus);
        }
        if (hasScripts(*atom)) {
            break;
        }
    }
    if (ahead.size() > line.size()) {
        shapeText(ahead);
    }
}

void Typesetter::shapeAheadOfCurrentLine(std::span<const std::shared_ptr<Atom>> following,
                                         CGFloat width) {
    // Far enough for the line to end in it as a rule; a line that runs on is shaped further then.
    const CGFloat size = styleFont().font().size;
    const CGFloat rest = maxWidth - currentPosition.x - (std::isfinite(width) ? width : 0);
    shapeAhead(currentLine.text(), following, std::max(4 * size, rest + 2 * size));
}

// MARK: Main loop

void Typesetter::createDisplayAtoms(std::span<const std::shared_ptr<Atom>> atoms) {
    const Atom* previous = nullptr;
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        if (!atoms[i]) {
            continue;
        }
        Atom& atom = *atoms[i];
        following_ = atoms.subspan(i);
        const auto lookAhead = atoms.subspan(i + 1, std::min<std::size_t>(3, atoms.size() - i - 1));
        if (textAtom(atom.type)) {
            bool drawn = atom.nucleus.empty();
            if (!drawn) {
                const PlatformFont& font = styleFont();
                if (const bool* known = drawnNuclei_.find(font.font(), atom.nucleus)) {
                    drawn = *known;
                } else {
                    drawn = fontDraws(font, atom.nucleus);
                    drawnNuclei_.add(atom.nucleus, drawn);
                }
            }
            if (!drawn) {
                appendTextAtomInOtherFont(atoms[i], previous);
            } else {
                appendTextAtom(atoms[i], previous, lookAhead);
            }
            previous = &atom;
            continue;
        }
        switch (atom.type) {
        case AtomType::number:
        case AtomType::variable:
        case AtomType::unaryOperator:
        case AtomType::boundary:
            // Preprocessing leaves none of these; should one come, it only counts as a neighbour.
            previous = &atom;
            break;

        case AtomType::space:
            if (!currentLine.empty()) {
                flushCurrentLine();
            }
            if (const auto* space = dynamic_cast<const Space*>(&atom)) {
                currentPosition.x += space->amount * mu();
            }
            break;

        case AtomType::style:
            if (!currentLine.empty()) {
                flushCurrentLine();
            }
            if (const auto* styleAtom = dynamic_cast<const Style*>(&atom)) {
                setStyle(styleAtom->level);
            }
            break;

        case AtomType::fraction:
        case AtomType::radical:
        case AtomType::inner:
        case AtomType::table:
        case AtomType::accent:
        case AtomType::color:
        case AtomType::colorBox:
        case AtomType::textColor: {
            AtomType breakType = atom.type;
            const auto node = buildPlacedNode(atom, breakType);
            if (!node) {
                break;
            }
            const bool overflows = wouldOverflowLine(*node, atom, previous, breakType);
            if (!currentLine.empty()) {
                flushCurrentLine();
            }
            if (overflows) {
                finishCurrentLine();
            } else {
                currentPosition.x += placedNodeLeadingSpace(atom, *node, previous);
            }
            node->setPosition(currentPosition);
            displayAtoms.push_back(node);
            if (atom.type == AtomType::color || atom.type == AtomType::colorBox ||
                atom.type == AtomType::textColor) {
                currentPosition.x = node->position().x + node->width();
            } else {
                currentPosition.x += node->width();
            }
            if (hasScripts(atom)) {
                makeScripts(atom, *node, std::max<std::int64_t>(0, atom.indexRange.location), 0);
            }
            // An accented symbol is spaced as the symbol is.
            if (atom.type == AtomType::accent) {
                atom.type = AtomType::ordinary;
            }
            previous = &atom;
            break;
        }

        case AtomType::largeOperator:
        case AtomType::underline:
        case AtomType::overline: {
            if (!currentLine.empty()) {
                flushCurrentLine();
            }
            if (atom.type == AtomType::largeOperator) {
                auto* op = dynamic_cast<LargeOperator*>(&atom);
                if (!op) {
                    break;
                }
                if (previous) {
                    currentPosition.x += interElementSpace(previous->type, atom.type);
                } else if (spaced) {
                    currentPosition.x += interElementSpace(AtomType::open, atom.type);
                }
                if (auto node = makeLargeOperator(*op)) {
                    displayAtoms.push_back(std::move(node));
                }
                previous = &atom;
                break;
            }
            if (previous) {
                currentPosition.x += interElementSpace(previous->type, AtomType::ordinary);
            } else if (spaced) {
                currentPosition.x += interElementSpace(AtomType::open, AtomType::ordinary);
            }
            const auto node = buildNodePlacedByBuilder(atom);
            atom.type = AtomType::ordinary;
            if (!node) {
                break;
            }
            displayAtoms.push_back(node);
            currentPosition.x += node->width();
            if (hasScripts(atom)) {
                makeScripts(atom, *node, std::max<std::int64_t>(0, atom.indexRange.location), 0);
            }
            previous = &atom;
            break;
        }

        default:
            // Text atoms are set above.
            break;
        }
    }

    following_ = {};
    if (!currentLine.empty()) {
        flushCurrentLine();
    }
    avoidLineClash();
    // A delimited group's body ends as if a close followed it: only trailing punctuation gains.
    if (spaced && previous && !displayAtoms.empty()) {
        auto& last = *displayAtoms.back();
        last.setWidth(last.width() + interElementSpace(previous->type, AtomType::close));
    }
}

void Typesetter::kernBefore(CGFloat space) {
    if (currentLine.empty()) {
        currentPosition.x += space;
    } else if (space > 0) {
        currentLine.setKernAfterLastCharacter(space);
    }
}

void Typesetter::extendCurrentLineRange(const Atom& atom) {
    if (currentLineIndexRange.location == notFound) {
        currentLineIndexRange = atom.indexRange;
    } else {
        currentLineIndexRange.length += atom.indexRange.length;
    }
}

void Typesetter::appendTextAtom(const std::shared_ptr<Atom>& shared, const Atom* previous,
                                std::span<const std::shared_ptr<Atom>> lookAhead) {
    Atom& atom = *shared;
    checkInteratomLineBreak(atom, previous, lookAhead);
    // A scripted atom that will not fit starts the next line together with its scripts.
    if (maxWidth > 0 && hasScripts(atom)) {
        fitScriptedAtom(atom, previous);
    }
    // The line's width is known from the last time it was measured as long as it only grew by
    // the atoms since; between appends it can only be emptied.
    const std::size_t lengthBefore = currentLine.text().size();
    const bool estimated = lengthBefore > 0 && lengthBefore == estimatedLineLength_;
    const CGFloat space = previous ? interElementSpace(previous->type, atom.type) : 0;
    const CGFloat kern = std::max<CGFloat>(0, space);
    if (previous) {
        kernBefore(space);
    }
    if (atom.type == AtomType::placeholder) {
        currentLine.append(atom.nucleus, platform::Color(0, 0, 1));
    } else {
        currentLine.append(atom.nucleus);
    }
    if (!hasScripts(atom) && maxWidth > 0) {
        // Shaping the pending line again for every atom added to it would cost the line's length
        // per atom. While the line is sure to fit, with room to spare far beyond what shaping the
        // atom beside its neighbours could change, it is not measured; near the end of the line
        // it is, exactly, as before.
        const CGFloat grown = estimated ? estimatedLineWidth_ + kern + nucleusWidth(atom.nucleus)
                                        : std::numeric_limits<CGFloat>::infinity();
        const CGFloat size = styleFont().font().size;
        const CGFloat slack = size * (1 + 0.25 * static_cast<CGFloat>(atomsSinceMeasured_ + 1));
        if (grown + slack <= maxWidth - currentPosition.x) {
            estimatedLineWidth_ = grown;
            ++atomsSinceMeasured_;
        } else {
            shapeAheadOfCurrentLine(following_.subspan(std::min<std::size_t>(1, following_.size())),
                                    grown);
            wrapCurrentText();
            estimatedLineWidth_ = lineWidth(currentLine);
            atomsSinceMeasured_ = 0;
        }
        estimatedLineLength_ = currentLine.text().size();
    }
    extendCurrentLineRange(atom);
    if (atom.fusedAtoms.empty()) {
        currentAtoms.push_back(shared);
    } else {
        currentAtoms.insert(currentAtoms.end(), atom.fusedAtoms.begin(), atom.fusedAtoms.end());
    }
    if (!hasScripts(atom)) {
        return;
    }
    const auto run = flushCurrentLine();
    const auto character = lastCharacter(atom.nucleus);
    const CGFloat delta =
        character.empty() ? 0
                          : styleFont().metrics().italicCorrection(glyphForCharacter(character));
    if (delta > 0 && !atom.subscript()) {
        currentPosition.x += delta;
    }
    makeScripts(atom, *run, lastSourceIndex(atom), delta);
}

void Typesetter::appendTextAtomInOtherFont(const std::shared_ptr<Atom>& shared,
                                           const Atom* previous) {
    Atom& atom = *shared;
    DrawableText drawn = drawableText(atom.nucleus, styleFont());
    const PlatformFont& drawingFont = drawn.font ? *drawn.font : styleFont();
    AttributedLine text;
    if (atom.type == AtomType::placeholder) {
        text.append(drawn.text, platform::Color(0, 0, 1));
    } else {
        text.append(drawn.text);
    }
    auto run = std::make_shared<DisplayTextRun>(
        std::move(text), drawingFont.font(), drawingFont.glyphFont(),
        atom.fusedAtoms.empty() ? std::vector<std::shared_ptr<Atom>>{shared} : atom.fusedAtoms);
    run->range = atom.indexRange;
    // Placed as a built node is, spaced from its neighbours as the text around it.
    if (wouldOverflowLine(*run, atom, previous, atom.type)) {
        breakCurrentLine();
    } else if (previous) {
        kernBefore(interElementSpace(previous->type, atom.type));
    }
    if (!currentLine.empty()) {
        flushCurrentLine();
    }
    run->setPosition(currentPosition);
    displayAtoms.push_back(run);
    currentPosition.x += run->width();
    if (!hasScripts(atom)) {
        return;
    }
    const auto character = lastCharacter(drawn.text);
    const auto glyphs =
        character.empty() ? std::nullopt : drawingFont.glyphFont().glyphs(utf16(character));
    const CGFloat delta =
        glyphs && !glyphs->empty() ? drawingFont.metrics().italicCorrection(glyphs->front()) : 0;
    if (delta > 0 && !atom.subscript()) {
        currentPosition.x += delta;
    }
    makeScripts(atom, *run, lastSourceIndex(atom), delta);
}

std::shared_ptr<DisplayNode> Typesetter::buildPlacedNode(Atom& atom, AtomType& breakType) {
    const auto colourLine = [this](const std::shared_ptr<AtomList>& inner) {
        return createLineWithOptions(*finalizedAtomList(listOrEmpty(inner)), font, style, false,
                                     false, maxWidth);
    };
    switch (atom.type) {
    case AtomType::fraction:
        if (const auto* fraction = dynamic_cast<const Fraction*>(&atom)) {
            return makeFraction(*fraction);
        }
        return nullptr;
    case AtomType::radical: {
        breakType = AtomType::ordinary;
        const auto* radical = dynamic_cast<const Radical*>(&atom);
        if (!radical) {
            return nullptr;
        }
        auto node = makeRadical(listOrEmpty(radical->radicand), atom.indexRange);
        if (node && radical->degree) {
            const auto& metrics = styleFont().metrics();
            node->setDegree(createFinalizedLine(*radical->degree, font, Level::scriptOfScript),
                            metrics.radicalKernBeforeDegree(), metrics.radicalKernAfterDegree(),
                            metrics.radicalDegreeBottomRaisePercent());
        }
        return node;
    }
    case AtomType::inner:
    case AtomType::table:
        breakType = AtomType::inner;
        // A table keeps its class when its type has been rewritten to inner by an earlier pass.
        if (const auto* table = dynamic_cast<const Table*>(&atom)) {
            atom.type = AtomType::inner;
            return makeTable(*table);
        }
        if (const auto* inner = dynamic_cast<const Inner*>(&atom)) {
            const bool delimited = (inner->leftBoundary() || inner->rightBoundary());
            if (delimited) {
                return makeInner(*inner, maxWidth);
            }
            return createLineWithOptions(listOrEmpty(inner->innerList), font, style, cramped, false,
                                         maxWidth);
        }
        return nullptr;
    case AtomType::accent:
        breakType = AtomType::ordinary;
        if (auto* accent = dynamic_cast<Accent*>(&atom)) {
            return makeAccent(*accent);
        }
        return nullptr;
    case AtomType::color:
        breakType = AtomType::ordinary;
        if (const auto* colour = dynamic_cast<const Color*>(&atom)) {
            auto node = colourLine(colour->innerList);
            if (node) {
                node->localTextColor = colorFromHexString(colour->colorString);
            }
            return node;
        }
        return nullptr;
    case AtomType::textColor:
        breakType = AtomType::ordinary;
        if (const auto* colour = dynamic_cast<const TextColor*>(&atom)) {
            auto node = colourLine(colour->innerList);
            if (node) {
                node->localTextColor = colorFromHexString(colour->colorString);
            }
            return node;
        }
        return nullptr;
    case AtomType::colorBox:
        breakType = AtomType::ordinary;
        if (const auto* colour = dynamic_cast<const ColorBox*>(&atom)) {
            auto node = colourLine(colour->innerList);
            if (node) {
                node->localBackgroundColor = colorFromHexString(colour->colorString);
            }
            return node;
        }
        return nullptr;
    default:
        return nullptr;
    }
}

CGFloat Typesetter::placedNodeLeadingSpace(const Atom& atom, const DisplayNode& node,
                                           const Atom* previous) {
    switch (atom.type) {
    case AtomType::fraction:
        addInterElementSpace(previous, AtomType::fraction);
        return 0;
    case AtomType::radical:
    case AtomType::accent:
        addInterElementSpace(previous, AtomType::ordinary);
        return 0;
    case AtomType::textColor: {
        // Spaced by what the group starts with.
        const auto* list = dynamic_cast<const DisplayList*>(&node);
        if (!previous || !list || list->children.empty()) {
            return 0;
        }
        const auto* run = dynamic_cast<const DisplayTextRun*>(list->children.front().get());
        if (!run || run->atoms.empty() || !run->atoms.front()) {
            return 0;
        }
        return interElementSpace(previous->type, run->atoms.front()->type);
    }
    default: {
        const AtomType right = atom.type == AtomType::inner ? AtomType::inner : AtomType::ordinary;
        if (previous) {
            return interElementSpace(previous->type, right);
        }
        return spaced ? interElementSpace(AtomType::open, right) : 0;
    }
    }
}

std::shared_ptr<DisplayNode> Typesetter::buildNodePlacedByBuilder(Atom& atom) {
    switch (atom.type) {
    case AtomType::underline:
        if (const auto* underline = dynamic_cast<const Underline*>(&atom)) {
            return makeUnderline(*underline);
        }
        return nullptr;
    case AtomType::overline:
        if (const auto* overline = dynamic_cast<const Overline*>(&atom)) {
            return makeOverline(*overline);
        }
        return nullptr;
    default:
        return nullptr;
    }
}

std::shared_ptr<DisplayTextRun> Typesetter::flushCurrentLine() {
    auto& fontNow = styleFont();
    // A line just measured, or the start of the text shaped ahead, has its glyphs already.
    platform::ShapedRun unkerned;
    if (measuredFont_ == fontNow.font() && measuredText_ == currentLine.text()) {
        unkerned = std::move(measuredRun_);
        measuredFont_.reset();
        measuredText_.clear();
    } else if (!shapedPrefix(currentLine, unkerned) && shapedFont_ == fontNow.font()) {
        unkerned = fontNow.glyphFont().reshapeEnd(shapedRun_, shapedText_, currentLine.text());
    }
    // Else the run shapes the line itself. A short one (a symbol before a built node, a variable
    // carrying scripts) is most often one of the last few shaped so.
    if (unkerned.glyphs.empty() && !currentLine.empty() &&
        currentLine.text().size() <= shortLineBytes) {
        if (const auto* known = shortLines_.find(fontNow.font(), currentLine.text())) {
            unkerned = *known;
        } else {
            unkerned = fontNow.glyphFont().reshapeEnd({}, {}, currentLine.text());
            shortLines_.add(currentLine.text(), unkerned);
        }
    }
    // The run keeps its atoms without room to spare; the pending list keeps its room for the
    // next line instead of growing again from nothing.
    auto run = std::make_shared<DisplayTextRun>(
        std::move(currentLine), fontNow.font(), fontNow.glyphFont(),
        std::vector<std::shared_ptr<Atom>>(std::make_move_iterator(currentAtoms.begin()),
                                           std::make_move_iterator(currentAtoms.end())),
        std::move(unkerned));
    // What follows the line in the text shaped ahead is what the pending text starts with next.
    // The place moves only over the text that stands there, so that its UTF-16 offset stays the
    // one of its byte offset; past the end it matches nothing.
    const std::string& flushed = run->attributedString.text();
    if (shapedLineAt_ <= shapedText_.size() &&
        std::string_view(shapedText_).substr(shapedLineAt_).starts_with(flushed)) {
        shapedLineAt_ += flushed.size();
        shapedLineAtUtf16_ += run->attributedString.utf16Length();
    } else {
        shapedLineAt_ = shapedText_.size() + 1;
    }
    run->setPosition(currentPosition);
    run->range = currentLineIndexRange;
    displayAtoms.push_back(run);
    currentPosition.x += run->width();
    currentLine = AttributedLine();
    currentAtoms.clear();
    currentLineIndexRange = {notFound, notFound};
    return run;
}

CGFloat Typesetter::lineAdvance() {
    const CGFloat size = styleFont().font().size;
    if (currentLineStartIndex >= displayAtoms.size()) {
        return 1.5 * size;
    }
    CGFloat ascent = 0;
    CGFloat descent = 0;
    for (std::size_t i = currentLineStartIndex; i < displayAtoms.size(); ++i) {
        ascent = std::max(ascent, displayAtoms[i]->ascent());
        descent = std::max(descent, displayAtoms[i]->descent());
    }
    return std::max(ascent + descent + minimumLineSpacing, 1.2 * size);
}

void Typesetter::startNewLine() {
    avoidLineClash();
    currentPosition.y -= lineAdvance();
    currentPosition.x = 0;
    currentLineStartIndex = displayAtoms.size();
}

void Typesetter::finishCurrentLine() {
    if (!currentLine.empty()) {
        flushCurrentLine();
    }
    startNewLine();
}

} // namespace Math
