#pragma once

#include "Mossbarrow/Bookmark.hpp"
#include "platform/data/ModelContext.hpp"
#include "platform/data/Predicate.hpp"

#include <optional>
#include <string>

namespace mossbarrow {

// Asks the store whether an item is bookmarked, and adds or removes its bookmark. Holds no
// state: every call works through the context it is given. Main actor only.
class BookmarkViewModel {
public:
    // kind == kind && payload == payload, both exact text comparisons.
    static platform::Predicate<Bookmark> bookmarkPredicate(const std::string& kind,
                                                           const std::string& payload);

    // True when at least one stored record matches; a failed fetch answers false.
    bool isBookmarked(const std::string& kind, const std::string& payload,
                      platform::ModelContext& context) const;

    // Removes every matching record and answers false, or, when none matches, inserts a new one
    // and answers true: the bookmarked state after the call.
    bool toggleBookmark(const std::string& kind, const std::string& title,
                        const std::optional<std::string>& subtitle, const std::string& payload,
                        platform::ModelContext& context) const;
};

} // namespace mossbarrow
