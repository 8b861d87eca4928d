#pragma once

// The views through which a block shows its style: each holds one style and the configuration the
// block built, and its body is the style's body for that configuration. The style builds it with
// the view's own context, so what it reads of the environment or keeps as state belongs to the
// block's identity and follows the environment when it changes.

#include "Vellum/style/BlockQuoteStyle.hpp"
#include "Vellum/style/CodeBlockStyle.hpp"
#include "Vellum/style/HeadingStyle.hpp"
#include "Vellum/style/ListItemStyle.hpp"
#include "Vellum/style/OrderedListMarker.hpp"
#include "Vellum/style/ParagraphStyle.hpp"
#include "Vellum/style/StyleConfiguration.hpp"
#include "Vellum/style/TableCellStyle.hpp"
#include "Vellum/style/TableStyle.hpp"
#include "Vellum/style/ThematicBreakStyle.hpp"
#include "Vellum/style/UnorderedListMarker.hpp"
#include "platform/ui/View.hpp"

#include <memory>
#include <utility>

namespace vellum::structured {

struct ResolvedHeadingStyle {
    std::shared_ptr<const HeadingStyle> style;
    HeadingStyleConfiguration configuration;

    ResolvedHeadingStyle(std::shared_ptr<const HeadingStyle> style_,
                         HeadingStyleConfiguration configuration_)
        : style(std::move(style_))
        , configuration(std::move(configuration_)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const {
        return style ? style->makeBody(context, configuration) : platform::ui::AnyView();
    }
};

struct ResolvedParagraphStyle {
    std::shared_ptr<const ParagraphStyle> style;
    BlockStyleConfiguration configuration;

    ResolvedParagraphStyle(std::shared_ptr<const ParagraphStyle> style_,
                           BlockStyleConfiguration configuration_)
        : style(std::move(style_))
        , configuration(std::move(configuration_)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const {
        return style ? style->makeBody(context, configuration) : platform::ui::AnyView();
    }
};

struct ResolvedBlockQuoteStyle {
    std::shared_ptr<const BlockQuoteStyle> style;
    BlockStyleConfiguration configuration;

    ResolvedBlockQuoteStyle(std::shared_ptr<const BlockQuoteStyle> style_,
                            BlockStyleConfiguration configuration_)
        : style(std::move(style_))
        , configuration(std::move(configuration_)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const {
        return style ? style->makeBody(context, configuration) : platform::ui::AnyView();
    }
};

struct ResolvedCodeBlockStyle {
    std::shared_ptr<const CodeBlockStyle> style;
    CodeBlockStyleConfiguration configuration;

    ResolvedCodeBlockStyle(std::shared_ptr<const CodeBlockStyle> style_,
                           CodeBlockStyleConfiguration configuration_)
        : style(std::move(style_))
        , configuration(std::move(configuration_)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const {
        return style ? style->makeBody(context, configuration) : platform::ui::AnyView();
    }
};

struct ResolvedListItemStyle {
    std::shared_ptr<const ListItemStyle> style;
    ListItemStyleConfiguration configuration;

    ResolvedListItemStyle(std::shared_ptr<const ListItemStyle> style_,
                          ListItemStyleConfiguration configuration_)
        : style(std::move(style_))
        , configuration(std::move(configuration_)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const {
        return style ? style->makeBody(context, configuration) : platform::ui::AnyView();
    }
};

struct ResolvedUnorderedListMarker {
    std::shared_ptr<const UnorderedListMarker> marker;
    UnorderedListMarkerConfiguration configuration;

    ResolvedUnorderedListMarker(std::shared_ptr<const UnorderedListMarker> marker_,
                                UnorderedListMarkerConfiguration configuration_)
        : marker(std::move(marker_))
        , configuration(std::move(configuration_)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const {
        return marker ? marker->makeBody(context, configuration) : platform::ui::AnyView();
    }
};

struct ResolvedOrderedListMarker {
    std::shared_ptr<const OrderedListMarker> marker;
    OrderedListMarkerConfiguration configuration;

    ResolvedOrderedListMarker(std::shared_ptr<const OrderedListMarker> marker_,
                              OrderedListMarkerConfiguration configuration_)
        : marker(std::move(marker_))
        , configuration(std::move(configuration_)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const {
        return marker ? marker->makeBody(context, configuration) : platform::ui::AnyView();
    }
};

struct ResolvedTableStyle {
    std::shared_ptr<const TableStyle> style;
    TableStyleConfiguration configuration;

    ResolvedTableStyle(std::shared_ptr<const TableStyle> style_,
                       TableStyleConfiguration configuration_)
        : style(std::move(style_))
        , configuration(std::move(configuration_)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const {
        return style ? style->makeBody(context, configuration) : platform::ui::AnyView();
    }
};

struct ResolvedTableCellStyle {
    std::shared_ptr<const TableCellStyle> style;
    TableCellStyleConfiguration configuration;

    ResolvedTableCellStyle(std::shared_ptr<const TableCellStyle> style_,
                           TableCellStyleConfiguration configuration_)
        : style(std::move(style_))
        , configuration(std::move(configuration_)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const {
        return style ? style->makeBody(context, configuration) : platform::ui::AnyView();
    }
};

struct ResolvedThematicBreakStyle {
    std::shared_ptr<const ThematicBreakStyle> style;
    BlockStyleConfiguration configuration;

    ResolvedThematicBreakStyle(std::shared_ptr<const ThematicBreakStyle> style_,
                               BlockStyleConfiguration configuration_)
        : style(std::move(style_))
        , configuration(std::move(configuration_)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const {
        return style ? style->makeBody(context, configuration) : platform::ui::AnyView();
    }
};

} // namespace vellum::structured
