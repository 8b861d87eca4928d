// Breaking a formula into lines at the typesetter's maximum width: between atoms by a small
// penalty table with a short look-ahead, inside long text runs where the shaper suggests, and
// before built nodes that would overflow. Nothing here acts when the maximum width is 0 or less.

#include "Math/TextBreakSuggestion.hpp"
#include "Math/TextCharacters.hpp"
#include "Math/Typesetter.hpp"
#include "platform/foundation/Unicode.hpp"

#include <algorithm>
#include <cmath>

namespace Math {

namespace {

// Overflow beyond which a break is immediate; how far the look-ahead may run past the width;
// fill ratios below which the rest of the line is taken to fit.
constexpr CGFloat immediateBreakRatio = 1.2;
constexpr CGFloat lookAheadLimitRatio = 1.3;
constexpr CGFloat fitsRatio = 0.6;
constexpr CGFloat fullRatio = 0.75;
// How much of a long text is shaped at once, in bytes: many lines.
constexpr std::size_t farAheadBytes = 8192;
// A text up to this long is measured whole when it is broken; a longer one by windows.
constexpr std::size_t longestUnwindowed = 256;

std::size_t characterCount(std::string_view text) {
    return textCharacters(text).size();
}

bool isLetter(std::string_view character) {
    return !character.empty() && platform::unicode::isCased(character);
}

// The run with each kern added to the advance of the last glyph of the cluster it follows, as the
// line is drawn. Glyphs and kerns in order are walked side by side; anything else is left to the
// shaper's own, slower, placing.
platform::ShapedRun withKerns(const platform::ShapedRun& run,
                              std::span<const platform::ExtraSpace> kerns) {
    platform::ShapedRun kerned = run;
    if (kerns.empty()) {
        return kerned;
    }
    const bool ordered =
        std::adjacent_find(kerns.begin(), kerns.end(),
                           [](const auto& a, const auto& b) {
                               return a.utf16Offset >= b.utf16Offset;
                           }) == kerns.end() &&
        std::adjacent_find(run.glyphs.begin(), run.glyphs.end(), [](const auto& a, const auto& b) {
            return a.cluster > b.cluster;
        }) == run.glyphs.end();
    if (!ordered) {
        platform::GlyphFont::addExtraSpace(kerned, kerns);
        return kerned;
    }
    std::size_t k = 0;
    kerned.width = 0;
    for (std::size_t i = 0; i < kerned.glyphs.size(); ++i) {
        auto& glyph = kerned.glyphs[i];
        while (k < kerns.size() && kerns[k].utf16Offset < glyph.cluster) {
            ++k;
        }
        const bool last =
            i + 1 == kerned.glyphs.size() || kerned.glyphs[i + 1].cluster != glyph.cluster;
        if (last && k < kerns.size() && kerns[k].utf16Offset == glyph.cluster &&
            std::isfinite(kerns[k].points)) {
            glyph.advance += kerns[k].points;
        }
        kerned.width += glyph.advance;
    }
    return kerned;
}

} // namespace

CGFloat Typesetter::currentLineWidth() {
    return lineWidth(currentLine);
}

CGFloat Typesetter::atomWidthForBreaking(const Atom& atom, const Atom* left) {
    if (atom.type == AtomType::space || atom.type == AtomType::style) {
        return 0;
    }
    CGFloat leading = 0;
    if (left && left->type == AtomType::style) {
        leading = spaced ? interElementSpace(AtomType::open, atom.type) : 0;
    } else if (left && left->type != AtomType::space) {
        leading = interElementSpace(left->type, atom.type);
    } else if (!left) {
        leading = spaced ? interElementSpace(AtomType::open, atom.type) : 0;
    }
    return leading + nucleusWidth(atom.nucleus);
}

CGFloat Typesetter::nucleusWidth(const std::string& nucleus) {
    // A long formula asks for the same few symbols over and over, once per atom; shaping one
    // costs far more than finding it. Long fused runs are rare and not kept.
    constexpr std::size_t longestKept = 32;
    const PlatformFont& font = styleFont();
    if (nucleus.size() > longestKept) {
        return font.glyphFont().shape(nucleus).width;
    }
    if (nucleusWidthsFont_ != font.font()) {
        nucleusWidths_.clear();
        recentNucleusWidths_ = {};
        recentNucleusCount_ = 0;
        nucleusWidthsFont_ = font.font();
    }
    // The few symbols asked for last come first: comparing a short nucleus costs less than
    // hashing it.
    const std::size_t recent = std::min(recentNucleusCount_, recentNucleusWidths_.size());
    for (std::size_t k = 0; k < recent; ++k) {
        if (recentNucleusWidths_[k].nucleus == nucleus) {
            return recentNucleusWidths_[k].width;
        }
    }
    CGFloat width = 0;
    if (const auto found = nucleusWidths_.find(nucleus); found != nucleusWidths_.end()) {
        width = found->second;
    } else {
        width = font.glyphFont().shape(nucleus).width;
        nucleusWidths_.emplace(nucleus, width);
    }
    recentNucleusWidths_[recentNucleusCount_++ % recentNucleusWidths_.size()] = {nucleus, width};
    return width;
}

CGFloat Typesetter::estimateRemainingWidth(std::span<const std::shared_ptr<Atom>> atoms) {
    CGFloat characters = 0;
    for (const auto& atom : atoms) {
        if (!atom) {
            continue;
        }
        characters += static_cast<CGFloat>(characterCount(atom->nucleus));
        characters += atom->subscript() ? 3 : 0;
        characters += atom->superscript() ? 3 : 0;
    }
    return characters * mu() * 1.5;
}

int Typesetter::breakPenalty(const Atom* left, const Atom* right) {
    const bool beforeClose = right && right->type == AtomType::close;
    if (!left) {
        return 50;
    }
    switch (left->type) {
    case AtomType::ordinary:
        return 10;
    case AtomType::binaryOperator:
    case AtomType::relation:
    case AtomType::punctuation:
        return 0;
    case AtomType::open:
        return 100;
    case AtomType::largeOperator:
    case AtomType::unaryOperator:
        return beforeClose ? 100 : 150;
    default:
        return beforeClose ? 100 : 50;
    }
}

bool Typesetter::checkInteratomLineBreak(const Atom& atom, const Atom* previous,
                                         std::span<const std::shared_ptr<Atom>> lookAhead) {
    if (maxWidth <= 0 || lineHoldsNothing() || remainingContentFits) {
        return false;
    }
    // Never split a word: a multi-letter atom right after a letter stays with it.
    if (atom.type == AtomType::ordinary && !atom.nucleus.empty()) {
        const auto nucleus = textCharacters(atom.nucleus);
        if (isLetter(currentLine.lastCharacter()) && isLetter(nucleus.front()) &&
            nucleus.size() > 1) {
            return false;
        }
    }
    shapeAheadOfCurrentLine(following_, 0);
    CGFloat projected =
        currentLineWidth() + currentPosition.x + atomWidthForBreaking(atom, previous);
    if (projected <= maxWidth) {
        if (lookAhead.empty()) {
            return false;
        }
        const CGFloat ratio = projected / maxWidth;
        if (ratio < fitsRatio) {
            remainingContentFits = true;
        } else if (ratio < fullRatio && projected + estimateRemainingWidth(lookAhead) <= maxWidth) {
            remainingContentFits = true;
        }
        return false;
    }
    if (projected > immediateBreakRatio * maxWidth) {
        breakCurrentLine();
        return true;
    }
    // Slightly over: keep the atom on this line when a cheaper break follows shortly.
    int best = breakPenalty(previous, &atom);
    bool laterCandidate = false;
    for (std::size_t k = 0; k < lookAhead.size() && k < 3; ++k) {
        const Atom* left = k == 0 ? &atom : lookAhead[k - 1].get();
        const Atom* right = lookAhead[k].get();
        if (!left || !right) {
            break;
        }
        projected += atomWidthForBreaking(*right, left);
        if (projected > lookAheadLimitRatio * maxWidth) {
            break;
        }
        const int penalty = breakPenalty(left, right);
        if (penalty < best) {
            best = penalty;
            laterCandidate = true;
        }
        if (left->type == AtomType::binaryOperator || left->type == AtomType::relation ||
            left->type == AtomType::punctuation) {
            break;
        }
    }
    if (laterCandidate) {
        return false;
    }
    breakCurrentLine();
    return true;
}

void Typesetter::breakCurrentLine() {
    remainingContentFits = false;
    if (!currentLine.empty()) {
        flushCurrentLine();
    }
    startNewLine();
}

bool Typesetter::lineHoldsNothing() const {
    return currentLine.empty() && currentLineStartIndex >= displayAtoms.size();
}

bool Typesetter::wouldOverflowLine(const DisplayNode& node, const Atom& atom, const Atom* previous,
                                   AtomType type) {
    if (maxWidth <= 0 || lineHoldsNothing()) {
        return false;
    }
    // The nodes already placed on the line count too, and so do the node's own scripts.
    const CGFloat space = previous ? interElementSpace(previous->type, type) : 0;
    return currentPosition.x + currentLineWidth() + space + node.width() + scriptsWidth(atom, 0) >
           maxWidth;
}

CGFloat Typesetter::scriptsWidth(const Atom& atom, CGFloat delta) {
    // Set as makeScripts sets them, and kept for it: the scripts of an atom measured for room are
    // set once all the same.
    const Level level =
        style == Level::display || style == Level::text ? Level::script : Level::scriptOfScript;
    const auto line = [&](const std::shared_ptr<AtomList>& list, bool crampedScript) {
        return list ? createLineForLevel(*list, font, level, crampedScript) : nullptr;
    };
    measuredScripts_ = {&atom, style, cramped, line(atom.subscript(), true),
                        line(atom.superscript(), cramped)};
    const auto widthOf = [](const std::shared_ptr<DisplayList>& set) {
        return set ? set->width() : 0;
    };
    return std::max(widthOf(measuredScripts_.superscript) + std::max<CGFloat>(0, delta),
                    widthOf(measuredScripts_.subscript));
}

void Typesetter::fitScriptedAtom(const Atom& atom, const Atom* previous) {
    if (maxWidth <= 0 || lineHoldsNothing()) {
        return;
    }
    // Measured as it will be drawn: the line so far, the space before the atom, its nucleus and,
    // beside the nucleus's italic correction, its scripts.
    const CGFloat space =
        previous ? std::max<CGFloat>(0, interElementSpace(previous->type, atom.type)) : 0;
    const auto character = textCharacters(atom.nucleus);
    const CGFloat delta =
        character.empty()
            ? 0
            : styleFont().metrics().italicCorrection(glyphForCharacter(character.back()));
    if (currentPosition.x + currentLineWidth() + space + nucleusWidth(atom.nucleus) +
            scriptsWidth(atom, delta) >
        maxWidth) {
        breakCurrentLine();
    }
}

std::optional<std::size_t> Typesetter::firstBreak(CGFloat available) {
    return firstBreakFrom(currentLine, 0, 0, available);
}

std::optional<std::size_t> Typesetter::firstBreakFrom(const AttributedLine& line, std::size_t begin,
                                                      std::size_t utf16Begin, CGFloat available) {
    const auto& glyphFont = styleFont().glyphFont();
    const std::string_view text = std::string_view(line.text()).substr(begin);
    // Only the start of a long text is measured: a line holds a few dozen characters, and shaping
    // all of a long run for every line it is cut into would cost its length squared. The first
    // window of a long text holds a little more than the line would if its characters were half
    // an em wide; a window that fits is doubled.
    const CGFloat size = styleFont().font().size;
    const double perLine = size > 0 ? std::ceil(available / (size / 2)) : 0;
    std::size_t firstWindow = text.size();
    if (text.size() > longestUnwindowed && perLine < static_cast<double>(text.size())) {
        std::size_t at = 0;
        for (std::size_t characters = 0;
             at < text.size() && characters < static_cast<std::size_t>(perLine) + 8; ++characters) {
            decodeScalar(text, at);
        }
        firstWindow = std::max<std::size_t>(at, 64);
    }
    for (std::size_t bytes = firstWindow;; bytes *= 2) {
        const bool whole = bytes >= text.size();
        std::size_t end = text.size();
        std::size_t settled = text.size();
        if (!whole) {
            // Whole characters only; the last two may still change with what follows them.
            const auto clusters = textCharacters(text.substr(0, bytes));
            if (clusters.size() < 4) {
                continue;
            }
            end = static_cast<std::size_t>(clusters.back().data() - text.data());
            settled = static_cast<std::size_t>(clusters[clusters.size() - 3].data() - text.data());
        }
        // The whole of a short pending line is the line itself: copying it for every atom added
        // to it would cost the line's length each time.
        std::optional<AttributedLine> sliced;
        if (begin != 0 || end != line.text().size()) {
            sliced = line.slice(begin, utf16Begin, begin + end);
        }
        const AttributedLine& window = sliced ? *sliced : line;
        // A long text is shaped a stretch of many lines at a time, from where its pending part
        // starts; its windows are read from there, one per line.
        if (!whole && shapeFarAhead_ && !shapedBeyond(window.text())) {
            std::size_t stretch = std::min(text.size(), std::max(farAheadBytes, 4 * end));
            while (stretch < text.size() &&
                   (static_cast<unsigned char>(text[stretch]) & 0xC0) == 0x80) {
                ++stretch;
            }
            shapeText(std::string(text.substr(0, stretch)));
        }
        if (lineWidth(window) <= available) {
            if (whole) {
                return std::nullopt;
            }
            continue;
        }
        // The window was just shaped to be measured; the suggestion reads the same glyphs, with
        // the kerns the line will be drawn with: a cut judged without them leaves a line wider
        // than the width.
        const platform::ShapedRun kerned = withKerns(measuredRun_, window.kerns());
        const auto suggestion = suggestBreak(window.text(), glyphFont, available, &kerned);
        if (whole || !suggestion || *suggestion < settled) {
            return suggestion;
        }
    }
}

void Typesetter::wrapCurrentText() {
    // A short pending text is measured whole, and near the end of a line it is measured again
    // after every atom: when it fits, that one measure is all there is to do.
    if (currentLine.text().size() <= longestUnwindowed &&
        lineWidth(currentLine) <= std::max<CGFloat>(0, maxWidth - currentPosition.x)) {
        return;
    }
    // The lines are cut from the front of the pending text, which stays where it is: `begin` is
    // where the part still pending starts. Copying the rest after every cut would cost a long
    // run its length for each line it makes.
    AttributedLine text = std::move(currentLine);
    std::size_t begin = 0;
    std::size_t utf16Begin = 0;
    // Each round ends a line with at least one character on it, or moves the text to a fresh
    // line once; a run too long for several lines is cut as often as it needs, and no more often
    // than it has characters.
    const std::size_t rounds = text.text().size() + 1;
    for (std::size_t round = 0; round < rounds; ++round) {
        const CGFloat available = std::max<CGFloat>(0, maxWidth - currentPosition.x);
        // Moving the whole text to a new line gains nothing when this line holds nothing else:
        // the text would only be pushed down line after line.
        const bool atLineStart =
            currentPosition.x <= 0 && currentLineStartIndex >= displayAtoms.size();

        auto first = firstBreakFrom(text, begin, utf16Begin, available);
        if (!first) {
            // The text fits, or not one character does; then, behind other nodes, it starts
            // the next line instead.
            if (atLineStart ||
                lineWidth(begin == 0 ? text : text.slice(begin, utf16Begin, text.text().size())) <=
                    available) {
                break;
            }
            first = 0;
        }
        if (*first == 0 && atLineStart) {
            break;
        }
        if (*first == 0) {
            // Nothing of the text goes on this line: it all moves down, atoms and all.
            remainingContentFits = false;
            startNewLine();
            continue;
        }
        AttributedLine head = text.slice(begin, utf16Begin, begin + *first);
        const std::size_t cut = *first;
        // A head that shaped alone comes out wider than it measured inside the text stays whole;
        // its atoms are not told apart from those after the cut.
        if (lineWidth(head) > available) {
            currentAtoms.clear();
        }
        // The moved text keeps its kerns and colours.
        const std::size_t cutUtf16 = head.utf16Length();
        currentLine = std::move(head);
        flushCurrentLine();
        remainingContentFits = false;
        startNewLine();
        begin += cut;
        utf16Begin += cutUtf16;
        // What is left starts the next line: it is shaped with what should follow it there.
        shapeAhead(std::string_view(text.text()).substr(begin),
                   following_.subspan(std::min<std::size_t>(1, following_.size())),
                   maxWidth + 2 * styleFont().font().size);
        currentAtoms.clear();
        currentLineIndexRange = {notFound, notFound};
    }
    currentLine = begin == 0 ? std::move(text) : text.slice(begin, utf16Begin, text.text().size());
}

void Typesetter::avoidLineClash() {
    if (currentLineStartIndex == 0 || currentLineStartIndex >= displayAtoms.size()) {
        return;
    }
    // Finished lines no longer move, so their floor is kept and only extended by lines finished
    // since: a long formula does not measure all its earlier lines again for every line.
    for (; linesAboveCounted_ < currentLineStartIndex; ++linesAboveCounted_) {
        const DisplayNode& above = *displayAtoms[linesAboveCounted_];
        linesAboveFloor_ = std::min(linesAboveFloor_, above.position().y - above.descent());
    }
    // Whatever reaches highest counts: a fraction or radical, a large operator with its limits,
    // a tall delimiter, a raised script.
    CGFloat top = -std::numeric_limits<CGFloat>::infinity();
    for (std::size_t i = currentLineStartIndex; i < displayAtoms.size(); ++i) {
        const DisplayNode& node = *displayAtoms[i];
        top = std::max(top, node.position().y + node.ascent());
    }
    const CGFloat limit = linesAboveFloor_ - 0.5;
    if (!(top > limit) || !std::isfinite(top - limit)) {
        return;
    }
    const CGFloat dy = limit - top;
    currentPosition.y += dy;
    for (std::size_t i = currentLineStartIndex; i < displayAtoms.size(); ++i) {
        shiftDisplayNode(*displayAtoms[i], dy);
    }
}

void Typesetter::shiftDisplayNode(DisplayNode& node, CGFloat dy) {
    // Moving the node is enough: a list's children sit relative to it, and composite nodes move
    // their parts themselves.
    const Point p = node.position();
    node.setPosition({p.x, p.y + dy});
}

} // namespace Math
