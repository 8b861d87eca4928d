#include "platform/appkit/Pasteboard.hpp"

#include "platform/appkit/PasteboardInternal.hpp"

#include <array>
#include <gdk/gdk.h>
#include <memory>
#include <optional>
#include <string_view>

namespace platform {

namespace {

GdkClipboard* defaultClipboard() {
    GdkDisplay* const display = gdk_display_get_default();
    return display == nullptr ? nullptr : gdk_display_get_clipboard(display);
}

// Iterates the main context until `done()` or until `timeout` has passed.
template <class Done>
void waitFor(const Done& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    GMainContext* const context = g_main_context_default();
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        if (!g_main_context_iteration(context, FALSE)) {
            g_usleep(1000);
        }
    }
}

struct PendingRead {
    bool done = false;
    std::optional<std::string> text;
};

// A read of one clipboard form, chunk by chunk. The callbacks may outlive the caller's wait when
// the owner answers after the timeout, so the state is shared with them; a callback either hands
// its reference on to the next asynchronous call or drops it.
struct PendingData {
    bool done = false;
    bool failed = false;
    std::string bytes;
    std::size_t maxSize = 0;
    GInputStream* stream = nullptr; // owned
    GCancellable* cancellable = g_cancellable_new();

    PendingData() = default;
    PendingData(const PendingData&) = delete;
    PendingData& operator=(const PendingData&) = delete;
    ~PendingData() {
        if (stream != nullptr) {
            g_object_unref(stream);
        }
        g_object_unref(cancellable);
    }
};

using DataSlot = std::shared_ptr<PendingData>;
constexpr gsize chunkSize = 64 * 1024;

void finish(PendingData& state, bool failed) {
    state.failed = failed;
    state.done = true;
}

void readNextChunk(std::unique_ptr<DataSlot> slot);

void onChunk(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<DataSlot> slot{static_cast<DataSlot*>(data)};
    PendingData& state = **slot;
    GError* error = nullptr;
    GBytes* const chunk = g_input_stream_read_bytes_finish(G_INPUT_STREAM(source), result, &error);
    if (chunk == nullptr) {
        if (error != nullptr) {
            g_error_free(error);
        }
        finish(state, true);
        return;
    }
    gsize size = 0;
    const auto* const bytes = static_cast<const char*>(g_bytes_get_data(chunk, &size));
    if (size == 0) {
        g_bytes_unref(chunk);
        finish(state, false);
        return;
    }
    if (size > state.maxSize - state.bytes.size()) {
        // Too large to hold: stop reading instead of buffering whatever the owner sends.
        g_bytes_unref(chunk);
        g_cancellable_cancel(state.cancellable);
        finish(state, true);
        return;
    }
    state.bytes.append(bytes, size);
    g_bytes_unref(chunk);
    readNextChunk(std::move(slot));
}

void readNextChunk(std::unique_ptr<DataSlot> slot) {
    PendingData& state = **slot;
    g_input_stream_read_bytes_async(state.stream, chunkSize, G_PRIORITY_DEFAULT, state.cancellable,
                                    onChunk, slot.release()); // onChunk takes it back
}

void onOpened(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<DataSlot> slot{static_cast<DataSlot*>(data)};
    PendingData& state = **slot;
    GError* error = nullptr;
    GInputStream* const stream =
        gdk_clipboard_read_finish(GDK_CLIPBOARD(source), result, nullptr, &error);
    if (stream == nullptr) {
        if (error != nullptr) {
            g_error_free(error);
        }
        finish(state, true);
        return;
    }
    state.stream = stream;
    readNextChunk(std::move(slot));
}

GdkContentProvider* bytesProvider(const char* mimeType, std::string_view data) {
    GBytes* const bytes = g_bytes_new(data.data(), data.size());
    GdkContentProvider* const provider = gdk_content_provider_new_for_bytes(mimeType, bytes);
    g_bytes_unref(bytes);
    return provider;
}

// Makes the clipboard hold `text`, and `html` when there is one, as one copy. The providers'
// order matters: a reader's form is served by the first provider that offers it.
void offer(GdkClipboard* clipboard, std::string_view text, std::optional<std::string_view> html) {
    // Bare "text/plain" goes out as UTF-8, which is what programs on this desktop read it as; the
    // toolkit would escape every non-ASCII byte of it. The string value then serves the other
    // text forms (charset=utf-8 and the X11 targets) and readers in this process. Both copy
    // `text`, which need not outlive the call.
    const std::string owned{text};
    std::array<GdkContentProvider*, 3> forms{
        bytesProvider("text/plain", text),
        gdk_content_provider_new_typed(G_TYPE_STRING, owned.c_str()), nullptr};
    gsize count = 2;
    if (html) {
        forms[count++] = bytesProvider("text/html", *html);
    }
    GdkContentProvider* const copy = gdk_content_provider_new_union(forms.data(), count);
    gdk_clipboard_set_content(clipboard, copy);
    g_object_unref(copy);
}

} // namespace

namespace pasteboard_internal {

std::optional<std::string> readText(GdkClipboard* clipboard, std::chrono::milliseconds timeout) {
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
    waitFor([&] { return pending->done; }, timeout);
    return pending->text;
}

std::optional<std::string> readData(GdkClipboard* clipboard, const char* mimeType,
                                    std::chrono::milliseconds timeout, std::size_t maxSize) {
    auto pending = std::make_shared<PendingData>();
    pending->maxSize = maxSize;
    std::array<const char*, 2> mimeTypes{mimeType, nullptr};
    gdk_clipboard_read_async(clipboard, mimeTypes.data(), G_PRIORITY_DEFAULT, pending->cancellable,
                             onOpened,
                             std::make_unique<DataSlot>(pending).release()); // onOpened takes it
    waitFor([&] { return pending->done; }, timeout);
    if (!pending->done) {
        // The owner is too slow; the callbacks still run, see the cancellation and let go.
        g_cancellable_cancel(pending->cancellable);
        return std::nullopt;
    }
    if (pending->failed) {
        return std::nullopt;
    }
    return decodeText(std::move(pending->bytes));
}

std::string decodeText(std::string bytes) {
    const auto startsWith = [&](unsigned char first, unsigned char second) {
        return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == first &&
               static_cast<unsigned char>(bytes[1]) == second;
    };
    if (startsWith(0xff, 0xfe) || startsWith(0xfe, 0xff)) {
        // "UTF-16" reads the byte-order mark and drops it.
        gsize written = 0;
        GError* error = nullptr;
        char* const converted = g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8",
                                          "UTF-16", nullptr, &written, &error);
        if (error != nullptr) {
            g_error_free(error);
        }
        if (converted != nullptr) {
            bytes.assign(converted, written);
            g_free(converted);
        }
    } else if (startsWith(0xef, 0xbb) && bytes.size() >= 3 &&
               static_cast<unsigned char>(bytes[2]) == 0xbf) {
        bytes.erase(0, 3);
    }
    while (!bytes.empty() && bytes.back() == '\0') {
        bytes.pop_back();
    }
    if (!g_utf8_validate_len(bytes.data(), bytes.size(), nullptr)) {
        char* const valid = g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size()));
        bytes = valid;
        g_free(valid);
    }
    return bytes;
}

} // namespace pasteboard_internal

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
    if (GdkClipboard* const clipboard = defaultClipboard()) {
        offer(clipboard, text, std::nullopt);
    }
}

void Pasteboard::setPlainTextAndHTML(std::string_view plainText, std::string_view html) {
    ++changeCount_;
    if (GdkClipboard* const clipboard = defaultClipboard()) {
        offer(clipboard, plainText, html);
    }
}

std::optional<std::string> Pasteboard::string(std::chrono::milliseconds timeout) const {
    return string(PasteboardType::string, timeout);
}

std::optional<std::string> Pasteboard::string(PasteboardType type,
                                              std::chrono::milliseconds timeout) const {
    GdkClipboard* const clipboard = defaultClipboard();
    if (clipboard == nullptr) {
        return std::nullopt;
    }
    switch (type) {
    case PasteboardType::string:
        return pasteboard_internal::readText(clipboard, timeout);
    case PasteboardType::html:
        return pasteboard_internal::readData(clipboard, "text/html", timeout, maxReadSize);
    }
    return std::nullopt;
}

} // namespace platform
