#pragma once

// The clipboard as another program sees it: a second connection to the display. Its clipboard is
// another client of the server, so what it reads went through the selection protocol, as it does
// for any other program.

#include <cstddef>
#include <gtk/gtk.h>
#include <optional>
#include <string>
#include <vector>

namespace moss_test {

class ClipboardReader {
public:
    ClipboardReader();
    ~ClipboardReader();
    ClipboardReader(const ClipboardReader&) = delete;
    ClipboardReader& operator=(const ClipboardReader&) = delete;

    [[nodiscard]] bool connected() const { return display_ != nullptr; }
    [[nodiscard]] GdkClipboard* clipboard() const { return gdk_display_get_clipboard(display_); }

    // Whether the clipboard's owner announces `mimeType` now.
    [[nodiscard]] bool offers(const char* mimeType) const;
    [[nodiscard]] bool offersHTML() const { return offers("text/html"); }
    // The forms the owner announces, once the announcement of `mimeType` has arrived (none when
    // it never does).
    [[nodiscard]] std::vector<std::string> formatsOffering(const char* mimeType) const;

    // Reads wait for the owner's answer; only a hang comes near their deadline.
    // The plain text, converted by the toolkit from whichever text form the owner offers.
    [[nodiscard]] std::optional<std::string> plainText() const;
    // The form `mimeType` as UTF-8; none when it is not offered or exceeds `maxSize` bytes.
    [[nodiscard]] std::optional<std::string> data(const char* mimeType,
                                                  std::size_t maxSize = 1 << 22) const;
    [[nodiscard]] std::optional<std::string> html() const { return data("text/html"); }

private:
    GdkDisplay* display_;
};

} // namespace moss_test
