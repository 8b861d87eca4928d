#include "platform/foundation/URLComponents.hpp"

#include "platform/foundation/ASCII.hpp"
#include "platform/foundation/PercentEncoding.hpp"

namespace platform {

namespace {

std::string encode(std::string_view text, URLCharacterSet set) {
    // Text that is not UTF-8 still has to go somewhere: its bytes are escaped one by one.
    if (auto encoded = addingPercentEncoding(text, set)) {
        return std::move(*encoded);
    }
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string result;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (isAllowed(set, byte)) {
            result.push_back(c);
        } else {
            result += {'%', digits[byte >> 4U], digits[byte & 0x0FU]};
        }
    }
    return result;
}

std::string decode(std::string_view text) {
    return removingPercentEncoding(text).value_or(std::string(text));
}

bool isValidScheme(std::string_view s) {
    if (s.empty()) {
        return false;
    }
    if (!ascii::isAlpha(s[0])) {
        return false;
    }
    for (const char c : s) {
        if (!ascii::isAlnum(c) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

} // namespace

URLComponents::URLComponents(const URL& url) {
    if (url.scheme_.present) {
        scheme_ = std::string(url.part(url.scheme_));
    }
    if (url.user_.present) {
        user_ = std::string(url.part(url.user_));
    }
    if (url.password_.present) {
        password_ = std::string(url.part(url.password_));
    }
    if (url.host_.present) {
        host_ = std::string(url.part(url.host_));
    }
    port_ = url.port();
    path_ = std::string(url.part(url.path_));
    if (url.query_.present) {
        query_ = std::string(url.part(url.query_));
    }
    if (url.fragment_.present) {
        fragment_ = std::string(url.part(url.fragment_));
    }
}

std::optional<URLComponents> URLComponents::fromString(std::string_view text) {
    const std::optional<URL> url = URL::fromString(text);
    if (!url) {
        return std::nullopt;
    }
    return URLComponents(*url);
}

std::optional<std::string> URLComponents::host() const {
    if (!host_) {
        return std::nullopt;
    }
    std::string_view host = *host_;
    if (!host.empty() && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    return decode(host);
}

void URLComponents::setHost(std::optional<std::string> host) {
    if (!host) {
        host_.reset();
        return;
    }
    if (host->find(':') != std::string::npos) { // an IPv6 literal
        host_ = "[" + *host + "]";
        return;
    }
    host_ = encode(*host, URLCharacterSet::urlHostAllowed);
}

std::string URLComponents::path() const {
    return decode(path_);
}

void URLComponents::setPath(std::string_view path) {
    path_ = encode(path, URLCharacterSet::urlPathAllowed);
}

bool URLComponents::setPercentEncodedPath(std::string_view path) {
    // ";" may stand in a path although the encoder always escapes it.
    if (!isPercentEncoded(path, URLCharacterSet::urlPathAllowed, ";")) {
        return false;
    }
    path_ = std::string(path);
    return true;
}

std::optional<std::vector<URLQueryItem>> URLComponents::queryItems() const {
    if (!query_) {
        return std::nullopt;
    }
    std::vector<URLQueryItem> items;
    if (query_->empty()) {
        return items;
    }
    std::string_view rest = *query_;
    while (true) {
        const std::size_t amp = rest.find('&');
        const std::string_view item = rest.substr(0, amp);
        const std::size_t eq = item.find('=');
        if (eq == std::string_view::npos) {
            items.push_back({decode(item), std::nullopt});
        } else {
            items.push_back({decode(item.substr(0, eq)), decode(item.substr(eq + 1))});
        }
        if (amp == std::string_view::npos) {
            break;
        }
        rest = rest.substr(amp + 1);
    }
    return items;
}

void URLComponents::setQueryItems(const std::optional<std::vector<URLQueryItem>>& items) {
    if (!items) {
        query_.reset();
        return;
    }
    std::string query;
    for (const URLQueryItem& item : *items) {
        if (&item != &items->front()) {
            query.push_back('&');
        }
        query += encode(item.name, URLCharacterSet::urlQueryItemAllowed);
        if (item.value) {
            query.push_back('=');
            query += encode(*item.value, URLCharacterSet::urlQueryItemAllowed);
        }
    }
    query_ = std::move(query);
}

bool URLComponents::setPercentEncodedQuery(std::optional<std::string_view> query) {
    if (!query) {
        query_.reset();
        return true;
    }
    if (!isPercentEncoded(*query, URLCharacterSet::urlQueryAllowed)) {
        return false;
    }
    query_ = std::string(*query);
    return true;
}

std::optional<std::string> URLComponents::fragment() const {
    if (!fragment_) {
        return std::nullopt;
    }
    return decode(*fragment_);
}

void URLComponents::setFragment(std::optional<std::string_view> fragment) {
    if (!fragment) {
        fragment_.reset();
        return;
    }
    fragment_ = encode(*fragment, URLCharacterSet::urlFragmentAllowed);
}

std::optional<std::string> URLComponents::string() const {
    const bool hasAuthority = host_ || user_ || password_ || port_;
    if (scheme_ && !isValidScheme(*scheme_)) {
        return std::nullopt;
    }
    if (hasAuthority && !path_.empty() && path_.front() != '/') {
        return std::nullopt;
    }
    if (!hasAuthority && path_.starts_with("//")) {
        return std::nullopt;
    }
    if (!scheme_ && !hasAuthority) {
        // A relative path whose first segment holds ":" would read as a scheme.
        const std::string_view firstSegment = std::string_view(path_).substr(0, path_.find('/'));
        if (firstSegment.find(':') != std::string_view::npos) {
            return std::nullopt;
        }
    }
    std::string text;
    if (scheme_) {
        text += *scheme_;
        text.push_back(':');
    }
    if (hasAuthority) {
        text += "//";
        if (user_ || password_) {
            text += user_.value_or("");
            if (password_) {
                text.push_back(':');
                text += *password_;
            }
            text.push_back('@');
        }
        text += host_.value_or("");
        if (port_) {
            text.push_back(':');
            text += std::to_string(*port_);
        }
    }
    text += path_;
    if (query_) {
        text.push_back('?');
        text += *query_;
    }
    if (fragment_) {
        text.push_back('#');
        text += *fragment_;
    }
    return text;
}

std::optional<URL> URLComponents::url() const {
    const std::optional<std::string> text = string();
    if (!text) {
        return std::nullopt;
    }
    return URL::fromString(*text);
}

} // namespace platform
