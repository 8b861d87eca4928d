#pragma once

// The mark on the blank box of an attachment in a laid-out text: which attachment the box stands
// for and the block it sits in. The overlay draws the attachment's body over every run carrying
// one; selection and export read it to treat the box as the attachment.

#include "Vellum/attachments/Attachment.hpp"
#include "platform/foundation/Hash.hpp"
#include "platform/foundation/PresentationIntent.hpp"

#include <cstddef>
#include <functional>
#include <optional>

namespace vellum {

struct AttachmentAttribute {
    AnyAttachment attachment;
    std::optional<platform::PresentationIntent> presentationIntent;
    friend bool operator==(const AttachmentAttribute&, const AttachmentAttribute&) = default;
};

} // namespace vellum

template <>
struct std::hash<vellum::AttachmentAttribute> {
    std::size_t operator()(const vellum::AttachmentAttribute& value) const {
        std::size_t seed = value.attachment.hash();
        const std::size_t intent =
            value.presentationIntent
                ? std::hash<platform::PresentationIntent>()(*value.presentationIntent)
                : 0;
        return platform::hashCombine(seed, intent);
    }
};
