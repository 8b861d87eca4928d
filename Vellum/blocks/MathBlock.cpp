#include "Vellum/blocks/MathBlock.hpp"

#include "Vellum/attachments/MathAttachment.hpp"
#include "Vellum/attachments/VellumAttributes.hpp"
#include "Vellum/blocks/BlockContent.hpp"
#include "Vellum/blocks/BlockVStack.hpp"
#include "Vellum/style/ResolvedStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/text/MathProperties.hpp"
#include "platform/foundation/Unicode.hpp"

namespace vellum::structured {

namespace ui = platform::ui;

namespace {

ui::AnyView formulaBlock(ui::ViewContext& context, platform::AttributedString text, int level) {
    BlockStyleConfiguration configuration;
    configuration.label = ConfigurationContent(inlineLabel(std::move(text)));
    configuration.indentationLevel = level;
    const MathProperties math = context.environment<MathPropertiesKey>();
    // The paragraph style's body stands in the formula's place (one node fewer per formula);
    // what the style reads or keeps belongs to the formula's identity all the same.
    const std::shared_ptr<const ParagraphStyle> style = paragraphStyle(context.environment());
    return (style ? style->makeBody(context, configuration) : ui::AnyView())
        .layoutValue<BlockAlignmentKey>(math.textAlignment);
}

} // namespace

ui::AnyView MathBlock::body(ui::ViewContext& context) const {
    return formulaBlock(context, platform::AttributedString(content_),
                        sharedIndentationLevel(content_));
}

MathCodeBlock::MathCodeBlock(const platform::AttributedSubstring& content)
    : indentationLevel_(sharedIndentationLevel(content)) {
    const std::string latex(platform::unicode::trimmingWhitespaceAndNewlines(content.characters()));
    platform::AttributeContainer attributes;
    setAttachment(attributes,
                  AnyAttachment(MathAttachment(latex, MathAttachment::DisplayStyle::block)));
    content_ = platform::AttributedString("\xEF\xBF\xBC", std::move(attributes)); // U+FFFC
}

ui::AnyView MathCodeBlock::body(ui::ViewContext& context) const {
    return formulaBlock(context, content_, indentationLevel_);
}

} // namespace vellum::structured
