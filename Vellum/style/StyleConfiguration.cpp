#include "Vellum/style/StyleConfiguration.hpp"

#include "Vellum/export/Formatter.hpp"
#include "platform/appkit/Pasteboard.hpp"

#include <algorithm>
#include <utility>
#include <vector>

namespace vellum::structured {

namespace {

using IntentAttribute =
    platform::AttributeScopes::FoundationAttributes::PresentationIntentAttribute;

} // namespace

platform::AttributedString CodeBlockProxy::code() const {
    platform::AttributedString code(content);
    std::vector<std::pair<platform::AttributedString::Range, platform::PresentationIntent>> own;
    for (const platform::AttributedString::Run& run : code.runs()) {
        const platform::PresentationIntent* const intent = run.get<IntentAttribute>();
        if (intent == nullptr) {
            continue;
        }
        const std::vector<platform::PresentationIntent::IntentType>& components =
            intent->components(); // innermost first
        const auto block = std::find_if(components.begin(), components.end(), [](const auto& c) {
            return c.kind() == platform::PresentationIntent::Kind::codeBlock;
        });
        if (block != components.end() && std::next(block) != components.end()) {
            own.emplace_back(run.range, platform::PresentationIntent(
                                            std::vector(components.begin(), std::next(block))));
        }
    }
    for (auto& [range, intent] : own) {
        code.setAttribute<IntentAttribute>(range, std::move(intent));
    }
    return code;
}

void CodeBlockProxy::copyToPasteboard() const {
    platform::Pasteboard& pasteboard = platform::Pasteboard::general();
    pasteboard.clearContents();
    const Formatter formatter{code()};
    pasteboard.setPlainTextAndHTML(formatter.plainText(), formatter.html());
}

} // namespace vellum::structured
