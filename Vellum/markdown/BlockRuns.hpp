#pragma once

// The blocks of one level of a parsed text. Every run carries the presentation intent of all
// blocks that enclose it; BlockRuns groups consecutive runs into the blocks directly below a
// parent block (or the top-level blocks when there is none), each with its intent at that level
// and the stretch of text it covers. A document view walks the top level, then each container
// block (quote, list, list item, table, row, cell) with itself as parent.
//
// A run's block at a level: none when it has no presentation intent; without a parent its
// outermost component; with a parent, the component just inside the parent, or none when the
// parent is not among its components or is its innermost one. A new block starts wherever that
// block differs from the previous run's (components compare with their identities, so two
// paragraphs in a row are two blocks); consecutive runs without a block form one block.

#include "platform/foundation/AttributedString.hpp"
#include "platform/foundation/IndexIterator.hpp"
#include "platform/foundation/PresentationIntent.hpp"

#include <cstddef>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vellum {

class BlockRuns {
public:
    using IntentType = platform::PresentationIntent::IntentType;

    struct BlockRun {
        std::optional<IntentType> intent;
        platform::AttributedString::Range range;
        friend bool operator==(const BlockRun&, const BlockRun&) = default;
    };

    explicit BlockRuns(const platform::AttributedString& content,
                       const std::optional<IntentType>& parent = std::nullopt);
    explicit BlockRuns(const platform::AttributedSubstring& content,
                       const std::optional<IntentType>& parent = std::nullopt);

    // Positions are 0 ..< size().
    [[nodiscard]] std::size_t size() const noexcept { return boundaries_.size(); }
    [[nodiscard]] bool empty() const noexcept { return boundaries_.empty(); }
    [[nodiscard]] std::size_t startIndex() const noexcept { return 0; }
    [[nodiscard]] std::size_t endIndex() const noexcept { return boundaries_.size(); }
    // `position` moved by `distance`, or nullopt when that would pass `limit` (reaching it is
    // allowed).
    [[nodiscard]] static std::optional<std::size_t>
    index(std::size_t position, std::ptrdiff_t distance, std::size_t limit);

    // The block at `position`, which must be below size().
    [[nodiscard]] BlockRun operator[](std::size_t position) const;
    [[nodiscard]] std::vector<BlockRun> elements() const;

    using Iterator = platform::IndexIterator<BlockRuns, BlockRun>;
    [[nodiscard]] Iterator begin() const { return {this, 0}; }
    [[nodiscard]] Iterator end() const { return {this, size()}; }

private:
    struct Boundary {
        std::size_t run; // position in runs_ of the block's first run
        std::optional<IntentType> intent;
    };

    void computeBoundaries(const std::optional<IntentType>& parent);

    platform::AttributedString::Runs runs_;
    std::vector<Boundary> boundaries_;
};

// The position of the first element of `types` equal to `type`.
[[nodiscard]] std::optional<std::size_t>
firstIndexOfIntentType(const BlockRuns::IntentType& type,
                       const std::vector<BlockRuns::IntentType>& types);

// The strings joined one after the other, and where each one starts in the result (UTF-16
// offsets). Offsets are keyed by the strings' identity: two distinct strings with equal contents
// keep an offset each; a string given twice keeps its later offset. No input gives a new empty
// string at 0; one input gives that very string at 0.
[[nodiscard]] std::pair<platform::ReferenceAttributedString,
                        std::unordered_map<const platform::AttributedString*, std::size_t>>
joinAttributedStrings(const std::vector<platform::ReferenceAttributedString>& strings);

} // namespace vellum
