#include "platform/net/URLError.hpp"

#include <utility>

namespace platform {

URLError::URLError(Code code, std::optional<URL> failingURL, std::string underlyingDetail)
    : code_(code)
    , failingURL_(std::move(failingURL))
    , detail_(std::move(underlyingDetail)) {}

std::string URLError::localizedDescription() const {
    return description(code_);
}

std::string URLError::description(Code code) {
    switch (code) {
    case cancelled:
        return "cancelled";
    case badURL:
        return "bad URL";
    case timedOut:
        return "The request timed out.";
    case unsupportedURL:
        return "unsupported URL";
    case cannotFindHost:
        return "A server with the specified hostname could not be found.";
    case cannotConnectToHost:
        return "Could not connect to the server.";
    case networkConnectionLost:
        return "The network connection was lost.";
    case httpTooManyRedirects:
        return "too many HTTP redirects";
    case notConnectedToInternet:
        return "The Internet connection appears to be offline.";
    case badServerResponse:
        return "bad server response";
    case cannotDecodeContentData:
        return "cannot decode raw data";
    case fileDoesNotExist:
        return "The requested URL was not found on this server.";
    case noPermissionsToReadFile:
        return "The file couldn’t be opened because you don’t have permission to view it.";
    case dataLengthExceedsMaximum:
        return "resource exceeds maximum size";
    case secureConnectionFailed:
        return "An SSL error has occurred and a secure connection to the server cannot be made.";
    case serverCertificateUntrusted:
        return "The certificate for this server is invalid.";
    case unknown:
        break;
    }
    return "An unknown error occurred.";
}

} // namespace platform
