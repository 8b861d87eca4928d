// The libcurl engine itself, where URLSession hides what is checked: how much memory a reply's
// body buffer takes on its way to the cap.

#include "LoopbackServer.hpp"
#include "platform/net/TransferLoop.hpp"

#include <future>

namespace moss_test {
namespace {

using platform::net_detail::TransferFailure;
using platform::net_detail::TransferLoop;
using platform::net_detail::TransferRequest;
using platform::net_detail::TransferResult;

TransferResult transfer(TransferLoop& loop, TransferRequest request) {
    std::promise<TransferResult> promise;
    auto future = promise.get_future();
    loop.start(loop.makeHandle(), std::move(request),
               [&promise](TransferResult result) { promise.set_value(std::move(result)); });
    return future.get();
}

TEST(TransferLoopTest, TheBodyBufferNeverGrowsPastTheCap) {
    // Not a power of two, and sent in blocks of unknown total length: a buffer that doubled as
    // blocks arrived would reach 128 000 bytes before the last one.
    constexpr std::size_t cap = 100'000;
    LoopbackServer server([](httplib::Server& s, LoopbackServer&) {
        s.Get("/streamed", [](const httplib::Request&, httplib::Response& response) {
            response.set_chunked_content_provider(
                "text/plain", [](std::size_t offset, httplib::DataSink& sink) {
                    if (offset >= cap) {
                        sink.done();
                        return true;
                    }
                    const std::string block(std::min<std::size_t>(4000, cap - offset), 'c');
                    return sink.write(block.data(), block.size());
                });
        });
    });
    TransferLoop loop;
    TransferRequest request;
    request.url = server.url("/streamed");
    request.headers = {{"Accept-Encoding", "identity"}};
    request.maximumResponseBytes = cap;
    const auto result = transfer(loop, request);
    EXPECT_EQ(result.failure, TransferFailure::none) << result.detail;
    EXPECT_EQ(result.body.size(), cap);
    EXPECT_LE(result.body.capacity(), cap);
}

} // namespace
} // namespace moss_test
