#pragma once

// Where lines may break in ASCII text (with the characters that stand for inline boxes), found
// without Pango: a paragraph's layout needs only the break opportunities, and Pango's full
// analysis (words, sentences, cursor positions, white space) of every paragraph cost several
// hundred instructions a character. The opportunities are those Pango's own break analysis gives
// for the same text, rule for rule. Internal to platform/text.

#include <cstddef>
#include <string_view>
#include <vector>

namespace platform::text_internal {

/// Appends to `breaks`, in order, every byte offset of `text` (0 < offset < size) before which a
/// line may break, a line feed's mandatory break among them, then the size itself. False, with
/// `breaks` as it was, when `text` holds anything but ASCII and U+FFFC, or a null character:
/// such text goes to Pango.
bool asciiLineBreaks(std::string_view text, std::vector<std::size_t>& breaks);

/// The same for valid UTF-8 `text` whose characters past ASCII (but boxes) all come before a
/// tail that breaks on its own: only the text before the tail goes to Pango. A tail starts after
/// a space between two letters or boxes, where a line always may break and no rule looks back
/// across. False, with `breaks` as it was, when there is no such tail or a null character.
bool lineBreaksWithAsciiTail(std::string_view text, std::vector<std::size_t>& breaks);

} // namespace platform::text_internal
