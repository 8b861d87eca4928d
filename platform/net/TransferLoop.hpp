#pragma once

// Private to platform/net: the libcurl engine behind URLSession. One thread drives one curl multi
// handle; callers hand it transfers from any thread and get their results back through a
// completion callback that runs on the loop's thread.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace platform::net_detail {

class TransferLoopCore;

struct TransferRequest {
    std::string url;
    std::string method = "GET";
    std::vector<std::pair<std::string, std::string>> headers;
    std::optional<std::vector<std::uint8_t>> body;
    // The transfer fails when no byte moves for this long (and connecting takes no longer).
    std::chrono::milliseconds idleTimeout{60'000};
    std::size_t maximumResponseBytes = 64u << 20u;
};

// Why a transfer failed, before it is given the platform's error codes.
enum class TransferFailure {
    none,
    cancelled,
    timedOut,
    cannotFindHost,
    cannotConnectToHost,
    notConnectedToInternet,
    networkConnectionLost,
    badURL,
    unsupportedURL,
    tooManyRedirects,
    secureConnectionFailed,
    serverCertificateUntrusted,
    badServerResponse,
    responseTooLarge,
    fileDoesNotExist,
    noPermissionsToReadFile,
    unknown,
};

struct TransferResult {
    TransferFailure failure = TransferFailure::none;
    std::string detail; // libcurl's own words, for diagnostics
    bool isHTTP = false;
    long statusCode = 0;
    std::string effectiveURL;
    std::vector<std::pair<std::string, std::string>> headers; // of the final response, in order
    std::int64_t expectedContentLength = -1;
    std::vector<std::uint8_t> body;
};

// Shared between the submitter and the loop, so that a cancel request that arrives before the loop
// has even seen the transfer is not lost.
class TransferHandle {
    struct PassKey {};

public:
    TransferHandle(PassKey, std::weak_ptr<TransferLoopCore> loop)
        : loop_(std::move(loop)) {}
    void cancel();
    bool isCancelled() const { return cancelled_.load(std::memory_order_acquire); }

private:
    friend class TransferLoop;
    std::atomic<bool> cancelled_{false};
    std::weak_ptr<TransferLoopCore> loop_;
};

class TransferLoop {
public:
    TransferLoop();
    ~TransferLoop();
    TransferLoop(const TransferLoop&) = delete;
    TransferLoop& operator=(const TransferLoop&) = delete;

    using Completion = std::function<void(TransferResult)>;

    // Creates the handle first so that the caller can wire up cancellation before the transfer
    // starts; start() then queues it. The completion runs exactly once, on the loop's thread (or
    // on the caller's if the loop is already gone).
    std::shared_ptr<TransferHandle> makeHandle() const;
    void start(const std::shared_ptr<TransferHandle>& handle, TransferRequest request,
               Completion completion);

    std::size_t activeTransferCount() const;

    // Ends every transfer (as cancelled) and stops the thread; later transfers end as cancelled
    // at once. Also done by the destructor.
    void shutdown();

private:
    std::shared_ptr<TransferLoopCore> core_;
    std::thread thread_;
};

} // namespace platform::net_detail
