#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The desktop's general clipboard, holding one plain string at a time. The application only ever
// clears it and writes a single string; reading back exists so that callers (and tests) can see
// what the desktop sees.
//
// Needs the display connection that the toolkit opens at start-up; without one every write is a
// no-op and reads return nothing. Main thread only.
class Pasteboard {
public:
    static Pasteboard& general();

    Pasteboard(const Pasteboard&) = delete;
    Pasteboard& operator=(const Pasteboard&) = delete;

    // Drops whatever the clipboard holds (ours or another program's).
    void clearContents();
    // Offers `text` as the clipboard's plain-text content.
    void setString(std::string_view text);

    // The clipboard's plain text, waiting up to `timeout` for the owner to answer (the main
    // context is iterated meanwhile). Absent when the clipboard is empty or holds no text.
    [[nodiscard]] std::optional<std::string>
    string(std::chrono::milliseconds timeout = std::chrono::milliseconds{2000}) const;

    // Increases on every clear or write made through this object.
    [[nodiscard]] std::uint64_t changeCount() const noexcept { return changeCount_; }

private:
    Pasteboard() = default;
    std::uint64_t changeCount_ = 0;
};

} // namespace platform
