#pragma once

// Access to the two ways a paragraph is laid out, for comparing them. Internal to platform/text
// and its tests.

#include "platform/text/TextLayout.hpp"

#include <cstddef>

namespace platform::text_internal {

/// `text` laid out by Pango alone, never from the word-shape cache.
TextLayout layoutWithPango(const StyledText& text, const ParagraphStyle& style = {});
/// `text` laid out from word shapes where that path takes it, right-to-left paragraphs of few
/// boxes included (which it otherwise leaves to Pango), else as usual.
TextLayout layoutFromWordShapes(const StyledText& text, const ParagraphStyle& style = {});
/// Whether `layout`'s lines were assembled from cached word shapes.
bool isWordShaped(const TextLayout& layout);
/// Whether a word-shaped `layout` cut a word too wide for its line between characters.
bool cutsWords(const TextLayout& layout);
/// What the calling thread's word-shape cache holds, in bytes, and the most it may hold.
std::size_t shapeCacheBytes();
std::size_t shapeCacheBudget();

} // namespace platform::text_internal
