#pragma once

// The queries of selection over a collection of laid-out texts: the position nearest a point, the
// caret of a position, moves by character, word, line and paragraph, the ranges of a double and a
// triple click, the link under the pointer, the text a range covers, and carrying a range over to
// a new layout pass. Points and the rectangles returned are in the collection's space. For moves,
// a paragraph is one laid-out text. Nothing here keeps state: every query scans the model.

#include "Vellum/selection/TextLayoutCollection.hpp"
#include "Vellum/selection/TextRange.hpp"
#include "platform/foundation/AttributedString.hpp"

#include <optional>
#include <vector>

namespace vellum {

/// The UTF-16 length of all texts.
std::size_t characterCount(const TextLayoutCollection& collection);
/// The text between an ordered range's two ends, the texts of several layouts joined with nothing
/// between them.
platform::AttributedString attributedText(const TextLayoutCollection& collection,
                                          const TextRange& range);
/// The pieces attributedText joins, in order: each text's share of its source (or of its own
/// characters, for a text without one), and the line feed that closes a code block the range
/// goes through the end of. A copy exports them as they lie (Formatter::joinedBlockNodes).
std::vector<platform::AttributedSubstring> selectedPieces(const TextLayoutCollection& collection,
                                                          const TextRange& range);
/// The link of the run under `point`.
std::optional<platform::URL> linkURL(const TextLayoutCollection& collection, platform::Point point);

/// The position nearest `point` in the texts placed; none without one.
std::optional<TextPosition> closestPosition(const TextLayoutCollection& collection,
                                            platform::Point point);
/// A one-point-wide caret over its line's height; null for a position that names no slice or
/// lies in a text not placed yet.
platform::Rect caretRect(const TextLayoutCollection& collection, const TextPosition& position);
TextPosition startPosition(const TextLayoutCollection& collection);
TextPosition endPosition(const TextLayoutCollection& collection);
/// One line up or down from `from`, in the column of the middle of `goal`'s slice, so repeated
/// moves with one goal keep their column; none where the move passes between two texts and one
/// of them is not placed yet.
std::optional<TextPosition> positionAbove(const TextLayoutCollection& collection,
                                          const TextPosition& from, const TextPosition& goal);
std::optional<TextPosition> positionBelow(const TextLayoutCollection& collection,
                                          const TextPosition& from, const TextPosition& goal);
/// `offset` characters on, in logical order across all texts.
std::optional<TextPosition> positionFromOffset(const TextLayoutCollection& collection,
                                               const TextPosition& position, long offset);
/// The caret before character `index` of a layout; on the boundary of two glyphs, after the
/// earlier one.
std::optional<TextPosition> positionForCharacterIndex(const TextLayoutCollection& collection,
                                                      std::size_t layout, long index);
/// The characters of the slice a position names; nothing for a position that names no slice.
std::optional<CharacterRange> characterRange(const TextLayoutCollection& collection,
                                             const TextPosition& position);
/// The caret's character index: the slice's start downstream, its end upstream.
std::optional<std::size_t> characterIndex(const TextLayoutCollection& collection,
                                          const TextPosition& position);
std::optional<TextPosition> nextWordPosition(const TextLayoutCollection& collection,
                                             const TextPosition& position);
std::optional<TextPosition> previousWordPosition(const TextLayoutCollection& collection,
                                                 const TextPosition& position);
std::optional<TextPosition> paragraphStartPosition(const TextLayoutCollection& collection,
                                                   const TextPosition& position);
std::optional<TextPosition> paragraphEndPosition(const TextLayoutCollection& collection,
                                                 const TextPosition& position);
/// The word (or the stretch between words) at the caret; nothing at the end of a text.
std::optional<TextRange> wordRange(const TextLayoutCollection& collection,
                                   const TextPosition& position);
/// The whole text the position lies in.
std::optional<TextRange> layoutRange(const TextLayoutCollection& collection,
                                     const TextPosition& position);
/// `range`, taken in `previous`, as the same characters of this collection, also when texts were
/// laid out for the first time or went away; nothing when a text it ends in is gone.
std::optional<TextRange> translatedRange(const TextLayoutCollection& collection,
                                         const TextRange& range,
                                         const TextLayoutCollection& previous);
/// `position`, taken in `previous`, before or after the same character of this collection;
/// nothing when its text is gone.
std::optional<TextPosition> translatedPosition(const TextLayoutCollection& collection,
                                               const TextPosition& position,
                                               const TextLayoutCollection& previous);

/// The slice a path names, or nullptr when it names none.
const TextRunSlice* sliceAt(const TextLayoutCollection& collection, const IndexPath& path);
/// The path of the last slice of a layout, when it has lines and its last line runs.
std::optional<IndexPath> lastSlicePath(const TextLayoutCollection& collection, std::size_t layout);

} // namespace vellum
