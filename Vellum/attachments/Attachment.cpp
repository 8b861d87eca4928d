#include "Vellum/attachments/Attachment.hpp"

namespace vellum {

AttachmentSelectionStyle Attachment::selectionStyle() const {
    return AttachmentSelectionStyle::text;
}

platform::ui::AnyView Attachment::body() const {
    return platform::ui::EmptyView();
}

double Attachment::baselineOffset(const TextEnvironmentValues& /*environment*/) const {
    return 0;
}

platform::Size Attachment::sizeThatFits(platform::ui::ProposedViewSize /*proposal*/,
                                        const TextEnvironmentValues& /*environment*/) const {
    return {};
}

} // namespace vellum
