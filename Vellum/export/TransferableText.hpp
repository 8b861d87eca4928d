#pragma once

// A piece of rendered markdown handed to another program in two forms, plain text and HTML, both
// written by one Formatter on request. Copy puts both on the clipboard at once:
//
//     const vellum::TransferableText text(selection);
//     const platform::SharedText shared = text.sharedText();
//     platform::Pasteboard::general().setPlainTextAndHTML(shared.plainText, shared.html);
//
// and Share offers the same pair to the desktop's applications (platform::ShareMenu,
// platform::ShareAction). Readers that ask by type get the form by its MIME type through
// loadData(), plain text first.

#include "Vellum/export/Formatter.hpp"
#include "platform/appkit/ShareMenu.hpp"
#include "platform/foundation/AttributedString.hpp"
#include "platform/foundation/Data.hpp"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellum {

class TransferableText {
public:
    // The MIME types of the two forms, as the clipboard offers them.
    static constexpr std::string_view plainTextType = "text/plain;charset=utf-8";
    static constexpr std::string_view htmlType = "text/html";

    // Called once with the form's UTF-8 bytes, or nullopt for a type this text is not offered in.
    using CompletionHandler = std::function<void(std::optional<platform::Data>)>;

    explicit TransferableText(platform::AttributedString attributedString)
        : formatter_(std::move(attributedString)) {}
    TransferableText() = delete;

    [[nodiscard]] const platform::AttributedString& attributedString() const noexcept {
        return formatter_.attributedString();
    }
    [[nodiscard]] const Formatter& formatter() const noexcept { return formatter_; }

    // The types in the order they are offered: plain text, then HTML.
    [[nodiscard]] static const std::vector<std::string>& writableTypeIdentifiers();

    // Writes the form `typeIdentifier` names (exactly one of the two above) and calls `handler`
    // with it before returning, on the calling thread. Requests from several threads are safe:
    // the document tree is built once.
    void loadData(std::string_view typeIdentifier, const CompletionHandler& handler) const;

    // Both forms at once, for the clipboard and for sharing.
    [[nodiscard]] platform::SharedText sharedText() const;

private:
    Formatter formatter_;
};

} // namespace vellum
