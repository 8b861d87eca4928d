// Start-up to the first drawn frame, and the time to show one page of 100 MCP servers. Needs a
// display: run under xvfb-run (or on a desktop).

#include "Mossbarrow/App/MossbarrowApp.hpp"
#include "Mossbarrow/Views/MCPServerRow.hpp"
#include "Mossbarrow/Views/MossbarrowWindow.hpp"
#include "Mossbarrow/Views/RecordListView.hpp"
#include "Mossbarrow/Views/Styles.hpp"
#include "tests/Mossbarrow/FixtureServer.hpp"
#include "tests/Mossbarrow/Views/CatalogueFixtures.hpp"
#include "tests/Mossbarrow/Views/GtkTestSupport.hpp"

#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>

namespace {

using namespace mossbarrow;
using Clock = std::chrono::steady_clock;

// True once `window` has painted a frame after this call.
class FrameWatch {
public:
    explicit FrameWatch(Gtk::Widget& widget)
        : widget_(widget) {}
    ~FrameWatch() {
        if (clock_) {
            g_signal_handler_disconnect(clock_->gobj(), handler_);
        }
    }

    bool painted() {
        if (!clock_) {
            if (auto clock = widget_.get_frame_clock()) {
                handler_ = g_signal_connect(clock->gobj(), "after-paint",
                                            G_CALLBACK(+[](GdkFrameClock*, gpointer data) {
                                                *static_cast<bool*>(data) = true;
                                            }),
                                            &painted_);
                clock_ = clock;
                widget_.queue_draw();
            }
        }
        return painted_;
    }

private:
    Gtk::Widget& widget_;
    Glib::RefPtr<Gdk::FrameClock> clock_;
    gulong handler_ = 0;
    bool painted_ = false;
};

mossbarrow::testing::FixtureServer& server() {
    static mossbarrow::testing::FixtureServer instance([](const std::string& path,
                                                          const httplib::Params& p) {
        const auto param = [&](const char* name) {
            const auto found = p.find(name);
            return found == p.end() ? std::string{} : found->second;
        };
        if (path == "/v0.1/servers") {
            return mossbarrow::testing::Reply{200,
                                              uitest::mcpPage(param("search"), param("cursor"))};
        }
        if (path == "/api/skills") {
            return mossbarrow::testing::Reply{200, R"({"skills": [], "total": 0})"};
        }
        return mossbarrow::testing::Reply{404, "{}"};
    });
    return instance;
}

// An application of its own for each start: the toolkit keeps a name on the session bus for
// the whole process.
MossbarrowApp::Options options(const std::filesystem::path& dir) {
    static int made = 0;
    return {server().baseURL(), dir / "default.store", false,
            "org.mossbarrow.Bench.N" + std::to_string(++made)};
}

void StartUpToFirstFrame(benchmark::State& state) {
    const auto dir = std::filesystem::temp_directory_path() / "moss-bench-startup";
    std::filesystem::create_directories(dir);
    for (auto _ : state) {
        const auto begin = Clock::now();
        MossbarrowApp app(options(dir));
        MossbarrowWindow* window = nullptr;
        app.onWindow = [&](MossbarrowWindow& made) { window = &made; };
        app.launch();
        std::unique_ptr<FrameWatch> watch;
        uitest::pumpUntil([&] {
            if (window != nullptr && !watch) {
                watch = std::make_unique<FrameWatch>(*window);
            }
            return watch && watch->painted();
        });
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
        watch.reset();
        window->close();
        uitest::pumpUntil([&] { return app.windowCount() == 0; });
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(StartUpToFirstFrame)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

// From a Refresh of the MCP section to the frame that shows the reloaded 100 rows (loopback
// request, decoding, list update, layout and drawing).
void ShowServerPage(benchmark::State& state) {
    const auto dir = std::filesystem::temp_directory_path() / "moss-bench-page";
    std::filesystem::create_directories(dir);
    MossbarrowApp app(options(dir));
    MossbarrowWindow* window = nullptr;
    app.onWindow = [&](MossbarrowWindow& made) { window = &made; };
    app.launch();
    uitest::pumpUntil([&] { return window != nullptr && window->get_mapped(); });
    ContentView& content = window->content();
    content.selectSection(SidebarSection::mcpRegistry);
    uitest::pumpUntil([&] { return content.mcpList().list().size() == 100; });
    for (auto _ : state) {
        const auto begin = Clock::now();
        const std::size_t before = server().targets().size();
        content.refreshCurrentSection();
        uitest::pumpUntil([&] { return server().targets().size() > before; });
        // The reply replaces the same 100 ids with new records; wait for the list to settle.
        uitest::pumpUntil([&] { return !content.mcpViewModel()->isLoading(); });
        FrameWatch watch(content.mcpList());
        uitest::pumpUntil([&] { return watch.painted(); });
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
    }
    window->close();
    uitest::pumpUntil([&] { return app.windowCount() == 0; });
    std::filesystem::remove_all(dir);
}
BENCHMARK(ShowServerPage)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

// Only the view side: 100 server records into a fresh list, until drawn.
void ListHundredRows(benchmark::State& state) {
    std::vector<ServerResponse> servers;
    for (int i = 0; i < 100; ++i) {
        ServerResponse server;
        server.server.name = uitest::serverName(i);
        server.server.version = "1.0.0";
        server.server.description = "Test server number " + std::to_string(i);
        servers.push_back(server);
    }
    Gtk::Window window;
    window.set_default_size(400, 700);
    window.present();
    for (auto _ : state) {
        const auto begin = Clock::now();
        auto list = std::make_unique<RecordListView<ServerResponse, MCPServerRow>>(
            [](const ServerResponse& s) { return s.id(); });
        list->setRecords(servers);
        window.set_child(*list);
        FrameWatch watch(*list);
        uitest::pumpUntil([&] { return watch.painted(); });
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
        window.unset_child();
    }
}
BENCHMARK(ListHundredRows)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

// From closing the last window, while the registry has not answered yet, to the end of the
// application's run: the program must not wait for replies on its way out.
void CloseLastWindowToExit(benchmark::State& state) {
    // Replies are held for the round that asked; each round lets its own go afterwards, so the
    // server's workers are free for the next.
    static std::atomic<int> round{0};
    static mossbarrow::testing::FixtureServer silent(
        [](const std::string&, const httplib::Params&) {
            return mossbarrow::testing::Reply{200, "{}", true, std::to_string(round.load())};
        });
    const auto dir = std::filesystem::temp_directory_path() / "moss-bench-exit";
    std::filesystem::create_directories(dir);
    for (auto _ : state) {
        const int made = ++round;
        MossbarrowApp app({silent.baseURL(), dir / "default.store", false,
                           "org.mossbarrow.Bench.Exit" + std::to_string(made)});
        MossbarrowWindow* window = nullptr;
        app.onWindow = [&](MossbarrowWindow& opened) {
            window = &opened;
            opened.content().selectSection(SidebarSection::mcpRegistry);
        };
        Clock::time_point closed;
        const std::size_t before = silent.targets().size();
        auto poll = Glib::signal_timeout().connect(
            [&] {
                if (window != nullptr && window->get_mapped() && silent.targets().size() > before) {
                    closed = Clock::now();
                    window->close();
                    return false;
                }
                return true;
            },
            5);
        app.run(0, nullptr);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - closed).count());
        poll.disconnect();
        silent.release(std::to_string(made));
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(CloseLastWindowToExit)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (!uitest::initGtk()) {
        return 1;
    }
    installStyles();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
