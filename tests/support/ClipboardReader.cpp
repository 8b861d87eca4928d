#include "tests/support/ClipboardReader.hpp"

#include "platform/appkit/PasteboardInternal.hpp"
#include "tests/support/MainLoopWait.hpp"

namespace moss_test {

ClipboardReader::ClipboardReader()
    : display_(gdk_display_open(nullptr)) {}

ClipboardReader::~ClipboardReader() {
    if (display_ != nullptr) {
        gdk_display_close(display_);
    }
}

bool ClipboardReader::offers(const char* mimeType) const {
    return gdk_content_formats_contain_mime_type(gdk_clipboard_get_formats(clipboard()),
                                                 mimeType) != FALSE;
}

std::vector<std::string> ClipboardReader::formatsOffering(const char* mimeType) const {
    if (!waitUntil([&] { return offers(mimeType); })) {
        return {};
    }
    gsize count = 0;
    const char* const* const types =
        gdk_content_formats_get_mime_types(gdk_clipboard_get_formats(clipboard()), &count);
    return {types, types + count};
}

std::optional<std::string> ClipboardReader::plainText() const {
    return platform::pasteboard_internal::readText(clipboard(), hangDeadline);
}

std::optional<std::string> ClipboardReader::data(const char* mimeType, std::size_t maxSize) const {
    return platform::pasteboard_internal::readData(clipboard(), mimeType, hangDeadline, maxSize);
}

} // namespace moss_test
