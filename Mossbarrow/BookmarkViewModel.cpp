#include "Mossbarrow/BookmarkViewModel.hpp"

#include "platform/data/FetchDescriptor.hpp"

#include <exception>
#include <vector>

namespace mossbarrow {

namespace {

std::vector<std::shared_ptr<Bookmark>> matching(const std::string& kind, const std::string& payload,
                                                platform::ModelContext& context) {
    try {
        return context.fetch<Bookmark>(
            {.predicate = BookmarkViewModel::bookmarkPredicate(kind, payload)});
    } catch (const std::exception&) {
        return {}; // an unreadable store counts as holding no match
    }
}

} // namespace

platform::Predicate<Bookmark> BookmarkViewModel::bookmarkPredicate(const std::string& kind,
                                                                   const std::string& payload) {
    return (Bookmark::kindKey() == kind) && (Bookmark::payloadKey() == payload);
}

bool BookmarkViewModel::isBookmarked(const std::string& kind, const std::string& payload,
                                     platform::ModelContext& context) const {
    return !matching(kind, payload, context).empty();
}

bool BookmarkViewModel::toggleBookmark(const std::string& kind, const std::string& title,
                                       const std::optional<std::string>& subtitle,
                                       const std::string& payload,
                                       platform::ModelContext& context) const {
    const auto existing = matching(kind, payload, context);
    if (!existing.empty()) {
        for (const auto& bookmark : existing) {
            context.remove(bookmark);
        }
        return false;
    }
    context.insert(Bookmark::make(kind, title, subtitle, payload));
    return true;
}

} // namespace mossbarrow
