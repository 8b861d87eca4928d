#pragma once

#include "Mossbarrow/APIClientError.hpp"
#include "Mossbarrow/Endpoint.hpp"
#include "platform/foundation/JSONDecoder.hpp"
#include "platform/net/URLRequest.hpp"
#include "platform/net/URLResponse.hpp"
#include "platform/net/URLSession.hpp"
#include "platform/runtime/Actor.hpp"
#include "platform/runtime/Task.hpp"

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace mossbarrow {

// Sends one endpoint's request and decodes the JSON reply into the record the caller asks for.
// One call is one request: no retry, no cache of its own, no authentication. Several fetches can
// be in flight at once; each is independent.
//
// A client lives in a shared_ptr (make()), and it shares its session: each request holds the
// client and so the session until it ends, whoever else lets go of them meanwhile. An owner that
// must stop the traffic (the application on its way out) calls the session's
// invalidateAndCancel(): requests in flight then end as cancelled, later ones at once.
class APIClient final : public platform::Actor, public std::enable_shared_from_this<APIClient> {
public:
    // `baseURLOverride`, when given, replaces every endpoint's root address: tests point a
    // client at a loopback server with it; the application never sets it.
    APIClient(std::shared_ptr<platform::URLSession> session, platform::JSONDecoder decoder,
              std::optional<std::string> baseURLOverride = std::nullopt)
        : session_(std::move(session))
        , decoder_(decoder)
        , baseURLOverride_(std::move(baseURLOverride)) {}

    static std::shared_ptr<APIClient>
    make(std::shared_ptr<platform::URLSession> session = sharedSession(),
         std::optional<std::string> baseURLOverride = std::nullopt) {
        return std::make_shared<APIClient>(std::move(session), platform::JSONDecoder{},
                                           std::move(baseURLOverride));
    }

    // The process-wide session (URLSession::shared(), never destroyed) in the form a client
    // holds.
    static std::shared_ptr<platform::URLSession> sharedSession() {
        return {std::shared_ptr<void>(), &platform::URLSession::shared()};
    }

    [[nodiscard]] const std::shared_ptr<platform::URLSession>& session() const noexcept {
        return session_;
    }

    // Throws APIClientError (httpStatus outside 200...299, decoding, invalidURL,
    // invalidResponse) or the transport's URLError unchanged.
    template <class T>
    platform::Task<T> fetch(const Endpoint& endpoint) {
        // The request is formed here, on the caller's (main) actor, before anything suspends.
        std::optional<platform::URLRequest> request;
        std::exception_ptr failure;
        try {
            request.emplace(makeRequest(endpoint));
        } catch (...) {
            failure = std::current_exception();
        }
        // The request holds this client, and through it the session, until it ends.
        return perform<T>(shared_from_this(), std::move(request), failure);
    }

    // The request that fetch would send for `endpoint`.
    platform::URLRequest makeRequest(const Endpoint& endpoint) const;

private:
    template <class T>
    static platform::Task<T> perform(std::shared_ptr<const APIClient> self,
                                     std::optional<platform::URLRequest> request,
                                     std::exception_ptr failure) {
        if (failure) {
            std::rethrow_exception(failure);
        }
        co_await self->hop();
        auto [body, response] = co_await self->session_->data(*request);
        checkResponse(response.get());
        std::optional<T> value;
        try {
            // An empty body has no buffer at all; the decoder is given an empty text instead.
            const std::string_view text =
                body.empty()
                    ? std::string_view("")
                    : std::string_view(reinterpret_cast<const char*>(body.data()), body.size());
            value.emplace(self->decoder_.decode<T>(text));
        } catch (...) {
            throw APIClientError::decoding(std::current_exception());
        }
        co_return std::move(*value);
    }

    // Throws invalidResponse for a reply that is not HTTP, httpStatus for a status outside
    // 200...299 (whose body is not looked at).
    static void checkResponse(const platform::URLResponse* response);

    const std::shared_ptr<platform::URLSession> session_;
    const platform::JSONDecoder decoder_;
    const std::optional<std::string> baseURLOverride_;
};

} // namespace mossbarrow
