#include "Mossbarrow/Bookmark.hpp"
#include "Mossbarrow/Views/ServerJSONText.hpp"
#include "platform/data/FetchDescriptor.hpp"
#include "platform/data/ModelContainer.hpp"
#include "tests/Mossbarrow/Views/WindowTestSupport.hpp"
#include "tests/platform/data/ChangedFromOutside.hpp"

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace mossbarrow::uitest {

namespace {

// What a key press does to `widget`: its key controllers hear it as GTK would deliver it.
bool pressKey(Gtk::Widget& widget, guint key) {
    GListModel* const controllers = gtk_widget_observe_controllers(widget.gobj());
    bool handled = false;
    for (guint i = 0; i < g_list_model_get_n_items(controllers) && !handled; ++i) {
        auto* const controller =
            static_cast<GtkEventController*>(g_list_model_get_item(controllers, i));
        if (GTK_IS_EVENT_CONTROLLER_KEY(controller)) {
            gboolean result = FALSE;
            g_signal_emit_by_name(controller, "key-pressed", key, 0U, GdkModifierType{}, &result);
            handled = result != FALSE;
        }
        g_object_unref(controller);
    }
    g_object_unref(controllers);
    return handled;
}

// A secondary-button press on `widget`, as its click gestures hear it.
bool secondaryClick(Gtk::Widget& widget) {
    GListModel* const controllers = gtk_widget_observe_controllers(widget.gobj());
    bool found = false;
    for (guint i = 0; i < g_list_model_get_n_items(controllers) && !found; ++i) {
        auto* const controller =
            static_cast<GtkEventController*>(g_list_model_get_item(controllers, i));
        if (GTK_IS_GESTURE_CLICK(controller) &&
            gtk_gesture_single_get_button(GTK_GESTURE_SINGLE(controller)) == GDK_BUTTON_SECONDARY) {
            g_signal_emit_by_name(controller, "pressed", 1, 10.0, 10.0);
            found = true;
        }
        g_object_unref(controller);
    }
    g_object_unref(controllers);
    return found;
}

TEST_F(WindowTest, StartsInSkillsAndOpensEachSection) {
    MossbarrowWindow& window = start();
    int width = 0;
    int height = 0;
    window.get_default_size(width, height);
    EXPECT_EQ(width, 1000);
    EXPECT_EQ(height, 700);
    EXPECT_EQ(window.get_title(), "Mossbarrow - Skills");
    EXPECT_EQ(content().sidebar().section(), SidebarSection::skills);

    // The Claude family of the Ostrel catalogue loads when the list first shows.
    auto& skills = content().skillsList();
    ASSERT_TRUE(pumpUntil([&] { return skills.visibleForm() == "list"; }));
    EXPECT_EQ(skills.visibleList(), "ostrel");
    EXPECT_EQ(skills.ostrelList().ids(),
              (std::vector<std::string>{"ostrel-1", "ostrel-3", "ostrel-5"}));
    EXPECT_FALSE(skills.sortPicker().get_visible());

    // OpenClaw: the sort picker appears and the first ClawHub page loads.
    skills.providerPicker().choose(2);
    ASSERT_TRUE(pumpUntil(
        [&] { return skills.visibleList() == "openClaw" && skills.visibleForm() == "list"; }));
    EXPECT_TRUE(skills.sortPicker().get_visible());
    EXPECT_EQ(requests("/api/v1/skills"),
              (std::vector<std::string>{"/api/v1/skills?sort=trending&limit=50"}));

    content().sidebar().choose(SidebarSection::mcpRegistry);
    EXPECT_EQ(window.get_title(), "Mossbarrow - MCP Registry");
    auto& servers = content().mcpList();
    ASSERT_TRUE(pumpUntil([&] { return servers.visibleForm() == "list"; }));
    EXPECT_EQ(servers.list().size(), 100U);

    content().sidebar().choose(SidebarSection::bookmarks);
    EXPECT_EQ(window.get_title(), "Mossbarrow - Bookmarks");
    EXPECT_NE(content().bookmarkDetail().shownText().find("Select a bookmark"), std::string::npos);
}

TEST_F(WindowTest, ServersPageToTheEndAsTheLastRowShows) {
    start();
    content().sidebar().choose(SidebarSection::mcpRegistry);
    auto& list = content().mcpList().list();
    ASSERT_TRUE(pumpUntil([&] { return list.size() == 100; }));
    EXPECT_EQ(requestCount("/v0.1/servers?"), 1U);
    // Only scrolling to the last row asks for more, one page at a time.
    ASSERT_TRUE(pumpUntil([&] {
        auto adjustment = list.get_vadjustment();
        adjustment->set_value(adjustment->get_upper());
        return list.size() == 250 && !content().mcpViewModel()->nextCursor();
    }));
    // With no next page, the last row in view asks for nothing more.
    waitForFrames(list);
    flushMainActor();
    EXPECT_FALSE(content().mcpViewModel()->isLoadingMore());
    EXPECT_EQ(
        requests("/v0.1/servers?"),
        (std::vector<std::string>{"/v0.1/servers?limit=100", "/v0.1/servers?limit=100&cursor=c100",
                                  "/v0.1/servers?limit=100&cursor=c200"}));
    EXPECT_LT(list.boundRows().size(), 250U);
}

TEST_F(WindowTest, SearchIsSentOnceTypingSettles) {
    start();
    content().sidebar().choose(SidebarSection::mcpRegistry);
    auto& servers = content().mcpList();
    ASSERT_TRUE(pumpUntil([&] { return servers.list().size() == 100; }));
    // Keystrokes faster than the debounce interval. (Pauses between them would have to be
    // shorter than that interval, which a busy machine cannot promise.)
    for (const char* text : {"2", "24", "249"}) {
        servers.searchField().entry().set_text(text);
    }
    // The old rows stay until the reply replaces them.
    EXPECT_EQ(servers.list().size(), 100U);
    ASSERT_TRUE(pumpUntil([&] { return servers.list().size() == 1; }));
    EXPECT_EQ(requests("/v0.1/servers?"),
              (std::vector<std::string>{"/v0.1/servers?limit=100",
                                        "/v0.1/servers?limit=100&search=249"}));
    servers.searchField().entry().set_text("nothing-matches");
    ASSERT_TRUE(pumpUntil([&] { return servers.visibleForm() == "empty"; }));
}

TEST_F(WindowTest, SelectedRowsShowTheirDetailsAndCopyPutsExactText) {
    start();
    // Ostrel skill.
    auto& skills = content().skillsList();
    ASSERT_TRUE(pumpUntil([&] { return skills.visibleForm() == "list"; }));
    const OstrelSkill pdf = content().skillsViewModel()->ostrelFiltered().front();
    content().selectSkill(SkillSelection::ostrel(pdf));
    waitForFrames(*window_);
    const std::string ostrelText = content().skillDetail().shownText();
    EXPECT_NE(ostrelText.find("PDF Tools"), std::string::npos);
    EXPECT_NE(ostrelText.find("Provider: anthropic"), std::string::npos);
    ASSERT_NE(content().skillDetail().ostrelDetail(), nullptr);
    // Inline markdown: strong text is styled, the heading marker stays literal.
    EXPECT_EQ(content().skillDetail().ostrelDetail()->longDescriptionAttributed().string(),
              "# PDF\nWorks with pdf files.");
    command("copy");
    EXPECT_EQ(clipboard(),
              "Skill: PDF Tools\nProvider: anthropic\nGitHub: https://example.com/pdf");

    // ClawHub skill.
    skills.providerPicker().choose(2);
    ASSERT_TRUE(pumpUntil([&] { return skills.clawList().size() == 2; }));
    content().selectSkill(SkillSelection::claw(content().skillsViewModel()->openClawItems()[0]));
    const std::string clawText = content().skillDetail().shownText();
    EXPECT_NE(clawText.find("Downloads: 1.3K"), std::string::npos);
    EXPECT_NE(clawText.find("openclaw skills install sheets"), std::string::npos);
    command("copy");
    EXPECT_EQ(clipboard(), "openclaw skills install sheets");

    // MCP server: the JSON text, and the version history on request.
    content().sidebar().choose(SidebarSection::mcpRegistry);
    ASSERT_TRUE(pumpUntil([&] { return content().mcpList().list().size() == 100; }));
    const ServerResponse server = content().mcpViewModel()->servers()[7];
    content().selectServer(server);
    const std::string serverText = content().mcpDetail().shownText();
    EXPECT_NE(serverText.find("Name: io.test/server-007"), std::string::npos);
    EXPECT_NE(serverText.find("npm: @test/s7"), std::string::npos);
    EXPECT_NE(serverText.find("No versions loaded yet."), std::string::npos);
    command("copy");
    // The clipboard holds the text as soon as the command returns. (Reading it back through the
    // display runs the main loop, which first lays out the newly shown server: that took over two
    // seconds in a sanitized build on a busy machine, so the read waits for its answer.)
    EXPECT_EQ(clipboardHeldNow(), serverJSONText(server));
    const std::string json = clipboard();
    EXPECT_EQ(json, serverJSONText(server));
    EXPECT_EQ(json.find("{\n  \"_meta\" : {"), 0U);
    EXPECT_NE(json.find("https:\\/\\/example.com\\/7"), std::string::npos);
    ASSERT_NE(content().mcpDetail().loadVersionsButton(), nullptr);
    click(*content().mcpDetail().loadVersionsButton());
    ASSERT_TRUE(pumpUntil(
        [&] { return content().mcpDetail().shownText().find("1.1.0") != std::string::npos; }));

    // Nothing selected in Bookmarks: the clipboard is left alone.
    content().sidebar().choose(SidebarSection::bookmarks);
    command("copy");
    EXPECT_EQ(clipboard(), json);
}

TEST_F(WindowTest, BookmarksAreListedAndSurviveARestart) {
    start();
    content().sidebar().choose(SidebarSection::mcpRegistry);
    ASSERT_TRUE(pumpUntil([&] { return content().mcpList().list().size() == 100; }));
    content().selectServer(content().mcpViewModel()->servers()[3]);
    ASSERT_NE(content().mcpDetail().bookmarkButton(), nullptr);
    click(*content().mcpDetail().bookmarkButton());
    EXPECT_EQ(content().mcpDetail().bookmarkButton()->labelText(), "Bookmarked");
    // And one through the menu command, on another server.
    content().selectServer(content().mcpViewModel()->servers()[4]);
    command("toggle-bookmark");

    content().sidebar().choose(SidebarSection::bookmarks);
    ASSERT_TRUE(pumpUntil([&] { return content().bookmarksList().list().size() == 2; }));
    const auto listed = content().bookmarksList().bookmarks();
    EXPECT_EQ(listed[0]->title(), "Server 4"); // newest first
    EXPECT_EQ(listed[1]->payload(), "io.test/server-003");
    EXPECT_EQ(listed[1]->kind(), "mcp");
    content().selectBookmark(listed[1]);
    command("copy");
    EXPECT_EQ(clipboard(), "io.test/server-003");

    stop();
    start();
    content().sidebar().choose(SidebarSection::bookmarks);
    ASSERT_TRUE(pumpUntil([&] { return content().bookmarksList().list().size() == 2; }));
    EXPECT_EQ(content().bookmarksList().bookmarks()[1]->payload(), "io.test/server-003");
    // The detail pane of an MCP server reads the stored state.
    content().sidebar().choose(SidebarSection::mcpRegistry);
    ASSERT_TRUE(pumpUntil([&] { return content().mcpList().list().size() == 100; }));
    content().selectServer(content().mcpViewModel()->servers()[3]);
    EXPECT_TRUE(content().mcpDetail().isBookmarked());
}

TEST_F(WindowTest, DeletedBookmarkIsNoLongerSelected) {
    start();
    auto& skills = content().skillsList();
    ASSERT_TRUE(pumpUntil([&] { return skills.visibleForm() == "list"; }));
    content().selectSkill(
        SkillSelection::ostrel(content().skillsViewModel()->ostrelFiltered().front()));
    command("toggle-bookmark");
    content().sidebar().choose(SidebarSection::bookmarks);
    ASSERT_TRUE(pumpUntil([&] { return content().bookmarksList().list().size() == 1; }));
    const auto bookmark = content().bookmarksList().bookmarks().front();
    EXPECT_EQ(bookmark->kind(), "skill:anthropic");
    EXPECT_EQ(bookmark->payload(), "1");
    content().selectBookmark(bookmark);
    EXPECT_NE(content().bookmarkDetail().shownText().find("PDF Tools"), std::string::npos);

    // Toggle Bookmark in this section deletes the selected bookmark.
    command("toggle-bookmark");
    ASSERT_TRUE(pumpUntil([&] { return content().bookmarksList().list().size() == 0; }));
    EXPECT_TRUE(pumpUntil([&] { return content().selectedBookmark() == nullptr; }));
    EXPECT_NE(content().bookmarkDetail().shownText().find("Select a bookmark"), std::string::npos);
    // Copy with nothing selected leaves the clipboard as it was.
    platform::Pasteboard::general().setString("before");
    command("copy");
    EXPECT_EQ(clipboard(), "before");
}

// A store that can no longer be read must not be taken for one without the bookmark: the toggle
// reports the failure and adds nothing.
TEST_F(WindowTest, ToggleOnAnUnreadableStoreReportsTheFailure) {
    start();
    content().sidebar().choose(SidebarSection::mcpRegistry);
    ASSERT_TRUE(pumpUntil([&] { return content().mcpList().list().size() == 100; }));
    content().selectServer(content().mcpViewModel()->servers()[0]);
    EXPECT_TRUE(content().shownFailure().empty());

    moss_test::runAsAnotherProgram(dir_ / "default.store", "DROP TABLE Bookmark");

    command("toggle-bookmark");
    EXPECT_NE(content().shownFailure().find("Could not read the bookmarks"), std::string::npos)
        << content().shownFailure();
    ASSERT_NE(content().mcpDetail().bookmarkButton(), nullptr);
    click(*content().mcpDetail().bookmarkButton());
    EXPECT_EQ(content().mcpDetail().bookmarkButton()->labelText(), "Bookmark");
}

// One damaged record (a date written as text by another program) is listed, marked and named,
// among the others, and deleted like any of them.
TEST_F(WindowTest, ADamagedBookmarkIsMarkedNamedAndCanBeDeleted) {
    start();
    content().sidebar().choose(SidebarSection::mcpRegistry);
    ASSERT_TRUE(pumpUntil([&] { return content().mcpList().list().size() == 100; }));
    for (const int server : {1, 2, 3}) {
        content().selectServer(content().mcpViewModel()->servers()[server]);
        command("toggle-bookmark");
    }
    stop();

    moss_test::runAsAnotherProgram(dir_ / "default.store",
                                   "UPDATE Bookmark SET createdAt = 'last Tuesday' "
                                   "WHERE payload = 'io.test/server-002'");

    start();
    content().sidebar().choose(SidebarSection::bookmarks);
    auto& bookmarks = content().bookmarksList();
    ASSERT_TRUE(pumpUntil([&] { return bookmarks.list().size() == 3; }));
    const auto listed = bookmarks.bookmarks();
    EXPECT_EQ(listed[0]->payload(), "io.test/server-003");
    EXPECT_EQ(listed[1]->payload(), "io.test/server-002");
    EXPECT_NE(bookmarks.problemText().find(
                  "One bookmark, “Server 2”, is damaged: its creation date could not be read."),
              std::string::npos)
        << bookmarks.problemText();
    waitForFrames(bookmarks);
    for (const auto& [row, bound] : bookmarks.list().boundRows()) {
        EXPECT_EQ(row->damageText().empty(), bound.item->record() != listed[1]);
    }

    // The damaged one is deleted like any other, and the message goes with it.
    content().selectBookmark(listed[1]);
    ASSERT_TRUE(pressKey(bookmarks.list(), GDK_KEY_Delete));
    ASSERT_TRUE(pumpUntil([&] { return bookmarks.list().size() == 2; }));
    EXPECT_TRUE(bookmarks.problemText().empty()) << bookmarks.problemText();
    EXPECT_TRUE(content().shownFailure().empty()) << content().shownFailure();
}

// Two malformed pages of the file hide the bookmarks they hold, and the list says how many; a
// payload that is not UTF-8 marks its bookmark, and is never copied.
TEST_F(WindowTest, WhatADamagedStoreHidesIsCountedAndAnUnreadablePayloadIsNotCopied) {
    constexpr std::size_t stored = 300;
    {
        platform::ModelContainer container(
            platform::Schema({&Bookmark::entityDescription()}, {1, 0, 0}),
            platform::ModelConfiguration{dir_ / "default.store"});
        for (std::size_t i = 0; i < stored; ++i) {
            container.mainContext().insert(Bookmark::make("mcp", "Bookmark " + std::to_string(i),
                                                          std::nullopt, std::string(600, 'p')));
        }
    }
    moss_test::runAsAnotherProgram(dir_ / "default.store",
                                   "UPDATE Bookmark SET payload = CAST(X'70C328' AS TEXT) "
                                   "WHERE title = 'Bookmark 299'");
    ASSERT_EQ(moss_test::damageTableLeafPages(dir_ / "default.store", {0.3, 0.6}), 2U);

    start();
    content().sidebar().choose(SidebarSection::bookmarks);
    auto& bookmarks = content().bookmarksList();
    ASSERT_TRUE(pumpUntil([&] { return bookmarks.list().size() > 0; }));
    const auto listed = bookmarks.bookmarks();
    ASSERT_LT(listed.size(), stored);
    EXPECT_GT(listed.size(), stored - 20);
    const std::string text = bookmarks.problemText();
    EXPECT_NE(text.find("One bookmark, “Bookmark 299”, is damaged: its payload could not be read."),
              std::string::npos)
        << text;
    EXPECT_NE(
        text.find(std::to_string(stored - listed.size()) + " bookmarks could not be read at all"),
        std::string::npos)
        << text;

    ASSERT_EQ(listed.front()->title(), "Bookmark 299");
    content().selectBookmark(listed.front());
    command("copy");
    EXPECT_NE(content().shownFailure().find("nothing was copied"), std::string::npos);
    const std::string detail = content().bookmarkDetail().shownText();
    EXPECT_NE(detail.find("This bookmark is damaged: its payload could not be read."),
              std::string::npos)
        << detail;
    EXPECT_NE(detail.find("Unreadable payload"), std::string::npos) << detail;
}

TEST_F(WindowTest, FailingServiceShowsRetryAndRetryRecovers) {
    mcpFails = true;
    start();
    content().sidebar().choose(SidebarSection::mcpRegistry);
    auto& servers = content().mcpList();
    ASSERT_TRUE(pumpUntil([&] { return servers.visibleForm() == "error"; }));
    EXPECT_FALSE(servers.errorView().message().empty());
    ASSERT_NE(servers.errorView().retryButton(), nullptr);
    EXPECT_EQ(servers.errorView().retryButton()->get_label(), "Retry");
    mcpFails = false;
    click(*servers.errorView().retryButton());
    ASSERT_TRUE(pumpUntil([&] { return servers.visibleForm() == "list"; }));
    EXPECT_EQ(servers.list().size(), 100U);
}

TEST_F(WindowTest, RefreshReloadsTheSectionShown) {
    ostrelFails = true;
    start();
    auto& skills = content().skillsList();
    ASSERT_TRUE(pumpUntil([&] { return skills.visibleForm() == "error"; }));
    ostrelFails = false;
    command("refresh");
    ASSERT_TRUE(pumpUntil([&] { return skills.visibleForm() == "list"; }));
    EXPECT_EQ(requestCount("/api/skills"), 2U);

    content().sidebar().choose(SidebarSection::mcpRegistry);
    ASSERT_TRUE(pumpUntil([&] { return content().mcpList().list().size() == 100; }));
    command("refresh");
    ASSERT_TRUE(pumpUntil([&] {
        return requestCount("/v0.1/servers?") == 2 && !content().mcpViewModel()->isLoading();
    }));
    content().sidebar().choose(SidebarSection::bookmarks);
    command("refresh"); // nothing to reload here
    flushMainActor();   // a load it started would have raised its model's flag by now
    EXPECT_FALSE(content().mcpViewModel()->isLoading());
    EXPECT_FALSE(content().skillsViewModel()->isLoadingOstrel());
    EXPECT_EQ(requestCount("/v0.1/servers?") + requestCount("/api/skills"), 4U);
}

// Pictures of the three sections for the README: written to $MOSS_SCREENSHOT_DIR when set (the
// committed ones in docs/screenshots come from here), else into the test's own folder.
// The program itself, started from the desktop with a folder where its store should be: it
// tells why on standard error and in its dialog, opens no window, and ends with a failure status
// (here asked to by a signal, as the dialog is not ours to close).
TEST_F(WindowTest, StoreThatCannotBeOpenedStopsTheProgram) {
    const auto home = dir_ / "home";
    std::filesystem::create_directories(home / "data" / "Mossbarrow" / "default.store");
    gchar** env = g_get_environ();
    env = g_environ_setenv(env, "HOME", home.c_str(), TRUE);
    env = g_environ_setenv(env, "XDG_DATA_HOME", (home / "data").c_str(), TRUE);
    env = g_environ_setenv(env, "XDG_CONFIG_HOME", (home / "config").c_str(), TRUE);
    // Off this process's session bus: an application a case before this one ran under the
    // program's name keeps that name on the bus while the process lives, and the program would
    // hand its start to it and end.
    env = g_environ_unsetenv(env, "DBUS_SESSION_BUS_ADDRESS");
    const char* argv[] = {MOSS_PROGRAM, nullptr};
    GPid pid = 0;
    gint errorFd = -1;
    GError* error = nullptr;
    const bool spawned =
        g_spawn_async_with_pipes(nullptr, const_cast<char**>(argv), env, G_SPAWN_DO_NOT_REAP_CHILD,
                                 nullptr, nullptr, &pid, nullptr, nullptr, &errorFd, &error);
    g_strfreev(env);
    ASSERT_TRUE(spawned) << error->message;
    const int flags = ::fcntl(errorFd, F_GETFL);
    ::fcntl(errorFd, F_SETFL, flags | O_NONBLOCK);
    int status = -1;
    const guint watch = g_child_watch_add(
        pid, [](GPid, gint waitStatus, gpointer data) { *static_cast<int*>(data) = waitStatus; },
        &status);
    std::string written;
    const auto readErrors = [&] {
        char buffer[4096];
        for (ssize_t n = 0; (n = ::read(errorFd, buffer, sizeof buffer)) > 0;) {
            written.append(buffer, static_cast<std::size_t>(n));
        }
    };
    const bool told = pumpUntil([&] {
        readErrors();
        return written.find("Could not create ModelContainer: ") != std::string::npos ||
               status != -1;
    });
    // Still running, with its dialog up: ask it to end.
    EXPECT_EQ(status, -1) << "the program ended before its dialog could be read";
    if (status == -1) {
        ::kill(pid, SIGTERM);
    }
    const bool ended = pumpUntil([&] { return status != -1; });
    if (!ended) {
        g_source_remove(watch);
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    ::close(errorFd);
    g_spawn_close_pid(pid);
    EXPECT_TRUE(told) << written;
    ASSERT_TRUE(ended);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status << "\n" << written;
    EXPECT_TRUE(std::filesystem::is_directory(home / "data" / "Mossbarrow" / "default.store"));
}

TEST_F(WindowTest, ScreenshotsOfEachSection) {
    const char* const wanted = std::getenv("MOSS_SCREENSHOT_DIR");
    const std::filesystem::path out = wanted != nullptr ? std::filesystem::path(wanted) : dir_;
    std::filesystem::create_directories(out);
    MossbarrowWindow& window = start();
    const auto settle = [&] { waitForFrames(window); };

    auto& skills = content().skillsList();
    ASSERT_TRUE(pumpUntil([&] { return skills.visibleForm() == "list"; }));
    content().selectSkill(
        SkillSelection::ostrel(content().skillsViewModel()->ostrelFiltered().front()));
    settle();
    EXPECT_TRUE(pumpUntil([&] { return screenshot(window, out / "skills.png"); }));

    content().sidebar().choose(SidebarSection::mcpRegistry);
    ASSERT_TRUE(pumpUntil([&] { return content().mcpList().list().size() == 100; }));
    content().selectServer(content().mcpViewModel()->servers()[1]);
    ASSERT_NE(content().mcpDetail().bookmarkButton(), nullptr);
    click(*content().mcpDetail().bookmarkButton());
    settle();
    EXPECT_TRUE(pumpUntil([&] { return screenshot(window, out / "mcp-registry.png"); }));

    content().sidebar().choose(SidebarSection::bookmarks);
    ASSERT_TRUE(pumpUntil([&] { return content().bookmarksList().list().size() == 1; }));
    content().selectBookmark(content().bookmarksList().bookmarks().front());
    settle();
    EXPECT_TRUE(pumpUntil([&] { return screenshot(window, out / "bookmarks.png"); }));

    for (const char* name : {"skills.png", "mcp-registry.png", "bookmarks.png"}) {
        EXPECT_GT(std::filesystem::file_size(out / name), 10000U) << name;
    }
}

} // namespace

} // namespace mossbarrow::uitest

namespace mossbarrow::uitest {

namespace {

TEST_F(WindowTest, BookmarksFollowTheArrowKeysAndOfferDeleteInTheirContextMenu) {
    start();
    content().sidebar().choose(SidebarSection::mcpRegistry);
    ASSERT_TRUE(pumpUntil([&] { return content().mcpList().list().size() == 100; }));
    for (const int i : {0, 1, 2}) {
        content().selectServer(content().mcpViewModel()->servers()[static_cast<std::size_t>(i)]);
        content().toggleBookmarkForSelection();
    }
    content().sidebar().choose(SidebarSection::bookmarks);
    auto& bookmarks = content().bookmarksList();
    ASSERT_TRUE(pumpUntil([&] { return bookmarks.list().size() == 3; }));
    const auto listed = bookmarks.bookmarks(); // newest first: servers 2, 1, 0

    // Down from no selection lands on the first row, then walks; the ends hold.
    ASSERT_TRUE(pressKey(bookmarks.list(), GDK_KEY_Down));
    EXPECT_EQ(content().selectedBookmark(), listed[0]);
    pressKey(bookmarks.list(), GDK_KEY_Down);
    pressKey(bookmarks.list(), GDK_KEY_Down);
    pressKey(bookmarks.list(), GDK_KEY_Down);
    EXPECT_EQ(content().selectedBookmark(), listed[2]);
    EXPECT_NE(content().bookmarkDetail().shownText().find("Server 0"), std::string::npos);
    pressKey(bookmarks.list(), GDK_KEY_Up);
    EXPECT_EQ(content().selectedBookmark(), listed[1]);

    // The context menu of another row offers "Delete", which removes that row's bookmark.
    BookmarkRow* clicked = nullptr;
    for (const auto& [row, bound] : bookmarks.list().boundRows()) {
        if (bound.item->record() == listed[2]) {
            clicked = row;
        }
    }
    ASSERT_NE(clicked, nullptr);
    ASSERT_TRUE(secondaryClick(*clicked));
    EXPECT_EQ(bookmarks.contextBookmark(), listed[2]);
    EXPECT_TRUE(bookmarks.contextMenu().get_visible());
    GMenuModel* const menu = bookmarks.contextMenu().get_menu_model()->gobj();
    ASSERT_EQ(g_menu_model_get_n_items(menu), 1);
    gchar* label = nullptr;
    gchar* action = nullptr;
    ASSERT_TRUE(g_menu_model_get_item_attribute(menu, 0, G_MENU_ATTRIBUTE_LABEL, "s", &label));
    ASSERT_TRUE(g_menu_model_get_item_attribute(menu, 0, G_MENU_ATTRIBUTE_ACTION, "s", &action));
    EXPECT_STREQ(label, "Delete");
    bookmarks.contextMenu().popdown();
    const bool activated = bookmarks.activate_action(action);
    g_free(label);
    g_free(action);
    ASSERT_TRUE(activated);
    ASSERT_TRUE(pumpUntil([&] { return bookmarks.list().size() == 2; }));
    EXPECT_EQ(bookmarks.bookmarks(),
              (std::vector<std::shared_ptr<Bookmark>>{listed[0], listed[1]}));
    EXPECT_EQ(content().selectedBookmark(), listed[1]);

    // The Delete key removes the selected one.
    ASSERT_TRUE(pressKey(bookmarks.list(), GDK_KEY_Delete));
    ASSERT_TRUE(pumpUntil([&] { return bookmarks.list().size() == 1; }));
    EXPECT_EQ(bookmarks.bookmarks().front(), listed[0]);
}

// A delete the store refuses (here by a trigger of another program's; a damaged page does the
// same) is said in the window, as the Toggle Bookmark command says it, and the row stays.
TEST_F(WindowTest, ARefusedDeleteIsShownInTheWindowAndKeepsTheRow) {
    start();
    content().sidebar().choose(SidebarSection::mcpRegistry);
    ASSERT_TRUE(pumpUntil([&] { return content().mcpList().list().size() == 100; }));
    for (const int i : {0, 1}) {
        content().selectServer(content().mcpViewModel()->servers()[static_cast<std::size_t>(i)]);
        content().toggleBookmarkForSelection();
    }
    content().sidebar().choose(SidebarSection::bookmarks);
    auto& bookmarks = content().bookmarksList();
    ASSERT_TRUE(pumpUntil([&] { return bookmarks.list().size() == 2; }));
    moss_test::runAsAnotherProgram(dir_ / "default.store",
                                   "CREATE TRIGGER keep BEFORE DELETE ON Bookmark "
                                   "BEGIN SELECT RAISE(ABORT, 'kept by another program'); END");

    ASSERT_TRUE(pressKey(bookmarks.list(), GDK_KEY_Down));
    ASSERT_TRUE(pressKey(bookmarks.list(), GDK_KEY_Delete));
    EXPECT_NE(content().shownFailure().find("Could not delete the bookmark: "), std::string::npos)
        << content().shownFailure();
    EXPECT_NE(content().shownFailure().find("kept by another program"), std::string::npos);
    waitForFrames(bookmarks);
    EXPECT_EQ(bookmarks.list().size(), 2U);
    EXPECT_NE(content().selectedBookmark(), nullptr);
}

// Whether `widget` lies wholly inside `area` (both drawn in the same window).
bool liesWithin(Gtk::Widget& widget, Gtk::Widget& area) {
    graphene_rect_t bounds;
    if (!gtk_widget_compute_bounds(widget.gobj(), area.gobj(), &bounds)) {
        return false;
    }
    return bounds.origin.x >= 0 && bounds.origin.y >= 0 &&
           bounds.origin.x + bounds.size.width <= static_cast<float>(area.get_width()) &&
           bounds.origin.y + bounds.size.height <= static_cast<float>(area.get_height());
}

// In a window of the default size, the MCP detail's header keeps "Version: 1.0.3" on one line
// beside links and a "Bookmarked" button, and all four sort choices of ClawHub are in view.
TEST_F(WindowTest, TheServerHeaderAndTheSortChoicesShowWholeInADefaultWindow) {
    replies["/v0.1/servers"] =
        R"({"servers": [{"server": {"name": "io.test/whole", "title": "Whole", "version": "1.0.3",)"
        R"( "websiteUrl": "https://example.com/", "repository": {"url": "https://example.com/r"}}}],)"
        R"( "metadata": {"count": 1}})";
    MossbarrowWindow& window = start();
    content().sidebar().choose(SidebarSection::mcpRegistry);
    ASSERT_TRUE(pumpUntil([&] { return content().mcpList().list().size() == 1; }));
    content().selectServer(content().mcpViewModel()->servers()[0]);
    auto& detail = content().mcpDetail();
    ASSERT_NE(detail.bookmarkButton(), nullptr);
    click(*detail.bookmarkButton());
    ASSERT_EQ(detail.bookmarkButton()->labelText(), "Bookmarked");
    waitForFrames(window);
    ASSERT_NE(detail.versionLabel(), nullptr);
    EXPECT_EQ(laidOutLines(*detail.versionLabel()), std::vector<std::string>{"Version: 1.0.3"});
    EXPECT_TRUE(liesWithin(*detail.bookmarkButton(), detail));

    content().sidebar().choose(SidebarSection::skills);
    auto& skills = content().skillsList();
    skills.providerPicker().choose(2);
    ASSERT_TRUE(pumpUntil([&] { return skills.clawList().size() == 2; }));
    waitForFrames(window);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(liesWithin(skills.sortPicker().segment(i), skills))
            << skills.sortPicker().segment(i).get_label();
    }
}

// After a reload that brings new titles and descriptions under the same names and versions, the
// rows and the selected server's detail show the new records, and a tap hands over the new one.
TEST_F(WindowTest, ReloadedRecordsReplaceTheShownOnesUnderTheSameIds) {
    start();
    content().sidebar().choose(SidebarSection::mcpRegistry);
    auto& list = content().mcpList().list();
    ASSERT_TRUE(pumpUntil([&] { return list.size() == 100; }));
    content().selectServer(content().mcpViewModel()->servers()[0]);
    EXPECT_NE(content().mcpDetail().shownText().find("Server 0"), std::string::npos);

    mcpRenamed = true;
    command("refresh");
    ASSERT_TRUE(pumpUntil(
        [&] { return content().mcpViewModel()->servers()[0].server.title == "Renamed 0"; }));
    waitForFrames(list);
    const auto rowOf = [&](const std::string& id) -> MCPServerRow* {
        for (const auto& [row, bound] : list.boundRows()) {
            if (bound.id == id) {
                return row;
            }
        }
        return nullptr;
    };
    MCPServerRow* const row = rowOf("io.test/server-000-1.0.0");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->titleText(), "Renamed 0");
    EXPECT_EQ(row->descriptionText(), "Renamed number 0");
    EXPECT_TRUE(row->isSelected());
    EXPECT_EQ(list.store()->get_item(1)->record().server.title, "Renamed 1");
    const std::string detail = content().mcpDetail().shownText();
    EXPECT_NE(detail.find("Renamed 0"), std::string::npos) << detail;
    EXPECT_EQ(detail.find("Server 0"), std::string::npos) << detail;
    EXPECT_EQ(content().selectedServer()->server.title, "Renamed 0");

    // Selecting the same id with a changed record shows that record.
    ServerResponse edited = content().mcpViewModel()->servers()[0];
    edited.server.description = "Edited again";
    content().selectServer(edited);
    EXPECT_NE(content().mcpDetail().shownText().find("Edited again"), std::string::npos);
}

} // namespace

} // namespace mossbarrow::uitest
