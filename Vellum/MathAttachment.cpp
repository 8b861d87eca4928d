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
    // Written back the way it was typed, so that copied text keeps the formula.
    const char* const delimiter = displayStyle_ == DisplayStyle::block ? "$$" : "$";
    return delimiter + latex_ + delimiter;
}

} // namespace vellum
