#include "platform/net/URLSession.hpp"

#include "platform/foundation/ASCII.hpp"
#include "platform/net/DataURL.hpp"
#include "platform/net/HTTPURLResponse.hpp"
#include "platform/net/TransferLoop.hpp"
#include "platform/net/URLError.hpp"
#include "platform/runtime/Cancellation.hpp"
#include "platform/runtime/Continuation.hpp"
#include "platform/runtime/NoDestroy.hpp"

#include <chrono>
#include <cmath>

namespace platform {

namespace {

using net_detail::TransferFailure;
using net_detail::TransferResult;

URLError::Code codeFor(TransferFailure failure) {
    switch (failure) {
    case TransferFailure::none:
    case TransferFailure::unknown:
        return URLError::unknown;
    case TransferFailure::cancelled:
        return URLError::cancelled;
    case TransferFailure::timedOut:
        return URLError::timedOut;
    case TransferFailure::cannotFindHost:
        return URLError::cannotFindHost;
    case TransferFailure::cannotConnectToHost:
        return URLError::cannotConnectToHost;
    case TransferFailure::notConnectedToInternet:
        return URLError::notConnectedToInternet;
    case TransferFailure::networkConnectionLost:
        return URLError::networkConnectionLost;
    case TransferFailure::badURL:
        return URLError::badURL;
    case TransferFailure::unsupportedURL:
        return URLError::unsupportedURL;
    case TransferFailure::tooManyRedirects:
        return URLError::httpTooManyRedirects;
    case TransferFailure::secureConnectionFailed:
        return URLError::secureConnectionFailed;
    case TransferFailure::serverCertificateUntrusted:
        return URLError::serverCertificateUntrusted;
    case TransferFailure::badServerResponse:
        return URLError::badServerResponse;
    case TransferFailure::responseTooLarge:
        return URLError::dataLengthExceedsMaximum;
    case TransferFailure::fileDoesNotExist:
        return URLError::fileDoesNotExist;
    case TransferFailure::noPermissionsToReadFile:
        return URLError::noPermissionsToReadFile;
    }
    return URLError::unknown;
}

std::chrono::milliseconds idleTimeout(TimeInterval seconds) {
    // A timeout that is not a positive number means the default, as for a fresh request.
    if (!std::isfinite(seconds) || seconds <= 0) {
        seconds = 60.0;
    }
    constexpr double longest = 365.0 * 24 * 3600; // keeps the millisecond count in range
    return std::chrono::milliseconds(
        static_cast<std::int64_t>(std::ceil(std::min(seconds, longest) * 1000.0)));
}

net_detail::TransferRequest transferFor(const URLRequest& request, std::size_t maximumBytes) {
    net_detail::TransferRequest transfer;
    transfer.url = request.url().absoluteString();
    transfer.method = request.httpMethod();
    transfer.headers = request.allHTTPHeaderFields();
    transfer.body = request.httpBody();
    transfer.idleTimeout = idleTimeout(request.timeoutInterval());
    transfer.maximumResponseBytes = maximumBytes;
    return transfer;
}

std::shared_ptr<URLResponse> responseFor(TransferResult& result, const URL& requested) {
    const auto url = URL::fromString(result.effectiveURL).value_or(requested);
    if (result.isHTTP) {
        return std::make_shared<HTTPURLResponse>(url, static_cast<int>(result.statusCode),
                                                 std::move(result.headers),
                                                 result.expectedContentLength);
    }
    return std::make_shared<URLResponse>(url, std::nullopt, result.expectedContentLength,
                                         std::nullopt);
}

bool isSupportedScheme(const URL& url) {
    const std::string scheme = url.scheme();
    return ascii::equalsIgnoringCase(scheme, "http") ||
           ascii::equalsIgnoringCase(scheme, "https") || ascii::equalsIgnoringCase(scheme, "file");
}

} // namespace

URLSession::URLSession(URLSessionConfiguration configuration)
    : configuration_(configuration)
    , loop_(std::make_shared<net_detail::TransferLoop>()) {}

URLSession::~URLSession() {
    loop_->shutdown();
}

void URLSession::invalidateAndCancel() {
    loop_->shutdown();
}

URLSession& URLSession::shared() {
    static detail::NoDestroy<URLSession> session;
    return session.get();
}

std::size_t URLSession::activeTransferCount() const {
    return loop_->activeTransferCount();
}

Task<URLSession::DataResult> URLSession::data(const URLRequest& request) {
    // The coroutine takes its own copy: the caller's request may be gone before it first runs.
    return perform(loop_, request, configuration_.maximumResponseBytes);
}

Task<URLSession::DataResult> URLSession::perform(std::shared_ptr<net_detail::TransferLoop> loop,
                                                 URLRequest request,
                                                 std::size_t maximumResponseBytes) {
    if (Task<>::isCancelled()) {
        throw URLError(URLError::cancelled, request.url());
    }
    if (isDataURL(request.url())) {
        // The address carries its bytes: nothing to transfer, the same cap on what is held.
        co_return decodeDataURL(request.url(), maximumResponseBytes);
    }
    if (!isSupportedScheme(request.url())) {
        // Also keeps libcurl from guessing a scheme for a relative reference.
        throw URLError(URLError::unsupportedURL, request.url());
    }
    const auto handle = loop->makeHandle();
    auto transfer = transferFor(request, maximumResponseBytes);
    const URL requested = request.url();

    auto operation = [&]() -> Task<DataResult> {
        co_return co_await withCheckedThrowingContinuation<DataResult>(
            [&](Continuation<DataResult> continuation) {
                loop->start(
                    handle, std::move(transfer), [continuation, requested](TransferResult result) {
                        if (result.failure != TransferFailure::none) {
                            continuation.resume(std::make_exception_ptr(URLError(
                                codeFor(result.failure), requested, std::move(result.detail))));
                            return;
                        }
                        auto response = responseFor(result, requested);
                        continuation.resume(
                            DataResult(std::move(result.body), std::move(response)));
                    });
            });
    };
    auto onCancel = [handle] { handle->cancel(); };
    co_return co_await withTaskCancellationHandler(operation, onCancel);
}

} // namespace platform
