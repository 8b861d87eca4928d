#include "Vellum/export/TransferableText.hpp"

namespace vellum {

const std::vector<std::string>& TransferableText::writableTypeIdentifiers() {
    static const std::vector<std::string> types{std::string(plainTextType), std::string(htmlType)};
    return types;
}

void TransferableText::loadData(std::string_view typeIdentifier,
                                const CompletionHandler& handler) const {
    if (!handler) {
        return;
    }
    if (typeIdentifier == plainTextType) {
        handler(platform::dataFromString(formatter_.plainText()));
    } else if (typeIdentifier == htmlType) {
        handler(platform::dataFromString(formatter_.html()));
    } else {
        handler(std::nullopt);
    }
}

platform::SharedText TransferableText::sharedText() const {
    return {formatter_.plainText(), formatter_.html()};
}

} // namespace vellum
