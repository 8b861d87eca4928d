#pragma once

// Unicode text services over UTF-8 strings: scalar decoding, extended grapheme clusters (what a
// user sees as one character), canonical equivalence through NFC/NFD and the case properties of
// characters. Strings are UTF-8 throughout; malformed input never crashes, it is read as U+FFFD.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::unicode {

// True when every byte is below 0x80: such text needs none of the heavier machinery below.
bool isAscii(std::string_view text) noexcept;

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isValidUtf8(std::string_view text) noexcept;

// `text` with every malformed sequence replaced by U+FFFD; valid text comes back unchanged.
std::string makeValidUtf8(std::string_view text);

// The Unicode scalar values of `text` (malformed sequences give U+FFFD).
std::u32string scalars(std::string_view text);

// UTF-8 for one scalar value; values that are not scalars (surrogates, > U+10FFFF) give U+FFFD.
std::string utf8(char32_t scalar);
std::string utf8(std::u32string_view scalars);

// Splits `text` into extended grapheme clusters. The views point into `text`, which must outlive
// them; their concatenation is `text` again. Malformed bytes form clusters of their own.
std::vector<std::string_view> graphemeClusters(std::string_view text);

// Whether `scalar` joins the character after it into its cluster (a prefixed consonant or
// concatenation mark), unless that character is a control or line break.
bool isGraphemePrepend(char32_t scalar) noexcept;

// Canonical composition and decomposition (NFC, NFD). Malformed input is repaired first.
std::string nfc(std::string_view text);
std::string nfd(std::string_view text);
bool isNfc(std::string_view text);

// Canonical equivalence: the strings have the same NFC form ("é" and "e" + U+0301 are equal).
bool canonicallyEquivalent(std::string_view a, std::string_view b);

// Case properties of one character (a grapheme cluster). A character is uppercase when its
// single scalar has the Uppercase property, or when mapping it to uppercase leaves it unchanged
// and it is cased; lowercase likewise. Cased: it has the Cased property, or a case mapping changes
// it. So "A" and "Å" (also written decomposed) are uppercase, "é" lowercase, "1" and "ℵ" neither.
bool isUppercase(std::string_view character);
bool isLowercase(std::string_view character);
bool isCased(std::string_view character);

// Full (locale-independent) case mappings of a string.
std::string uppercased(std::string_view text);
std::string lowercased(std::string_view text);

// White space and line breaks: the space separators, tab, line feed, vertical tab, form feed,
// carriage return, next line, and the line and paragraph separators.
bool isWhitespaceOrNewline(char32_t scalar) noexcept;

// `text` without leading and trailing white space and line breaks (scalar by scalar).
std::string_view trimmingWhitespaceAndNewlines(std::string_view text);

/// The number of UTF-16 code units that the valid UTF-8 `text` takes.
std::size_t utf16Length(std::string_view text);

// Words as text selection and word-wise caret moves find them: Unicode's word boundaries, by which
// letters, digits and the connector punctuation between them make one word ("wasm_bindgen",
// "can't" and "3.14" are one word each). Indexes count the UTF-16 code units of `text`.

/// The word holding the character at `index`, or the stretch of spaces and punctuation between
/// two words that holds it, as [first, second). Empty at the end of the text (or past it).
std::pair<std::size_t, std::size_t> wordRange(std::string_view text, std::size_t index);

/// From `index`, the end of the next word (forward; the end of the word holding `index` when it
/// is inside one) or the start of the previous word (backward; the start of the word holding it).
/// The end or the start of the text when there is no such word.
std::size_t nextWordBoundary(std::string_view text, std::size_t index, bool forward);

} // namespace platform::unicode
