#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The forms in which a copy can sit on the pasteboard.
enum class PasteboardType : std::uint8_t {
    string, // plain UTF-8 text ("text/plain;charset=utf-8", and "text/plain" for older readers)
    html,   // an HTML fragment ("text/html")
};

// The desktop's general clipboard. The application writes single plain strings; rendered
// documents copy one piece of text in two forms at once, plain text and HTML, and the program
// that pastes picks the form it understands. Reading back exists so that callers (and tests) can
// see what the desktop sees.
//
// Needs the display connection that the toolkit opens at start-up; without one every write is a
// no-op and reads return nothing. Main thread only.
class Pasteboard {
public:
    // Largest content a read accepts; anything bigger is treated as absent rather than held in
    // memory whole.
    static constexpr std::size_t maxReadSize = std::size_t{64} << 20;

    static Pasteboard& general();

    Pasteboard(const Pasteboard&) = delete;
    Pasteboard& operator=(const Pasteboard&) = delete;

    // Drops whatever the clipboard holds (ours or another program's).
    void clearContents();
    // Offers `text` as the clipboard's plain-text content, and nothing else.
    void setString(std::string_view text);
    // Offers one copy in both forms: `plainText` to readers of plain text, `html` to readers of
    // HTML. Replaces whatever the clipboard held.
    void setPlainTextAndHTML(std::string_view plainText, std::string_view html);

    // The clipboard's plain text, waiting up to `timeout` for the owner to answer (the main
    // context is iterated meanwhile). Absent when the clipboard is empty or holds no text.
    [[nodiscard]] std::optional<std::string>
    string(std::chrono::milliseconds timeout = std::chrono::milliseconds{2000}) const;
    // The clipboard's content in the form `type`, as UTF-8, waiting as string() does. Absent
    // when the clipboard does not offer that form or the owner does not answer in time.
    [[nodiscard]] std::optional<std::string>
    string(PasteboardType type,
           std::chrono::milliseconds timeout = std::chrono::milliseconds{2000}) const;

    // Increases on every clear or write made through this object.
    [[nodiscard]] std::uint64_t changeCount() const noexcept { return changeCount_; }

private:
    Pasteboard() = default;
    std::uint64_t changeCount_ = 0;
};

} // namespace platform
