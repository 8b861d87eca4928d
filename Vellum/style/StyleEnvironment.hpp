#pragma once

// The environment values through which the styles reach the block views: the inline style and
// one style of each block kind. Unwritten, each is the matching part of the default style set, so
// a document with no style modifier looks like one under that set.

#include "Vellum/style/BlockQuoteStyle.hpp"
#include "Vellum/style/CodeBlockStyle.hpp"
#include "Vellum/style/HeadingStyle.hpp"
#include "Vellum/style/InlineStyle.hpp"
#include "Vellum/style/ListItemStyle.hpp"
#include "Vellum/style/OrderedListMarker.hpp"
#include "Vellum/style/ParagraphStyle.hpp"
#include "Vellum/style/TableCellStyle.hpp"
#include "Vellum/style/TableStyle.hpp"
#include "Vellum/style/ThematicBreakStyle.hpp"
#include "Vellum/style/UnorderedListMarker.hpp"
#include "platform/ui/Environment.hpp"

#include <utility>

namespace vellum::structured {

struct InlineStyleKey {
    using Value = InlineStyle;
    static Value defaultValue() {
        static const Value value = InlineStyle::defaultStyle();
        return value;
    }
};
struct HeadingStyleKey {
    using Value = AnyHeadingStyle;
    // One value for the whole process, so that unwritten environments compare equal.
    static Value defaultValue() {
        static const Value value = HeadingStyle::defaultStyle();
        return value;
    }
};
struct ParagraphStyleKey {
    using Value = AnyParagraphStyle;
    // One value for the whole process, so that unwritten environments compare equal.
    static Value defaultValue() {
        static const Value value = ParagraphStyle::defaultStyle();
        return value;
    }
};
struct BlockQuoteStyleKey {
    using Value = AnyBlockQuoteStyle;
    // One value for the whole process, so that unwritten environments compare equal.
    static Value defaultValue() {
        static const Value value = BlockQuoteStyle::defaultStyle();
        return value;
    }
};
struct CodeBlockStyleKey {
    using Value = AnyCodeBlockStyle;
    // One value for the whole process, so that unwritten environments compare equal.
    static Value defaultValue() {
        static const Value value = CodeBlockStyle::defaultStyle();
        return value;
    }
};
struct ListItemStyleKey {
    using Value = AnyListItemStyle;
    // One value for the whole process, so that unwritten environments compare equal.
    static Value defaultValue() {
        static const Value value = ListItemStyle::defaultStyle();
        return value;
    }
};
struct UnorderedListMarkerKey {
    using Value = AnyUnorderedListMarker;
    // One value for the whole process, so that unwritten environments compare equal.
    static Value defaultValue() {
        static const Value value = UnorderedListMarker::disc();
        return value;
    }
};
struct OrderedListMarkerKey {
    using Value = AnyOrderedListMarker;
    // One value for the whole process, so that unwritten environments compare equal.
    static Value defaultValue() {
        static const Value value = OrderedListMarker::decimal();
        return value;
    }
};
struct TableStyleKey {
    using Value = AnyTableStyle;
    // One value for the whole process, so that unwritten environments compare equal.
    static Value defaultValue() {
        static const Value value = TableStyle::defaultStyle();
        return value;
    }
};
struct TableCellStyleKey {
    using Value = AnyTableCellStyle;
    // One value for the whole process, so that unwritten environments compare equal.
    static Value defaultValue() {
        static const Value value = TableCellStyle::defaultStyle();
        return value;
    }
};
struct ThematicBreakStyleKey {
    using Value = AnyThematicBreakStyle;
    // One value for the whole process, so that unwritten environments compare equal.
    static Value defaultValue() {
        static const Value value = ThematicBreakStyle::divider();
        return value;
    }
};

[[nodiscard]] inline InlineStyle inlineStyle(const platform::ui::EnvironmentValues& environment) {
    return environment.get<InlineStyleKey>();
}
inline void setInlineStyle(platform::ui::EnvironmentValues& environment, InlineStyle style) {
    environment.set<InlineStyleKey>(std::move(style));
}

// The readers never answer an empty style: one written by mistake would leave the blocks nothing
// to draw with, so the default stands in for it.
[[nodiscard]] inline AnyHeadingStyle
headingStyle(const platform::ui::EnvironmentValues& environment) {
    AnyHeadingStyle style = environment.get<HeadingStyleKey>();
    return style ? style : HeadingStyleKey::defaultValue();
}
inline void setHeadingStyle(platform::ui::EnvironmentValues& environment, AnyHeadingStyle style) {
    environment.set<HeadingStyleKey>(std::move(style));
}
[[nodiscard]] inline AnyParagraphStyle
paragraphStyle(const platform::ui::EnvironmentValues& environment) {
    AnyParagraphStyle style = environment.get<ParagraphStyleKey>();
    return style ? style : ParagraphStyleKey::defaultValue();
}
inline void setParagraphStyle(platform::ui::EnvironmentValues& environment,
                              AnyParagraphStyle style) {
    environment.set<ParagraphStyleKey>(std::move(style));
}
[[nodiscard]] inline AnyBlockQuoteStyle
blockQuoteStyle(const platform::ui::EnvironmentValues& environment) {
    AnyBlockQuoteStyle style = environment.get<BlockQuoteStyleKey>();
    return style ? style : BlockQuoteStyleKey::defaultValue();
}
inline void setBlockQuoteStyle(platform::ui::EnvironmentValues& environment,
                               AnyBlockQuoteStyle style) {
    environment.set<BlockQuoteStyleKey>(std::move(style));
}
[[nodiscard]] inline AnyCodeBlockStyle
codeBlockStyle(const platform::ui::EnvironmentValues& environment) {
    AnyCodeBlockStyle style = environment.get<CodeBlockStyleKey>();
    return style ? style : CodeBlockStyleKey::defaultValue();
}
inline void setCodeBlockStyle(platform::ui::EnvironmentValues& environment,
                              AnyCodeBlockStyle style) {
    environment.set<CodeBlockStyleKey>(std::move(style));
}
[[nodiscard]] inline AnyListItemStyle
listItemStyle(const platform::ui::EnvironmentValues& environment) {
    AnyListItemStyle style = environment.get<ListItemStyleKey>();
    return style ? style : ListItemStyleKey::defaultValue();
}
inline void setListItemStyle(platform::ui::EnvironmentValues& environment, AnyListItemStyle style) {
    environment.set<ListItemStyleKey>(std::move(style));
}
[[nodiscard]] inline AnyUnorderedListMarker
unorderedListMarker(const platform::ui::EnvironmentValues& environment) {
    AnyUnorderedListMarker style = environment.get<UnorderedListMarkerKey>();
    return style ? style : UnorderedListMarkerKey::defaultValue();
}
inline void setUnorderedListMarker(platform::ui::EnvironmentValues& environment,
                                   AnyUnorderedListMarker style) {
    environment.set<UnorderedListMarkerKey>(std::move(style));
}
[[nodiscard]] inline AnyOrderedListMarker
orderedListMarker(const platform::ui::EnvironmentValues& environment) {
    AnyOrderedListMarker style = environment.get<OrderedListMarkerKey>();
    return style ? style : OrderedListMarkerKey::defaultValue();
}
inline void setOrderedListMarker(platform::ui::EnvironmentValues& environment,
                                 AnyOrderedListMarker style) {
    environment.set<OrderedListMarkerKey>(std::move(style));
}
[[nodiscard]] inline AnyTableStyle tableStyle(const platform::ui::EnvironmentValues& environment) {
    AnyTableStyle style = environment.get<TableStyleKey>();
    return style ? style : TableStyleKey::defaultValue();
}
inline void setTableStyle(platform::ui::EnvironmentValues& environment, AnyTableStyle style) {
    environment.set<TableStyleKey>(std::move(style));
}
[[nodiscard]] inline AnyTableCellStyle
tableCellStyle(const platform::ui::EnvironmentValues& environment) {
    AnyTableCellStyle style = environment.get<TableCellStyleKey>();
    return style ? style : TableCellStyleKey::defaultValue();
}
inline void setTableCellStyle(platform::ui::EnvironmentValues& environment,
                              AnyTableCellStyle style) {
    environment.set<TableCellStyleKey>(std::move(style));
}
[[nodiscard]] inline AnyThematicBreakStyle
thematicBreakStyle(const platform::ui::EnvironmentValues& environment) {
    AnyThematicBreakStyle style = environment.get<ThematicBreakStyleKey>();
    return style ? style : ThematicBreakStyleKey::defaultValue();
}
inline void setThematicBreakStyle(platform::ui::EnvironmentValues& environment,
                                  AnyThematicBreakStyle style) {
    environment.set<ThematicBreakStyleKey>(std::move(style));
}

} // namespace vellum::structured
