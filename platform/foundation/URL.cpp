#include "platform/foundation/URL.hpp"

#include "platform/foundation/ASCII.hpp"
#include "platform/foundation/PercentEncoding.hpp"

namespace platform {

namespace {

using ascii::isAlpha;
using ascii::isDigit;
using ascii::isHexDigit;

bool isValidScheme(std::string_view s) {
    if (s.empty() || !isAlpha(s[0])) {
        return false;
    }
    for (const char c : s) {
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

bool isValidHost(std::string_view host) {
    if (!host.empty() && host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') {
            return false;
        }
        for (const char c : host.substr(1, host.size() - 2)) {
            if (!isHexDigit(c) && c != ':' && c != '.') {
                return false;
            }
        }
        return true;
    }
    for (const char c : host) {
        if (c == '[' || c == ']') {
            return false;
        }
    }
    return isPercentEncoded(host, URLCharacterSet::urlHostAllowed);
}

} // namespace

std::string_view URL::part(const Range& range) const {
    return std::string_view(text_).substr(range.begin, range.length);
}

std::optional<URL> URL::fromString(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    URL url;
    url.text_ = std::string(text);
    const std::string_view s = url.text_;
    std::size_t pos = 0;

    // Scheme: letters up to the first ":" that comes before any "/", "?" or "#".
    const std::size_t colon = s.find(':');
    const std::size_t delimiter = s.find_first_of("/?#");
    if (colon != std::string_view::npos &&
        (delimiter == std::string_view::npos || colon < delimiter)) {
        if (!isValidScheme(s.substr(0, colon))) {
            return std::nullopt;
        }
        url.scheme_ = {0, colon, true};
        pos = colon + 1;
    }

    // Authority.
    if (s.substr(pos, 2) == "//") {
        pos += 2;
        const std::size_t end = std::min(s.find_first_of("/?#", pos), s.size());
        std::string_view authority = s.substr(pos, end - pos);
        std::size_t hostBegin = pos;
        const std::size_t at = authority.rfind('@');
        if (at != std::string_view::npos) {
            const std::string_view userInfo = authority.substr(0, at);
            const std::size_t userColon = userInfo.find(':');
            if (userColon == std::string_view::npos) {
                url.user_ = {pos, userInfo.size(), true};
            } else {
                url.user_ = {pos, userColon, true};
                url.password_ = {pos + userColon + 1, userInfo.size() - userColon - 1, true};
            }
            if (!isPercentEncoded(url.part(url.user_), URLCharacterSet::urlUserAllowed) ||
                (url.password_.present &&
                 !isPercentEncoded(url.part(url.password_), URLCharacterSet::urlPasswordAllowed))) {
                return std::nullopt;
            }
            hostBegin = pos + at + 1;
            authority = authority.substr(at + 1);
        }
        // The port follows the last ":" that is not inside an IPv6 literal.
        std::size_t portColon = authority.rfind(':');
        const std::size_t bracket = authority.rfind(']');
        if (portColon != std::string_view::npos && bracket != std::string_view::npos &&
            portColon < bracket) {
            portColon = std::string_view::npos;
        }
        std::string_view host = authority;
        if (portColon != std::string_view::npos) {
            const std::string_view port = authority.substr(portColon + 1);
            host = authority.substr(0, portColon);
            if (port.size() > 5) {
                return std::nullopt;
            }
            for (const char c : port) {
                if (!isDigit(c)) {
                    return std::nullopt;
                }
            }
            if (!port.empty()) {
                if (std::stoi(std::string(port)) > 65535) {
                    return std::nullopt;
                }
                url.port_ = {hostBegin + portColon + 1, port.size(), true};
            }
        }
        if (!isValidHost(host)) {
            return std::nullopt;
        }
        url.host_ = {hostBegin, host.size(), true};
        pos = end;
    }

    // Path, query, fragment.
    const std::size_t pathEnd = std::min(s.find_first_of("?#", pos), s.size());
    url.path_ = {pos, pathEnd - pos, true};
    if (!isPercentEncoded(url.part(url.path_), URLCharacterSet::urlPathAllowed) &&
        // ";" is legal in a path, only never left unencoded by the encoder.
        !isPercentEncoded(url.part(url.path_), URLCharacterSet::urlQueryAllowed)) {
        return std::nullopt;
    }
    if (url.part(url.path_).find('?') != std::string_view::npos) {
        return std::nullopt;
    }
    pos = pathEnd;
    if (pos < s.size() && s[pos] == '?') {
        const std::size_t queryEnd = std::min(s.find('#', pos), s.size());
        url.query_ = {pos + 1, queryEnd - pos - 1, true};
        if (!isPercentEncoded(url.part(url.query_), URLCharacterSet::urlQueryAllowed)) {
            return std::nullopt;
        }
        pos = queryEnd;
    }
    if (pos < s.size() && s[pos] == '#') {
        url.fragment_ = {pos + 1, s.size() - pos - 1, true};
        if (!isPercentEncoded(url.part(url.fragment_), URLCharacterSet::urlFragmentAllowed)) {
            return std::nullopt;
        }
    }
    if (!url.scheme_.present && !url.host_.present && url.path_.length == 0 &&
        !url.query_.present && !url.fragment_.present) {
        return std::nullopt;
    }
    return url;
}

std::string URL::scheme() const {
    return std::string(part(scheme_));
}

std::optional<std::string> URL::host() const {
    if (!host_.present) {
        return std::nullopt;
    }
    std::string_view host = part(host_);
    if (!host.empty() && host.front() == '[') {
        host = host.substr(1, host.size() - 2);
    }
    return removingPercentEncoding(host).value_or(std::string(host));
}

std::optional<int> URL::port() const {
    if (!port_.present) {
        return std::nullopt;
    }
    return std::stoi(std::string(part(port_)));
}

std::string URL::path() const {
    const std::string_view path = part(path_);
    return removingPercentEncoding(path).value_or(std::string(path));
}

std::string URL::percentEncodedPath() const {
    return std::string(part(path_));
}

std::optional<std::string> URL::query() const {
    if (!query_.present) {
        return std::nullopt;
    }
    return std::string(part(query_));
}

std::optional<std::string> URL::fragment() const {
    if (!fragment_.present) {
        return std::nullopt;
    }
    return std::string(part(fragment_));
}

} // namespace platform
