#pragma once

// Highlighted code as text: the tokens of a code block turned into one attributed string in a
// theme's colours, and the tokens a code block gets from the tokenizer.

#include "Vellum/highlighting/CodeToken.hpp"
#include "Vellum/highlighting/HighlighterTheme.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"
#include "platform/foundation/AttributedString.hpp"
#include "platform/runtime/Task.hpp"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vellum {

class CodeTokenizer;

// The tokens' text in order, each token in the theme's foreground colour resolved for
// `environment`, with the property the theme gives its type applied on top. Every token carries
// the block-level presentation intent of `content` when all of `content` has the same one; no
// other attribute of `content` is carried over.
[[nodiscard]] platform::AttributedString highlightCode(std::span<const CodeToken> tokens,
                                                       const platform::AttributedSubstring& content,
                                                       const HighlighterTheme& theme,
                                                       const TextEnvironmentValues& environment);

// Whether a block with `languageHint` is tokenized by `tokenizer`: when there is both a hint (an
// empty one counts) of a language it knows and a tokenizer.
[[nodiscard]] bool isTokenized(const std::optional<std::string>& languageHint,
                               const CodeTokenizer* tokenizer);

// The tokens of `code` for a block with `languageHint`, shared with the tokenizer's own copy: from
// `tokenizer` when the block is tokenized (see isTokenized), else null, for code shown plain.
[[nodiscard]] platform::Task<std::shared_ptr<const std::vector<CodeToken>>>
tokenizeCodeBlock(std::string code, std::optional<std::string> languageHint,
                  std::shared_ptr<CodeTokenizer> tokenizer);

} // namespace vellum
