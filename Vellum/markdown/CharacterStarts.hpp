#pragma once

// Where the characters (extended grapheme clusters) of a valid UTF-8 text start, found only where
// asked. Splitting a megabyte into clusters costs far more than the few places a pattern can start
// at, so an ASCII byte is judged by the character before it: it starts a character unless it is a
// line feed after a carriage return, or follows a prepended mark (and is no control). Any other
// question (a non-ASCII byte that starts a scalar) splits the whole text once and answers from
// that, as it always did.

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace vellum {

class CharacterStarts {
public:
    // `text` must be valid UTF-8 and outlive this.
    explicit CharacterStarts(std::string_view text);

    // Whether a character starts at byte `at` (<= the text's size; its end counts as a start).
    [[nodiscard]] bool startsAt(std::size_t at);
    // The first character start after byte `from`, or the text's size.
    [[nodiscard]] std::size_t after(std::size_t from);

private:
    // The answer for `at` when the bytes around it settle it, else none.
    [[nodiscard]] std::optional<bool> settled(std::size_t at) const noexcept;
    // Splits the whole text once.
    const std::vector<std::size_t>& all();

    std::string_view text_;
    std::vector<std::size_t> starts_; // every start and the text's size, once split
    bool split_ = false;
    std::size_t hint_ = 0; // index into starts_ where the last forward search ended
};

} // namespace vellum
