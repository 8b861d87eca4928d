#include "Vellum/attachments/VellumAttributes.hpp"

namespace vellum {

std::unordered_set<AnyAttachment> collectAttachments(const platform::AttributedString& text) {
    return collectValues<VellumAttributes::AttachmentAttribute>(text.runs());
}

std::unordered_set<AnyAttachment> collectAttachments(const platform::AttributedSubstring& text) {
    return collectValues<VellumAttributes::AttachmentAttribute>(text.runs());
}

} // namespace vellum
