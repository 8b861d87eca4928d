#include "platform/net/HTTPURLResponse.hpp"

#include "platform/foundation/ASCII.hpp"
#include "platform/net/HeaderName.hpp"

#include <algorithm>

namespace platform {

namespace {

using ascii::trimmed;

std::string lowercased(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), ascii::toLower);
    return result;
}

// Joins repeated fields, keeping the first arrival's position and spelling of the name.
HTTPURLResponse::HeaderFields merged(HTTPURLResponse::HeaderFields fields) {
    HTTPURLResponse::HeaderFields result;
    result.reserve(fields.size());
    for (auto& field : fields) {
        auto& name = field.first;
        auto& value = field.second;
        const auto it = std::find_if(result.begin(), result.end(), [&](const auto& existing) {
            return net_detail::headerNamesEqual(existing.first, name);
        });
        if (it == result.end()) {
            result.emplace_back(std::move(name), std::move(value));
        } else {
            it->second += ", ";
            it->second += value;
        }
    }
    return result;
}

std::optional<std::string> fieldValue(const HTTPURLResponse::HeaderFields& fields,
                                      std::string_view name) {
    const auto it = std::find_if(fields.begin(), fields.end(), [&](const auto& field) {
        return net_detail::headerNamesEqual(field.first, name);
    });
    if (it == fields.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<std::string> mimeTypeOf(const std::optional<std::string>& contentType) {
    if (!contentType) {
        return std::nullopt;
    }
    const std::string_view text = *contentType;
    const auto type = trimmed(text.substr(0, text.find(';')));
    if (type.empty()) {
        return std::nullopt;
    }
    return lowercased(type);
}

std::optional<std::string> charsetOf(const std::optional<std::string>& contentType) {
    if (!contentType) {
        return std::nullopt;
    }
    std::string_view rest = *contentType;
    while (true) {
        const auto semicolon = rest.find(';');
        if (semicolon == std::string_view::npos) {
            return std::nullopt;
        }
        rest.remove_prefix(semicolon + 1);
        const auto parameter = trimmed(rest.substr(0, rest.find(';')));
        const auto equals = parameter.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        if (lowercased(trimmed(parameter.substr(0, equals))) != "charset") {
            continue;
        }
        auto value = trimmed(parameter.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.empty()) {
            return std::nullopt;
        }
        return std::string(value);
    }
}

} // namespace

HTTPURLResponse::HTTPURLResponse(URL url, int statusCode, HeaderFields headerFields,
                                 std::int64_t expectedContentLength)
    : URLResponse(std::move(url), mimeTypeOf(fieldValue(headerFields, "Content-Type")),
                  expectedContentLength, charsetOf(fieldValue(headerFields, "Content-Type")))
    , statusCode_(statusCode)
    , headerFields_(merged(std::move(headerFields))) {}

std::optional<std::string> HTTPURLResponse::value(std::string_view headerField) const {
    return fieldValue(headerFields_, headerField);
}

} // namespace platform
