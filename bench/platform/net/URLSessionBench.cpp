// One GET over loopback, from the awaiting task's start to its resumption with the body.

#include "platform/net/URLSession.hpp"
#include "platform/runtime/Runtime.hpp"

#include <benchmark/benchmark.h>
#include <httplib.h>
#include <thread>

namespace {

class Server {
public:
    explicit Server(std::size_t replyBytes) {
        server_.Get("/reply", [replyBytes](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string(replyBytes, 'x'), "application/octet-stream");
        });
        // Without it the server's separate header and body writes meet the client's delayed
        // acknowledgement, and small replies measure a TCP timer instead of the client.
        server_.set_tcp_nodelay(true);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) {
            std::this_thread::yield();
        }
    }
    ~Server() {
        server_.stop();
        thread_.join();
    }
    [[nodiscard]] platform::URL url() const {
        return *platform::URL::fromString("http://127.0.0.1:" + std::to_string(port_) + "/reply");
    }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

void BM_LoopbackGET(benchmark::State& state) {
    const auto bytes = static_cast<std::size_t>(state.range(0));
    Server server(bytes);
    platform::URLSession session;
    platform::URLRequest request(server.url());
    // The body as sent, so that the numbers measure the transfer rather than compression.
    request.setValue("identity", "Accept-Encoding");
    for (auto _ : state) {
        auto result = platform::blockingWait(session.data(request));
        if (result.first.size() != bytes) {
            state.SkipWithError("short reply");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_LoopbackGET)->Arg(100)->Arg(64 * 1024)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
