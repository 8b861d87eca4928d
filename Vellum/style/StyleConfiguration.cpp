#include "Vellum/style/StyleConfiguration.hpp"

#include "Vellum/export/Formatter.hpp"
#include "platform/appkit/Pasteboard.hpp"

namespace vellum::structured {

void CodeBlockProxy::copyToPasteboard() const {
    platform::Pasteboard& pasteboard = platform::Pasteboard::general();
    pasteboard.clearContents();
    const Formatter formatter{platform::AttributedString(content)};
    pasteboard.setPlainTextAndHTML(formatter.plainText(), formatter.html());
}

} // namespace vellum::structured
