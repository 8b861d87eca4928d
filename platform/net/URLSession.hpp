#pragma once

#include "platform/foundation/Data.hpp"
#include "platform/net/URLRequest.hpp"
#include "platform/net/URLResponse.hpp"
#include "platform/runtime/Task.hpp"

#include <cstddef>
#include <memory>
#include <utility>

namespace platform {

namespace net_detail {
class TransferLoop;
}

struct URLSessionConfiguration {
    // A reply larger than this fails with URLError::dataLengthExceedsMaximum: a misbehaving
    // server can never make the program hold unbounded memory.
    std::size_t maximumResponseBytes = std::size_t{64} << 20u;
};

// Loads resources over HTTP(S) (and file: URLs) through libcurl; data: URLs are decoded in place.
// Any number of requests may be in flight at once; one thread per session drives them all.
//
// TLS peers are always verified. Redirects are followed (at most 16, never to a file: URL).
class URLSession {
public:
    explicit URLSession(URLSessionConfiguration configuration = {});
    // Transfers still in flight end with URLError::cancelled.
    ~URLSession();
    URLSession(const URLSession&) = delete;
    URLSession& operator=(const URLSession&) = delete;

    // The process-wide session, created on first use and never destroyed.
    [[nodiscard]] static URLSession& shared();

    using DataResult = std::pair<Data, std::shared_ptr<URLResponse>>;

    // Loads the request and returns the body with the response: an HTTPURLResponse for http and
    // https, a plain URLResponse for file: and data:. Any HTTP status counts as a reply; only a
    // transfer that fails throws URLError. The awaiting task resumes on its own executor.
    // Cancelling it aborts the transfer and throws URLError::cancelled.
    //
    // The request is copied; the session must outlive the returned task.
    [[nodiscard]] Task<DataResult> data(const URLRequest& request);

    // Ends every transfer in flight with URLError::cancelled, without waiting for any reply, and
    // makes every later request end so at once. The session itself stays valid for whoever still
    // holds it (a request on its way to data()), so an owner can stop the traffic before the last
    // user lets go. The destructor does the same.
    void invalidateAndCancel();

    [[nodiscard]] const URLSessionConfiguration& configuration() const { return configuration_; }

    // Transfers currently handed to libcurl (for tests and diagnostics).
    [[nodiscard]] std::size_t activeTransferCount() const;

private:
    static Task<DataResult> perform(std::shared_ptr<net_detail::TransferLoop> loop,
                                    URLRequest request, std::size_t maximumResponseBytes);

    URLSessionConfiguration configuration_;
    std::shared_ptr<net_detail::TransferLoop> loop_;
};

} // namespace platform
