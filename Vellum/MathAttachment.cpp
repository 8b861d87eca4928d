#include "Vellum/MathAttachment.hpp"

#include <functional>

namespace vellum {

bool MathAttachment::isEqual(const Attachment& other) const {
    const auto* math = dynamic_cast<const MathAttachment*>(&other);
    return math != nullptr && math->latex_ == latex_ && math->displayStyle_ == displayStyle_;
}

std::size_t MathAttachment::hashValue() const {
    return std::hash<std::string>()(latex_) * 31 + static_cast<std::size_t>(displayStyle_);
}

std::string MathAttachment::description() const {
    return std::string("MathAttachment(") +
           (displayStyle_ == DisplayStyle::block ? "block" : "inline") + ", \"" + latex_ + "\")";
}

} // namespace vellum
