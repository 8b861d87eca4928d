#pragma once

#include "platform/foundation/Error.hpp"

#include <cstdint>
#include <exception>
#include <string>

namespace mossbarrow {

// The client's own failures. The error carries no text of its own: what a person sees is the
// platform's generic description, naming the type and the case's ordinal.
class APIClientError final : public platform::Error {
public:
    // Ordinals 0 to 3, in this order.
    enum class Case : std::uint8_t { httpStatus, decoding, invalidURL, invalidResponse };

    // The reply's status was outside 200...299.
    static APIClientError httpStatus(std::int64_t statusCode) {
        return APIClientError(Case::httpStatus, statusCode, nullptr);
    }
    // The body did not decode into the requested record; keeps the decoder's error.
    static APIClientError decoding(std::exception_ptr decoderError) {
        return APIClientError(Case::decoding, 0, std::move(decoderError));
    }
    static APIClientError invalidURL() { return APIClientError(Case::invalidURL, 0, nullptr); }
    static APIClientError invalidResponse() {
        return APIClientError(Case::invalidResponse, 0, nullptr);
    }

    Case errorCase() const { return case_; }
    // The status code of an httpStatus error (0 for the other cases).
    std::int64_t statusCode() const { return statusCode_; }
    // The decoder's error of a decoding error (empty for the other cases).
    const std::exception_ptr& underlyingError() const { return underlying_; }

    // "The operation couldn’t be completed. (Mossbarrow.APIClientError error N.)"
    std::string localizedDescription() const override;

private:
    APIClientError(Case errorCase, std::int64_t statusCode, std::exception_ptr underlying)
        : case_(errorCase)
        , statusCode_(statusCode)
        , underlying_(std::move(underlying)) {}

    Case case_;
    std::int64_t statusCode_;
    std::exception_ptr underlying_;
};

} // namespace mossbarrow
