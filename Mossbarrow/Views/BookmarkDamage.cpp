#include "Mossbarrow/Views/BookmarkDamage.hpp"

#include <algorithm>
#include <vector>

namespace mossbarrow {

namespace {

const char* partName(Bookmark::Attribute attribute) {
    switch (attribute) {
    case Bookmark::Attribute::id:
        return "identifier";
    case Bookmark::Attribute::kind:
        return "kind";
    case Bookmark::Attribute::title:
        return "title";
    case Bookmark::Attribute::subtitle:
        return "subtitle";
    case Bookmark::Attribute::payload:
        return "payload";
    case Bookmark::Attribute::createdAt:
        return "creation date";
    case Bookmark::Attribute::updatedAt:
        return "date of change";
    }
    return "value";
}

} // namespace

bool isUnreadable(const Bookmark& bookmark, Bookmark::Attribute attribute) {
    const auto& damaged = bookmark.damagedAttributes();
    return std::find(damaged.begin(), damaged.end(), static_cast<std::size_t>(attribute)) !=
           damaged.end();
}

std::string unreadableParts(const Bookmark& bookmark) {
    std::vector<std::string> names;
    for (const std::size_t index : bookmark.damagedAttributes()) {
        names.emplace_back(partName(static_cast<Bookmark::Attribute>(index)));
    }
    std::string text = "its ";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            text += i + 1 == names.size() ? " and " : ", ";
        }
        text += names[i];
    }
    return text;
}

std::string bookmarkName(const Bookmark& bookmark) {
    if (!isUnreadable(bookmark, Bookmark::Attribute::title) && !bookmark.title().empty()) {
        return "“" + bookmark.title() + "”";
    }
    if (!isUnreadable(bookmark, Bookmark::Attribute::payload) && !bookmark.payload().empty()) {
        return "“" + bookmark.payload() + "”";
    }
    return {};
}

} // namespace mossbarrow
