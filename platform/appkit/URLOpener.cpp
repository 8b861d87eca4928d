#include "platform/appkit/URLOpener.hpp"

#include <gio/gio.h>
#include <memory>

namespace platform {

namespace {

struct UriDeleter {
    void operator()(GUri* uri) const noexcept { g_uri_unref(uri); }
};

} // namespace

bool URLOpener::isOpenable(std::string_view url) {
    // Blanks and control characters (NUL included, which would silently shorten the string
    // handed to the desktop) are never part of a well-formed URL; the parser lets some through.
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f) {
            return false;
        }
    }
    const std::string text{url};
    GError* error = nullptr;
    const std::unique_ptr<GUri, UriDeleter> uri{
        g_uri_parse(text.c_str(), G_URI_FLAGS_NONE, &error)};
    if (error != nullptr) {
        g_error_free(error);
        return false;
    }
    if (!uri) {
        return false;
    }
    const char* const scheme = g_uri_get_scheme(uri.get());
    const char* const host = g_uri_get_host(uri.get());
    const bool web = scheme != nullptr && (g_ascii_strcasecmp(scheme, "http") == 0 ||
                                           g_ascii_strcasecmp(scheme, "https") == 0);
    return web && host != nullptr && host[0] != '\0';
}

URLOpener::Result URLOpener::open(std::string_view url) {
    if (!isOpenable(url)) {
        return {Outcome::refused, "Only http and https links can be opened."};
    }
    const std::string text{url};
    GError* error = nullptr;
    if (g_app_info_launch_default_for_uri(text.c_str(), nullptr, &error)) {
        return {Outcome::opened, {}};
    }
    std::string message = error != nullptr ? error->message : "The link could not be opened.";
    if (error != nullptr) {
        g_error_free(error);
    }
    return {Outcome::failed, std::move(message)};
}

} // namespace platform
