#pragma once

// Turns a finalised atom list into a tree of display nodes, TeX's way: atoms are spaced by their
// types and the math style, consecutive symbols share one text run, and composite atoms
// (fractions, radicals, scripts, large operators, delimited groups, accents, tables) are built
// from the font's MATH constants, variants and assemblies. With a positive maximum width the
// formula is broken into lines.
//
// A Typesetter lays out one list; builders lay out their sub-lists with new typesetters through
// the entry points below. Input that breaks the typesetter's own expectations (an atom whose
// class does not match its type, a missing list) is skipped rather than trusted: formulas come
// from users.

#include "Math/Atom.hpp"
#include "Math/AtomList.hpp"
#include "Math/DisplayNode.hpp"
#include "Math/PlatformFont.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Math {

class Typesetter {
public:
    using Level = Style::Level;

    // MARK: Entry points. Each preprocesses the list, runs one typesetter over it and returns a
    // list node whose range runs from 0 to the end of the last atom's range. Nothing when there is
    // no usable font (absent, or a size that is 0, negative or not finite).

    static std::shared_ptr<DisplayList> createLine(const AtomList& list,
                                                   std::shared_ptr<const PlatformFont> font,
                                                   Level style, bool cramped, CGFloat maxWidth);
    // The same for a list the caller lets go: it is released as soon as it is preprocessed, so
    // that a list nothing else holds (a finalised copy) does not stay beside the display made
    // from it (a formula of a megabyte: tens of megabytes).
    static std::shared_ptr<DisplayList> createLine(std::shared_ptr<const AtomList>&& list,
                                                   std::shared_ptr<const PlatformFont> font,
                                                   Level style, bool cramped, CGFloat maxWidth);
    static std::shared_ptr<DisplayList>
    createLineWithOptions(const AtomList& list, std::shared_ptr<const PlatformFont> font,
                          Level style, bool cramped, bool spaced, CGFloat maxWidth);
    static std::shared_ptr<DisplayList> createLineForLevel(const AtomList& list,
                                                           std::shared_ptr<const PlatformFont> font,
                                                           Level style, bool cramped);
    // Typesets the list's finalised copy.
    static std::shared_ptr<DisplayList>
    createFinalizedLine(const AtomList& list, std::shared_ptr<const PlatformFont> font,
                        Level style);

    // Numbers and variables take their math alphabet and become ordinary, unary operators become
    // ordinary, and runs of script-free ordinary atoms fuse into one; fused atoms are left out of
    // the result. The list and its atoms are not changed: an atom that changes here, or later in
    // the main loop, is a copy. With a font, a letter whose math alphabet the font lacks keeps
    // its plain form.
    static std::vector<std::shared_ptr<Atom>> preprocessAtoms(const AtomList& list,
                                                              const PlatformFont* font = nullptr);

    Typesetter(std::shared_ptr<const PlatformFont> font, Level style, bool cramped, bool spaced,
               CGFloat maxWidth);

    // MARK: Foundations

    // The base font scaled for the current style (script sizes come from the font's MATH table).
    const PlatformFont& styleFont();
    // One math unit: the style font's size / 18.
    CGFloat mu();
    // The space in points between atoms of these types in the current style.
    CGFloat interElementSpace(AtomType left, AtomType right);
    // Moves the pen by the space before an atom of type `current`; with no previous atom the
    // left side counts as an `open` when the list is spaced, and nothing is added otherwise.
    void addInterElementSpace(const Atom* previous, AtomType current);
    // The style font's glyph for one character (a grapheme cluster); 0 when the font lacks it.
    platform::GlyphID glyphForCharacter(std::string_view character);

    // MARK: Main loop

    void createDisplayAtoms(std::span<const std::shared_ptr<Atom>> atoms);
    std::shared_ptr<DisplayTextRun> flushCurrentLine();
    CGFloat lineAdvance();
    void finishCurrentLine();

    // MARK: Line breaking

    bool checkInteratomLineBreak(const Atom& atom, const Atom* previous,
                                 std::span<const std::shared_ptr<Atom>> lookAhead);
    CGFloat atomWidthForBreaking(const Atom& atom, const Atom* left);
    // The nucleus shaped in the style font.
    CGFloat nucleusWidth(const std::string& nucleus);
    CGFloat currentLineWidth();
    CGFloat estimateRemainingWidth(std::span<const std::shared_ptr<Atom>> atoms);
    static int breakPenalty(const Atom* left, const Atom* right);
    void breakCurrentLine();
    // Whether nothing is on the current line yet, pending text or placed nodes.
    bool lineHoldsNothing() const;
    bool wouldOverflowLine(const DisplayNode& node, const Atom& atom, const Atom* previous,
                           AtomType type);
    // How far an atom's scripts reach past its nucleus; `delta` is the nucleus's italic
    // correction, which moves a superscript out.
    CGFloat scriptsWidth(const Atom& atom, CGFloat delta);
    // Lowers the current line, once it is complete, until its ink is clear of the lines above.
    void avoidLineClash();
    static void shiftDisplayNode(DisplayNode& node, CGFloat dy);
    void wrapCurrentText();
    // Where the pending text should end its line to fit `available`: a byte offset (possibly 0),
    // or nothing when it fits or not one character does.
    std::optional<std::size_t> firstBreak(CGFloat available);
    // The same for the part of `line` from byte `begin` (UTF-16 offset `utf16Begin`) on; the
    // offset is counted from `begin`.
    std::optional<std::size_t> firstBreakFrom(const AttributedLine& line, std::size_t begin,
                                              std::size_t utf16Begin, CGFloat available);
    void fitScriptedAtom(const Atom& atom, const Atom* previous);

    // MARK: Glyph variants and assemblies

    struct GlyphChoice {
        platform::GlyphID glyph = 0;
        CGFloat ascent = 0;
        CGFloat descent = 0;
        CGFloat width = 0;
    };
    struct AssembledGlyphs {
        std::vector<platform::GlyphID> glyphs;
        std::vector<CGFloat> offsets;
        CGFloat height = 0;
    };
    // How many glyphs an assembly may hold. A delimiter that would need more is not stretched
    // further: nothing that tall is read, and an unbounded search would never end for parts that
    // cannot grow.
    static constexpr std::size_t maxAssemblyGlyphs = 300;

    GlyphChoice findGlyphForHeight(platform::GlyphID glyph, CGFloat height);
    GlyphChoice findGlyphForHeight(const PlatformFont& font, platform::GlyphID glyph,
                                   CGFloat height);
    GlyphChoice findHorizontalVariant(platform::GlyphID glyph, CGFloat maxWidth);
    std::shared_ptr<DisplayGlyphRun> constructGlyphAssembly(platform::GlyphID glyph,
                                                            CGFloat height);
    std::shared_ptr<DisplayGlyphRun>
    constructGlyphAssembly(const PlatformFont& font, platform::GlyphID glyph, CGFloat height);
    // The parts stacked to `height`; when that needs more than maxAssemblyGlyphs glyphs (or the
    // parts cannot grow), the tallest assembly within the limit. Nothing without parts.
    std::optional<AssembledGlyphs>
    constructGlyphParts(std::span<const FontMetrics::GlyphPart> parts, CGFloat height);
    std::optional<AssembledGlyphs>
    constructGlyphParts(const PlatformFont& font, std::span<const FontMetrics::GlyphPart> parts,
                        CGFloat height);
    // The glyph that draws the first character of `text`, and the font it is in: the style
    // font's, an equivalent of it there, or another font's (GlyphFallback.hpp).
    struct FontGlyph {
        std::shared_ptr<const PlatformFont> font;
        platform::GlyphID glyph = 0;
    };
    FontGlyph drawableGlyph(std::string_view text);
    std::shared_ptr<DisplayShiftedNode> radicalGlyph(CGFloat height);
    std::shared_ptr<DisplayShiftedNode> boundaryGlyph(std::string_view delimiter, CGFloat height);

    // MARK: Builders

    void makeScripts(const Atom& atom, DisplayNode& nucleus, std::int64_t index, CGFloat delta);
    std::shared_ptr<DisplayNode> makeLargeOperator(const LargeOperator& op);
    std::shared_ptr<DisplayNode> makeLimits(std::shared_ptr<DisplayNode> node, const Atom& atom,
                                            CGFloat delta);
    std::shared_ptr<DisplayNode> makeFraction(const Fraction& fraction);
    CGFloat numeratorShiftUp(bool hasRule);
    CGFloat denominatorShiftDown(bool hasRule);
    std::shared_ptr<DisplayList> addDelimitersToFraction(std::shared_ptr<DisplayFraction> node,
                                                         const Fraction& fraction);
    std::shared_ptr<DisplayRadical> makeRadical(const AtomList& radicand, IndexRange range);
    std::shared_ptr<DisplayList> makeInner(const Inner& inner, CGFloat maxWidth);
    std::shared_ptr<DisplayLine> makeUnderline(const Underline& underline);
    std::shared_ptr<DisplayLine> makeOverline(const Overline& overline);
    std::shared_ptr<DisplayNode> makeAccent(Accent& accent);
    CGFloat accentSkew(const Accent& accent, CGFloat baseWidth, platform::GlyphID accentGlyph);
    static bool isSingleCharAccentee(const Accent& accent);
    std::shared_ptr<DisplayList> makeTable(const Table& table);

    // MARK: State

    std::shared_ptr<const PlatformFont> font;
    std::vector<std::shared_ptr<DisplayNode>> displayAtoms;
    // The pen: x from the start of the current line, y the current line's baseline (0 for the
    // first line, lower lines below it).
    Point currentPosition;
    // Text of consecutive symbols not yet made into a text run, and the atoms it renders.
    AttributedLine currentLine;
    std::vector<std::shared_ptr<Atom>> currentAtoms;
    IndexRange currentLineIndexRange{notFound, notFound};
    Level style;
    bool cramped = false;
    // Spaced as if between an open and a close atom (the body of a delimited group).
    bool spaced = false;
    // Lines are broken at this width; 0 or less never breaks.
    CGFloat maxWidth = 0;
    std::size_t currentLineStartIndex = 0;
    CGFloat minimumLineSpacing = 0;
    // Set once the rest of the current line is known to fit; the inter-atom check then rests.
    bool remainingContentFits = false;

    static constexpr CGFloat kBaseLineSkipMultiplier = 1.2;
    static constexpr CGFloat kLineSkipMultiplier = 0.1;
    static constexpr CGFloat kLineSkipLimitMultiplier = 0.0;
    static constexpr CGFloat kJotMultiplier = 0.3;

private:
    void setStyle(Level level);
    GlyphChoice measureGlyph(platform::GlyphID glyph);
    GlyphChoice measureGlyph(const PlatformFont& font, platform::GlyphID glyph);
    // The variant of the character's glyph at least `height` tall, or its assembly.
    std::shared_ptr<DisplayShiftedNode> stretchedGlyph(std::string_view character, CGFloat height);
    // The text atom step of the main loop.
    void appendTextAtom(const std::shared_ptr<Atom>& atom, const Atom* previous,
                        std::span<const std::shared_ptr<Atom>> lookAhead);
    // The same for a symbol the style font cannot draw: set alone, in a form the font has or in
    // another font, as a node of its own.
    void appendTextAtomInOtherFont(const std::shared_ptr<Atom>& atom, const Atom* previous);
    // Puts the space after the previous atom: as a kern after the pending text's last character,
    // or by moving the pen when there is none.
    void kernBefore(CGFloat space);
    void extendCurrentLineRange(const Atom& atom);
    // Builds the node of a fraction, radical, inner, table, accent or colour atom; nothing when
    // the atom is not of the class its type promises.
    std::shared_ptr<DisplayNode> buildPlacedNode(Atom& atom, AtomType& breakType);
    CGFloat placedNodeLeadingSpace(const Atom& atom, const DisplayNode& node, const Atom* previous);
    std::shared_ptr<DisplayNode> buildNodePlacedByBuilder(Atom& atom);
    // Shapes `line` in the style font.
    CGFloat lineWidth(const AttributedLine& line);
    // The glyphs of `line` without its kerns, when it stands at the start of the text shaped last,
    // or where the pending text starts in it, and shaping it alone gives the glyphs it has there.
    bool shapedPrefix(const AttributedLine& line, platform::ShapedRun& run);
    // The same for `line` at byte `at` (UTF-16 offset `atUtf16`) of the text shaped last.
    bool shapedPart(const AttributedLine& line, std::size_t at, std::size_t atUtf16,
                    platform::ShapedRun& run);
    // Whether the text shaped last holds `line` where the pending text starts, and more after it.
    bool shapedBeyond(std::string_view line);
    // Shapes `text` in the style font, reusing what it shares with the text shaped before.
    void shapeText(const std::string& text);
    // Shapes `line`, the pending text, together with the text atoms that may follow it, from
    // `following` on, until they are `room` points wide by their own widths: the widths of the
    // line as it grows, and of where it is cut, are then read from one shaping.
    void shapeAhead(std::string_view line, std::span<const std::shared_ptr<Atom>> following,
                    CGFloat room);
    // The same for the pending line, about `width` points wide (0: not known), to a little past
    // the end of the line it is on.
    void shapeAheadOfCurrentLine(std::span<const std::shared_ptr<Atom>> following, CGFloat width);
    void startNewLine();

    // The last few answers about short texts (a symbol, a character) in one font: a formula asks
    // about the same few symbols over and over, and each answer looks the font up.
    template <class T>
    class RecentAnswers {
    public:
        const T* find(const Font& font, std::string_view text) {
            if (font_ != font) {
                font_ = font;
                count_ = 0;
                return nullptr;
            }
            for (std::size_t k = 0; k < std::min(count_, entries_.size()); ++k) {
                if (entries_[k].first == text) {
                    return &entries_[k].second;
                }
            }
            return nullptr;
        }
        void add(std::string_view text, T value) {
            entries_[count_++ % entries_.size()] = {std::string(text), value};
        }

    private:
        std::optional<Font> font_;
        std::array<std::pair<std::string, T>, 4> entries_;
        std::size_t count_ = 0;
    };
    // Whether the style font draws a nucleus, and the glyph of a character in it.
    RecentAnswers<bool> drawnNuclei_;
    RecentAnswers<platform::GlyphID> characterGlyphs_;
    // The glyph that draws a text's first character, and its font (an operator, a delimiter).
    RecentAnswers<std::pair<std::shared_ptr<const PlatformFont>, platform::GlyphID>>
        drawableGlyphs_;
    // Short lines shaped alone, as a text run shapes the line it is given without glyphs.
    static constexpr std::size_t shortLineBytes = 16;
    RecentAnswers<platform::ShapedRun> shortLines_;
    // A large operator's glyph as set: its font, glyph (the larger one in display style), italic
    // correction and extent.
    struct OperatorGlyph {
        std::shared_ptr<const PlatformFont> font;
        platform::GlyphID glyph;
        CGFloat delta;
        CGFloat ascent;
        CGFloat descent;
        CGFloat width;
    };
    RecentAnswers<OperatorGlyph> operatorGlyphs_;

    std::shared_ptr<const PlatformFont> styleFont_;
    // The script lines scriptsWidth set last, for the atom, style and crampedness they were set
    // for: makeScripts places them rather than setting the same lists again.
    struct MeasuredScripts {
        const Atom* atom = nullptr;
        Level style = Level::display;
        bool cramped = false;
        std::shared_ptr<DisplayList> subscript;
        std::shared_ptr<DisplayList> superscript;
    };
    MeasuredScripts measuredScripts_;
    // The atoms from the one the main loop is at to the end.
    std::span<const std::shared_ptr<Atom>> following_;
    // The text shaped last (a line, or a line and what was to follow it), in which font, and
    // its glyphs without kerns. A start of it is shaped alone as it is shaped there when the
    // glyph after the start is safe to break at and the start guesses the same script: the
    // first character of the text whose script may count (shapedScriptAt_, npos if none) is
    // then in the start and is Latin (shapedScriptLatin_), or there is none.
    std::optional<Font> shapedFont_;
    std::string shapedText_;
    platform::ShapedRun shapedRun_;
    bool shapedInOrder_ = false;
    std::size_t shapedScriptAt_ = std::string::npos;
    bool shapedScriptLatin_ = false;
    // The pen before each glyph of shapedRun_: a glyph standing there (no offset of its own) is
    // placed from the start of any part it is read for as shaping that part alone places it.
    std::vector<CGFloat> shapedPen_;
    // Where the pending text starts in shapedText_ (bytes, UTF-16 units). The text is shaped many
    // lines ahead, once; each line cut off the front moves this on, and the lines after it are
    // read from the same glyphs instead of being shaped again. Only a hint: a line is read there
    // only when its text is the text there.
    std::size_t shapedLineAt_ = 0;
    std::size_t shapedLineAtUtf16_ = 0;
    // Cleared when a line could not be read from the text shaped ahead (its ends are where the
    // shaper joins glyphs): shaping far ahead would then be wasted, and lines are shaped a little
    // ahead only, one by one.
    bool shapeFarAhead_ = true;
    // The text lineWidth measured last, in which font, and its width.
    std::optional<Font> measuredFont_;
    std::string measuredText_;
    std::vector<platform::ExtraSpace> measuredKerns_;
    // measuredText_ shaped without kerns.
    platform::ShapedRun measuredRun_;
    // Widths of short nuclei in the style font they were measured in.
    std::optional<Font> nucleusWidthsFont_;
    std::unordered_map<std::string, CGFloat> nucleusWidths_;
    // The last few of them, looked at first.
    struct RecentNucleusWidth {
        std::string nucleus;
        CGFloat width = 0;
    };
    std::array<RecentNucleusWidth, 4> recentNucleusWidths_;
    std::size_t recentNucleusCount_ = 0;
    CGFloat measuredWidth_ = 0;
    // An upper estimate of the pending line's width while it grows atom by atom, the line's
    // length when it was made, and how many atoms it added since the line was last measured.
    CGFloat estimatedLineWidth_ = 0;
    std::size_t estimatedLineLength_ = 0;
    std::size_t atomsSinceMeasured_ = 0;
    // The lowest ink of the nodes before linesAboveCounted_ (all on finished lines).
    CGFloat linesAboveFloor_ = std::numeric_limits<CGFloat>::infinity();
    std::size_t linesAboveCounted_ = 0;
};

} // namespace Math
