#pragma once

// The environment values through which the styles reach the block views: the inline style and
// one style of each block kind. Unwritten, each is the matching part of the default style set, so
// a document with no style modifier looks like one under that set.

#include "Vellum/BlockQuoteStyle.hpp"
#include "Vellum/CodeBlockStyle.hpp"
#include "Vellum/HeadingStyle.hpp"
#include "Vellum/InlineStyle.hpp"
#include "Vellum/ListItemStyle.hpp"
#include "Vellum/OrderedListMarker.hpp"
#include "Vellum/ParagraphStyle.hpp"
#include "Vellum/TableCellStyle.hpp"
#include "Vellum/TableStyle.hpp"
#include "Vellum/ThematicBreakStyle.hpp"
#include "Vellum/UnorderedListMarker.hpp"
#include "platform/ui/Environment.hpp"

#include <utility>

namespace vellum::StructuredText {

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
[[nodiscard]] inline AnyHeadingStyle
headingStyle(const platform::ui::EnvironmentValues& environment) {
    return environment.get<HeadingStyleKey>();
}
inline void setHeadingStyle(platform::ui::EnvironmentValues& environment, AnyHeadingStyle style) {
    // An empty style would leave the blocks with nothing to draw them: take the default.
    environment.set<HeadingStyleKey>(style ? std::move(style) : HeadingStyleKey::defaultValue());
}
[[nodiscard]] inline AnyParagraphStyle
paragraphStyle(const platform::ui::EnvironmentValues& environment) {
    return environment.get<ParagraphStyleKey>();
}
inline void setParagraphStyle(platform::ui::EnvironmentValues& environment,
                              AnyParagraphStyle style) {
    // An empty style would leave the blocks with nothing to draw them: take the default.
    environment.set<ParagraphStyleKey>(style ? std::move(style)
                                             : ParagraphStyleKey::defaultValue());
}
[[nodiscard]] inline AnyBlockQuoteStyle
blockQuoteStyle(const platform::ui::EnvironmentValues& environment) {
    return environment.get<BlockQuoteStyleKey>();
}
inline void setBlockQuoteStyle(platform::ui::EnvironmentValues& environment,
                               AnyBlockQuoteStyle style) {
    // An empty style would leave the blocks with nothing to draw them: take the default.
    environment.set<BlockQuoteStyleKey>(style ? std::move(style)
                                              : BlockQuoteStyleKey::defaultValue());
}
[[nodiscard]] inline AnyCodeBlockStyle
codeBlockStyle(const platform::ui::EnvironmentValues& environment) {
    return environment.get<CodeBlockStyleKey>();
}
inline void setCodeBlockStyle(platform::ui::EnvironmentValues& environment,
                              AnyCodeBlockStyle style) {
    // An empty style would leave the blocks with nothing to draw them: take the default.
    environment.set<CodeBlockStyleKey>(style ? std::move(style)
                                             : CodeBlockStyleKey::defaultValue());
}
[[nodiscard]] inline AnyListItemStyle
listItemStyle(const platform::ui::EnvironmentValues& environment) {
    return environment.get<ListItemStyleKey>();
}
inline void setListItemStyle(platform::ui::EnvironmentValues& environment, AnyListItemStyle style) {
    // An empty style would leave the blocks with nothing to draw them: take the default.
    environment.set<ListItemStyleKey>(style ? std::move(style) : ListItemStyleKey::defaultValue());
}
[[nodiscard]] inline AnyUnorderedListMarker
unorderedListMarker(const platform::ui::EnvironmentValues& environment) {
    return environment.get<UnorderedListMarkerKey>();
}
inline void setUnorderedListMarker(platform::ui::EnvironmentValues& environment,
                                   AnyUnorderedListMarker style) {
    // An empty style would leave the blocks with nothing to draw them: take the default.
    environment.set<UnorderedListMarkerKey>(style ? std::move(style)
                                                  : UnorderedListMarkerKey::defaultValue());
}
[[nodiscard]] inline AnyOrderedListMarker
orderedListMarker(const platform::ui::EnvironmentValues& environment) {
    return environment.get<OrderedListMarkerKey>();
}
inline void setOrderedListMarker(platform::ui::EnvironmentValues& environment,
                                 AnyOrderedListMarker style) {
    // An empty style would leave the blocks with nothing to draw them: take the default.
    environment.set<OrderedListMarkerKey>(style ? std::move(style)
                                                : OrderedListMarkerKey::defaultValue());
}
[[nodiscard]] inline AnyTableStyle tableStyle(const platform::ui::EnvironmentValues& environment) {
    return environment.get<TableStyleKey>();
}
inline void setTableStyle(platform::ui::EnvironmentValues& environment, AnyTableStyle style) {
    // An empty style would leave the blocks with nothing to draw them: take the default.
    environment.set<TableStyleKey>(style ? std::move(style) : TableStyleKey::defaultValue());
}
[[nodiscard]] inline AnyTableCellStyle
tableCellStyle(const platform::ui::EnvironmentValues& environment) {
    return environment.get<TableCellStyleKey>();
}
inline void setTableCellStyle(platform::ui::EnvironmentValues& environment,
                              AnyTableCellStyle style) {
    // An empty style would leave the blocks with nothing to draw them: take the default.
    environment.set<TableCellStyleKey>(style ? std::move(style)
                                             : TableCellStyleKey::defaultValue());
}
[[nodiscard]] inline AnyThematicBreakStyle
thematicBreakStyle(const platform::ui::EnvironmentValues& environment) {
    return environment.get<ThematicBreakStyleKey>();
}
inline void setThematicBreakStyle(platform::ui::EnvironmentValues& environment,
                                  AnyThematicBreakStyle style) {
    // An empty style would leave the blocks with nothing to draw them: take the default.
    environment.set<ThematicBreakStyleKey>(style ? std::move(style)
                                                 : ThematicBreakStyleKey::defaultValue());
}

} // namespace vellum::StructuredText
