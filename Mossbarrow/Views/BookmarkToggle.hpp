#pragma once

#include "platform/data/ModelContext.hpp"

#include <optional>
#include <string>

namespace mossbarrow {

// Adds or removes the bookmark of one item, like BookmarkViewModel::toggleBookmark, but a
// store that cannot be read is reported instead of being taken for "no bookmark": taking it so
// would insert a duplicate of a bookmark that exists.
struct BookmarkToggle {
    // The bookmarked state after the call; absent when the store failed and nothing changed.
    std::optional<bool> isBookmarked;
    // Why it failed; empty on success.
    std::string failure;

    static BookmarkToggle perform(const std::string& kind, const std::string& title,
                                  const std::optional<std::string>& subtitle,
                                  const std::string& payload, platform::ModelContext& context);
};

} // namespace mossbarrow
