#include "platform/appkit/ShareMenu.hpp"

#include "platform/appkit/ShareMenuInternal.hpp"
#include "platform/runtime/ScopeExit.hpp"

#include <algorithm>
#include <array>
#include <gio/gio.h>
#include <glib/gstdio.h>
#include <memory>
#include <string>

namespace platform {

namespace {

struct ObjectUnref {
    void operator()(gpointer object) const noexcept { g_object_unref(object); }
};
using AppRef = std::unique_ptr<GAppInfo, ObjectUnref>;

struct Form {
    PasteboardType form;
    const char* contentType;
};
// Plain text first: an application that opens both gets the plain text.
constexpr std::array<Form, 2> forms{
    {{PasteboardType::string, "text/plain"}, {PasteboardType::html, "text/html"}}};

// The applications that name `contentType` among the types they open. Applications registered
// only for a broader type (anything that opens "application/octet-stream") are not among them.
std::vector<AppRef> applicationsFor(const char* contentType) {
    std::vector<AppRef> apps;
    GList* const list = g_app_info_get_recommended_for_type(contentType);
    for (GList* node = list; node != nullptr; node = node->next) {
        apps.emplace_back(static_cast<GAppInfo*>(node->data));
    }
    g_list_free(list); // the references now belong to `apps`
    return apps;
}

// Whether `app` belongs in the menu: the desktop shows it to users, and it takes a file or URI
// argument, so it is started with the text and not without it.
bool offerable(GAppInfo* app) {
    return g_app_info_get_id(app) != nullptr && g_app_info_should_show(app) &&
           (g_app_info_supports_files(app) || g_app_info_supports_uris(app));
}

std::vector<std::pair<ShareMenu::Item, AppRef>> collect() {
    std::vector<std::pair<ShareMenu::Item, AppRef>> found;
    for (const Form& form : forms) {
        for (AppRef& app : applicationsFor(form.contentType)) {
            if (!offerable(app.get())) {
                continue;
            }
            const std::string id = g_app_info_get_id(app.get());
            const bool listed = std::any_of(found.begin(), found.end(), [&](const auto& entry) {
                return entry.first.serviceId == id;
            });
            if (!listed) {
                const char* const name = g_app_info_get_display_name(app.get());
                found.emplace_back(ShareMenu::Item{id, name != nullptr ? name : id, form.form},
                                   std::move(app));
            }
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return g_utf8_collate(a.first.title.c_str(), b.first.title.c_str()) < 0;
    });
    return found;
}

// The contents of the file an application is handed. An HTML fragment becomes a document that
// declares its encoding, or a browser would guess one and garble everything beyond ASCII.
std::string fileContents(const SharedText& text, PasteboardType form) {
    if (form == PasteboardType::html) {
        return "<!DOCTYPE html>\n<meta charset=\"utf-8\">\n" + text.html;
    }
    return text.plainText;
}

// Writes `contents` to a new file in a folder of its own under the user's runtime folder (the
// user alone can read it; it is gone at the end of the session). Empty on failure.
std::string writeSharedFile(const std::string& contents, PasteboardType form) {
    std::string folder =
        std::string{g_get_user_runtime_dir()} + G_DIR_SEPARATOR_S + "shared-text-XXXXXX";
    if (g_mkdtemp_full(folder.data(), 0700) == nullptr) {
        return {};
    }
    const std::string path =
        folder + G_DIR_SEPARATOR_S +
        (form == PasteboardType::html ? "Shared Text.html" : "Shared Text.txt");
    GError* error = nullptr;
    if (!g_file_set_contents_full(path.c_str(), contents.data(),
                                  static_cast<gssize>(contents.size()),
                                  G_FILE_SET_CONTENTS_CONSISTENT, 0600, &error)) {
        g_error_free(error);
        g_rmdir(folder.c_str());
        return {};
    }
    return path;
}

void removeSharedFile(const std::string& path) {
    g_remove(path.c_str());
    char* const folder = g_path_get_dirname(path.c_str());
    g_rmdir(folder);
    g_free(folder);
}

} // namespace

ShareMenu::ShareMenu(SharedText text)
    : text_(std::move(text))
    , items_(availableServices()) {}

std::vector<ShareMenu::Item> ShareMenu::availableServices() {
    std::vector<Item> items;
    for (auto& entry : collect()) {
        items.push_back(std::move(entry.first));
    }
    return items;
}

bool ShareMenu::share(std::string_view serviceId) const {
    const auto item = std::find_if(items_.begin(), items_.end(), [&](const Item& candidate) {
        return candidate.serviceId == serviceId;
    });
    if (item == items_.end()) {
        return false;
    }
    // Looked up again: the application may have been removed since the menu was made.
    auto found = collect();
    const auto app = std::find_if(found.begin(), found.end(), [&](const auto& entry) {
        return entry.first.serviceId == serviceId;
    });
    if (app == found.end()) {
        return false;
    }
    const std::string path = writeSharedFile(fileContents(text_, item->form), item->form);
    if (path.empty()) {
        return false;
    }
    GFile* const file = g_file_new_for_path(path.c_str());
    const ScopeExit releaseFile{[&] { g_object_unref(file); }};
    GList argument{file, nullptr, nullptr};
    GError* error = nullptr;
    // The launcher builds the argument vector from the desktop entry's Exec line and our path,
    // and starts the program directly.
    if (!g_app_info_launch(app->second.get(), &argument, nullptr, &error)) {
        if (error != nullptr) {
            g_error_free(error);
        }
        removeSharedFile(path);
        return false;
    }
    return true;
}

namespace share_menu_internal {

GMenuModel* makeMenuModel(const ShareMenu& menu, const char* group) {
    GMenu* const model = g_menu_new();
    const std::string action = std::string{group} + "." + actionName;
    for (const ShareMenu::Item& item : menu.items()) {
        GMenuItem* const entry = g_menu_item_new(item.title.c_str(), nullptr);
        g_menu_item_set_action_and_target_value(entry, action.c_str(),
                                                g_variant_new_string(item.serviceId.c_str()));
        g_menu_append_item(model, entry);
        g_object_unref(entry);
    }
    return G_MENU_MODEL(model);
}

GActionGroup* makeActionGroup(std::shared_ptr<const ShareMenu> menu) {
    GSimpleActionGroup* const group = g_simple_action_group_new();
    GSimpleAction* const action = g_simple_action_new(actionName, G_VARIANT_TYPE_STRING);
    using Holder = std::shared_ptr<const ShareMenu>;
    g_signal_connect_data(
        action, "activate", G_CALLBACK(+[](GSimpleAction*, GVariant* parameter, gpointer data) {
            const auto& shared = *static_cast<const Holder*>(data);
            shared->share(g_variant_get_string(parameter, nullptr));
        }),
        std::make_unique<Holder>(std::move(menu)).release(),
        +[](gpointer data, GClosure*) { std::unique_ptr<Holder>{static_cast<Holder*>(data)}; },
        GConnectFlags{});
    g_action_map_add_action(G_ACTION_MAP(group), G_ACTION(action));
    g_object_unref(action);
    return G_ACTION_GROUP(group);
}

} // namespace share_menu_internal

} // namespace platform
