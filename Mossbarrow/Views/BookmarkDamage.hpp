#pragma once

#include "Mossbarrow/Bookmark.hpp"

#include <string>

namespace mossbarrow {

// What the views say of a bookmark whose stored record is damaged (a value another program
// wrote in the wrong form, text that is not UTF-8). Such a bookmark is listed with what could be
// read, so that it can be seen and deleted; its unreadable values read as empty stand-ins and
// are never shown or copied as if they were the record's.

// Whether the value of `attribute` could not be read.
[[nodiscard]] bool isUnreadable(const Bookmark& bookmark, Bookmark::Attribute attribute);

// The values that could not be read, for a sentence: "its title and creation date".
[[nodiscard]] std::string unreadableParts(const Bookmark& bookmark);

// The bookmark named in a sentence: its title in quotes, else its payload in quotes; empty when
// neither can be read.
[[nodiscard]] std::string bookmarkName(const Bookmark& bookmark);

} // namespace mossbarrow
