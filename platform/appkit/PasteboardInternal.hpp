#pragma once

// Clipboard reads on any display connection, for the pasteboard and for tests that read what a
// second client of the display sees. Only platform/ code and tests include this header.

#include <chrono>
#include <gdk/gdk.h>
#include <optional>
#include <string>

namespace platform::pasteboard_internal {

// The plain text `clipboard` holds, converted by the toolkit from whichever text form the owner
// offers.
std::optional<std::string> readText(GdkClipboard* clipboard, std::chrono::milliseconds timeout);

// The bytes `clipboard` holds in the form `mimeType`, decoded to UTF-8: a byte-order mark selects
// UTF-16 (some programs write HTML that way), trailing NULs are dropped and invalid sequences are
// replaced. Absent when the form is not offered, the owner does not answer within `timeout`, or
// the content exceeds `maxSize` bytes.
std::optional<std::string> readData(GdkClipboard* clipboard, const char* mimeType,
                                    std::chrono::milliseconds timeout, std::size_t maxSize);

// UTF-8 for the raw bytes of a clipboard text form, as readData() decodes them.
std::string decodeText(std::string bytes);

} // namespace platform::pasteboard_internal
