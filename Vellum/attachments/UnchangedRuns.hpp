#pragma once

// What two versions of one text hold alike: the stretch at their start and the stretch at their
// end where both have the same characters in the same runs of equal attributes. A document
// compares each new version with the one before it, so that what the edit left alone (most of a
// long text) is neither split into blocks nor scanned for attachments again.

#include "platform/foundation/AttributedString.hpp"

#include <cstddef>

namespace vellum {

struct UnchangedRuns {
    // Bytes from the start of both texts that they hold alike; the end of a run in both.
    std::size_t prefix = 0;
    // Bytes before the end of both texts that they hold alike; the start of a run in both, and
    // never reaching back into the prefix of either text.
    std::size_t suffix = 0;
};

[[nodiscard]] UnchangedRuns unchangedRuns(const platform::AttributedSubstring& before,
                                          const platform::AttributedSubstring& after);

} // namespace vellum
