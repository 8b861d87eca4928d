#pragma once

// What the popover menus a widget shows offer, read from their menu models as the toolkit shows
// them, for tests of context menus in real windows.

#include <gtk/gtk.h>
#include <string>
#include <utility>
#include <vector>

namespace moss_test {

struct ShownMenuItem {
    std::string label;
    std::string action; // empty when the item has none
};

struct ShownMenu {
    GtkWidget* popover = nullptr;
    // In order, through all sections: a menu without sections is one.
    std::vector<ShownMenuItem> items;
};

namespace detail {

inline void appendMenuItems(GMenuModel* model, std::vector<ShownMenuItem>& items) {
    for (int index = 0; index < g_menu_model_get_n_items(model); ++index) {
        if (GMenuModel* const section =
                g_menu_model_get_item_link(model, index, G_MENU_LINK_SECTION)) {
            appendMenuItems(section, items);
            g_object_unref(section); // the menu keeps it
            continue;
        }
        char* label = nullptr;
        char* action = nullptr;
        g_menu_model_get_item_attribute(model, index, G_MENU_ATTRIBUTE_LABEL, "s", &label);
        g_menu_model_get_item_attribute(model, index, G_MENU_ATTRIBUTE_ACTION, "s", &action);
        items.push_back({label != nullptr ? label : "", action != nullptr ? action : ""});
        g_free(label);
        g_free(action);
    }
}

} // namespace detail

// The popover menus among `widget`'s children that are showing now.
inline std::vector<ShownMenu> shownMenus(GtkWidget* widget) {
    std::vector<ShownMenu> menus;
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child != nullptr;
         child = gtk_widget_get_next_sibling(child)) {
        if (!GTK_IS_POPOVER_MENU(child) || !gtk_widget_get_visible(child)) {
            continue;
        }
        ShownMenu menu{child, {}};
        detail::appendMenuItems(gtk_popover_menu_get_menu_model(GTK_POPOVER_MENU(child)),
                                menu.items);
        menus.push_back(std::move(menu));
    }
    return menus;
}

} // namespace moss_test
