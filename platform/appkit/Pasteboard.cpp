#include "platform/appkit/Pasteboard.hpp"

#include <gdk/gdk.h>
#include <gtk/gtk.h>
#include <memory>

namespace platform {

namespace {

GdkClipboard* defaultClipboard() {
    GdkDisplay* const display = gdk_display_get_default();
    return display == nullptr ? nullptr : gdk_display_get_clipboard(display);
}

struct PendingRead {
    bool done = false;
    std::optional<std::string> text;
};

} // namespace

Pasteboard& Pasteboard::general() {
    static Pasteboard instance;
    return instance;
}

void Pasteboard::clearContents() {
    ++changeCount_;
    if (GdkClipboard* const clipboard = defaultClipboard()) {
        // Keep owning the clipboard, with nothing in it. Giving ownership up would stamp the
        // selection with the server's current time, and the write that usually follows carries
        // the time of the last input event, which is older: the server would ignore it.
        GdkContentProvider* const nothing = gdk_content_provider_new_union(nullptr, 0);
        gdk_clipboard_set_content(clipboard, nothing);
        g_object_unref(nothing);
    }
}

void Pasteboard::setString(std::string_view text) {
    ++changeCount_;
    GdkClipboard* const clipboard = defaultClipboard();
    if (clipboard == nullptr) {
        return;
    }
    // The string is copied into the clipboard's own value; `text` need not outlive the call.
    const std::string owned{text};
    gdk_clipboard_set_text(clipboard, owned.c_str());
}

std::optional<std::string> Pasteboard::string(std::chrono::milliseconds timeout) const {
    GdkClipboard* const clipboard = defaultClipboard();
    if (clipboard == nullptr) {
        return std::nullopt;
    }
    // The callback may outlive this call when the owner answers after the timeout, so the
    // result slot is shared with it.
    auto pending = std::make_shared<PendingRead>();
    auto slot = std::make_unique<std::shared_ptr<PendingRead>>(pending);
    gdk_clipboard_read_text_async(
        clipboard, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            const std::unique_ptr<std::shared_ptr<PendingRead>> owner{
                static_cast<std::shared_ptr<PendingRead>*>(data)};
            GError* error = nullptr;
            char* const text =
                gdk_clipboard_read_text_finish(GDK_CLIPBOARD(source), result, &error);
            if (text != nullptr) {
                (*owner)->text = std::string{text};
                g_free(text);
            }
            if (error != nullptr) {
                g_error_free(error);
            }
            (*owner)->done = true;
        },
        slot.release()); // the callback takes it back
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    GMainContext* const context = g_main_context_default();
    while (!pending->done && std::chrono::steady_clock::now() < deadline) {
        if (!g_main_context_iteration(context, FALSE)) {
            g_usleep(1000);
        }
    }
    return pending->text;
}

} // namespace platform
