#include "Mossbarrow/Bookmark.hpp"
#include "tests/Mossbarrow/Views/WindowTestSupport.hpp"
#include "tests/support/FileContents.hpp"

#include <csignal>
#include <fstream>
#include <sqlite3.h>
#include <sys/wait.h>

namespace mossbarrow::uitest {

namespace {

TEST_F(WindowTest, NewWindowHasItsOwnStateAndTheSameBookmarks) {
    start();
    MossbarrowWindow& first = *window_;
    auto& skills = first.content().skillsList();
    ASSERT_TRUE(pumpUntil([&] { return skills.visibleForm() == "list"; }));
    first.content().selectSkill(
        SkillSelection::ostrel(first.content().skillsViewModel()->ostrelFiltered().front()));

    EXPECT_EQ(first.get_application()->get_accels_for_action("app.new-window"),
              std::vector<Glib::ustring>{"<Control>n"});
    command("new-window");
    ASSERT_TRUE(pumpUntil([&] { return window_ != &first && window_->get_mapped(); }));
    MossbarrowWindow& second = *window_;
    EXPECT_EQ(app_->windowCount(), 2U);
    ContentView& other = second.content();
    EXPECT_EQ(other.section(), SidebarSection::skills);
    EXPECT_FALSE(other.selectedSkill().has_value());
    EXPECT_NE(other.skillsViewModel(), first.content().skillsViewModel());
    EXPECT_NE(other.mcpViewModel(), first.content().mcpViewModel());

    // A bookmark made in one window is listed in the other at once, and a deletion there is
    // seen back here.
    other.selectSection(SidebarSection::bookmarks);
    first.content().toggleBookmarkForSelection();
    ASSERT_TRUE(pumpUntil([&] { return other.bookmarksList().list().size() == 1; }));
    EXPECT_EQ(other.bookmarksList().bookmarks().front()->title(), "PDF Tools");
    first.content().selectSection(SidebarSection::bookmarks);
    ASSERT_TRUE(pumpUntil([&] { return first.content().bookmarksList().list().size() == 1; }));
    other.bookmarksList().deleteRows({0});
    ASSERT_TRUE(pumpUntil([&] { return first.content().bookmarksList().list().size() == 0; }));

    // Closing one window leaves the other running.
    second.close();
    ASSERT_TRUE(pumpUntil([&] { return app_->windowCount() == 1; }));
    EXPECT_EQ(&app_->window(0), &first);
    window_ = &first;
}

// The program itself, launched while this test's application runs under the same name, asks
// the running one for a window and ends; it opens no store of its own.
TEST_F(WindowTest, SecondLaunchOpensAWindowInTheRunningInstance) {
    if (!hasSessionBus_) {
        GTEST_SKIP() << "no session bus";
    }
    start(true);
    ASSERT_EQ(app_->windowCount(), 1U);

    const auto home = dir_ / "home";
    std::filesystem::create_directories(home);
    gchar** env = g_get_environ();
    env = g_environ_setenv(env, "HOME", home.c_str(), TRUE);
    env = g_environ_setenv(env, "XDG_DATA_HOME", (home / "data").c_str(), TRUE);
    env = g_environ_setenv(env, "XDG_CONFIG_HOME", (home / "config").c_str(), TRUE);
    const char* argv[] = {MOSS_PROGRAM, nullptr};
    GPid pid = 0;
    GError* error = nullptr;
    const bool spawned = g_spawn_async(nullptr, const_cast<char**>(argv), env,
                                       G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &pid, &error);
    g_strfreev(env);
    ASSERT_TRUE(spawned) << error->message;
    int status = -1;
    bool exited = false;
    const guint watch = g_child_watch_add(
        pid, [](GPid, gint waitStatus, gpointer data) { *static_cast<int*>(data) = waitStatus; },
        &status);
    exited = pumpUntil([&] { return status != -1 && app_->windowCount() == 2; });
    if (status == -1) {
        g_source_remove(watch);
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    g_spawn_close_pid(pid);
    ASSERT_TRUE(exited) << "windows: " << app_->windowCount();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NE(&app_->window(1), &app_->window(0));
    EXPECT_EQ(app_->window(1).content().section(), SidebarSection::skills);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home)) {
        EXPECT_FALSE(entry.is_regular_file()) << entry.path();
    }
}

// Runs the application's own loop until it ends, doing `act` once the MCP registry was asked
// for its first page (whose reply never comes); returns run()'s status.
int runUntilEnded(MossbarrowApp& app, const std::function<void(MossbarrowWindow&)>& act,
                  const std::function<std::size_t()>& requestsMade,
                  std::shared_ptr<MCPBrowserViewModel>& model) {
    MossbarrowWindow* window = nullptr;
    app.onWindow = [&](MossbarrowWindow& made) {
        window = &made;
        model = made.content().mcpViewModel();
        made.content().selectSection(SidebarSection::mcpRegistry);
    };
    // The guard ends a loop that hangs, so that a fault fails the test instead of stopping it.
    bool actedOn = false;
    auto poll = Glib::signal_timeout().connect(
        [&] {
            if (!actedOn && window != nullptr && requestsMade() > 0) {
                actedOn = true;
                act(*window);
            }
            return true;
        },
        10);
    auto guard = Glib::signal_timeout().connect(
        [&] {
            ADD_FAILURE() << "the application did not end";
            if (window != nullptr) {
                window->close();
            }
            return false;
        },
        static_cast<unsigned>(moss_test::hangDeadline.count()));
    const int status = app.run(0, nullptr);
    poll.disconnect();
    guard.disconnect();
    return status;
}

// A store that cannot be opened ends the program, but not silently: the message is shown in a
// dialog, the file is left exactly as it was, and closing the dialog ends with a failure status.
TEST_F(WindowTest, AStoreThatCannotBeOpenedIsReportedInADialogAndLeftUntouched) {
    const std::filesystem::path notAStore = dir_ / "not-a-store.store";
    {
        std::ofstream file(notAStore, std::ios::binary);
        file << std::string(5000, 'm') << "not a database";
    }
    const std::filesystem::path folder = dir_ / "folder.store";
    std::filesystem::create_directories(folder);
    const std::filesystem::path truncated = dir_ / "truncated.store";
    {
        auto container = MossbarrowApp::makeModelContainer({.storeURL = truncated});
        for (int i = 0; i < 50; ++i) {
            container.mainContext().insert(
                Bookmark::make("mcp", "Server", std::nullopt, std::string(500, 'p')));
        }
    }
    std::filesystem::resize_file(truncated, 3000);
    // A store another program holds locked for itself.
    const std::filesystem::path locked = dir_ / "locked.store";
    { (void)MossbarrowApp::makeModelContainer({.storeURL = locked}); }
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(locked.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);

    for (const auto& path : {notAStore, folder, truncated, locked}) {
        SCOPED_TRACE(path.filename().string());
        const auto before = std::filesystem::is_regular_file(path) ? moss_test::readFile(path)
                                                                   : std::string("a folder");
        auto options = this->options();
        options.storeURL = path;
        MossbarrowApp app(options);
        bool windowOpened = false;
        app.onWindow = [&](MossbarrowWindow&) { windowOpened = true; };
        std::string shown;
        auto poll = Glib::signal_timeout().connect(
            [&] {
                if (auto* dialog = static_cast<GtkWindow*>(app.failureDialog())) {
                    gchar* text = nullptr;
                    g_object_get(dialog, "secondary-text", &text, nullptr);
                    shown = text != nullptr ? text : "";
                    g_free(text);
                    gtk_window_close(dialog);
                }
                return true;
            },
            10);
        auto guard = Glib::signal_timeout().connect(
            [&] {
                ADD_FAILURE() << "no dialog was shown";
                if (auto* dialog = static_cast<GtkWindow*>(app.failureDialog())) {
                    gtk_window_close(dialog);
                }
                return false;
            },
            static_cast<unsigned>(moss_test::hangDeadline.count()));
        const int status = app.run(0, nullptr);
        poll.disconnect();
        guard.disconnect();
        EXPECT_EQ(status, 1);
        EXPECT_FALSE(windowOpened);
        EXPECT_EQ(shown.rfind("Could not create ModelContainer: ", 0), 0U) << shown;
        ASSERT_TRUE(app.startUpFailure());
        EXPECT_EQ(shown, *app.startUpFailure());
        const auto after = std::filesystem::is_regular_file(path) ? moss_test::readFile(path)
                                                                  : std::string("a folder");
        EXPECT_TRUE(after == before) << "the store file was changed";
    }
    sqlite3_close(holder);
}

TEST_F(WindowTest, ClosingTheLastWindowEndsTheProgramWithoutWaitingForReplies) {
    holdMCP = true;
    app_ = std::make_unique<MossbarrowApp>(options());
    std::shared_ptr<MCPBrowserViewModel> model;
    const int status = runUntilEnded(
        *app_, [](MossbarrowWindow& window) { window.close(); },
        [this] { return requestCount("/v0.1/servers?"); }, model);
    EXPECT_EQ(status, 0);
    // The request still waiting for its reply was abandoned, not left running.
    ASSERT_NE(model, nullptr);
    EXPECT_TRUE(pumpUntil([&] { return !model->isLoading(); }));
}

TEST_F(WindowTest, TerminationSignalEndsTheProgramLikeClosingItsWindows) {
    holdMCP = true;
    app_ = std::make_unique<MossbarrowApp>(options());
    std::shared_ptr<MCPBrowserViewModel> model;
    const int status = runUntilEnded(
        *app_, [](MossbarrowWindow&) { ::raise(SIGTERM); },
        [this] { return requestCount("/v0.1/servers?"); }, model);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(app_->windowCount(), 0U);
    ASSERT_NE(model, nullptr);
    EXPECT_TRUE(pumpUntil([&] { return !model->isLoading(); }));
}

// The window closes and the application ends while a page is on its way (the server holds the
// reply back) and a reload has just been asked for: its task is queued on the main actor and
// reaches the client's executor, and the session, only after the application let go of
// everything. On a running program the same happens whenever a load starts on a pool thread
// in the moment the last window closes. Both requests must end as cancelled, without the reply
// and without touching what the application freed (AddressSanitizer watches).
TEST_F(WindowTest, LoadsThatOutliveTheApplicationEndWithoutTouchingWhatItFreed) {
    holdMCP = true;
    start();
    content().sidebar().choose(SidebarSection::mcpRegistry);
    ASSERT_TRUE(pumpUntil([&] { return requestCount("/v0.1/servers?") == 1; }));
    const std::shared_ptr<MCPBrowserViewModel> model = content().mcpViewModel();
    EXPECT_TRUE(model->isLoading());

    command("refresh"); // queued, not begun
    window_->close();
    window_ = nullptr;
    app_.reset();
    // Once both loads have ended, only this test holds the model.
    ASSERT_TRUE(pumpUntil([&] { return model.use_count() == 1; }));

    // The held reply was never sent: the loads ended because the requests were abandoned.
    EXPECT_FALSE(model->isLoading());
    EXPECT_TRUE(model->servers().empty());
    EXPECT_EQ(model->errorMessage(), std::optional<std::string>("cancelled"));
    EXPECT_EQ(requestCount("/v0.1/servers?"), 1U);
}

} // namespace

} // namespace mossbarrow::uitest
