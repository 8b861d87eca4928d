#include "platform/appkit/CommandMenu.hpp"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <string>
#include <vector>

namespace {

class CommandMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_setenv("GSK_RENDERER", "cairo", FALSE); // no GL on the virtual display
        if (!gtk_init_check()) {
            GTEST_SKIP() << "no display";
        }
        app_ = gtk_application_new(nullptr, G_APPLICATION_NON_UNIQUE);
        GError* error = nullptr;
        ASSERT_TRUE(g_application_register(G_APPLICATION(app_), nullptr, &error));
    }
    void TearDown() override {
        if (app_ != nullptr) {
            g_object_unref(app_);
        }
    }

    void installMenu() {
        platform::CommandMenu::install(
            app_, "Mossbarrow",
            {{"Refresh", "refresh", "<Control>r", [this] { calls_.push_back("refresh"); }},
             {"Toggle Bookmark", "toggle-bookmark", "<Control>d",
              [this] { calls_.push_back("toggle"); }},
             {"Copy", "copy", "<Control><Shift>c", [this] { calls_.push_back("copy"); }}});
    }

    std::string accelFor(const char* action) const {
        char** accels = gtk_application_get_accels_for_action(app_, action);
        std::string first = accels != nullptr && accels[0] != nullptr ? accels[0] : "";
        const bool more = accels != nullptr && accels[0] != nullptr && accels[1] != nullptr;
        g_strfreev(accels);
        return more ? "several" : first;
    }

    GtkApplication* app_ = nullptr;
    std::vector<std::string> calls_;
};

TEST_F(CommandMenuTest, ActionsCallTheirCommandsAndCarryTheirShortcuts) {
    installMenu();
    g_action_group_activate_action(G_ACTION_GROUP(app_), "copy", nullptr);
    g_action_group_activate_action(G_ACTION_GROUP(app_), "refresh", nullptr);
    g_action_group_activate_action(G_ACTION_GROUP(app_), "toggle-bookmark", nullptr);
    EXPECT_EQ(calls_, (std::vector<std::string>{"copy", "refresh", "toggle"}));

    EXPECT_EQ(accelFor("app.refresh"), "<Control>r");
    EXPECT_EQ(accelFor("app.toggle-bookmark"), "<Control>d");
    EXPECT_EQ(accelFor("app.copy"), "<Shift><Control>c");
    // Plain Ctrl+C is left to the focused widget's own text copy.
    char** plain = gtk_application_get_actions_for_accel(app_, "<Control>c");
    EXPECT_TRUE(plain == nullptr || plain[0] == nullptr);
    g_strfreev(plain);
}

TEST_F(CommandMenuTest, MenuBarHoldsOneTitledMenuWithTheItemsInOrder) {
    installMenu();
    GMenuModel* const bar = gtk_application_get_menubar(app_);
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(g_menu_model_get_n_items(bar), 1);
    char* title = nullptr;
    ASSERT_TRUE(g_menu_model_get_item_attribute(bar, 0, G_MENU_ATTRIBUTE_LABEL, "s", &title));
    EXPECT_STREQ(title, "Mossbarrow");
    g_free(title);

    GMenuModel* const menu = g_menu_model_get_item_link(bar, 0, G_MENU_LINK_SUBMENU);
    ASSERT_NE(menu, nullptr);
    std::vector<std::string> items;
    for (int i = 0; i < g_menu_model_get_n_items(menu); ++i) {
        char* label = nullptr;
        char* action = nullptr;
        g_menu_model_get_item_attribute(menu, i, G_MENU_ATTRIBUTE_LABEL, "s", &label);
        g_menu_model_get_item_attribute(menu, i, G_MENU_ATTRIBUTE_ACTION, "s", &action);
        items.push_back(std::string{label} + "=" + action);
        g_free(label);
        g_free(action);
    }
    g_object_unref(menu);
    EXPECT_EQ(items,
              (std::vector<std::string>{"Refresh=app.refresh",
                                        "Toggle Bookmark=app.toggle-bookmark", "Copy=app.copy"}));
}

TEST_F(CommandMenuTest, NoWindowMeansNoActiveWindow) {
    installMenu();
    EXPECT_EQ(platform::CommandMenu::activeWindow(app_), nullptr);
    // Commands stay callable with no window; what they act on is theirs to decide.
    g_action_group_activate_action(G_ACTION_GROUP(app_), "refresh", nullptr);
    EXPECT_EQ(calls_.size(), 1U);
}

} // namespace
