#pragma once

// A complete look for a document: one inline style and one style of each block kind. A style set
// is a plain struct whose members carry the eleven names below; each block member may hold a
// concrete style or an already shared one.

#include "Vellum/style/StyleEnvironment.hpp"

#include <concepts>
#include <memory>
#include <type_traits>

namespace vellum::structured {

// A member of a style set that stands for a `Protocol`: a conformer by value, or one shared.
template <class Member, class Protocol>
concept StyleMember = std::derived_from<Member, Protocol> ||
    std::convertible_to<Member, std::shared_ptr<const Protocol>>;

// Shares a style set member as the environment holds it.
template <class Protocol, StyleMember<Protocol> Member>
[[nodiscard]] std::shared_ptr<const Protocol> shareStyle(const Member& member) {
    if constexpr (std::derived_from<Member, Protocol>) {
        return std::make_shared<const Member>(member);
    } else {
        return std::shared_ptr<const Protocol>(member);
    }
}

template <class S>
concept Style = requires(const S& style) {
    { style.inlineStyle } -> std::convertible_to<InlineStyle>;
    requires StyleMember<std::remove_cvref_t<decltype(style.headingStyle)>, HeadingStyle>;
    requires StyleMember<std::remove_cvref_t<decltype(style.paragraphStyle)>, ParagraphStyle>;
    requires StyleMember<std::remove_cvref_t<decltype(style.blockQuoteStyle)>, BlockQuoteStyle>;
    requires StyleMember<std::remove_cvref_t<decltype(style.codeBlockStyle)>, CodeBlockStyle>;
    requires StyleMember<std::remove_cvref_t<decltype(style.listItemStyle)>, ListItemStyle>;
    requires StyleMember<std::remove_cvref_t<decltype(style.unorderedListMarker)>,
                         UnorderedListMarker>;
    requires StyleMember<std::remove_cvref_t<decltype(style.orderedListMarker)>, OrderedListMarker>;
    requires StyleMember<std::remove_cvref_t<decltype(style.tableStyle)>, TableStyle>;
    requires StyleMember<std::remove_cvref_t<decltype(style.tableCellStyle)>, TableCellStyle>;
    requires StyleMember<std::remove_cvref_t<decltype(style.thematicBreakStyle)>,
                         ThematicBreakStyle>;
};

} // namespace vellum::structured
