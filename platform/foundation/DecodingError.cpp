#include "platform/foundation/DecodingError.hpp"

namespace platform {

std::string codingPathDescription(const CodingPath& path) {
    std::string text;
    for (const CodingKey& key : path) {
        if (key.intValue) {
            text.push_back('[');
            text.append(std::to_string(*key.intValue));
            text.push_back(']');
        } else {
            if (!text.empty()) {
                text.push_back('.');
            }
            text += key.stringValue;
        }
    }
    return text;
}

DecodingError::DecodingError(Kind kind, CodingPath codingPath, std::string debugDescription,
                             std::optional<CodingKey> key)
    : kind_(kind)
    , codingPath_(std::move(codingPath))
    , debugDescription_(std::move(debugDescription))
    , key_(std::move(key)) {}

std::string DecodingError::localizedDescription() const {
    switch (kind_) {
    case Kind::keyNotFound:
    case Kind::valueNotFound:
        return "The data couldn\u2019t be read because it is missing.";
    case Kind::typeMismatch:
    case Kind::dataCorrupted:
        break;
    }
    return "The data couldn\u2019t be read because it isn\u2019t in the correct format.";
}

EncodingError::EncodingError(CodingPath codingPath, std::string debugDescription)
    : codingPath_(std::move(codingPath))
    , debugDescription_(std::move(debugDescription)) {}

std::string EncodingError::localizedDescription() const {
    return "The data couldn\u2019t be written because it isn\u2019t in the correct format.";
}

} // namespace platform
