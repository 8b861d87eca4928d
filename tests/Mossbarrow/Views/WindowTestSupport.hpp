#pragma once

// The real application against a loopback catalogue server: one MCP registry of 250 generated
// servers (pages of 100), the ClawHub and Ostrel fixtures, and switches that make a service fail.

#include "Mossbarrow/App/MossbarrowApp.hpp"
#include "Mossbarrow/Views/MossbarrowWindow.hpp"
#include "platform/appkit/Pasteboard.hpp"
#include "platform/runtime/MainExecutor.hpp"
#include "tests/Mossbarrow/FixtureServer.hpp"
#include "tests/Mossbarrow/Views/CatalogueFixtures.hpp"
#include "tests/Mossbarrow/Views/GtkTestSupport.hpp"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <signal.h>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>
#include <vector>

namespace mossbarrow::uitest {

using namespace std::chrono_literals;

// A session bus of this test process's own, so that the application's single-instance name
// never meets a desktop's running instance or another test process. The daemon goes with the
// process (it is told to end when its parent does).
class PrivateSessionBus {
public:
    static bool ensure() {
        static PrivateSessionBus bus;
        return bus.pid_ > 0;
    }

    ~PrivateSessionBus() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            g_spawn_close_pid(pid_);
        }
    }
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

private:
    PrivateSessionBus() {
        const char* argv[] = {"dbus-daemon", "--session", "--nofork", "--print-address=1", nullptr};
        int out = -1;
        GError* error = nullptr;
        if (!g_spawn_async_with_pipes(
                nullptr, const_cast<char**>(argv), nullptr,
                static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD),
                [](gpointer) { ::prctl(PR_SET_PDEATHSIG, SIGTERM); }, nullptr, &pid_, nullptr, &out,
                nullptr, &error)) {
            std::cerr << "no private session bus: " << error->message << '\n';
            g_error_free(error);
            pid_ = 0;
            return;
        }
        // The daemon prints its address once it listens.
        std::string address;
        char c = 0;
        while (address.size() < 4096 && ::read(out, &c, 1) == 1 && c != '\n') {
            address += c;
        }
        ::close(out);
        if (address.empty()) {
            ::kill(pid_, SIGTERM);
            g_spawn_close_pid(pid_);
            pid_ = 0;
            return;
        }
        g_setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), TRUE);
    }

    GPid pid_ = 0;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        hasSessionBus_ = PrivateSessionBus::ensure();
        if (!initGtk()) {
            GTEST_SKIP() << "no display";
        }
        dir_ = std::filesystem::temp_directory_path() /
               ("moss-window-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        server_ = std::make_unique<testing::FixtureServer>(
            [this](const std::string& path, const httplib::Params& params) {
                return route(path, params);
            });
    }

    void TearDown() override {
        endApplication();
        server_.reset();
        std::filesystem::remove_all(dir_);
    }

    testing::Reply route(const std::string& path, const httplib::Params& params) {
        const auto param = [&](const char* name) {
            const auto found = params.find(name);
            return found == params.end() ? std::string{} : found->second;
        };
        if (const auto fixed = replies.find(path); fixed != replies.end()) {
            return {200, fixed->second};
        }
        if (path == "/v0.1/servers") {
            if (mcpFails) {
                return {500, R"({"error": "unavailable"})"};
            }
            testing::Reply reply{200,
                                 mcpPage(param("search"), param("cursor"), mcpRenamed ? 2 : 1)};
            reply.held = holdMCP;
            reply.key = "mcp";
            return reply;
        }
        if (path.rfind("/v0.1/servers/", 0) == 0) {
            return {200, testing::fixture("mcp-versions.json")};
        }
        if (path == "/api/skills") {
            if (ostrelFails) {
                return {503, "{}"};
            }
            return {200, testing::fixture("ostrel-catalogue.json")};
        }
        if (path == "/api/v1/skills") {
            return {200,
                    testing::fixture(param("cursor") == "trending-2" ? "clawhub-trending-2.json"
                                                                     : "clawhub-trending-1.json")};
        }
        return {404, "{}"};
    }

    // Starts the application (as main() would, but without blocking) and waits for its window.
    // Options for an application of this test: a name of its own on the bus unless it is the
    // single instance under the program's name.
    MossbarrowApp::Options options(bool singleInstance = false) const {
        static int made = 0;
        return {server_->baseURL(), dir_ / "default.store", singleInstance,
                singleInstance ? MossbarrowApp::applicationId
                               : "org.mossbarrow.Test.P" + std::to_string(::getpid()) + "N" +
                                     std::to_string(++made)};
    }

    MossbarrowWindow& start(bool singleInstance = false) {
        app_ = std::make_unique<MossbarrowApp>(options(singleInstance));
        window_ = nullptr;
        app_->onWindow = [this](MossbarrowWindow& window) {
            window_ = &window;
            watch(window.content());
        };
        app_->launch();
        EXPECT_TRUE(pumpUntil([this] { return window_ != nullptr && window_->get_mapped(); }));
        return *window_;
    }

    // Remembers a window's view models, whose loads endApplication() waits for.
    void watch(const ContentView& content) {
        models_.push_back(content.mcpViewModel());
        models_.push_back(content.skillsViewModel());
    }

    // Closes the window as its user would, then ends the application.
    void stop() {
        if (window_ != nullptr && app_ != nullptr) {
            window_->close();
            EXPECT_TRUE(pumpUntil([this] { return app_->windowCount() == 0; }));
        }
        endApplication();
    }

    // Ends the application and waits until every load of its windows has ended. A window's view
    // models outlive it only in their loads, so once no model is left, no request is in flight
    // and no task of theirs is still to run on the main loop.
    void endApplication() {
        window_ = nullptr;
        app_.reset();
        EXPECT_TRUE(pumpUntil([this] {
            return std::all_of(models_.begin(), models_.end(),
                               [](const std::weak_ptr<void>& model) { return model.expired(); });
        })) << "a load outlived the application";
        models_.clear();
    }

    // Waits until every job queued on the main actor so far has run: a task started by what the
    // test did before (a command, a tap) has then begun, and set its model's loading flags.
    static void flushMainActor() {
        bool ran = false;
        platform::MainExecutor::shared().enqueue([&ran] { ran = true; });
        EXPECT_TRUE(pumpUntil([&ran] { return ran; }));
    }

    ContentView& content() { return window_->content(); }

    std::size_t requestCount(const std::string& prefix) const {
        std::size_t count = 0;
        for (const auto& target : server_->targets()) {
            count += target.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return count;
    }
    std::vector<std::string> requests(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const auto& target : server_->targets()) {
            if (target.rfind(prefix, 0) == 0) {
                found.push_back(target);
            }
        }
        return found;
    }

    void command(const char* action) { app_->perform(action); }

    // Draws the window as it is now into a PNG file; returns whether the file was written. While
    // a relayout is pending the window draws nothing, so callers retry while pumping.
    static bool screenshot(Gtk::Window& window, const std::filesystem::path& file) {
        const int width = window.get_width();
        const int height = window.get_height();
        if (width <= 0 || height <= 0) {
            std::cerr << "screenshot: window not allocated\n";
            return false;
        }
        GdkPaintable* const paintable = gtk_widget_paintable_new(GTK_WIDGET(window.gobj()));
        GtkSnapshot* const snapshot = gtk_snapshot_new();
        gdk_paintable_snapshot(paintable, GDK_SNAPSHOT(snapshot), width, height);
        GskRenderNode* const node = gtk_snapshot_free_to_node(snapshot);
        bool written = false;
        if (node != nullptr) {
            GskRenderer* const renderer = gtk_native_get_renderer(GTK_NATIVE(window.gobj()));
            const graphene_rect_t viewport =
                GRAPHENE_RECT_INIT(0, 0, static_cast<float>(width), static_cast<float>(height));
            GdkTexture* const texture = gsk_renderer_render_texture(renderer, node, &viewport);
            written = gdk_texture_save_to_png(texture, file.c_str()) != 0;
            if (!written) {
                std::cerr << "screenshot: could not write " << file << '\n';
            }
            g_object_unref(texture);
            gsk_render_node_unref(node);
        }
        g_object_unref(paintable);
        return written;
    }

    // The text this process offers on the desktop's clipboard at this moment, looked up without
    // running the main loop: a Copy command has done its work when it returns.
    static std::string clipboardHeldNow() {
        GdkClipboard* const board = gdk_display_get_clipboard(gdk_display_get_default());
        GdkContentProvider* const content = gdk_clipboard_get_content(board);
        if (content == nullptr || gdk_clipboard_is_local(board) == FALSE) {
            return "<not ours>";
        }
        GValue value = G_VALUE_INIT;
        g_value_init(&value, G_TYPE_STRING);
        std::string text = "<none>";
        if (gdk_content_provider_get_value(content, &value, nullptr) != FALSE &&
            g_value_get_string(&value) != nullptr) {
            text = g_value_get_string(&value);
        }
        g_value_unset(&value);
        return text;
    }

    // What the desktop's clipboard holds now. The read waits for the owner's answer as long as
    // an answer can honestly take.
    static std::string clipboard() {
        return platform::Pasteboard::general().string(moss_test::hangDeadline).value_or("<none>");
    }

    std::filesystem::path dir_;
    std::unique_ptr<testing::FixtureServer> server_;
    std::unique_ptr<MossbarrowApp> app_;
    MossbarrowWindow* window_ = nullptr;
    // The view models of every window the application opened.
    std::vector<std::weak_ptr<void>> models_;
    std::atomic<bool> mcpFails{false};
    std::atomic<bool> ostrelFails{false};
    // The registry's next edition: the same servers under new titles and descriptions.
    std::atomic<bool> mcpRenamed{false};
    // Registry replies wait until the test releases "mcp" (or the server stops).
    std::atomic<bool> holdMCP{false};
    // Replies that replace the generated ones, by path (set before start()).
    std::map<std::string, std::string> replies;
    bool hasSessionBus_ = false;
};

} // namespace mossbarrow::uitest
