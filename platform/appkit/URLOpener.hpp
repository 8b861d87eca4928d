#pragma once

#include <string>
#include <string_view>

namespace platform {

// Opens web links with the desktop's default handler (the user's browser).
//
// Links shown by the application come from catalogue data that anyone can publish, so only
// absolute http and https URLs with a host are handed to the desktop; anything else (file:,
// javascript:, custom schemes that would start other programs) is refused.
class URLOpener {
public:
    enum class Outcome {
        opened,  // the desktop accepted the URL
        refused, // not an http or https URL with a host: nothing was launched
        failed,  // an acceptable URL, but the desktop could not open it (no handler, ...)
    };

    struct Result {
        Outcome outcome;
        std::string message; // empty when opened; says why otherwise

        [[nodiscard]] bool ok() const noexcept { return outcome == Outcome::opened; }
    };

    // Whether `url` is one that open() would hand to the desktop.
    [[nodiscard]] static bool isOpenable(std::string_view url);

    static Result open(std::string_view url);
};

} // namespace platform
