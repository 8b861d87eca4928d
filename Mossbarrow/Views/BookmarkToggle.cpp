#include "Mossbarrow/Views/BookmarkToggle.hpp"

#include "Mossbarrow/Bookmark.hpp"
#include "Mossbarrow/BookmarkViewModel.hpp"
#include "platform/data/FetchDescriptor.hpp"

#include <exception>

namespace mossbarrow {

BookmarkToggle BookmarkToggle::perform(const std::string& kind, const std::string& title,
                                       const std::optional<std::string>& subtitle,
                                       const std::string& payload,
                                       platform::ModelContext& context) {
    std::vector<std::shared_ptr<Bookmark>> existing;
    try {
        existing = context.fetch<Bookmark>(
            {.predicate = BookmarkViewModel::bookmarkPredicate(kind, payload)});
    } catch (const std::exception& error) {
        return {std::nullopt, std::string("Could not read the bookmarks: ") + error.what()};
    }
    try {
        if (!existing.empty()) {
            for (const auto& bookmark : existing) {
                context.remove(bookmark);
            }
            return {false, {}};
        }
        context.insert(Bookmark::make(kind, title, subtitle, payload));
        return {true, {}};
    } catch (const std::exception& error) {
        return {std::nullopt, std::string("Could not update the bookmarks: ") + error.what()};
    }
}

} // namespace mossbarrow
