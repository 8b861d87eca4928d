#pragma once

// Addresses that carry their own bytes: "data:[<media type>][;base64],<data>". The bytes are
// percent-decoded and, with ";base64", base64-decoded; no transfer takes place.

#include "platform/foundation/Data.hpp"
#include "platform/foundation/URL.hpp"
#include "platform/net/URLResponse.hpp"

#include <cstddef>
#include <memory>
#include <utility>

namespace platform {

// Whether `url` is a data: address (the scheme in any case).
[[nodiscard]] bool isDataURL(const URL& url);

// The bytes of a data: address and a plain (not HTTP) response describing them: the media type
// in lower case ("text/plain" when none is given), the charset parameter ("US-ASCII" when there
// is no media type) and the length. Throws URLError::badURL for an address without a comma, a
// malformed escape or invalid base64, and URLError::dataLengthExceedsMaximum when the bytes are
// more than `maximumBytes`, checked as they are decoded.
[[nodiscard]] std::pair<Data, std::shared_ptr<URLResponse>> decodeDataURL(const URL& url,
                                                                          std::size_t maximumBytes);

} // namespace platform
