#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The sets of characters that may stand unencoded in one part of a URL. Every set holds only
// ASCII characters; everything else is always encoded as the percent-escaped bytes of its UTF-8
// form.
enum class URLCharacterSet {
    // Letters, digits and - . _ ~ ! $ & ' ( ) * + , = : @ / (not ";").
    urlPathAllowed,
    // The path set without "/": one segment taken from data, such as a name that holds a "/"
    // but must stay a single segment.
    urlPathSegmentAllowed,
    // Letters, digits and - . _ ~ ! $ & ' ( ) * + , ; = : @ / ?
    urlQueryAllowed,
    // What a query item's name or value keeps unencoded: the query set without what a form
    // decoder on the server would read differently: "&" and ";" (which split items), "=" (which
    // splits name from value) and "+" (which reads as a space).
    urlQueryItemAllowed,
    // Letters, digits and - . _ ~ ! $ & ' ( ) * + , ; = : @ / ?
    urlFragmentAllowed,
    // Letters, digits and - . _ ~ ! $ & ' ( ) * + , ; = : [ ]
    urlHostAllowed,
    // Letters, digits and - . _ ~ ! $ & ' ( ) * + , ; =
    urlUserAllowed,
    // Letters, digits and - . _ ~ ! $ & ' ( ) * + , ; =
    urlPasswordAllowed,
};

// Whether an ASCII byte may stand unencoded in the given set.
[[nodiscard]] bool isAllowed(URLCharacterSet set, unsigned char byte);

// `text` with every character outside `set` percent-encoded (upper-case hex digits). nullopt
// when `text` is not valid UTF-8.
[[nodiscard]] std::optional<std::string> addingPercentEncoding(std::string_view text,
                                                               URLCharacterSet set);

// `text` with every "%XX" escape decoded. nullopt when an escape is malformed or the result is
// not valid UTF-8.
[[nodiscard]] std::optional<std::string> removingPercentEncoding(std::string_view text);

// The value of a hexadecimal digit, or -1 for any other character.
[[nodiscard]] int hexDigitValue(char c);

// Whether `text` is already encoded for `set`: every character is allowed by `set` (or listed
// in `alsoAllowed`) or belongs to a well-formed "%XX" escape.
[[nodiscard]] bool isPercentEncoded(std::string_view text, URLCharacterSet set,
                                    std::string_view alsoAllowed = {});

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
[[nodiscard]] bool isValidUTF8(std::string_view text);

} // namespace platform
