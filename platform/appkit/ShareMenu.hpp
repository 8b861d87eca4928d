#pragma once

#include "platform/appkit/Pasteboard.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A piece of text offered to other programs, in the same two forms a copy puts on the pasteboard.
struct SharedText {
    std::string plainText;
    std::string html;
};

// The choice of desktop applications a piece of text can be handed to: every application that
// says it opens plain text or HTML. An application that opens plain text is handed the plain
// text; one that opens only HTML (a browser, say) is handed the HTML.
//
// The text travels in a file of its own (readable only by the user) whose path is given to the
// application the way its desktop entry asks for files; no shell ever sees the text or the path.
// Applications that take no files at all are not offered, since they would start without it.
//
// The host shows the menu through ShareMenuInternal.hpp (a menu model and its actions). Main
// thread only.
class ShareMenu {
public:
    struct Item {
        std::string
            serviceId;       // the application's desktop entry id, e.g. "org.example.Edit.desktop"
        std::string title;   // the application's name
        PasteboardType form; // the form of the text the application is handed

        friend bool operator==(const Item&, const Item&) = default;
    };

    // Collects the applications the desktop has now for `text`.
    explicit ShareMenu(SharedText text);

    // The applications in the order the menu lists them: by name.
    [[nodiscard]] const std::vector<Item>& items() const noexcept { return items_; }
    [[nodiscard]] const SharedText& text() const noexcept { return text_; }

    // Hands the text to the application `serviceId` of items(). False when there is no such item
    // or the desktop could not start it; nothing was handed over then.
    bool share(std::string_view serviceId) const;

    // The desktop's applications that take plain text or HTML, as items() lists them.
    [[nodiscard]] static std::vector<Item> availableServices();

private:
    SharedText text_;
    std::vector<Item> items_;
};

} // namespace platform
