#include "LoopbackServer.hpp"
#include "platform/net/HTTPURLResponse.hpp"
#include "platform/net/URLError.hpp"
#include "platform/net/URLSession.hpp"
#include "platform/runtime/Runtime.hpp"

#include <arpa/inet.h>
#include <atomic>
#include <cmath>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace moss_test {
namespace {

using platform::HTTPURLResponse;
using platform::URLError;
using platform::URLRequest;
using platform::URLSession;
using DataResult = URLSession::DataResult;
using namespace std::chrono_literals;

URLRequest requestFor(const std::string& url, platform::TimeInterval timeout = 60) {
    const auto parsed = platform::URL::fromString(url);
    EXPECT_TRUE(parsed.has_value()) << url;
    URLRequest request(*parsed);
    request.setTimeoutInterval(timeout);
    return request;
}

DataResult load(URLSession& session, const URLRequest& request) {
    return platform::blockingWait(session.data(request));
}

// The URLError a load ends with; the test fails if it succeeds or throws something else.
URLError failureOf(URLSession& session, const URLRequest& request) {
    try {
        (void)load(session, request);
    } catch (const URLError& error) {
        return error;
    }
    ADD_FAILURE() << "the load of " << request.url().absoluteString() << " did not fail";
    return URLError(URLError::unknown);
}

std::string text(const platform::Data& data) {
    return platform::stringFromData(data);
}

TEST(URLSessionTest, ReportsStatusHeadersAndBodyOfAnyReply) {
    LoopbackServer server([](httplib::Server& s, LoopbackServer&) {
        s.Get("/status", [](const httplib::Request& request, httplib::Response& response) {
            response.status = 404;
            response.set_header("X-Echo", request.get_header_value("X-Request"));
            response.set_header("X-Multi", "1");
            response.set_header("X-Multi", "2");
            response.set_content("{\"a\":1}", "application/json; charset=utf-8");
        });
    });
    auto request = requestFor(server.url("/status"));
    request.setValue("sent", "X-Request");
    const auto [body, response] = load(URLSession::shared(), request);

    const auto http = std::dynamic_pointer_cast<HTTPURLResponse>(response);
    ASSERT_NE(http, nullptr);
    EXPECT_EQ(http->statusCode(), 404) << "an HTTP error status is a reply, not a failure";
    EXPECT_EQ(text(body), "{\"a\":1}");
    EXPECT_EQ(http->value("x-echo"), "sent") << "names compare without case";
    EXPECT_EQ(http->value("X-MULTI"), "1, 2");
    EXPECT_EQ(http->mimeType(), "application/json");
    EXPECT_EQ(http->textEncodingName(), "utf-8");
    EXPECT_EQ(http->expectedContentLength(), 7);
    EXPECT_EQ(http->url().absoluteString(), server.url("/status"));
}

TEST(URLSessionTest, AFollowedRedirectReportsOnlyTheFinalResponse) {
    LoopbackServer server([](httplib::Server& s, LoopbackServer&) {
        s.Get("/moved", [](const httplib::Request&, httplib::Response& response) {
            response.set_header("X-Hop", "redirect");
            response.set_header("Set-Cookie", "hop=1");
            response.set_redirect("/here", 302);
        });
        s.Get("/here", [](const httplib::Request&, httplib::Response& response) {
            response.set_header("X-Final", "yes");
            response.set_content("arrived", "text/plain");
        });
    });
    const auto [body, response] = load(URLSession::shared(), requestFor(server.url("/moved")));
    const auto http = std::dynamic_pointer_cast<HTTPURLResponse>(response);
    ASSERT_NE(http, nullptr);
    EXPECT_EQ(http->statusCode(), 200);
    EXPECT_EQ(text(body), "arrived");
    EXPECT_EQ(http->value("X-Final"), "yes");
    EXPECT_FALSE(http->value("X-Hop").has_value()) << "a field of the redirect itself";
    EXPECT_FALSE(http->value("Set-Cookie").has_value());
    EXPECT_FALSE(http->value("Location").has_value());
    EXPECT_EQ(http->url().absoluteString(), server.url("/here"));
}

TEST(URLSessionTest, MethodsAndBodiesReachTheServer) {
    LoopbackServer server([](httplib::Server& s, LoopbackServer&) {
        const auto echo = [](const httplib::Request& request, httplib::Response& response) {
            response.set_content(request.method + " [" + request.body + "]", "text/plain");
        };
        s.Get("/echo", echo);
        s.Post("/echo", echo);
        s.Delete("/echo", echo);
        s.Put("/echo", echo);
    });
    auto& session = URLSession::shared();
    auto post = requestFor(server.url("/echo"));
    post.setHTTPMethod("POST");
    post.setHTTPBody(platform::dataFromString("a=1&b=2"));
    post.setValue("application/x-www-form-urlencoded", "Content-Type");
    EXPECT_EQ(text(load(session, post).first), "POST [a=1&b=2]");

    auto put = requestFor(server.url("/echo"));
    put.setHTTPMethod("PUT");
    put.setHTTPBody(platform::dataFromString("{}"));
    EXPECT_EQ(text(load(session, put).first), "PUT [{}]");

    auto remove = requestFor(server.url("/echo"));
    remove.setHTTPMethod("DELETE");
    EXPECT_EQ(text(load(session, remove).first), "DELETE []");

    // A GET never carries the body it may have been given; an empty method is a GET.
    auto get = requestFor(server.url("/echo"));
    get.setHTTPMethod("");
    get.setHTTPBody(platform::dataFromString("ignored"));
    EXPECT_EQ(text(load(session, get).first), "GET []");
}

// Accepts one connection on loopback, keeps the request head exactly as it arrived and answers
// with an empty 200. cpp-httplib drops request fields whose value is empty, so it cannot show
// whether one was sent.
class RawRequestRecorder {
public:
    RawRequestRecorder() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        socklen_t length = sizeof address;
        EXPECT_EQ(::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length), 0);
        port_ = ntohs(address.sin_port);
        EXPECT_EQ(::listen(listener_, 1), 0);
        thread_ = std::thread([this] { serveOne(); });
    }
    ~RawRequestRecorder() {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    RawRequestRecorder(const RawRequestRecorder&) = delete;
    RawRequestRecorder& operator=(const RawRequestRecorder&) = delete;

    [[nodiscard]] std::string url() const {
        return "http://127.0.0.1:" + std::to_string(port_) + "/raw";
    }
    // The request head; valid once the load has completed.
    [[nodiscard]] const std::string& head() const { return head_; }

private:
    void serveOne() {
        const int connection = ::accept(listener_, nullptr, nullptr);
        if (connection < 0) {
            return;
        }
        char buffer[4096];
        while (head_.find("\r\n\r\n") == std::string::npos && head_.size() < 65536) {
            const auto got = ::recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0) {
                break;
            }
            head_.append(buffer, static_cast<std::size_t>(got));
        }
        const std::string reply =
            "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        (void)::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
        ::close(connection);
    }

    int listener_ = -1;
    int port_ = 0;
    std::string head_;
    std::thread thread_;
};

TEST(URLSessionTest, RequestFieldsReachTheServerEvenWhenEmpty) {
    RawRequestRecorder recorder;
    auto request = requestFor(recorder.url());
    request.setValue("", "X-Empty");
    request.setValue("v", "X-Full");
    (void)load(URLSession::shared(), request);
    EXPECT_NE(recorder.head().find("\r\nX-Empty:\r\n"), std::string::npos) << recorder.head();
    EXPECT_NE(recorder.head().find("\r\nX-Full: v\r\n"), std::string::npos) << recorder.head();
}

TEST(URLSessionTest, ATimeoutThatIsNotAPositiveNumberMeansTheDefault) {
    LoopbackServer server([](httplib::Server& s, LoopbackServer&) {
        s.Get("/slow", [](const httplib::Request&, httplib::Response& response) {
            // Quiet for longer than any timeout a zero could turn into.
            std::this_thread::sleep_for(2500ms);
            response.set_content("in time", "text/plain");
        });
    });
    auto& session = URLSession::shared();
    std::vector<platform::Task<DataResult>> tasks;
    // And one far too long to count in milliseconds is simply very long.
    for (const double timeout : {0.0, -1.0, std::nan(""), 1e300}) {
        const auto request = requestFor(server.url("/slow"), timeout);
        tasks.push_back(platform::Task<DataResult>::detached(
            [&session, request]() -> platform::Task<DataResult> {
                co_return co_await session.data(request);
            }));
    }
    for (auto& task : tasks) {
        EXPECT_EQ(text(platform::blockingWait(task.value()).first), "in time");
    }
}

TEST(URLSessionTest, OverlongOrTooManyHeaderFieldsAreABadServerResponse) {
    LoopbackServer server([](httplib::Server& s, LoopbackServer&) {
        s.Get("/long-field", [](const httplib::Request&, httplib::Response& response) {
            response.set_header("X-Long", std::string(110 * 1024, 'a'));
            response.set_content("{}", "application/json");
        });
        s.Get("/many-fields", [](const httplib::Request&, httplib::Response& response) {
            for (int i = 0; i < 5000; ++i) {
                response.set_header("X-Field-" + std::to_string(i), std::string(80, 'b'));
            }
            response.set_content("{}", "application/json");
        });
        // Redirects whose heads are each well within bounds, but not all together.
        s.Get(R"(/hop/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
            for (int i = 0; i < 20; ++i) {
                response.set_header("X-Field-" + std::to_string(i), std::string(5000, 'c'));
            }
            const int hop = std::stoi(request.matches[1]);
            if (hop < 4) {
                response.set_redirect("/hop/" + std::to_string(hop + 1));
            } else {
                response.set_content("{}", "application/json");
            }
        });
    });
    for (const char* path : {"/long-field", "/many-fields", "/hop/0"}) {
        const auto error = failureOf(URLSession::shared(), requestFor(server.url(path)));
        EXPECT_EQ(error.code(), URLError::badServerResponse) << path << error.underlyingDetail();
        EXPECT_EQ(error.localizedDescription(), "bad server response") << path;
    }
}

TEST(URLSessionTest, ARedirectStatusWithoutALocationIsAReply) {
    LoopbackServer server([](httplib::Server& s, LoopbackServer&) {
        s.Get("/choices", [](const httplib::Request&, httplib::Response& response) {
            response.status = 300;
            response.set_content("pick one", "text/plain");
        });
    });
    const auto [body, response] = load(URLSession::shared(), requestFor(server.url("/choices")));
    const auto http = std::dynamic_pointer_cast<HTTPURLResponse>(response);
    ASSERT_NE(http, nullptr);
    EXPECT_EQ(http->statusCode(), 300);
    EXPECT_EQ(text(body), "pick one");
}

TEST(URLSessionTest, ManyRequestsAreInFlightAtOnce) {
    constexpr int count = 8; // within cpp-httplib's smallest worker pool
    std::mutex mutex;
    std::condition_variable allArrived;
    int arrived = 0;
    std::atomic<int> sawAllTogether{0};
    LoopbackServer server([&](httplib::Server& s, LoopbackServer&) {
        s.Get(R"(/together/(\d+))",
              [&](const httplib::Request& request, httplib::Response& response) {
                  std::unique_lock lock(mutex);
                  ++arrived;
                  allArrived.notify_all();
                  // Every handler waits for all the others: this only completes if the client
                  // really has all requests open at the same time.
                  if (allArrived.wait_for(lock, 10s, [&] { return arrived >= count; })) {
                      ++sawAllTogether;
                  }
                  response.set_content("reply " + std::string(request.matches[1]), "text/plain");
              });
    });

    auto& session = URLSession::shared();
    std::vector<platform::Task<DataResult>> tasks;
    for (int i = 0; i < count; ++i) {
        const auto request = requestFor(server.url("/together/" + std::to_string(i)));
        tasks.push_back(platform::Task<DataResult>::detached(
            [&session, request]() -> platform::Task<DataResult> {
                co_return co_await session.data(request);
            }));
    }
    for (int i = 0; i < count; ++i) {
        const auto [body, response] = platform::blockingWait(tasks[i].value());
        EXPECT_EQ(text(body), "reply " + std::to_string(i));
    }
    EXPECT_EQ(sawAllTogether.load(), count);
}

TEST(URLSessionTest, TimeoutIsForSilenceNotForTheWholeTransfer) {
    LoopbackServer server([](httplib::Server& s, LoopbackServer& self) {
        s.Get("/silent", [&self](const httplib::Request&, httplib::Response& response) {
            self.holdUntilReleased();
            response.set_content("late", "text/plain");
        });
        s.Get("/trickle", [](const httplib::Request&, httplib::Response& response) {
            // Fifteen bytes, one every 200 ms: longer in total than the timeout, never idle for
            // anywhere near it, even on a loaded machine.
            response.set_chunked_content_provider("text/plain",
                                                  [](std::size_t offset, httplib::DataSink& sink) {
                                                      if (offset >= 15) {
                                                          sink.done();
                                                          return true;
                                                      }
                                                      std::this_thread::sleep_for(200ms);
                                                      return sink.write("x", 1);
                                                  });
        });
    });
    auto& session = URLSession::shared();
    const auto error = failureOf(session, requestFor(server.url("/silent"), 1.0));
    EXPECT_EQ(error.code(), URLError::timedOut);
    EXPECT_EQ(error.localizedDescription(), "The request timed out.");
    EXPECT_EQ(error.failingURL(), platform::URL::fromString(server.url("/silent")));

    // Uncompressed, so that each byte leaves the server as it is written.
    auto trickle = requestFor(server.url("/trickle"), 2.0);
    trickle.setValue("identity", "Accept-Encoding");
    const auto [body, response] = load(session, trickle);
    EXPECT_EQ(text(body), std::string(15, 'x'));
    EXPECT_EQ(response->expectedContentLength(), -1) << "a chunked reply declares no length";
}

TEST(URLSessionTest, TransportFailuresCarryThePlatformCodesAndTexts) {
    // A port nobody listens on: bind one, note it, close it.
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(probe, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int freePort = ntohs(address.sin_port);
    ::close(probe);

    auto& session = URLSession::shared();
    const auto refused =
        failureOf(session, requestFor("http://127.0.0.1:" + std::to_string(freePort) + "/", 5));
    EXPECT_EQ(refused.code(), URLError::cannotConnectToHost);
    EXPECT_EQ(refused.localizedDescription(), "Could not connect to the server.");

    const auto unknownHost = failureOf(session, requestFor("http://catalogue.invalid/", 10));
    EXPECT_EQ(unknownHost.code(), URLError::cannotFindHost);
    EXPECT_EQ(unknownHost.localizedDescription(),
              "A server with the specified hostname could not be found.");

    EXPECT_EQ(failureOf(session, requestFor("ftp://127.0.0.1/file")).code(),
              URLError::unsupportedURL);
}

TEST(URLSessionTest, RepliesOverTheSizeCapFailWithoutBeingHeld) {
    constexpr std::size_t cap = 64 * 1024;
    LoopbackServer server([](httplib::Server& s, LoopbackServer&) {
        s.Get("/exact", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string(cap, 'a'), "text/plain");
        });
        s.Get("/declared", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string(4 * cap, 'a'), "text/plain");
        });
        s.Get("/undeclared", [](const httplib::Request&, httplib::Response& response) {
            response.set_chunked_content_provider("text/plain",
                                                  [](std::size_t offset, httplib::DataSink& sink) {
                                                      if (offset >= 4 * cap) {
                                                          sink.done();
                                                          return true;
                                                      }
                                                      const std::string block(4096, 'b');
                                                      return sink.write(block.data(), block.size());
                                                  });
        });
        s.Get("/to-file", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("file:///etc/hostname");
        });
    });
    URLSession session(platform::URLSessionConfiguration{.maximumResponseBytes = cap});
    EXPECT_EQ(load(session, requestFor(server.url("/exact"))).first.size(), cap);
    for (const char* path : {"/declared", "/undeclared"}) {
        const auto error = failureOf(session, requestFor(server.url(path)));
        EXPECT_EQ(error.code(), URLError::dataLengthExceedsMaximum) << path;
        EXPECT_EQ(error.localizedDescription(), "resource exceeds maximum size");
    }
    // A server may not send the client to a local file.
    EXPECT_EQ(failureOf(session, requestFor(server.url("/to-file"))).code(),
              URLError::unsupportedURL);
}

TEST(URLSessionTest, CancellingTheAwaitingTaskAbortsTheTransfer) {
    std::atomic<bool> requested{false};
    LoopbackServer server([&](httplib::Server& s, LoopbackServer& self) {
        s.Get("/silent", [&](const httplib::Request&, httplib::Response& response) {
            requested = true;
            self.holdUntilReleased();
            response.set_content("late", "text/plain");
        });
    });
    auto& session = URLSession::shared();
    const auto request = requestFor(server.url("/silent"));
    auto task =
        platform::Task<DataResult>::detached([&session, request]() -> platform::Task<DataResult> {
            co_return co_await session.data(request);
        });
    for (int i = 0; i < 1000 && !requested; ++i) {
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(requested.load());
    task.cancel();
    try {
        (void)platform::blockingWait(task.value());
        FAIL() << "a cancelled load returned";
    } catch (const URLError& error) {
        EXPECT_EQ(error.code(), URLError::cancelled);
        EXPECT_EQ(error.localizedDescription(), "cancelled");
    }
    for (int i = 0; i < 1000 && session.activeTransferCount() != 0; ++i) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(session.activeTransferCount(), 0u);
}

// An owner on its way out stops the traffic of a session that others still hold: the transfer
// in flight ends as cancelled without its reply, a later request ends so at once without
// reaching the server, and the session stays usable as an object until its last holder lets go.
TEST(URLSessionTest, InvalidatingEndsTransfersInFlightAndLaterOnesAtOnce) {
    std::atomic<int> requests{0};
    LoopbackServer server([&](httplib::Server& s, LoopbackServer& self) {
        s.Get("/silent", [&](const httplib::Request&, httplib::Response& response) {
            ++requests;
            self.holdUntilReleased(std::chrono::seconds(600));
            response.set_content("late", "text/plain");
        });
    });
    auto session = std::make_shared<URLSession>();
    const auto request = requestFor(server.url("/silent"));
    auto inFlight =
        platform::Task<DataResult>::detached([session, request]() -> platform::Task<DataResult> {
            co_return co_await session->data(request);
        });
    // Until the server has the request; the limit only ends a hang.
    const auto giveUp = std::chrono::steady_clock::now() + 120s;
    while (requests == 0 && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(requests, 1);
    session->invalidateAndCancel();
    try {
        (void)platform::blockingWait(inFlight.value());
        FAIL() << "a load of an invalidated session returned";
    } catch (const URLError& error) {
        EXPECT_EQ(error.code(), URLError::cancelled);
    }
    EXPECT_EQ(session->activeTransferCount(), 0u);
    EXPECT_EQ(failureOf(*session, request).code(), URLError::cancelled);
    EXPECT_EQ(requests, 1);
    session->invalidateAndCancel(); // twice is harmless, and so is the destructor after it
}

TEST(URLSessionTest, FileURLsGiveAPlainResponse) {
    char pattern[] = "/tmp/moss-net-XXXXXX";
    const int fd = ::mkstemp(pattern);
    ASSERT_GE(fd, 0);
    ::close(fd);
    std::ofstream(pattern) << "local bytes";

    auto& session = URLSession::shared();
    const auto [body, response] = load(session, requestFor(std::string("file://") + pattern));
    EXPECT_EQ(text(body), "local bytes");
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(std::dynamic_pointer_cast<HTTPURLResponse>(response), nullptr)
        << "not an HTTP reply, so callers can reject it";
    ::unlink(pattern);

    EXPECT_EQ(failureOf(session, requestFor(std::string("file://") + pattern)).code(),
              URLError::fileDoesNotExist);
}

TEST(URLSessionTest, DataURLsCarryTheirOwnBytes) {
    auto& session = URLSession::shared();
    // Base64, with white space and without padding; the fragment is no part of the bytes.
    auto [bytes, response] =
        load(session, requestFor("data:Image/PNG;name=x;BASE64,aGVs%20bG8g%0Ad29y%09bGQ#part"));
    EXPECT_EQ(text(bytes), "hello world");
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(std::dynamic_pointer_cast<HTTPURLResponse>(response), nullptr);
    EXPECT_EQ(response->mimeType(), "image/png");
    EXPECT_EQ(response->expectedContentLength(), 11);

    // Percent-encoded bytes, any of them.
    std::tie(bytes, response) = load(session, requestFor("data:,a%2Cb%00%FF?c"));
    EXPECT_EQ(bytes, (platform::Data{'a', ',', 'b', 0x00, 0xff, '?', 'c'}));
    EXPECT_EQ(response->mimeType(), "text/plain");
    EXPECT_EQ(response->textEncodingName(), "US-ASCII");
    std::tie(bytes, response) = load(session, requestFor("data:text/html;charset=utf-8,%3Cp%3E"));
    EXPECT_EQ(text(bytes), "<p>");
    EXPECT_EQ(response->textEncodingName(), "utf-8");
    EXPECT_TRUE(load(session, requestFor("data:,")).first.empty());
}

TEST(URLSessionTest, BadDataURLsFailClearly) {
    auto& session = URLSession::shared();
    for (const char* address : {"data:text/plain;base64", "data:;base64,aGVsbG8*",
                                "data:;base64,aGVsb", "data:;base64,a===", "data:;base64,=aGVs"}) {
        const URLError error = failureOf(session, requestFor(address));
        EXPECT_EQ(error.code(), URLError::badURL) << address;
        EXPECT_NE(error.underlyingDetail().find("data:"), std::string::npos) << address;
    }
}

TEST(URLSessionTest, DataURLsAreHeldToTheSizeCap) {
    URLSession session(platform::URLSessionConfiguration{4});
    EXPECT_EQ(load(session, requestFor("data:,abcd")).first.size(), 4U);
    EXPECT_EQ(load(session, requestFor("data:;base64,YWJjZA==")).first.size(), 4U);
    EXPECT_EQ(failureOf(session, requestFor("data:,abcde")).code(),
              URLError::dataLengthExceedsMaximum);
    EXPECT_EQ(failureOf(session, requestFor("data:;base64,YWJjZGU=")).code(),
              URLError::dataLengthExceedsMaximum);
    EXPECT_EQ(failureOf(session, requestFor("data:,%61%62%63%64%65")).code(),
              URLError::dataLengthExceedsMaximum);
}

} // namespace
} // namespace moss_test
