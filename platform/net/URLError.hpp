#pragma once

#include "platform/foundation/Error.hpp"
#include "platform/foundation/URL.hpp"

#include <optional>
#include <string>

namespace platform {

// A transfer that did not produce a reply. The codes and texts are the ones users of this API
// know from other platforms, so messages read the same everywhere.
class URLError final : public Error {
public:
    enum Code : int {
        unknown = -1,
        cancelled = -999,
        badURL = -1000,
        timedOut = -1001,
        unsupportedURL = -1002,
        cannotFindHost = -1003,
        cannotConnectToHost = -1004,
        networkConnectionLost = -1005,
        httpTooManyRedirects = -1007,
        notConnectedToInternet = -1009,
        badServerResponse = -1011,
        cannotDecodeContentData = -1016,
        fileDoesNotExist = -1100,
        noPermissionsToReadFile = -1102,
        dataLengthExceedsMaximum = -1103,
        secureConnectionFailed = -1200,
        serverCertificateUntrusted = -1202,
    };

    explicit URLError(Code code, std::optional<URL> failingURL = std::nullopt,
                      std::string underlyingDetail = {});

    [[nodiscard]] Code code() const { return code_; }
    [[nodiscard]] const std::optional<URL>& failingURL() const { return failingURL_; }
    // The transport library's own words, for logs; never shown to a person.
    [[nodiscard]] const std::string& underlyingDetail() const { return detail_; }

    // "The request timed out.", "Could not connect to the server.", ...
    [[nodiscard]] std::string localizedDescription() const override;

    [[nodiscard]] static std::string description(Code code);

private:
    Code code_;
    std::optional<URL> failingURL_;
    std::string detail_;
};

} // namespace platform
