#include "Mossbarrow/Bookmark.hpp"
#include "tests/Mossbarrow/Views/WindowTestSupport.hpp"

#include <csignal>
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
    exited = pumpUntil([&] { return status != -1 && app_->windowCount() == 2; }, 20000ms);
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
    // The guard ends the loop whatever happens, so that a fault fails the test, not hangs it.
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
    auto guard = Glib::signal_timeout().connect_seconds(
        [&] {
            ADD_FAILURE() << "the application did not end";
            if (window != nullptr) {
                window->close();
            }
            return false;
        },
        10);
    const int status = app.run(0, nullptr);
    poll.disconnect();
    guard.disconnect();
    return status;
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

} // namespace

} // namespace mossbarrow::uitest
